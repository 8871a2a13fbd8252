#include "manager/SettingsForm.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>
#include <variant>

#include "common/SharedObjects.h"
#include "common/StringTable.h"
#include "manager/SSManager.h"
#include "manager/SaveRequest.h"

namespace mgr {

namespace {

constexpr std::int32_t kDefaultMinutes = 30;
constexpr std::int32_t kMaxMinutes = std::numeric_limits<std::int16_t>::max();

const TwipRect kPageRect{240, 600, 5535, 3375 + fMain::kTimersHeight};
// The row of OK, Cancel and Help.
constexpr int kButtonsTop = 4320 + fMain::kTimersHeight;

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

std::vector<std::int16_t> OfferedShutdownTypes(const cOSInfo& os, bool multiUsers,
                                               const std::optional<PowerCapabilities>& power) {
    std::vector<std::int16_t> codes{shutdown_code::kShutDown, shutdown_code::kRestart};
    if (os.canRestartInDosMode()) codes.push_back(shutdown_code::kRestartInMsDos);
    if (multiUsers) codes.push_back(shutdown_code::kLogOff);
    // What the computer cannot do, or may not be known to do, is not offered.
    if (power && power->CanSleep() && !power->aoAc) codes.push_back(shutdown_code::kSleep);
    if (power && power->CanHibernate()) codes.push_back(shutdown_code::kHibernate);
    return codes;
}

fMain::fMain(FormHost& host, ManagerServices& manager) : Form(host, "fMain"), manager_(manager) {
    SetClientSize(kClientSize);
    HasMinimizeBox = true;

    tabstrip1 = Add<TabStrip>("tabstrip1", {{120, 120, 5775, 4095 + kTimersHeight}, 12});
    tabstrip1->onClick = [this] { tabstrip1_Click(); };
    // Only the Main Settings page is seen until another tab is chosen.
    picSettings = Add<Page>("picSettings", {kPageRect, 0});
    picConfirmMessage = Add<Page>("picConfirmMessage", {kPageRect, 23});
    picConfirmMessage->SetVisible(false);
    picAbout = Add<Page>("picAbout", {kPageRect, 13});
    picAbout->SetVisible(false);

    cmdOk = Add<Button>("cmdOk", {{2040, kButtonsTop, 1215, 375}, 11});
    cmdOk->SetDefault(true);
    cmdOk->onClick = [this] { cmdOk_Click(); };
    cmdCancel = Add<Button>("cmdCancel", {{3360, kButtonsTop, 1215, 375}, 10});
    cmdCancel->onClick = [this] { Unload(); };
    SetCancelButton(cmdCancel);
    cmdHelp = Add<Button>("cmdHelp", {{4680, kButtonsTop, 1215, 375}, 29});
    cmdHelp->SetText("&Help");
    cmdHelp->onClick = [this] { cmdHelp_Click(); };

    AddMainControls();
    AddConfirmationControls();
    AddAboutControls();
}

void fMain::AddMainControls() {
    Page* page = picSettings;
    Label1[0] = Add<Label>("Label1(0)", {{120, 120, 3975, 255}, 9, page});
    cboScreenSavers = Add<ComboList>("cboScreenSavers", {{120, 480, 5175, 315}, 6, page});
    Label1[0]->SetFor(cboScreenSavers);
    cboScreenSavers->SetSorted(true);
    cmdSettings = Add<Button>("cmdSettings", {{2760, 840, 1215, 375}, 5, page});
    cmdSettings->onClick = [this] { cmdSettings_Click(); };
    cmdPreview = Add<Button>("cmdPreview", {{4080, 840, 1215, 375}, 4, page});
    cmdPreview->onClick = [this] { cmdPreview_Click(); };
    Label1[2] = Add<Label>("Label1(2)", {{360, 1440, 615, 375}, 7, page});
    txtMinutes = Add<TextBox>("txtMinutes", {{1200, 1440, 615, 285}, 3, page});
    Label1[2]->SetFor(txtMinutes);
    txtMinutes->onGotFocus = [this] { txtMinutes->SetSelection(1, 1); };
    txtMinutes->onLostFocus = [this] { ValidateMinutes(); };
    // The warning follows the minutes as they are typed.
    txtMinutes->onChange = [this] { ShowWindowsTimers(); };
    Label1[1] = Add<Label>("Label1(1)", {{2040, 1440, 2055, 375}, 8, page});
    cboShutdownType = Add<ComboList>("cboShutdownType", {{1200, 2040, 2655, 315}, 2, page});
    // The list's only caption is the end of the sentence that leads to it.
    Label1[1]->SetFor(cboShutdownType);
    chkRunKelvane = Add<CheckBox>("chkRunKelvane", {{1200, 2520, 3975, 375}, 1, page});
    chkRunKelvane->onClick = [this] { ShowSuspendNote(); };
    // Right after "Run Kelvane" in the tab order. The note takes its place while sleep or
    // hibernate is chosen, which install no updates.
    chkInstallUpdates = Add<CheckBox>("chkInstallUpdates", {{1200, 2880, 3975, 375}, 1, page});
    lblSuspendNote = Add<Label>("lblSuspendNote", {{1200, 2940, 4215, 375}, 1, page});
    lblSuspendNote->SetVisible(false);
    cboShutdownType->onChange = [this] { ShowSuspendNote(); };
    // Below the timers.
    lblManaged = Add<Label>("lblManaged", {{120, 5640, 5295, 255}, 30, page});
    lblManaged->SetVisible(false);
    AddTimerControls();
}

std::string fMain::LoadText(int id) const {
    return gServices->strings.Load(id).value_or("");
}

int fMain::ShowMessage(const std::string& text, int style) const {
    return gServices->messageBox.Show(text, gServices->programTitle, style);
}

void fMain::OnLoad() {
    LoadCaptions();
    LoadSharedOptions();
    BuildShutdownTypes();
    BuildCatalogue();
    ShowOptions();
    ShowManaged();
    SetAboutTexts();
    ShowWindowsTimers();
    // Asked once the key has had its chance to be created by the load.
    elevate_ = !manager_.elevation.CanWriteMachineKey("Software\\" + gSSOptions->RegSoftwareKey() +
                                                      "\\" + gSSOptions->RegKeyName());
    cmdOk->SetShield(elevate_);
}

void fMain::LoadCaptions() {
    using namespace text_id;
    cmdOk->SetText(LoadText(str_id::kOk));
    cmdCancel->SetText(LoadText(str_id::kCancel));
    cmdSettings->SetText(LoadText(kSettings));
    cmdPreview->SetText(LoadText(kPreview));
    Label1[2]->SetText(LoadText(kWait));
    Label1[1]->SetText(LoadText(kMinutesAndThen));
    chkRunKelvane->SetText(LoadText(kRunKelvane));
    chkInstallUpdates->SetText(LoadText(kInstallUpdates));
    Label1[0]->SetText(LoadText(kScreenSaver));
    lblManaged->SetText(LoadText(kManagedByPolicy));
    SetCaption(LoadText(kWindowCaption));

    tabstrip1->ClearItems();
    tabstrip1->AddItem(LoadText(kMainTab), 0, "main");
    tabstrip1->AddItem(LoadText(kConfirmationTab), 0, "confirmation");
    tabstrip1->AddItem(LoadText(kAboutTab), 0, "about");
    tabstrip1->SetListIndex(0);

    chkShowMessage->SetText(LoadText(kShowMessage));
    chkYesIsDefault->SetText(LoadText(kYesIsDefault));
    cmdTestConfirmation->SetText(LoadText(kTestConfirmation));

    lblHomrUrl->SetText(LoadText(kWebAddress));
    Label3->SetText(LoadText(kMailComments));
    lblKelvane->SetText(LoadText(kKelvane) + LoadText(kAnd) + LoadText(kPemrosePlus));
    lblRunProgsAtShutdown->SetText(LoadText(kRunProgramsWith));

    resourceTexts_.assign(resource_text::kCount, "");
    for (int i = 0; i < resource_text::kVersion; ++i)
        resourceTexts_[i] = LoadText(kResourceTextsFirst + i);
    resourceTexts_[resource_text::kVersion] = LoadText(kVersion);
}

void fMain::BuildShutdownTypes() {
    cboShutdownType->ClearItems();
    const int first = gOSInfo->interfaceUsed() == 2 ? resource_text::kShutDownShort
                                                    : resource_text::kShutDownLong;
    auto add = [&](std::int16_t code) {
        if (shutdown_code::IsSuspend(code)) {
            cboShutdownType->AddItem(
                LoadText(code == shutdown_code::kSleep ? text_id::kSleep : text_id::kHibernate),
                code);
            return;
        }
        // The texts come in the order shut down, restart, MS-DOS mode, log off.
        const int offset = code == shutdown_code::kShutDown         ? 0
                           : code == shutdown_code::kRestart        ? 1
                           : code == shutdown_code::kRestartInMsDos ? 2
                                                                    : 3;
        cboShutdownType->AddItem(resourceTexts_[first + offset], code);
    };
    const auto offered =
        OfferedShutdownTypes(*gOSInfo, gSystemInfo->MultiUsers(), manager_.power.Capabilities());
    for (const std::int16_t code : offered) add(code);
    // A kind the policy sets is shown even where this system would not offer it.
    const auto& managed = gSSOptions->Policy().ShutdownType;
    if (managed && std::find(offered.begin(), offered.end(), *managed) == offered.end())
        add(*managed);
}

void fMain::ShowManaged() {
    const std::pair<const char*, Control*> controls[] = {
        {"RunKelvane", chkRunKelvane},         {"SelectedScreenSaver", cboScreenSavers},
        {"ShutdownType", cboShutdownType},     {"WaitMinutes", txtMinutes},
        {"ConfirmShutdown", chkShowMessage},   {"DefaultConfirmYes", chkYesIsDefault},
        {"InstallUpdates", chkInstallUpdates},
    };
    for (const auto& [name, control] : controls)
        if (Managed(name)) control->SetEnabled(false);
    lblManaged->SetVisible(gSSOptions->Policy().ManagesAnySetting());
}

bool fMain::Managed(const char* name) const {
    return gSSOptions->Policy().Manages(name);
}

void fMain::ShowOptions() {
    if (gOptions.RunKelvane) chkRunKelvane->SetValue(1);
    cboScreenSavers->SetListIndex(FindItemDataIndex(*cboScreenSavers, selectedScreenSaverIndex_));
    cboShutdownType->SetListIndex(FindItemDataIndex(*cboShutdownType, gOptions.ShutdownType));
    if (gOptions.InstallUpdates) chkInstallUpdates->SetValue(1);
    ShowSuspendNote();
    txtMinutes->SetText(std::to_string(gOptions.WaitMinutes));
    ValidateMinutes();
    if (gOptions.ConfirmShutdown) chkShowMessage->SetValue(1);
    chkShowMessage_Click();
    if (gOptions.DefaultConfirmYes) chkYesIsDefault->SetValue(1);
    chkYesIsDefault_Click();
}

void fMain::ShowSuspendNote() {
    const int chosen = cboShutdownType->ListIndex();
    const bool suspend =
        chosen >= 0 &&
        shutdown_code::IsSuspend(static_cast<std::int16_t>(cboShutdownType->Item(chosen).tag));
    chkInstallUpdates->SetVisible(!suspend);
    lblSuspendNote->SetVisible(suspend);
    lblSuspendNote->SetText(suspend && chkRunKelvane->Ticked()
                                ? LoadText(text_id::kSuspendNotLauncher)
                                : std::string());
}

int fMain::FindItemDataIndex(const ComboList& list, std::int32_t value) {
    for (int i = 0; i < list.ListCount(); ++i)
        if (list.Item(i).tag == value) return i;
    return 0;
}

void fMain::ValidateMinutes() {
    txtMinutes->SetText(NormaliseMinutes(gServices->facts, txtMinutes->Text()));
}

void fMain::OnCloseBox() {
    // The save in progress reports to this window; it closes when the save has ended.
    if (!saving_) Unload();
}

void fMain::tabstrip1_Click() {
    const std::string key = tabstrip1->SelectedKey();
    Page* shown = key == "main"           ? picSettings
                  : key == "confirmation" ? picConfirmMessage
                  : key == "about"        ? picAbout
                                          : nullptr;
    if (!shown) return;
    for (Page* page : {picSettings, picConfirmMessage, picAbout}) page->SetVisible(page == shown);
}

void fMain::cmdOk_Click() {
    if (!ValidateKelvane()) return;

    // What the key held at the load: the trail's "before", and the value of every setting
    // a policy manages. The policy's value is never saved, and a copy with administrator
    // rights that no longer sees the policy then writes back what was there.
    const tSSOptions& stored = gSSOptions->Stored();
    tSSOptions chosen = gOptions;
    chosen.AppPath = gServices->programFolder;
    chosen.LogDir = gServices->programFolder + "\\" + kLogFileName;
    chosen.RunKelvane = chkRunKelvane->Ticked();
    // An empty catalogue stores no screen saver; the screen saver then asks for the
    // manager again.
    chosen.SelectedScreenSaver = ChosenScreenSaver();
    const int type = cboShutdownType->ListIndex();
    if (type >= 0) chosen.ShutdownType = static_cast<std::int16_t>(cboShutdownType->Item(type).tag);
    chosen.WaitMinutes = static_cast<std::int16_t>(std::stoi(txtMinutes->Text()));
    chosen.ConfirmShutdown = chkShowMessage->Ticked();
    chosen.DefaultConfirmYes = chkYesIsDefault->Ticked();
    chosen.InstallUpdates = chkInstallUpdates->Ticked();
    for (const tOptionField& field : kOptionFields)
        if (Managed(field.name))
            std::visit([&](auto member) { chosen.*member = stored.*member; }, field.member);

    // A run starts these for every user: the window takes only what a run would start.
    const std::string& saver = chosen.SelectedScreenSaver;
    if (!Managed("SelectedScreenSaver") && !saver.empty() &&
        !Allowed(CheckScreenSaver(saver, PathOrigin::kSettings), saver))
        return;
    const std::string manager = chosen.AppPath + "\\" + kManagerFileName;
    if (!Allowed(CheckMachineProgram(manager, PathOrigin::kSettings), manager)) return;

    if (!Save(stored, chosen)) {
        // Refused, declined or not started: say so, and keep the window so nothing the
        // user chose is lost.
        ShowMessage(LoadText(text_id::kNotSaved), mb::kOk | mb::kIconStop);
        return;
    }
    Unload();
}

bool fMain::Save(const tSSOptions& before, const tSSOptions& chosen) {
    // A copy with administrator rights saves, and tells the event log, itself.
    if (elevate_) return SaveElevated(chosen);
    gAppReg->WriteRefusal = 0;
    const bool saved = gSSOptions->SaveOptions(chosen);
    ReportSave(*gServices, before, chosen, false,
               saved ? std::nullopt : std::optional(RegistryRefusal(gAppReg->WriteRefusal)));
    return saved;
}

bool fMain::SaveElevated(const tSSOptions& chosen) {
    const ElevatedStart start =
        manager_.elevation.StartElevated(manager_.program.path, SaveRequestParameters(chosen));
    if (!start.process) {
        ReportSave(*gServices, chosen, chosen, true,
                   ErrorInfo{static_cast<std::int32_t>(start.error), "Somnivex",
                             static_cast<std::int32_t>(start.error) == win_error::kCancelled
                                 ? "The prompt for administrator rights was declined."
                                 : "The save with administrator rights could not be started."});
        return false;
    }

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
            window.cmdOk->SetEnabled(!on);
            window.cmdCancel->SetEnabled(!on);
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
