// The countdown window, the program closer, the Exit-Windows controller, and the
// confirmation and dispatch of whole screen-saver runs.
#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

#include "common/Policy.h"
#include "common/SharedObjects.h"
#include "platform/fake/FakeServices.h"
#include "screensaver/Dispatch.h"
#include "screensaver/EndPrograms.h"
#include "screensaver/ExitWindows.h"
#include "screensaver/SSMain.h"
#include "screensaver/ShutWarning.h"
#include "support/RegistryValues.h"

namespace {

constexpr std::uint32_t kVisible = 0x10000000u, kPopup = 0x80000000u, kDisabled = 0x08000000u;
constexpr std::uint32_t kTool = 0x80;

class ShutdownTest : public ::testing::Test {
  protected:
    ShutdownTest() { InitSharedObjects(fake.services); }
    ~ShutdownTest() override { ReleaseSharedObjects(); }

    scr::cExitWindows Controller() {
        return scr::cExitWindows({fake.facts, fake.shutdownApi, fake.desktop, fake.loop,
                                  fake.launcher, FakeServices::kProgramFolder});
    }
    std::vector<std::uint32_t> ExitFlags() const {
        std::vector<std::uint32_t> flags;
        for (const auto& c : fake.shutdownApi.calls) flags.push_back(c.flags);
        return flags;
    }

    FakeServices fake{ProgramKind::ScreenSaver, "SCRNSAVE:Somnivex"};
};

// --- countdown -------------------------------------------------------------------------

TEST_F(ShutdownTest, CountdownRunsFromSixtyToZeroAndCloses) {
    scr::fShutWarning warning(fake.host, fake.strings, *gLogger);
    std::vector<std::string> shown;
    fake.loop.At(500, [&] { shown.push_back(warning.lblSeconds->Text()); });
    fake.loop.At(1500, [&] { shown.push_back(warning.lblSeconds->Text()); });
    fake.loop.At(59'500, [&] { shown.push_back(warning.lblSeconds->Text()); });
    const auto start = fake.clock.SteadyMilliseconds();
    warning.ShowModal();
    EXPECT_EQ(fake.clock.SteadyMilliseconds() - start, 60'000u);
    EXPECT_EQ(shown, (std::vector<std::string>{"60", "59", "1"}));
    EXPECT_EQ(warning.lblSeconds->Text(), "0");
    EXPECT_FALSE(warning.Cancelled());
    EXPECT_EQ(warning.Caption(), "Somnivex");
    EXPECT_EQ(warning.Label1->Text(), "Somnivex will shut down Windows in:");
    EXPECT_TRUE(warning.Topmost());
    EXPECT_EQ(fake.host.bringToFrontCalls, 1);  // brought above the running screen saver
    // Screen readers hear the sentence once, then every ten seconds and the last five,
    // while the focus stays on the button.
    std::vector<std::string> spoken;
    for (const auto& a : fake.host.announcements) {
        EXPECT_EQ(a.control, "lblSeconds");
        spoken.push_back(a.text);
    }
    EXPECT_EQ(spoken,
              (std::vector<std::string>{"Somnivex will shut down Windows in: 60 seconds",
                                        "50 seconds", "40 seconds", "30 seconds", "20 seconds",
                                        "10 seconds", "5", "4", "3", "2", "1"}));
}

TEST_F(ShutdownTest, CancelButtonItsAccessKeyAndEscapeCancelAtOnce) {
    enum class Way { Click, AccessKey, Escape };
    for (Way way : {Way::Click, Way::AccessKey, Way::Escape}) {
        scr::fShutWarning warning(fake.host, fake.strings, *gLogger);
        fake.loop.At(12'000, [&] {
            if (way == Way::AccessKey)
                EXPECT_TRUE(fake.host.PressAccessKey(warning, 'C'));
            else if (way == Way::Escape)
                fake.host.PressEscape(warning);
            else
                fake.host.Click(*warning.cmdCancel);
        });
        const auto start = fake.clock.SteadyMilliseconds();
        warning.ShowModal();
        EXPECT_EQ(fake.clock.SteadyMilliseconds() - start, 12'000u);
        EXPECT_TRUE(warning.Cancelled());
    }
}

TEST_F(ShutdownTest, CountdownHasNoCloseBoxAndIgnoresBeingClosed) {
    scr::fShutWarning warning(fake.host, fake.strings, *gLogger);
    EXPECT_FALSE(warning.HasCloseBox);  // and so no system menu either
    // Alt+F4 or another program's WM_CLOSE: the count goes on to its end.
    bool stillCounting = false;
    fake.loop.At(3000, [&] { fake.host.CloseBox(warning); });
    fake.loop.At(3500, [&] { stillCounting = warning.IsLoaded(); });
    const auto start = fake.clock.SteadyMilliseconds();
    warning.ShowModal();
    EXPECT_TRUE(stillCounting);
    EXPECT_EQ(fake.clock.SteadyMilliseconds() - start, 60'000u);
    EXPECT_FALSE(warning.Cancelled());
}

TEST_F(ShutdownTest, CountdownThatCannotLoadItsTextsReportsAndClosesAtOnce) {
    class Empty : public IStringSource {
        std::optional<std::string> Load(int) const override { return std::nullopt; }
    } empty;
    scr::fShutWarning warning(fake.host, empty, *gLogger);
    const auto start = fake.clock.SteadyMilliseconds();
    warning.ShowModal();
    EXPECT_EQ(fake.clock.SteadyMilliseconds(), start);
    EXPECT_FALSE(warning.Cancelled());
    ASSERT_EQ(fake.messageBox.shown.size(), 1u);
    // 0x80070716, resource not found.
    EXPECT_NE(fake.messageBox.shown[0].text.find("Error number: \t-2147023082\r\n"),
              std::string::npos)
        << fake.messageBox.shown[0].text;
}

// --- program closer --------------------------------------------------------------------

class CloserTest : public ShutdownTest {
  protected:
    CloserTest() {
        // 10: a main window; 11: its pop-up dialog; 12: a disabled owner; 13: a tool
        // window; 14: an invisible window; 15: our own window; 16: the taskbar;
        // 17: a second window of process 1001; 18: a window that does not answer.
        fake.desktop.AddWindow({10, kVisible, 0, "Notepad", 1001, 1});
        fake.desktop.AddWindow({11, kVisible | kPopup, 0, "#32770", 1001, 1});
        fake.desktop.AddWindow({12, kVisible | kDisabled, 0, "Owner", 1002, 1});
        fake.desktop.AddWindow({13, kVisible, kTool, "Tool", 1003, 1});
        fake.desktop.AddWindow({14, 0, 0, "Hidden", 1004, 1});
        fake.desktop.AddWindow({15, kVisible, 0, "SomnivexForm", 100, 1});
        fake.desktop.AddWindow({16, kVisible, 0, "Shell_TrayWnd", 1005, 1});
        fake.desktop.AddWindow({17, kVisible, 0, "Notepad", 1001, 0});
        fake.desktop.AddWindow({18, kVisible, 0, "Busy", 1006, std::nullopt});
        fake.desktop.executables = {{1005, "EXPLORER.EXE"}, {1001, "notepad.exe"}};
        fake.desktop.refuseOpen = {1004};
    }
    std::vector<WindowRef> Targets(std::uint32_t message, bool sent = false) const {
        std::vector<WindowRef> windows;
        for (const auto& m : fake.desktop.messages)
            if (m.message == message && m.sent == sent) windows.push_back(m.window);
        return windows;
    }
    scr::mGrindleEndPrograms closer{fake.desktop, fake.loop};
};

TEST_F(CloserTest, PoliteRunClosesQueriesAndTakesFiveSeconds) {
    const auto start = fake.clock.SteadyMilliseconds();
    closer.EndAllPrograms(false);
    // Pop-ups once; main windows (also the shell's, with no process given); never our own.
    EXPECT_EQ(Targets(wm::kClose), (std::vector<WindowRef>{11, 10, 16, 17, 18}));
    EXPECT_EQ(Targets(wm::kQueryEndSession, true), (std::vector<WindowRef>{10, 16, 17, 18}));
    // A window that answered is told the outcome; 17 refused; 18 never answered.
    std::vector<std::pair<WindowRef, std::uintptr_t>> ends;
    for (const auto& m : fake.desktop.messages)
        if (m.message == wm::kEndSession) {
            ends.push_back({m.window, m.wParam});
            EXPECT_EQ(m.lParam, scr::mGrindleEndPrograms::kEndSessionLogoff);
        }
    EXPECT_EQ(ends, (std::vector<std::pair<WindowRef, std::uintptr_t>>{{10, 1}, {16, 1}, {17, 0}}));
    EXPECT_TRUE(fake.desktop.opened.empty());
    // 1 + 2 + 2 seconds of waiting, plus the query that timed out.
    EXPECT_EQ(fake.clock.SteadyMilliseconds() - start,
              5000u + scr::mGrindleEndPrograms::kQueryTimeoutMs);
}

TEST_F(CloserTest, ForcedRunTerminatesEachProcessOnceAndSparesTheSystemOnes) {
    closer.EndAllPrograms(true);
    EXPECT_EQ(Targets(wm::kClose), (std::vector<WindowRef>{11, 10, 16, 17, 18, 11}));
    // Every process with a window, in enumeration order, once; never our own (100).
    EXPECT_EQ(closer.VisitedProcessIds(),
              (std::vector<std::uint32_t>{1001, 1002, 1003, 1004, 1005, 1006}));
    // The shell is spared; 1004 refused to open and is not tried again.
    EXPECT_EQ(fake.desktop.opened, (std::vector<std::uint32_t>{1001, 1002, 1003, 1004, 1006}));
    EXPECT_EQ(fake.desktop.terminated, (std::vector<std::uint32_t>{1001, 1002, 1003, 1006}));
    EXPECT_EQ(fake.desktop.openProcessHandles, 0);
}

TEST_F(CloserTest, TargetRulesPerKind) {
    EXPECT_TRUE(closer.IsTargetWindow(14, scr::mGrindleEndPrograms::AnyWindow, 0));
    EXPECT_FALSE(closer.IsTargetWindow(14, scr::mGrindleEndPrograms::MainWindow, 0));
    EXPECT_FALSE(closer.IsTargetWindow(12, scr::mGrindleEndPrograms::MainWindow, 0));
    EXPECT_TRUE(closer.IsTargetWindow(11, scr::mGrindleEndPrograms::PopupWindow, 0));
    EXPECT_FALSE(closer.IsTargetWindow(11, scr::mGrindleEndPrograms::MainWindow, 0));
    EXPECT_FALSE(closer.IsTargetWindow(15, scr::mGrindleEndPrograms::AnyWindow, 0));
    // With a process given, the shell's windows are exempt; otherwise only that process.
    EXPECT_FALSE(closer.IsTargetWindow(16, scr::mGrindleEndPrograms::MainWindow, 1005));
    EXPECT_TRUE(closer.IsTargetWindow(10, scr::mGrindleEndPrograms::MainWindow, 1001));
    EXPECT_FALSE(closer.IsTargetWindow(10, scr::mGrindleEndPrograms::MainWindow, 1002));
    EXPECT_TRUE(closer.IsShellWindowClass(16));
    EXPECT_FALSE(closer.IsShellWindowClass(10));
    EXPECT_TRUE(scr::mGrindleEndPrograms::IsProtectedExecutable("SvcHost.exe"));
    EXPECT_FALSE(scr::mGrindleEndPrograms::IsProtectedExecutable("notepad.exe"));
}

TEST_F(CloserTest, WaitSurvivesTheTickCountWrap) {
    fake.desktop.tickBase = 0xFFFFFFFFull - fake.clock.SteadyMilliseconds() - 300;
    int ticks = 0;
    TimerId timer = fake.loop.StartTimer(100, [&] { ++ticks; });
    const auto start = fake.clock.SteadyMilliseconds();
    EXPECT_EQ(closer.WaitWithMessages(1000, nullptr, 0), 258u);
    EXPECT_EQ(fake.clock.SteadyMilliseconds() - start, 1000u);
    EXPECT_EQ(ticks, 10);  // the program's own timers ran meanwhile
    fake.loop.StopTimer(timer);
}

// --- Exit-Windows controller ----------------------------------------------------------

TEST_F(ShutdownTest, FlagWordTable) {
    auto c = Controller();
    EXPECT_EQ(c.GetFlagsValue(), 1);  // fresh: shut down
    c.luFlags(5);
    EXPECT_EQ(c.GetFlagsValue(), 5);
    c.setShutdownComputer();
    EXPECT_EQ(c.GetFlagsValue(), 1);
    c.setRestartComputer();
    EXPECT_EQ(c.GetFlagsValue(), 2);
    c.setLogoffComputer();
    EXPECT_EQ(c.GetFlagsValue(), 0);
    c.luFlags(0);
    EXPECT_EQ(c.GetFlagsValue(), 0);
}

TEST_F(ShutdownTest, DoExitWindowsFlagsAndPowerOff) {
    auto fresh = Controller();
    EXPECT_EQ(fresh.DoExitWindows(-1), scr::cExitWindows::kAccepted);
    auto forced = Controller();
    forced.luFlags(5);
    forced.PowerOff(true);
    forced.DoExitWindows(-1);  // not exactly 1: no power-off
    auto power = Controller();
    power.PowerOff(true);
    power.DoExitWindows(1);
    auto restart = Controller();
    restart.setRestartComputer();
    restart.DoExitWindows(0);  // an explicit word wins over the configuration
    EXPECT_EQ(ExitFlags(), (std::vector<std::uint32_t>{1, 5, 9, 0}));
    // Logged by Windows as planned (SHTDN_REASON_FLAG_PLANNED), major and minor "other".
    for (const auto& call : fake.shutdownApi.calls) EXPECT_EQ(call.reason, 0x80000000u);
}

TEST_F(ShutdownTest, PrivilegeOnTheNtFamilyOnly) {
    fake.shutdownApi.privilegeError = 1300;  // ERROR_NOT_ALL_ASSIGNED
    fake.shutdownApi.accept = false;
    EXPECT_EQ(Controller().DoExitWindows(1), scr::cExitWindows::kRefused);
    EXPECT_EQ(fake.shutdownApi.privilegeCalls, 1);

    fake.facts.version = {3, 51, 1057, 2, ""};  // NT 3: no privilege step
    fake.shutdownApi.accept = true;
    EXPECT_EQ(Controller().DoExitWindows(2), scr::cExitWindows::kAccepted);
    EXPECT_EQ(fake.shutdownApi.privilegeCalls, 1);
}

TEST_F(ShutdownTest, MsDosModeNeedsTheOsAndStartsThePifQuoted) {
    auto c = Controller();
    EXPECT_THROW(c.setRestartInMsDOSMode(), RaisedError);
    c.OsInfoClass(std::make_shared<cOSInfo>(OsVersionRecord{4, 10, 0, 1, ""}));  // Windows 98
    c.setRestartInMsDOSMode();
    EXPECT_EQ(c.GetFlagsValue(), 99);
    // The file is missing: status 3 and no ExitWindowsEx.
    EXPECT_EQ(c.DoExitWindows(-1), scr::cExitWindows::kDosStartFailed);
    EXPECT_TRUE(fake.shutdownApi.calls.empty());

    const std::string pif = std::string(FakeServices::kProgramFolder) + "\\ExitToDos.PIF";
    fake.files.AddFile(pif);
    EXPECT_EQ(c.DoExitWindows(-1), scr::cExitWindows::kRefused);  // started: 0, not 1
    ASSERT_EQ(fake.launcher.started.size(), 1u);
    EXPECT_EQ(fake.launcher.started[0].commandLine, "\"" + pif + "\"");
    EXPECT_EQ(fake.launcher.started[0].showState, show_state::kMinimized);

    auto onNt = Controller();
    onNt.OsInfoClass(std::make_shared<cOSInfo>(OsVersionRecord{5, 0, 0, 2, ""}));
    onNt.setRestartInMsDOSMode();
    EXPECT_EQ(onNt.GetFlagsValue(), 1);  // no MS-DOS mode on the NT family
}

TEST_F(ShutdownTest, MsDosPathReportsAFailedPrivilegeAsTwo) {
    fake.files.AddFile(std::string(FakeServices::kProgramFolder) + "\\ExitToDos.PIF");
    fake.shutdownApi.privilegeError = 1300;
    EXPECT_EQ(Controller().DoExitWindows(99), scr::cExitWindows::kDosStartedWithoutPrivilege);
}

TEST_F(ShutdownTest, StoredMsDosCodeIsNeverAForcedLogOff) {
    EXPECT_EQ(Controller().DoExitWindows(20), scr::cExitWindows::kAccepted);  // Windows 10
    EXPECT_EQ(ExitFlags(), std::vector<std::uint32_t>{1});

    fake.facts.version = {4, 0, 950, 1, ""};  // Windows 95: the MS-DOS-mode file
    fake.files.AddFile(std::string(FakeServices::kProgramFolder) + "\\ExitToDos.PIF");
    EXPECT_EQ(Controller().DoExitWindows(20), scr::cExitWindows::kRefused);
    EXPECT_EQ(fake.launcher.started.size(), 1u);
    EXPECT_EQ(ExitFlags(), std::vector<std::uint32_t>{1});
}

TEST_F(ShutdownTest, ForceCloseRunsTheCloserFirst) {
    fake.desktop.AddWindow({10, kVisible, 0, "Notepad", 1001, 1});
    auto c = Controller();
    c.ForceClose(true);
    const auto start = fake.clock.SteadyMilliseconds();
    c.DoExitWindows(0);
    EXPECT_EQ(fake.desktop.terminated, std::vector<std::uint32_t>{1001});
    ASSERT_GT(fake.desktop.messageTimes.size(), 0u);
    ASSERT_EQ(fake.shutdownApi.calls.size(), 1u);
    EXPECT_EQ(ExitFlags(), std::vector<std::uint32_t>{0});
    // Windows is asked only once the closer has finished: after its last message and
    // its pauses, which a closer run after the request would not have left behind.
    EXPECT_GE(fake.shutdownApi.calls[0].at, fake.desktop.messageTimes.back());
    EXPECT_GE(fake.shutdownApi.calls[0].at - start, 5000u);
}

// --- dispatch ---------------------------------------------------------------------------

TEST_F(ShutdownTest, LauncherSwitches) {
    EXPECT_EQ(scr::KelvaneSwitch(0), " /T=L");
    EXPECT_EQ(scr::KelvaneSwitch(1), " /T=S");
    EXPECT_EQ(scr::KelvaneSwitch(2), " /T=R");
    EXPECT_EQ(scr::KelvaneSwitch(20), " /T=D");
    EXPECT_EQ(scr::KelvaneSwitch(7), " /T=S");
}

const std::string kSaver = "C:\\Windows\\system32\\Mystify.scr";
const std::string kKelvane = "C:\\Program Files\\Brellcor\\Kelvane.exe";

// Whole runs through Main: the wait is one minute and the chosen screen saver keeps
// running unless a test says otherwise.
class DispatchRun : public ::testing::Test {
  protected:
    DispatchRun() {
        fake.files.AddFile(kSaver);
        fake.files.AddFile(kKelvane);
        PutString(fake.registry, kOptionsKey, "SelectedScreenSaver", kSaver);
        PutDword(fake.registry, kOptionsKey, "WaitMinutes", 1);
        fake.launcher.onStart = [this](const FakeProcess& p) {
            starts.push_back({p.file, fake.desktop.messages.size()});
        };
    }
    ~DispatchRun() override { ReleaseSharedObjects(); }
    void Set(const char* name, std::int32_t value) {
        PutDword(fake.registry, kOptionsKey, name, value);
    }
    std::uint64_t Run() {
        runStart = fake.clock.SteadyMilliseconds();
        scr::RunProgram(fake.services, fake.shutdown, "/s", false);
        return fake.clock.SteadyMilliseconds() - runStart;
    }
    // Error records go to the log file from the moment the logger exists.
    void SwitchOnErrorLogging() {
        fake.loop.At(0, [] { gLogger->ErrorLogging = true; });
    }
    std::string LogText() const { return fake.files.Content(kLogFile); }
    const std::string kLogFile = std::string(FakeServices::kProgramFolder) + "\\error.log";
    // Clicks a button of the first form of that name, `ms` from the start of the run.
    void ClickAt(std::uint64_t ms, const std::string& form, const std::string& button) {
        fake.loop.At(ms, [this, form, button] {
            if (Form* f = fake.host.FindForm(form)) fake.host.Click((*f)[button]);
        });
    }
    bool ShutDown() const { return !fake.shutdownApi.calls.empty(); }
    bool CountdownShown() const {
        const auto& s = fake.host.shownForms;
        return std::find(s.begin(), s.end(), "fShutWarning") != s.end();
    }

    FakeServices fake{ProgramKind::ScreenSaver, "SCRNSAVE:Somnivex"};
    std::vector<std::pair<std::string, std::size_t>> starts;  // file, messages before it
    std::uint64_t runStart = 0;
};

TEST_F(DispatchRun, ConfirmationOffGoesStraightToTheWait) {
    EXPECT_EQ(Run(), 120'000u);
    EXPECT_EQ(fake.host.shownForms, (std::vector<std::string>{"fMain", "fShutWarning"}));
    EXPECT_TRUE(ShutDown());
}

TEST_F(DispatchRun, ConfirmationAskedAfterTheSplashAndYesByDefault) {
    Set("ConfirmShutdown", -1);
    std::string question;
    std::string title;
    fake.loop.At(3500, [&] {
        if (Form* f = fake.host.FindForm("fMyMsgBox")) {
            question = (*f)["lblMessage"].Text();
            title = f->Caption();
            EXPECT_FALSE(fake.host.FindForm("fMain")->IsVisible());
        }
    });
    Run();
    EXPECT_EQ(question, "Shutdown Windows after 1 minute(s)?");
    EXPECT_EQ(title, "Somnivex");
    EXPECT_EQ(fake.host.shownForms,
              (std::vector<std::string>{"fMain", "fMyMsgBox", "fShutWarning"}));
    // The chosen screen saver starts after the answer: the splash's 3 seconds and the
    // question's 5 after the start of the run, and it is the first program started.
    ASSERT_FALSE(fake.launcher.started.empty());
    EXPECT_EQ(fake.launcher.started[0].file, kSaver);
    EXPECT_EQ(fake.launcher.started[0].startedAt - runStart, 8000u);
    EXPECT_TRUE(ShutDown());
}

// The question names the wait the run will take: a stored value below one minute is
// waited as one minute, and asked as one.
TEST_F(DispatchRun, QuestionNamesTheMinutesTheWaitTakes) {
    Set("ConfirmShutdown", -1);
    for (const auto& [stored, asked] :
         {std::pair{1, "1"}, std::pair{0, "1"}, std::pair{-5, "1"}, std::pair{45, "45"}}) {
        Set("WaitMinutes", stored);
        std::string question;
        fake.loop.At(3500, [&] {
            if (Form* f = fake.host.FindForm("fMyMsgBox")) question = (*f)["lblMessage"].Text();
        });
        Run();
        EXPECT_EQ(question, "Shutdown Windows after " + std::string(asked) + " minute(s)?")
            << stored;
    }
}

// The question and the countdown name what follows, and the button cancels that.
TEST_F(DispatchRun, QuestionAndCountdownNameWhatFollows) {
    Set("ConfirmShutdown", -1);
    PutString(fake.registry, kOptionsKey, "KelvanePath", kKelvane);
    const struct {
        std::int16_t type;
        bool kelvane;
        const char *question, *line, *button;
    } cases[] = {
        {1, false, "Shutdown Windows after 1 minute(s)?",
         "Somnivex will shut down Windows in:", "&Cancel Shut Down"},
        {2, false, "Restart Windows after 1 minute(s)?",
         "Somnivex will restart Windows in:", "&Cancel Restart"},
        {0, false, "Log off after 1 minute(s)?",
         "Somnivex will log you off in:", "&Cancel Log Off"},
        // MS-DOS mode is a plain shut down on today's Windows.
        {20, false, "Shutdown Windows after 1 minute(s)?",
         "Somnivex will shut down Windows in:", "&Cancel Shut Down"},
        {2, true, "Hand the shutdown to Kelvane after 1 minute(s)?",
         "Somnivex will hand the shutdown to Kelvane in:", "&Cancel Shut Down"},
        {0x100, false, "Put Windows to sleep after 1 minute(s)?",
         "Somnivex will put Windows to sleep in:", "&Cancel Sleep"},
        // The launcher knows no sleep or hibernate: Windows does them.
        {0x200, true, "Hibernate Windows after 1 minute(s)?",
         "Somnivex will hibernate Windows in:", "&Cancel Hibernate"},
    };
    const auto text = [this](const char* form, const char* control) {
        const Form* f = fake.host.FindForm(form);
        return f ? (*f)[control].Text() : std::string("(no ") + form + ")";
    };
    for (const auto& c : cases) {
        Set("ShutdownType", c.type);
        Set("RunKelvane", c.kelvane ? -1 : 0);
        std::string seen;
        fake.loop.At(3500, [&] { seen = text("fMyMsgBox", "lblMessage"); });
        fake.loop.At(61'000, [&] {
            seen += "|" + text("fShutWarning", "Label1") + "|" + text("fShutWarning", "cmdCancel");
        });
        Run();
        EXPECT_EQ(seen, std::string(c.question) + "|" + c.line + "|" + c.button);
    }
}

TEST_F(DispatchRun, NoByDefaultStopsTheWaitForGood) {
    Set("ConfirmShutdown", -1);
    Set("DefaultConfirmYes", 0);
    fake.launcher.RunFor(kSaver, 3 * 3'600'000);  // the user stays away for hours
    const auto took = Run();
    EXPECT_EQ(took, 3000u + 5000u + 3u * 3'600'000u);
    EXPECT_FALSE(CountdownShown());
    EXPECT_FALSE(ShutDown());
    ASSERT_EQ(fake.launcher.started.size(), 1u);  // the screen saver still ran
}

TEST_F(DispatchRun, ChosenYesAndChosenNo) {
    Set("ConfirmShutdown", -1);
    Set("DefaultConfirmYes", 0);
    ClickAt(4000, "fMyMsgBox", "cmdResponse0");  // Yes, though No is the default
    Run();
    EXPECT_TRUE(ShutDown());

    FakeServices& f = fake;
    f.shutdownApi.calls.clear();
    Set("DefaultConfirmYes", -1);
    ClickAt(4000, "fMyMsgBox", "cmdResponse1");  // No
    f.launcher.RunFor(kSaver, 600'000);
    Run();
    EXPECT_FALSE(ShutDown());
}

TEST_F(DispatchRun, CancelledCountdownDoesNothing) {
    Set("RunKelvane", -1);
    PutString(fake.registry, kOptionsKey, "KelvanePath", kKelvane);
    ClickAt(90'000, "fShutWarning", "cmdCancel");
    EXPECT_EQ(Run(), 90'000u);
    EXPECT_FALSE(ShutDown());
    EXPECT_TRUE(fake.desktop.messages.empty());
    EXPECT_EQ(fake.launcher.started.size(), 1u);  // the screen saver only
}

TEST_F(DispatchRun, QuitWhileCountingCancelsTheShutdown) {
    for (bool launcher : {false, true}) {
        SCOPED_TRACE(launcher);
        FakeServices f{ProgramKind::ScreenSaver, "SCRNSAVE:Somnivex"};
        f.files.AddFile(kSaver);
        f.files.AddFile(kKelvane);
        PutString(f.registry, kOptionsKey, "SelectedScreenSaver", kSaver);
        PutDword(f.registry, kOptionsKey, "WaitMinutes", 1);
        PutDword(f.registry, kOptionsKey, "RunKelvane", launcher ? -1 : 0);
        PutString(f.registry, kOptionsKey, "KelvanePath", kKelvane);
        // The countdown opens at 63 s; the program is told to quit halfway through it.
        bool counting = false;
        f.loop.At(90'000, [&] {
            counting = f.host.FindForm("fShutWarning") != nullptr;
            f.loop.PostQuit();
        });
        const auto start = f.clock.SteadyMilliseconds();
        EXPECT_EQ(scr::RunProgram(f.services, f.shutdown, "/s", false), 0);
        ReleaseSharedObjects();
        EXPECT_TRUE(counting);
        EXPECT_EQ(f.clock.SteadyMilliseconds() - start, 90'000u);
        EXPECT_TRUE(f.shutdownApi.calls.empty());
        EXPECT_TRUE(f.desktop.messages.empty());
        EXPECT_EQ(f.launcher.started.size(), 1u);  // the screen saver only
    }
}

TEST_F(DispatchRun, LauncherGetsItsMessageFirstThenStartsQuotedWithTheSwitch) {
    Set("RunKelvane", -1);
    Set("ShutdownType", 2);
    PutString(fake.registry, kOptionsKey, "KelvanePath", kKelvane);
    fake.desktop.AddWindow({0x30042, 0, 0, "Kelvane", 2001, 1});
    PutDword(fake.registry, "Software\\Brellcor\\Window Handles", "ShutdownHwnd", 0x30042);
    Run();
    EXPECT_FALSE(ShutDown());
    ASSERT_EQ(fake.desktop.messages.size(), 1u);
    EXPECT_EQ(fake.desktop.messages[0].window, 0x30042);
    EXPECT_EQ(fake.desktop.messages[0].message, 1525u);
    EXPECT_EQ(fake.desktop.messages[0].wParam, 0u);
    EXPECT_EQ(fake.desktop.messages[0].lParam, 0);
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[1].second, 1u);  // the message went out before the start
    const FakeProcess& launcher = fake.launcher.started[1];
    EXPECT_EQ(launcher.commandLine, "\"" + kKelvane + "\" /T=R");
    EXPECT_EQ(launcher.showState, show_state::kMinimized);
}

TEST_F(DispatchRun, HandleThatNamesNoLauncherWindowGetsNothingAndIsLogged) {
    constexpr std::uint32_t kChild = 0x40000000u;
    fake.desktop.AddWindow({0x30044, kChild, 0, "Button", 2001, 1});
    fake.desktop.AddWindow({0xFFFF, 0, 0, "Broadcast", 2001, 1});  // even if it were one
    // None recorded (-1), 0, the broadcast handle, a child window, a window that is gone.
    for (std::int32_t handle : {-1, 0, 0xFFFF, 0x30044, 0x30046}) {
        SCOPED_TRACE(handle);
        FakeServices& f = fake;
        f.desktop.messages.clear();
        f.launcher.started.clear();
        f.files.AddFile(kLogFile, "");
        Set("RunKelvane", -1);
        PutString(f.registry, kOptionsKey, "KelvanePath", kKelvane);
        PutDword(f.registry, "Software\\Brellcor\\Window Handles", "ShutdownHwnd", handle);
        SwitchOnErrorLogging();
        Run();
        EXPECT_TRUE(f.desktop.messages.empty());
        ASSERT_EQ(f.launcher.started.size(), 2u);  // the launcher is still started
        EXPECT_EQ(f.launcher.started[1].commandLine, "\"" + kKelvane + "\" /T=S");
        EXPECT_NE(LogText().find("Error: Message 1525 not posted: ShutdownHwnd " +
                                 std::to_string(handle) + " names no top-level window"),
                  std::string::npos)
            << LogText();
        EXPECT_TRUE(f.messageBox.shown.empty());
    }
}

TEST_F(DispatchRun, LauncherThatMayNotStartIsLoggedQuietlyWithoutFallback) {
    // Empty, missing, named without its full path (a file by that name would be found
    // along the search order), or with a quote that would end the program's name on its
    // command line: nothing is started.
    fake.files.AddFile("Kelvane.exe");
    fake.files.AddFile("\\Program Files\\Brellcor\\Kelvane.exe");
    fake.files.AddFile("C:\\Windows\\system32\\cmd.exe");
    fake.desktop.AddWindow({0x30042, 0, 0, "Kelvane", 2001, 1});
    PutDword(fake.registry, "Software\\Brellcor\\Window Handles", "ShutdownHwnd", 0x30042);
    const std::string notFull =
        "It is no full path with a drive or a network share, so the "
        "system would search for it.";
    const std::pair<std::string, std::string> cases[] = {
        {"", notFull},
        {"C:\\Missing\\Kelvane.exe", "The system cannot find the file specified."},
        {"Kelvane.exe", notFull},
        {"\\Program Files\\Brellcor\\Kelvane.exe", notFull},
        {"C:\\Windows\\system32\\cmd.exe\" /c calc & rem ",
         "It holds a quotation mark (\"), which would end the program's name on its command "
         "line."},
    };
    for (const auto& [path, why] : cases) {
        SCOPED_TRACE(path);
        fake.launcher.started.clear();
        fake.desktop.messages.clear();
        fake.files.AddFile(kLogFile, "");
        Set("RunKelvane", -1);
        PutString(fake.registry, kOptionsKey, "KelvanePath", path);
        SwitchOnErrorLogging();
        Run();
        EXPECT_FALSE(ShutDown());
        EXPECT_TRUE(fake.messageBox.shown.empty());
        EXPECT_EQ(fake.launcher.started.size(), 1u);  // the screen saver only
        EXPECT_EQ(fake.desktop.messages.size(), 1u);  // posted before the start was tried
        // Logged as one error record, with the reason.
        const auto lines = fake.files.Lines(kLogFile);
        ASSERT_EQ(lines.size(), 5u) << LogText();
        EXPECT_EQ(lines[2], "Error: " + why);
    }
}

TEST_F(DispatchRun, ReturningUserMeansNoCountdown) {
    fake.launcher.RunFor(kSaver, 30'000);
    Run();
    EXPECT_FALSE(CountdownShown());
    EXPECT_FALSE(ShutDown());
}

// What reaches Windows for each kind, with Fast Startup on, a hibernation file, the updates
// setting, the policy letting other sessions end and the launcher chosen (facts F H U O K),
// as Windows answers (ok; none: no InitiateShutdown; others: users signed in; else the
// refusal's number): InitiateShutdown's flags (I), ExitWindowsEx's (X), sleep or hibernate
// (S, H), each with the planned reason and the privilege asked once, and the trail after
// the countdown.
TEST_F(DispatchRun, EachKindReachesWindowsAsStartAsksForIt) {
    const struct {
        std::int16_t type;
        const char *facts, *windows, *calls, *trail;
    } rows[] = {
        {1, "FHU", "ok", "I248", "1041"},
        {1, "FU", "ok", "I48", "1041"},
        {1, "H", "ok", "I8", "1041"},
        {2, "FHU", "ok", "IC4", "1041"},
        {2, "O", "ok", "I85", "1041"},
        {1, "U", "others", "I48", "1041 2042"},
        {1, "UO", "others", "I49", "1041"},
        {5, "FHU", "ok", "I248", "1041"},
        {20, "U", "ok", "I48", "1041"},
        {1, "FHU", "none", "I248 X1", "1041 2041 1040"},
        {2, "U", "120", "IC4 X2", "1041 2041 1040"},
        {1, "U", "5", "I48", "1041 3041"},
        {0, "FHUO", "ok", "X0", "1040"},
        {256, "FHUK", "ok", "S", "1042"},
        {512, "FHU", "50", "H", "1042 3042"},
    };
    for (const auto& r : rows) {
        const std::string facts = r.facts, windows = r.windows;
        SCOPED_TRACE(std::to_string(r.type) + " " + facts + " " + windows);
        const auto has = [&](char c) { return facts.find(c) != std::string::npos; };
        FakeShutdownApi& api = fake.shutdownApi = FakeShutdownApi(&fake.clock);
        api.initiateMissing = windows == "none";
        api.othersSignedIn = windows == "others";
        const ErrorInfo refusal{std::isdigit(windows[0]) ? std::stoi(windows) : 0, "", "No."};
        (r.type >= 256 ? api.suspendRefusal : api.initiateRefusal) = refusal;
        api.hiberFilePresent = has('H');
        PutDword(fake.registry, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Power",
                 "HiberbootEnabled", has('F'));
        Set("ShutdownType", r.type);
        Set("InstallUpdates", has('U'));
        Set("RunKelvane", has('K') ? -1 : 0);
        PutDword(fake.registry, policy::kKey, "HoldForOtherSessions", !has('O'));
        fake.events.events.clear();
        Run();
        std::ostringstream calls, trail;
        for (const auto& c : api.initiated) calls << " I" << std::hex << std::uppercase << c.flags;
        for (const auto& c : api.calls) calls << " X" << c.flags;
        for (const bool hibernate : api.suspended) calls << (hibernate ? " H" : " S");
        EXPECT_EQ(calls.str(), " " + std::string(r.calls));
        for (const auto& c : api.initiated) EXPECT_EQ(c.reason, 0x80000000u);
        EXPECT_EQ(api.privilegeCalls, 1);
        const auto ids = fake.events.Ids();
        for (auto id = std::find(ids.begin(), ids.end(), 1030u);
             id != ids.end() && ++id != ids.end();)
            trail << (trail.tellp() ? " " : "") << *id;
        EXPECT_EQ(trail.str(), r.trail);
    }
}

TEST_F(DispatchRun, StoredShutdownTypeReachesTheController) {
    Set("ShutdownType", 0);
    Run();
    EXPECT_EQ(fake.shutdownApi.calls.at(0).flags, 0u);
    EXPECT_EQ(fake.shutdownApi.privilegeCalls, 1);  // Windows 10 is of the NT family
}

}  // namespace
