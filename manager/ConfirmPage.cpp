// The Confirmation Message page: whether the screen saver asks before its run, which
// answer the question falls back to, and a button that asks the very question.
#include "common/MyMsgBox.h"
#include "common/SharedObjects.h"
#include "common/StringTable.h"
#include "manager/SettingsForm.h"

namespace mgr {

namespace {
constexpr std::int16_t kConfirmWaitSeconds = 5;
}

void fMain::AddConfirmationControls() {
    const char* page = "picConfirmMessage";
    Add(ControlKind::CheckBox, "chkShowMessage", {240, 0, 4935, 735}, page).SetTabIndex(24);
    Control& status =
        Add(ControlKind::Label, "lbStatusOflShowMessage", {240, 720, 4695, 375}, page);
    status.SetTabIndex(27);
    status.SetWordWrap(true);
    Add(ControlKind::CheckBox, "chkYesIsDefault", {240, 1080, 4935, 735}, page).SetTabIndex(25);
    Control& response =
        Add(ControlKind::Label, "lblYesResponseMessage", {240, 1800, 4695, 615}, page);
    response.SetTabIndex(28);
    response.SetWordWrap(true);
    Add(ControlKind::Button, "cmdTestConfirmation", {1680, 2760, 2415, 375}, page).SetTabIndex(26);
}

void fMain::chkShowMessage_Click() {
    (*this)["lbStatusOflShowMessage"].SetText(
        LoadText(Ticked("chkShowMessage") ? text_id::kWillShow : text_id::kWillNotShow));
}

void fMain::chkYesIsDefault_Click() {
    const std::string answer = LoadText(Ticked("chkYesIsDefault") ? str_id::kYes : str_id::kNo);
    (*this)["lblYesResponseMessage"].SetText(LoadText(text_id::kDefaultBefore) + "'" + answer +
                                             "'" + LoadText(text_id::kDefaultAfter));
}

void fMain::cmdTestConfirmation_Click() {
    if (!Ticked("chkShowMessage")) {
        ShowMessage(LoadText(text_id::kWillNotShow), mb::kOk);
        return;
    }
    // The question exactly as a run would ask it, with the boxes and minutes on screen.
    const std::int16_t buttons =
        Ticked("chkYesIsDefault") ? mb::kYesNo : mb::kYesNo + mb::kDefButton2;
    const std::string question = LoadText(str_id::kConfirmBefore) + (*this)["txtMinutes"].Text() +
                                 LoadText(str_id::kConfirmAfter);
    fMyMsgBox box(gServices->forms, gServices->strings, gServices->productName);
    const std::int16_t answer = box.DisplayMessage(question, buttons, kConfirmWaitSeconds);
    ShowMessage(LoadText(answer == 1 ? text_id::kSelectedShutDown : text_id::kSelectedNotShutDown),
                mb::kOk);
}

}  // namespace mgr
