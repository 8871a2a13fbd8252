// fMain of Somniconf.exe: the settings window. A tab strip with three pages (Main
// Settings, Confirmation Message, About) and OK, Cancel and Help below it. The controls
// are the working copy of the options from the moment the window loads; only OK writes
// them back, and only OK looks for the sibling launcher when it is to be used.
//
// The implementation is split by page: SettingsForm.cpp (window, main page, buttons),
// Catalogue.cpp (the screen-saver list), ConfirmPage.cpp and AboutPage.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/Forms.h"
#include "common/Platform.h"
#include "common/PowerFacts.h"
#include "common/ProgramPaths.h"
#include "manager/ManagerSeams.h"

class cOSInfo;
struct tSSOptions;

namespace mgr {

struct UserScreenSaver;

// The text of the minutes box made a whole number of minutes: read in the user's number
// format (blanks around it, a sign and a decimal fraction) and rounded half to even;
// what is no number or does not fit 32 bits becomes "30"; the rest is held to 1 to
// 32767, the range the stored 16-bit field can keep.
std::string NormaliseMinutes(ISystemFacts& facts, const std::string& text);

// `path` with a backslash at its end.
std::string AddBackslash(const std::string& path);
// The part before the first NUL, without blanks at either end.
std::string TrimNull(const std::string& text);

// The shutdown codes the list offers, in its order: shut down and restart always, MS-DOS
// mode where the system has it, log off where several people can log on, sleep where
// the computer has a sleep state (Modern Standby has none a program may ask for), and
// hibernate where it has S4 and a hibernation file.
std::vector<std::int16_t> OfferedShutdownTypes(const cOSInfo& os, bool multiUsers,
                                               const std::optional<PowerCapabilities>& power);

// What separates a screen saver's name from its description in the list.
constexpr const char* kEntrySeparator = "  |  ";
constexpr const char* kScreenSaverPattern = "*.scr";
constexpr const char* kOwnFileName = "Somnivex.scr";
constexpr const char* kHelpFileName = "Somnivex.html";
constexpr const char* kLogFileName = "Error.log";
constexpr const char* kMailSubject = "Concerning Somnivex";

// String ids of the manager's table used by the window.
namespace text_id {
constexpr int kSettings = 200;
constexpr int kPreview = 201;
constexpr int kWait = 202;
constexpr int kMinutesAndThen = 203;
constexpr int kRunKelvane = 204;
constexpr int kScreenSaver = 205;
constexpr int kRunProgramsWith = 206;
constexpr int kKelvane = 207;
constexpr int kPemrosePlus = 208;
constexpr int kAnd = 209;
constexpr int kInstallUpdates = 1030;
constexpr int kSleep = 1031;
constexpr int kHibernate = 1032;
constexpr int kSuspendNotLauncher = 1033;
constexpr int kResourceTextsFirst = 1000;  // 1000 to 1009 into ResourceTexts 0 to 9
constexpr int kVersion = 1476;             // ResourceTexts 10
constexpr int kWindowCaption = 1101;
constexpr int kAboutTab = 1102;
constexpr int kMainTab = 1103;
constexpr int kConfirmationTab = 1104;
constexpr int kWebAddress = 1105;
constexpr int kMailComments = 1107;
constexpr int kNotSaved = 1110;
constexpr int kSettingsNotStarted = 1111;
constexpr int kHelpNotOpened = 1112;
constexpr int kManagedByPolicy = 1113;
constexpr int kProgramRefused = 1120;
constexpr int kShowMessage = 1502;
constexpr int kYesIsDefault = 1503;
constexpr int kWillShow = 1504;
constexpr int kWillNotShow = 1505;
constexpr int kDefaultBefore = 1506;
constexpr int kDefaultAfter = 1507;
constexpr int kTestConfirmation = 1508;
constexpr int kSelectedShutDown = 1509;
constexpr int kSelectedNotShutDown = 1510;
}  // namespace text_id

// Positions in ResourceTexts.
namespace resource_text {
constexpr int kShutDownLong = 0;   // 1000; 1001 restart, 1002 MS-DOS, 1003 log off
constexpr int kShutDownShort = 4;  // 1004; 1005 restart, 1006 MS-DOS, 1007 log off
constexpr int kCouldNotFindKelvane = 8;
constexpr int kLocateKelvane = 9;
constexpr int kVersion = 10;
constexpr int kCount = 11;
}  // namespace resource_text

class fMain : public Form {
  public:
    fMain(FormHost& host, ManagerServices& manager);

    // The controls, in the order they are made. The pages lie over the tab strip; each
    // control below a page's name sits on that page.
    TabStrip* tabstrip1 = nullptr;
    Page* picSettings = nullptr;
    Page* picConfirmMessage = nullptr;
    Page* picAbout = nullptr;
    Button* cmdOk = nullptr;
    Button* cmdCancel = nullptr;
    Button* cmdHelp = nullptr;
    // Main Settings. Label1: 0 "Screen Saver", 1 "minute(s) and then", 2 "Wait".
    std::array<Label*, 3> Label1{};
    ComboList* cboScreenSavers = nullptr;
    Button* cmdSettings = nullptr;
    Button* cmdPreview = nullptr;
    TextBox* txtMinutes = nullptr;
    ComboList* cboShutdownType = nullptr;
    CheckBox* chkRunKelvane = nullptr;
    // Under "Run Kelvane": whether a shut down or restart installs Windows' waiting updates.
    CheckBox* chkInstallUpdates = nullptr;
    // Beside the launcher's box while sleep or hibernate is chosen: those go through Windows.
    Label* lblSuspendNote = nullptr;
    // Seen only while a policy fixes some of the settings.
    Label* lblManaged = nullptr;
    // Below those, this user's screen saver and Windows' own timers: whether Windows
    // starts Somnivex at all, after which wait, and whether the PC sleeps first.
    Line* linTimers = nullptr;
    Label* lblMyScreenSaver = nullptr;
    Button* cmdMakeMine = nullptr;
    Label* lblTimers = nullptr;
    Label* lblOnMains = nullptr;
    Label* lblOnBattery = nullptr;
    Label* lblSaverStarts = nullptr;
    Label* lblSaverWait = nullptr;
    Label* lblSleeps = nullptr;
    Label* lblSleepMains = nullptr;
    Label* lblSleepBattery = nullptr;
    Picture* imgSleepWarning = nullptr;
    Label* lblSleepWarning = nullptr;
    // Confirmation Message.
    CheckBox* chkShowMessage = nullptr;
    Label* lbStatusOflShowMessage = nullptr;
    CheckBox* chkYesIsDefault = nullptr;
    Label* lblYesResponseMessage = nullptr;
    Button* cmdTestConfirmation = nullptr;
    // About.
    Label* lblAppTitle = nullptr;
    Label* lblVersion = nullptr;
    Label* lblCompany = nullptr;
    LinkLabel* lblHomrUrl = nullptr;
    Label* lblCopyright = nullptr;
    Label* lblRunProgsAtShutdown = nullptr;
    LinkLabel* lblKelvane = nullptr;
    Label* Label3 = nullptr;
    LinkLabel* lblEmail = nullptr;

    void LoadCaptions();
    void ShowOptions();
    // The updates box for a shut down or restart; for sleep or hibernate, the note that
    // they go through Windows when the launcher is chosen.
    void ShowSuspendNote();
    // The position of the first entry whose tag is `value`; 0 when none is.
    static int FindItemDataIndex(const ComboList& list, std::int32_t value);
    void ValidateMinutes();
    // Run first by OK: true when OK may go on. Finds the launcher, or asks the user to
    // locate it, when "Run Kelvane" is ticked; never asks when a policy decides the
    // launcher or whether it runs.
    bool ValidateKelvane();
    void HyperJump(const std::string& url);
    void SendMail(const std::string& address, const std::string& subject);

    // The catalogue.
    void FindScreenSavers(const std::string& folder, const std::string& pattern);
    void AddScreenSaverFiles(const std::string& folder, const std::string& pattern);
    // Position 0 is unused; the tag of each list entry is the position of its path.
    const std::vector<std::string>& ScreenSaverPaths() const { return screenSaverPaths_; }
    std::int32_t SelectedScreenSaverIndex() const { return selectedScreenSaverIndex_; }
    // The file of the chosen list entry; "" when the list is empty.
    std::string ChosenScreenSaver() const;
    // The policy when the chosen entry is the one the policy sets, else the settings.
    PathOrigin ChosenScreenSaverOrigin() const;

    const std::vector<std::string>& ResourceTexts() const { return resourceTexts_; }

    // Taller than first designed by the rows of Windows' timers.
    static constexpr int kTimersHeight = 2580;
    static constexpr TwipSize kClientSize{6030, 4815 + kTimersHeight};

  protected:
    void OnLoad() override;
    void OnCloseBox() override;

  private:
    void AddMainControls();
    void AddConfirmationControls();
    void AddAboutControls();
    void BuildShutdownTypes();
    void BuildCatalogue();
    // Adds the file at `path` to the list; gives the entry's tag.
    std::int32_t AddScreenSaverEntry(const std::string& path);
    // Disables the control of every setting a policy manages and says so on the page.
    void ShowManaged();
    // Whether a policy fixes the setting of this name.
    bool Managed(const char* name) const;
    void SetAboutTexts();
    void AddTimerControls();
    // Reads this user's screen saver and the power plan again and shows them, with the
    // warning when Windows would sleep before the minutes on screen run out.
    void ShowWindowsTimers();
    void ShowMyScreenSaver(const UserScreenSaver& saver);
    std::string DurationText(std::uint32_t seconds) const;
    void cmdMakeMine_Click();

    void tabstrip1_Click();
    void cmdOk_Click();
    // Writes `chosen`: directly when this process may, else through a copy of the
    // program with administrator rights. False when it was not saved. The event log
    // hears how it went; `before` is what the key held at the load.
    bool Save(const tSSOptions& before, const tSSOptions& chosen);
    bool SaveElevated(const tSSOptions& chosen);
    void cmdHelp_Click();
    void cmdSettings_Click();
    void cmdPreview_Click();
    void chkShowMessage_Click();
    void chkYesIsDefault_Click();
    void cmdTestConfirmation_Click();

    // True when the program may be started; otherwise says why and gives false.
    bool Allowed(const ProgramVerdict& verdict, const std::string& path) const;
    std::string LoadText(int id) const;
    // A plain message box of the manager.
    int ShowMessage(const std::string& text, int style) const;

    ManagerServices& manager_;
    std::vector<std::string> resourceTexts_;
    std::vector<std::string> screenSaverPaths_;
    std::int32_t selectedScreenSaverIndex_ = 0;
    // The Open dialog keeps the file name it last gave for as long as the window lives.
    std::string dialogFileName_;
    // This process may not write the machine-wide key: OK carries the shield.
    bool elevate_ = false;
    // An elevated save is running; the window waits for it.
    bool saving_ = false;
};

}  // namespace mgr
