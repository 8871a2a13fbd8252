#include "manager/SettingsForm.h"

#include <cctype>
#include <cstdint>
#include <limits>

#include "common/SharedObjects.h"
#include "common/StringTable.h"
#include "manager/SSManager.h"
#include "manager/SaveRequest.h"

namespace mgr {

namespace {

constexpr std::int32_t kDefaultMinutes = 30;
constexpr std::int32_t kMaxMinutes = std::numeric_limits<std::int16_t>::max();

const TwipRect kPageRect{240, 600, 5535, 3375};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// A plain decimal number ("-2.5") rounded half to even, exactly: no binary fraction can
// turn a 2.5 into a 2.4999. nullopt when the text is no number or the result does not
// fit 32 bits.
std::optional<std::int32_t> ParseRoundedNumber(const std::string& text) {
    std::size_t i = 0, end = text.size();
    while (i < end && IsBlank(text[i])) ++i;
    while (end > i && IsBlank(text[end - 1])) --end;
    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const auto isDigit = [&](std::size_t at) {
        return std::isdigit(static_cast<unsigned char>(text[at])) != 0;
    };
    std::int64_t whole = 0;
    bool anyDigit = false;
    for (; i < end && isDigit(i); ++i) {
        anyDigit = true;
        // Beyond this it cannot fit, however it rounds.
        if (whole > (std::int64_t{1} << 40)) return std::nullopt;
        whole = whole * 10 + (text[i] - '0');
    }
    int firstFraction = -1;  // the tenths digit, -1 when there is none
    bool restNonZero = false;
    if (i < end && text[i] == '.') {
        for (++i; i < end && isDigit(i); ++i) {
            anyDigit = true;
            if (firstFraction < 0)
                firstFraction = text[i] - '0';
            else if (text[i] != '0')
                restNonZero = true;
        }
    }
    if (!anyDigit || i != end) return std::nullopt;
    const bool up = firstFraction > 5 || (firstFraction == 5 && (restNonZero || whole % 2 == 1));
    if (up) ++whole;
    if (negative) whole = -whole;
    if (whole < std::numeric_limits<std::int32_t>::min() ||
        whole > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(whole);
}

}  // namespace

std::string NormaliseMinutes(ISystemFacts& facts, const std::string& text) {
    const auto plain = facts.ReadNumber(text, kUserDefaultLocale);
    const auto number = plain ? ParseRoundedNumber(*plain) : std::nullopt;
    if (!number) return std::to_string(kDefaultMinutes);
    std::int32_t minutes = *number;
    if (minutes < 1) minutes = 1;
    if (minutes > kMaxMinutes) minutes = kMaxMinutes;
    return std::to_string(minutes);
}

std::vector<std::int16_t> OfferedShutdownTypes(const cOSInfo& os, bool multiUsers) {
    std::vector<std::int16_t> codes{shutdown_code::kShutDown, shutdown_code::kRestart};
    if (os.canRestartInDosMode()) codes.push_back(shutdown_code::kRestartInMsDos);
    if (multiUsers) codes.push_back(shutdown_code::kLogOff);
    return codes;
}

fMain::fMain(FormHost& host, ManagerServices& manager) : Form(host, "fMain"), manager_(manager) {
    SetClientSize(kClientSize);
    HasMinimizeBox = true;

    Add(ControlKind::TabStrip, "tabstrip1", {120, 120, 5775, 4095}).SetTabIndex(12);
    // Only the Main Settings page is seen until another tab is chosen.
    Add(ControlKind::Page, "picSettings", kPageRect).SetTabIndex(0);
    Control& confirm = Add(ControlKind::Page, "picConfirmMessage", kPageRect);
    confirm.SetTabIndex(23);
    confirm.SetVisible(false);
    Control& about = Add(ControlKind::Page, "picAbout", kPageRect);
    about.SetTabIndex(13);
    about.SetVisible(false);

    Control& ok = Add(ControlKind::Button, "cmdOk", {2040, 4320, 1215, 375});
    ok.SetTabIndex(11);
    ok.SetDefault(true);
    Add(ControlKind::Button, "cmdCancel", {3360, 4320, 1215, 375}).SetTabIndex(10);
    SetCancelButton(Find("cmdCancel"));
    Control& help = Add(ControlKind::Button, "cmdHelp", {4680, 4320, 1215, 375});
    help.SetTabIndex(29);
    help.SetText("Help");

    AddMainControls();
    AddConfirmationControls();
    AddAboutControls();
}

void fMain::AddMainControls() {
    const char* page = "picSettings";
    Add(ControlKind::Label, "Label1(0)", {120, 120, 3975, 255}, page).SetTabIndex(9);
    Control& savers = Add(ControlKind::ComboList, "cboScreenSavers", {120, 480, 5175, 315}, page);
    savers.SetSorted(true);
    savers.SetTabIndex(6);
    Add(ControlKind::Button, "cmdSettings", {2760, 840, 1215, 375}, page).SetTabIndex(5);
    Add(ControlKind::Button, "cmdPreview", {4080, 840, 1215, 375}, page).SetTabIndex(4);
    Add(ControlKind::Label, "Label1(2)", {360, 1440, 615, 375}, page).SetTabIndex(7);
    Add(ControlKind::TextBox, "txtMinutes", {1200, 1440, 615, 285}, page).SetTabIndex(3);
    Add(ControlKind::Label, "Label1(1)", {2040, 1440, 2055, 375}, page).SetTabIndex(8);
    Add(ControlKind::ComboList, "cboShutdownType", {1200, 2040, 2655, 315}, page).SetTabIndex(2);
    Add(ControlKind::CheckBox, "chkRunKelvane", {1200, 2520, 3975, 375}, page).SetTabIndex(1);
}

std::string fMain::LoadText(int id) const {
    return gServices->strings.Load(id).value_or("");
}

bool fMain::Ticked(const char* name) const {
    return (*this)[name].Value() == 1;
}

int fMain::ShowMessage(const std::string& text, int style) const {
    return gServices->messageBox.Show(text, gServices->programTitle, style);
}

void fMain::OnLoad() {
    LoadCaptions();
    gSSOptions->LoadOptions(gOptions);
    BuildShutdownTypes();
    BuildCatalogue();
    ShowOptions();
    SetAboutTexts();
    // Asked once the key has had its chance to be created by the load.
    elevate_ = !manager_.elevation.CanWriteMachineKey("Software\\" + gSSOptions->RegSoftwareKey() +
                                                      "\\" + gSSOptions->RegKeyName());
    (*this)["cmdOk"].SetShield(elevate_);
}

void fMain::LoadCaptions() {
    using namespace text_id;
    (*this)["cmdOk"].SetText(LoadText(str_id::kOk));
    (*this)["cmdCancel"].SetText(LoadText(str_id::kCancel));
    (*this)["cmdSettings"].SetText(LoadText(kSettings));
    (*this)["cmdPreview"].SetText(LoadText(kPreview));
    (*this)["Label1(2)"].SetText(LoadText(kWait));
    (*this)["Label1(1)"].SetText(LoadText(kMinutesAndThen));
    (*this)["chkRunKelvane"].SetText(LoadText(kRunKelvane));
    (*this)["Label1(0)"].SetText(LoadText(kScreenSaver));
    SetCaption(LoadText(kWindowCaption));

    Control& tabs = (*this)["tabstrip1"];
    tabs.ClearItems();
    tabs.AddItem(LoadText(kMainTab), 0, "main");
    tabs.AddItem(LoadText(kConfirmationTab), 0, "confirmation");
    tabs.AddItem(LoadText(kAboutTab), 0, "about");
    tabs.SetListIndex(0);

    (*this)["chkShowMessage"].SetText(LoadText(kShowMessage));
    (*this)["chkYesIsDefault"].SetText(LoadText(kYesIsDefault));
    (*this)["cmdTestConfirmation"].SetText(LoadText(kTestConfirmation));

    (*this)["lblHomrUrl"].SetText(LoadText(kWebAddress));
    (*this)["Label3"].SetText(LoadText(kMailComments));
    (*this)["lblKelvane"].SetText(LoadText(kKelvane) + LoadText(kAnd) + LoadText(kPemrosePlus));
    (*this)["lblRunProgsAtShutdown"].SetText(LoadText(kRunProgramsWith));

    resourceTexts_.assign(resource_text::kCount, "");
    for (int i = 0; i < resource_text::kVersion; ++i)
        resourceTexts_[i] = LoadText(kResourceTextsFirst + i);
    resourceTexts_[resource_text::kVersion] = LoadText(kVersion);
}

void fMain::BuildShutdownTypes() {
    Control& list = (*this)["cboShutdownType"];
    list.ClearItems();
    const int first = gOSInfo->interfaceUsed() == 2 ? resource_text::kShutDownShort
                                                    : resource_text::kShutDownLong;
    for (const std::int16_t code : OfferedShutdownTypes(*gOSInfo, gSystemInfo->MultiUsers())) {
        // The texts come in the order shut down, restart, MS-DOS mode, log off.
        const int offset = code == shutdown_code::kShutDown         ? 0
                           : code == shutdown_code::kRestart        ? 1
                           : code == shutdown_code::kRestartInMsDos ? 2
                                                                    : 3;
        list.AddItem(resourceTexts_[first + offset], code);
    }
}

void fMain::ShowOptions() {
    if (gOptions.RunKelvane) (*this)["chkRunKelvane"].SetValue(1);
    Control& savers = (*this)["cboScreenSavers"];
    savers.SetListIndex(FindItemDataIndex(savers, selectedScreenSaverIndex_));
    Control& types = (*this)["cboShutdownType"];
    types.SetListIndex(FindItemDataIndex(types, gOptions.ShutdownType));
    (*this)["txtMinutes"].SetText(std::to_string(gOptions.WaitMinutes));
    ValidateMinutes();
    if (gOptions.ConfirmShutdown) (*this)["chkShowMessage"].SetValue(1);
    chkShowMessage_Click();
    if (gOptions.DefaultConfirmYes) (*this)["chkYesIsDefault"].SetValue(1);
    chkYesIsDefault_Click();
}

int fMain::FindItemDataIndex(const Control& list, std::int32_t value) {
    for (int i = 0; i < list.ListCount(); ++i)
        if (list.Item(i).tag == value) return i;
    return 0;
}

void fMain::ValidateMinutes() {
    Control& minutes = (*this)["txtMinutes"];
    minutes.SetText(NormaliseMinutes(gServices->facts, minutes.Text()));
}

void fMain::OnClick(Control& control) {
    const std::string& name = control.Name();
    if (name == "tabstrip1")
        tabstrip1_Click();
    else if (name == "cmdOk")
        cmdOk_Click();
    else if (name == "cmdCancel")
        Unload();
    else if (name == "cmdHelp")
        cmdHelp_Click();
    else if (name == "cmdSettings")
        cmdSettings_Click();
    else if (name == "cmdPreview")
        cmdPreview_Click();
    else if (name == "chkShowMessage")
        chkShowMessage_Click();
    else if (name == "chkYesIsDefault")
        chkYesIsDefault_Click();
    else if (name == "cmdTestConfirmation")
        cmdTestConfirmation_Click();
    else if (control.Kind() == ControlKind::LinkLabel)
        Link_Click(control);
}

void fMain::OnGotFocus(Control& control) {
    if (control.Name() == "txtMinutes") control.SetSelection(1, 1);
}

void fMain::OnLostFocus(Control& control) {
    if (control.Name() == "txtMinutes") ValidateMinutes();
}

void fMain::OnCloseBox() {
    // The save in progress reports to this window; it closes when the save has ended.
    if (!saving_) Unload();
}

void fMain::tabstrip1_Click() {
    const Control& tabs = (*this)["tabstrip1"];
    const int index = tabs.ListIndex();
    if (index < 0 || index >= tabs.ListCount()) return;
    const std::string& key = tabs.Item(index).key;
    const char* shown = key == "main"           ? "picSettings"
                        : key == "confirmation" ? "picConfirmMessage"
                        : key == "about"        ? "picAbout"
                                                : nullptr;
    if (!shown) return;
    for (const char* page : {"picSettings", "picConfirmMessage", "picAbout"})
        (*this)[page].SetVisible(std::string(page) == shown);
}

void fMain::cmdOk_Click() {
    if (!ValidateKelvane()) return;

    gOptions.AppPath = gServices->programFolder;
    gOptions.LogDir = gServices->programFolder + "\\" + kLogFileName;
    gOptions.RunKelvane = Ticked("chkRunKelvane");
    // An empty catalogue stores no screen saver; the screen saver then asks for the
    // manager again.
    gOptions.SelectedScreenSaver = ChosenScreenSaver();
    const Control& types = (*this)["cboShutdownType"];
    if (types.ListIndex() >= 0)
        gOptions.ShutdownType = static_cast<std::int16_t>(types.Item(types.ListIndex()).tag);
    gOptions.WaitMinutes = static_cast<std::int16_t>(std::stoi((*this)["txtMinutes"].Text()));
    gOptions.ConfirmShutdown = Ticked("chkShowMessage");
    gOptions.DefaultConfirmYes = Ticked("chkYesIsDefault");

    if (!Save()) {
        // Refused, declined or not started: say so, and keep the window so nothing the
        // user chose is lost.
        ShowMessage(LoadText(text_id::kNotSaved), mb::kOk | mb::kIconStop);
        return;
    }
    Unload();
}

bool fMain::Save() {
    return elevate_ ? SaveElevated() : gSSOptions->SaveOptions(gOptions);
}

bool fMain::SaveElevated() {
    const ElevatedStart start =
        manager_.elevation.StartElevated(manager_.program.path, SaveRequestParameters(gOptions));
    if (!start.process) return false;

    // The window goes on painting and answering while the save runs, but cannot be
    // confirmed, cancelled or closed before it has ended.
    struct Waiting {
        fMain& window;
        ProcessHandle process;
        Waiting(fMain& w, ProcessHandle p) : window(w), process(p) { Set(true); }
        ~Waiting() {
            Set(false);
            gServices->launcher.CloseProcess(process);
        }
        void Set(bool on) {
            window.saving_ = on;
            window["cmdOk"].SetEnabled(!on);
            window["cmdCancel"].SetEnabled(!on);
        }
    } waiting(*this, *start.process);
    std::uint32_t status = kStillActive;
    return gServices->loop.WaitForProcess(*start.process, [] { return false; }) &&
           gServices->launcher.ExitCode(*start.process, status) && status == save_status::kSaved;
}

void fMain::cmdHelp_Click() {
    const std::string path = gServices->programFolder + "\\" + kHelpFileName;
    // A missing page, or one no program will show, is named rather than left unsaid.
    if (FileExists(path) && gServices->launcher.ShellOpen(path, show_state::kNormal)) return;
    ShowMessage(LoadText(text_id::kHelpNotOpened) + path, mb::kOk | mb::kIconExclamation);
}

}  // namespace mgr
