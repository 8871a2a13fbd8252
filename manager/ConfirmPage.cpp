// The Confirmation Message page: whether the screen saver asks before its run, which
// answer the question falls back to, and a button that asks the very question.
#include "common/MyMsgBox.h"
#include "common/SharedObjects.h"
#include "common/ShutdownTexts.h"
#include "common/StringTable.h"
#include "manager/SettingsForm.h"

namespace mgr {

namespace {
constexpr std::int16_t kConfirmWaitSeconds = 5;
}

void fMain::AddConfirmationControls() {
    Page* page = picConfirmMessage;
    chkShowMessage = Add<CheckBox>("chkShowMessage", {{240, 0, 4935, 735}, 24, page});
    chkShowMessage->onClick = [this] { chkShowMessage_Click(); };
    lbStatusOflShowMessage =
        Add<Label>("lbStatusOflShowMessage", {{240, 720, 4695, 375}, 27, page});
    lbStatusOflShowMessage->SetWordWrap(true);
    chkYesIsDefault = Add<CheckBox>("chkYesIsDefault", {{240, 1080, 4935, 735}, 25, page});
    chkYesIsDefault->onClick = [this] { chkYesIsDefault_Click(); };
    lblYesResponseMessage = Add<Label>("lblYesResponseMessage", {{240, 1800, 4695, 615}, 28, page});
    lblYesResponseMessage->SetWordWrap(true);
    cmdTestConfirmation = Add<Button>("cmdTestConfirmation", {{1680, 2760, 2415, 375}, 26, page});
    cmdTestConfirmation->onClick = [this] { cmdTestConfirmation_Click(); };
}

void fMain::chkShowMessage_Click() {
    lbStatusOflShowMessage->SetText(
        LoadText(chkShowMessage->Ticked() ? text_id::kWillShow : text_id::kWillNotShow));
}

void fMain::chkYesIsDefault_Click() {
    const std::string answer = LoadText(chkYesIsDefault->Ticked() ? str_id::kYes : str_id::kNo);
    lblYesResponseMessage->SetText(LoadText(text_id::kDefaultBefore) + "'" + answer + "'" +
                                   LoadText(text_id::kDefaultAfter));
}

void fMain::cmdTestConfirmation_Click() {
    if (!chkShowMessage->Ticked()) {
        ShowMessage(LoadText(text_id::kWillNotShow), mb::kOk);
        return;
    }
    // The question exactly as a run would ask it, with the boxes and minutes on screen.
    const std::int16_t buttons =
        chkYesIsDefault->Ticked() ? mb::kYesNo : mb::kYesNo + mb::kDefButton2;
    const int type = cboShutdownType->ListIndex();
    const auto code = static_cast<std::int16_t>(type >= 0 ? cboShutdownType->Item(type).tag
                                                          : shutdown_code::kShutDown);
    const std::string question = ConfirmationQuestion(
        gServices->strings, EndKindOf(chkRunKelvane->Ticked(), code), txtMinutes->Text());
    fMyMsgBox box(gServices->forms, gServices->strings, gServices->productName);
    const std::int16_t answer = box.DisplayMessage(question, buttons, kConfirmWaitSeconds);
    ShowMessage(LoadText(answer == 1 ? text_id::kSelectedShutDown : text_id::kSelectedNotShutDown),
                mb::kOk);
}

}  // namespace mgr
