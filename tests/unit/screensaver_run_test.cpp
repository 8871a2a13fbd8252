// Whole starts of Somnivex.scr in virtual time: the command line, the splash, the wait
// for the chosen screen saver and the wait timer.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "common/AwakeClock.h"
#include "common/EventSink.h"
#include "common/Policy.h"
#include "common/SharedObjects.h"
#include "platform/fake/FakeServices.h"
#include "screensaver/Preview.h"
#include "screensaver/Run.h"
#include "support/RegistryValues.h"
#include "support/UnhandledFailures.h"

namespace {

const std::string kSaver = "C:\\Windows\\system32\\Mystify.scr";
const std::string kAppPath = "C:\\Program Files\\Somnivex";
const std::string kManager = kAppPath + "\\Somniconf.exe";

// The installed program with its pictures, a chosen screen saver and a one-minute wait.
void Install(FakeServices& fake) {
    fake.files.AddFile(kSaver);
    fake.files.AddFile(kAppPath + "\\graphics\\SomnivexLgeTxt.GIF");
    fake.files.AddFile(kAppPath + "\\graphics\\Brellcor.gif");
    PutString(fake.registry, kOptionsKey, "AppPath", kAppPath);
    PutString(fake.registry, kOptionsKey, "SelectedScreenSaver", kSaver);
    PutDword(fake.registry, kOptionsKey, "WaitMinutes", 1);
}

class ScreenSaverRun : public ::testing::Test {
  protected:
    ScreenSaverRun() {
        Install(fake);
        fake.launcher.onStart = [this](const FakeProcess&) {
            const Form* splash = fake.host.FindForm("fMain");
            splashVisibleAtStart = splash && splash->IsVisible();
        };
    }
    ~ScreenSaverRun() override { ReleaseSharedObjects(); }

    // Runs the program once; returns the virtual milliseconds it took.
    std::uint64_t Run(const std::string& arguments, bool another = false) {
        const std::uint64_t start = fake.clock.SteadyMilliseconds();
        exitCode = scr::RunProgram(fake.services, fake.shutdown, arguments, another);
        return fake.clock.SteadyMilliseconds() - start;
    }

    FakeServices fake{ProgramKind::ScreenSaver, "SCRNSAVE:Somnivex"};
    int exitCode = -1;
    bool splashVisibleAtStart = true;
};

TEST(CommandKey, TwoCharactersInLowerCaseOrTheTrimmedText) {
    const std::pair<const char*, const char*> cases[] = {
        {"/S", "/s"},
        {"/s 123", "/s"},
        {"/c:4711", "/c"},
        {"  /C 4711  ", "/c"},
        {"/P 1234", "/p"},
        {"", ""},
        {"   ", ""},
        {" x ", "x"},
        {"/a 1234", "/a"},
        // Characters, not bytes: one accented letter is a key of one character.
        {"é", "é"},
        {" É ", "É"},
        {"é1", "é1"},
        {"éX 1", "éx"},
        {"/É", "/É"},
        {"日本語", "日本"},
        {"/€x", "/€"},
        {"🙂/s", "🙂/"},
    };
    for (const auto& [arguments, key] : cases)
        EXPECT_EQ(scr::CommandKey(arguments), key) << '"' << arguments << '"';
}

TEST_F(ScreenSaverRun, PreviewEndsAtOnceAndTouchesNothing) {
    FakeServices empty{ProgramKind::ScreenSaver, "SCRNSAVE:Somnivex"};
    EXPECT_EQ(scr::RunProgram(empty.services, empty.shutdown, "/P 1234", false), 0);
    EXPECT_FALSE(empty.registry.KeyExists(reg::kLocalMachine, "Software\\Brellcor"));
    EXPECT_TRUE(empty.host.shownForms.empty());
    EXPECT_TRUE(empty.launcher.started.empty());
}

TEST(PreviewCommandLine, TheWindowInDecimalAfterTheSwitchOrNothing) {
    const std::pair<const char*, scr::WindowHandle> cases[] = {
        {"/p 1234", 1234},
        {"/P:1234", 1234},
        {"  /p   66000  ", 66000},
        {"/p", 0},
        {"/p 0", 0},
        {"/p 0x10", 0},
        {"/p -5", 0},
        {"/p 12 34", 0},
        {"/p 12a", 0},
        {"/p 99999999999999999999999", 0},
    };
    for (const auto& [arguments, window] : cases)
        EXPECT_EQ(scr::PreviewWindowOf(arguments).value_or(0), window) << '"' << arguments << '"';
    // Wide: fills the width; tall: the height; no area: nothing; no product wraps.
    EXPECT_EQ(scr::FitPicture(288, 180, 152, 112), (scr::FitRect{0, 8, 152, 95}));
    EXPECT_EQ(scr::FitPicture(100, 200, 152, 112), (scr::FitRect{48, 0, 56, 112}));
    EXPECT_EQ(scr::FitPicture(0, 10, 152, 112), scr::FitRect{});
    EXPECT_EQ(scr::FitPicture(16384, 16384, 1 << 30, 1 << 30),
              (scr::FitRect{0, 0, 1 << 30, 1 << 30}));
}

// The whole preview against the dialog's monitor, a window of another process, which the
// user closes after five seconds: what is started, what is drawn, and that nothing is
// written, told, shown or left running.
TEST_F(ScreenSaverRun, PreviewShowsTheChosenSaverOrOurPictureAndChangesNothing) {
    constexpr scr::WindowHandle kMonitor = 0x30F2A;
    const std::string p = "/p " + std::to_string(kMonitor), own = kAppPath + "\\Somnivex.scr";
    const std::string blank = "C:\\Windows\\system32\\scrnsave.scr", elsewhere = "C:\\Users\\a.scr";
    const auto choose = [](std::string saver, bool exists = true) {
        return [=](FakeServices& f) {
            if (exists) f.files.AddFile(saver);
            PutString(f.registry, kOptionsKey, "SelectedScreenSaver", saver);
        };
    };
    const auto mystify = "\"" + kSaver + "\" /p " + std::to_string(0x40004);
    struct Case {
        std::string arguments;
        std::function<void(FakeServices&)> arrange;
        std::string started;  // "" for nothing; "picture" for our own picture
    } const cases[] = {
        {p, nullptr, mystify},
        {"/P:" + std::to_string(kMonitor), nullptr, mystify},
        {"/p 1234", nullptr, ""},  // no such window, no handle, or a bad one: nothing
        {"/p", nullptr, ""},
        {p + "x", nullptr, ""},
        {p, [](FakeServices& f) { f.previewWindows.refuseChildren = true; }, ""},
        {p, choose(""), "picture"},
        {p, choose("C:\\Windows\\system32\\Gone.scr", false), "picture"},
        {p, choose(elsewhere), "picture"},
        {p, choose("C:\\Windows\\system32\\My\".scr"), "picture"},
        {p, choose(own), "picture"},
        {p, [](FakeServices& f) { f.tie.failStart = true; }, "picture"},
        {p, [](FakeServices& f) { f.tie.refuseTie = true; }, "picture"},
        // Never stored: what a run would start, still without storing it.
        {p,
         [&](FakeServices& f) {
             RegKey key = 0;
             f.registry.OpenKey(reg::kLocalMachine, kOptionsKey, key);
             f.registry.DeleteValue(key, "SelectedScreenSaver");
             f.registry.CloseKey(key);
             f.files.AddFile(blank);
         },
         "\"" + blank + "\" /p " + std::to_string(0x40004)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments + " " + c.started);
        FakeServices run{ProgramKind::ScreenSaver, "SCRNSAVE:Somnivex"};
        Install(run);
        run.previewWindows.AddWindow(kMonitor);
        if (c.arrange) c.arrange(run);
        using Op = FakeRegistry::Op;
        const auto writes = [&] {
            return run.registry.CallCount(Op::kCreateKey) + run.registry.CallCount(Op::kSetValue) +
                   run.registry.CallCount(Op::kDeleteKey) +
                   run.registry.CallCount(Op::kDeleteValue);
        };
        const int writesBefore = writes();
        run.loop.StartTimerAt(run.clock.SteadyMilliseconds() + 5000,
                              [&] { run.previewWindows.Destroy(kMonitor); });
        EXPECT_EQ(scr::RunProgram(run.services, run.shutdown, c.arguments, false), 0);

        const auto& panes = run.previewWindows.panes;
        const bool shown = c.started != "";
        ASSERT_EQ(panes.size(), shown ? 1u : 0u);
        if (shown) {
            EXPECT_FALSE(run.previewWindows.IsWindow(panes[0].handle));
            EXPECT_EQ(panes[0].picture.has_value(), c.started == "picture");
        }
        EXPECT_EQ(run.tie.started.empty() ? "" : run.tie.started[0],
                  shown && c.started != "picture" ? c.started : "");
        EXPECT_EQ(run.tie.running, 0);  // ended with the preview
        EXPECT_EQ(writes(), writesBefore);
        EXPECT_EQ(run.registry.OpenHandleCount(), 0);
        EXPECT_TRUE(run.events.events.empty());
        EXPECT_EQ(run.files.OpenCount(), 0);
        EXPECT_TRUE(run.host.shownForms.empty() && run.messageBox.shown.empty());
        EXPECT_TRUE(run.launcher.started.empty() && run.desktop.messages.empty());
    }
}

TEST_F(ScreenSaverRun, SecondInstanceEndsAtOnceWhateverTheSwitch) {
    for (const char* args : {"/s", "/c", ""}) {
        Run(args, true);
        EXPECT_TRUE(fake.host.shownForms.empty()) << args;
        EXPECT_TRUE(fake.launcher.started.empty()) << args;
    }
    EXPECT_FALSE(GetDword(fake.registry, kOptionsKey, "RunKelvane").has_value());
}

TEST_F(ScreenSaverRun, UnknownSwitchShowsTheSplashForThreeSecondsAndStoresTheDefaults) {
    const auto took = Run("/a 1234");
    EXPECT_GE(took, 3000u);
    EXPECT_LT(took, 4000u);
    EXPECT_EQ(fake.host.shownForms, std::vector<std::string>{"fMain"});
    EXPECT_TRUE(fake.launcher.started.empty());
    for (const char* name :
         {"RunKelvane", "ConfirmShutdown", "DefaultConfirmYes", "LogDebug", "ShutdownType"})
        EXPECT_TRUE(GetDword(fake.registry, kOptionsKey, name).has_value()) << name;
    for (const char* name : {"LogDir", "KelvanePath"})
        EXPECT_TRUE(GetString(fake.registry, kOptionsKey, name).has_value()) << name;
    EXPECT_EQ(exitCode, 0);
}

TEST_F(ScreenSaverRun, RunSwitchesAndNoSwitchRunTheChosenScreenSaver) {
    for (const char* args : {"/s", "/S", "", "x", "é"}) {
        fake.launcher.started.clear();
        fake.launcher.RunFor(kSaver, 10'000);
        Run(args);
        ASSERT_EQ(fake.launcher.started.size(), 1u) << args;
        EXPECT_EQ(fake.launcher.started[0].file, kSaver);
        EXPECT_EQ(fake.launcher.started[0].parameters, " /s");
        EXPECT_EQ(fake.launcher.started[0].showState, show_state::kNormal);
        EXPECT_FALSE(splashVisibleAtStart) << args;
    }
}

TEST_F(ScreenSaverRun, ConfigureStartsTheManagerQuotedWithoutWaiting) {
    fake.files.AddFile(kManager);
    for (const char* args : {"/c:4711", "/C 4711"}) {
        fake.launcher.started.clear();
        const auto took = Run(args);
        ASSERT_EQ(fake.launcher.started.size(), 1u);
        EXPECT_EQ(fake.launcher.started[0].commandLine, "\"" + kManager + "\"");
        EXPECT_EQ(fake.launcher.started[0].showState, show_state::kNormal);
        EXPECT_LT(took, 4000u);  // the manager keeps running; nobody waits for it
    }
}

TEST_F(ScreenSaverRun, NothingChosenStartsTheManagerInstead) {
    PutString(fake.registry, kOptionsKey, "SelectedScreenSaver", "");
    // None chosen on purpose, not never chosen: Windows' Blank one is not run instead.
    fake.files.AddFile("C:\\Windows\\system32\\scrnsave.scr");
    fake.files.AddFile(kManager);
    Run("/s");
    ASSERT_EQ(fake.launcher.started.size(), 1u);
    EXPECT_EQ(fake.launcher.started[0].file, kManager);
}

TEST_F(ScreenSaverRun, NothingChosenAndNoManagerAsksToRunTheManagerFirst) {
    FakeServices empty{ProgramKind::ScreenSaver, "SCRNSAVE:Somnivex"};
    scr::RunProgram(empty.services, empty.shutdown, "/s", false);
    ASSERT_EQ(empty.messageBox.shown.size(), 1u);
    EXPECT_EQ(empty.messageBox.shown[0].text,
              "Please run Somnivex Manager first (found on the 'Start' menu under 'Programs')");
    EXPECT_EQ(empty.messageBox.shown[0].title, "SCRNSAVE:Somnivex");
    EXPECT_EQ(empty.messageBox.shown[0].style, mb::kOk | mb::kIconInformation);
    // An empty AppPath shows no pictures and reports nothing about them.
    EXPECT_TRUE(empty.launcher.started.empty());
}

TEST_F(ScreenSaverRun, ManagerAskingForAdministratorRightsIsStartedByTheShell) {
    struct Case {
        const char* what;
        bool asks;       // its manifest or its compatibility setting asks for the rights
        bool decline;    // the user's answer to the elevation prompt
        int shellError;  // the shell fails otherwise
        bool viaShell;   // how it was started, when it was
        std::string shown;
    };
    const Case cases[] = {
        {"at the user's level", false, false, 0, false, ""},
        {"asking, accepted", true, false, 0, true, ""},
        {"asking, declined", true, true, 0, false, ""},
        {"asking, the shell fails", true, false, 5, false,
         "Run-time error '5':\r\n\r\nAccess is denied."},
    };
    fake.files.AddFile(kManager);
    for (const Case& c : cases) {
        fake.launcher.started.clear();
        fake.messageBox.shown.clear();
        fake.launcher.asksForAdministrator = {};
        if (c.asks)
            fake.launcher.asksForAdministrator.insert("c:\\program files\\somnivex\\somniconf.exe");
        fake.launcher.declineElevation = c.decline;
        fake.launcher.shellError = c.shellError;
        Run("/c:4711");
        const bool started = !fake.launcher.started.empty();
        EXPECT_EQ(started, c.shown.empty() && !c.decline) << c.what;
        if (started) {
            EXPECT_EQ(fake.launcher.started[0].file, kManager) << c.what;
            EXPECT_EQ(fake.launcher.started[0].viaShell, c.viaShell) << c.what;
        }
        EXPECT_EQ(fake.messageBox.shown.empty(), c.shown.empty()) << c.what;
        if (!c.shown.empty() && !fake.messageBox.shown.empty()) {
            EXPECT_EQ(fake.messageBox.shown[0].text, c.shown) << c.what;
        }
        EXPECT_EQ(exitCode, c.shown.empty() ? 0 : 1) << c.what;
    }
}

TEST_F(ScreenSaverRun, UserReturningEndsTheRunWithoutTheWaitRunningOut) {
    fake.launcher.RunFor(kSaver, 10'000);
    const auto took = Run("/s");
    // Three seconds of splash, then ten of screen saver; its end is seen at once.
    EXPECT_EQ(took, 13'000u);
    EXPECT_FALSE(gTimeUp);
    EXPECT_EQ(fake.launcher.OpenHandles(), 0);  // the process handle was closed
}

// A run whose wait runs out takes the wait plus the 60-second countdown.
constexpr std::uint64_t kCountdown = 60'000;

TEST_F(ScreenSaverRun, OneMinuteRunsOutAtTheSixtiethTickAndLeavesTheSaverRunning) {
    const auto took = Run("/s");
    // Counted from the splash's load: 60 whole seconds, noticed at the tick that sees them.
    EXPECT_EQ(took, 60'000u + kCountdown);
    EXPECT_EQ(fake.host.shownForms, (std::vector<std::string>{"fMain", "fShutWarning"}));
    ASSERT_EQ(fake.shutdownApi.calls.size(), 1u);
    ASSERT_EQ(fake.launcher.started.size(), 1u);
    EXPECT_FALSE(fake.launcher.HasEnded(1));
    EXPECT_EQ(fake.launcher.OpenHandles(), 0);  // kept through the countdown, then closed
    EXPECT_EQ(fake.loop.ActiveTimers(), 0u);    // the wait timer stopped, the splash unloaded
}

TEST_F(ScreenSaverRun, WallClockJumpsChangeNothing) {
    fake.loop.At(10'000, [this] { fake.clock.JumpWallClock(3'600'000); });
    fake.loop.At(20'000, [this] { fake.clock.JumpWallClock(-2 * 3'600'000); });
    EXPECT_EQ(Run("/s"), 60'000u + kCountdown);
}

// A wake gives whoever woke the computer a whole countdown (the clock stands still asleep).
TEST_F(ScreenSaverRun, AWakeStartsAnOpenCountdownAgain) {
    fake.loop.SleepAt(105'000, 3'600'000);  // 45 seconds into the countdown
    EXPECT_EQ(Run("/s"), 105'000u + kCountdown);
    EXPECT_EQ(fake.shutdownApi.calls.size(), 1u);
}

// Windows' steady clock leaves out the time between the notices, whether the raw count
// stood still through the sleep (a sleep state) or ran on (modern standby).
TEST(AwakeClock, LeavesOutTheTimeBetweenTheNoticesWhateverTheRawCountDid) {
    for (const bool rawRunsOn : {false, true}) {
        std::uint64_t raw = 5000, wall = 90'000;
        AwakeClock clock([&] { return raw; }, [&] { return wall; });
        const auto pass = [&](std::uint64_t ms, bool asleep) {
            wall += ms;
            if (!asleep || rawRunsOn) raw += ms;
        };
        const std::uint64_t start = clock.Now();
        pass(1000, false);
        EXPECT_TRUE(clock.Suspending());
        EXPECT_FALSE(clock.Suspending());  // the same notice, through the registration
        pass(200, false);
        pass(3'600'000, true);
        // A timer that fires as the computer wakes, before the notice, finds no time passed.
        EXPECT_EQ(clock.Now(), start + 1000) << rawRunsOn;
        EXPECT_EQ(clock.Resumed(), std::optional<std::uint64_t>{3'600'200});
        EXPECT_EQ(clock.Resumed(), std::nullopt);  // somebody at the computer: a second notice
        pass(500, false);
        EXPECT_EQ(clock.Now(), start + 1500) << rawRunsOn;
    }
}

TEST_F(ScreenSaverRun, MinutesBelowOneCountAsOne) {
    for (int minutes : {0, -5}) {
        PutDword(fake.registry, kOptionsKey, "WaitMinutes", minutes);
        EXPECT_EQ(Run("/s"), 60'000u + kCountdown) << minutes;
    }
}

TEST_F(ScreenSaverRun, LongWaitsDoNotOverflow) {
    PutDword(fake.registry, kOptionsKey, "WaitMinutes", 600);
    EXPECT_EQ(Run("/s"), 600u * 60'000u + kCountdown);
    PutDword(fake.registry, kOptionsKey, "WaitMinutes", 32767);
    EXPECT_EQ(scr::WaitLimitSeconds(32767), 32767 * 60);
}

// The wait is one timer due at its end: a run that sits through 30 minutes wakes no more
// often than one that sits through one.
TEST_F(ScreenSaverRun, LongerWaitsCostNoMoreWakeUps) {
    std::vector<int> wakeups;
    for (int minutes : {1, 30}) {
        PutDword(fake.registry, kOptionsKey, "WaitMinutes", minutes);
        const int before = fake.loop.Wakeups();
        EXPECT_EQ(Run("/s"), minutes * 60'000u + kCountdown) << minutes;
        wakeups.push_back(fake.loop.Wakeups() - before);
    }
    EXPECT_EQ(wakeups[0], wakeups[1]);
}

// The hold, in runs whose wait runs out after a minute (the saver starts at 3 s). The
// trail's hold events are 1200 held, 1201 new reason, 1202 over, 1203 ended with the run,
// and the warnings 2200 held to the limit, 2201 to 2203 facts that could not be read.
class HeldRun : public ScreenSaverRun {
  protected:
    static constexpr std::uint64_t kDeadline = 60'000;
    static constexpr std::uint64_t kMinute = scr::ShutdownHold::kRecheckMs;

    static std::vector<std::uint32_t> HoldEvents(const FakeServices& run) {
        std::vector<std::uint32_t> ids;
        for (const TrailEvent& event : run.events.events)
            if (event.id / 100 == 12 || event.id / 100 == 22) ids.push_back(event.id);
        return ids;
    }
    std::vector<std::uint32_t> HoldEvents() const { return HoldEvents(fake); }
    const TrailEvent* Event(std::uint32_t id) const {
        for (const TrailEvent& event : fake.events.events)
            if (event.id == id) return &event;
        return nullptr;
    }
    // When Windows was asked to shut down, counted from the run's start.
    std::vector<std::uint64_t> ShutdownTimes(std::uint64_t runStart) const {
        std::vector<std::uint64_t> at;
        for (const auto& call : fake.shutdownApi.calls) at.push_back(call.at - runStart);
        return at;
    }
    const std::uint64_t start_ = fake.clock.SteadyMilliseconds();
    std::size_t Countdowns() const {
        return std::count(fake.host.shownForms.begin(), fake.host.shownForms.end(),
                          std::string("fShutWarning"));
    }
};

TEST_F(HeldRun, ARequestGoneSevenMinutesAfterTheDeadlineShutsDownAfterAFullCountdown) {
    const int download = fake.holdFacts.Take(FakeHoldFacts::Request::System);
    fake.loop.At(kDeadline + 7 * kMinute - 1'000, [&] { fake.holdFacts.Release(download); });
    Run("/s");
    EXPECT_EQ(ShutdownTimes(start_),
              std::vector<std::uint64_t>{kDeadline + 7 * kMinute + kCountdown});
    EXPECT_EQ(Countdowns(), 1u);
    // Asked at the deadline, once a minute while held, and at the countdown's end.
    EXPECT_EQ(fake.holdFacts.executionStateReads, 7 + 1 + 1);
    EXPECT_EQ(HoldEvents(), (std::vector<std::uint32_t>{1200, 1202}));
    EXPECT_EQ(Event(1202)->strings,
              (std::vector<std::string>{"a program keeps Windows awake (system required)", "7"}));
    EXPECT_FALSE(fake.launcher.HasEnded(1));  // the saver ran on throughout
    EXPECT_EQ(fake.loop.ActiveTimers(), 0u);
}

TEST_F(HeldRun, ARequestTakenDuringTheCountdownHoldsAtZeroThenAFullCountdownFollows) {
    int recording = 0;
    fake.loop.At(kDeadline + 30'000,
                 [&] { recording = fake.holdFacts.Take(FakeHoldFacts::Request::AwayMode); });
    fake.loop.At(kDeadline + kCountdown + 90'000, [&] { fake.holdFacts.Release(recording); });
    Run("/s");
    // Held at 0 with no shutdown; free again at the second check; a whole countdown after.
    const std::uint64_t free = kDeadline + kCountdown + 2 * kMinute;
    EXPECT_EQ(ShutdownTimes(start_), std::vector<std::uint64_t>{free + kCountdown});
    EXPECT_EQ(Countdowns(), 2u);
    EXPECT_EQ(HoldEvents(), (std::vector<std::uint32_t>{1200, 1202}));
    EXPECT_EQ(Event(1200)->strings.at(0), "a program keeps Windows awake (away mode)");
}

TEST_F(HeldRun, AnotherUserSignedInThroughoutMeansNoShutdownUntilTheUserReturns) {
    fake.holdFacts.SignIn("bob");
    fake.launcher.RunFor(kSaver, 30 * kMinute);
    EXPECT_EQ(Run("/s"), 3'000 + 30 * kMinute);
    EXPECT_TRUE(fake.shutdownApi.calls.empty());
    EXPECT_EQ(Countdowns(), 0u);
    // One check a minute from the deadline to the saver's end, and no more.
    EXPECT_EQ(fake.holdFacts.sessionReads, 30);
    EXPECT_EQ(HoldEvents(), (std::vector<std::uint32_t>{1200, 1203}));
    EXPECT_EQ(Event(1200)->strings.at(0), "user bob has a disconnected session");
    EXPECT_EQ(fake.launcher.OpenHandles(), 0);
    EXPECT_EQ(fake.loop.ActiveTimers(), 0u);
}

TEST_F(HeldRun, TheUserReturningDuringAHoldEndsTheRunAtOnce) {
    fake.holdFacts.Take(FakeHoldFacts::Request::Execution);
    fake.launcher.RunFor(kSaver, 200'000);
    EXPECT_EQ(Run("/s"), 203'000u);
    EXPECT_TRUE(fake.shutdownApi.calls.empty());
    EXPECT_EQ(Countdowns(), 0u);
    EXPECT_EQ(HoldEvents(), (std::vector<std::uint32_t>{1200, 1203}));
    EXPECT_EQ(Event(1203)->strings.at(1), "2");  // 143 s held
    // The user's return is told as from a waiting run: the saver ran 200 s.
    ASSERT_NE(Event(1020), nullptr);
    EXPECT_EQ(Event(1020)->strings.at(2), "200");
}

TEST_F(HeldRun, AQuitMessageDuringAHoldEndsTheRunWithoutAShutdown) {
    fake.holdFacts.SignIn("carol", hold::kActive);
    fake.loop.At(kDeadline + 90'000, [this] { fake.loop.PostQuit(); });
    EXPECT_EQ(Run("/s"), kDeadline + 90'000);
    EXPECT_TRUE(fake.shutdownApi.calls.empty());
    EXPECT_EQ(HoldEvents(), (std::vector<std::uint32_t>{1200, 1203}));
}

// What each policy and the kind of shutdown leave of the hold, with a download running
// and bob signed in as a row says.
TEST_F(HeldRun, PolicySwitchesAndLoggingOffLeaveOnlyTheChecksThatApply) {
    const struct {
        const char* what;
        bool download, bob;
        int powerPolicy, sessionsPolicy;  // -1: no policy value
        int shutdownType;
        bool held;
        int limitPolicy = -1;     // MaxHoldMinutes
        int heldMinutes = 0;      // when not held: minutes before the countdown opened
        int saverMinutes = 10;    // until the user is back
        bool bobUnnamed = false;  // his session's user cannot be read
    } cases[] = {
        {"power requests off by policy", true, false, 0, -1, 1, false},
        {"other sessions off by policy", false, true, -1, 0, 1, false},
        {"a log off ends no other session", false, true, -1, -1, 0, false},
        {"a log off still waits for a power request", true, false, -1, -1, 0, true},
        {"a policy that turns a check on", true, false, 1, -1, 2, true},
        {"a request that never ends, a limit of 5 minutes", true, false, -1, -1, 1, false, 5, 5,
         15},
        {"the same and bob, no limit set: 4 hours", true, true, -1, -1, 1, false, -1, 240, 250},
        {"no limit", true, false, -1, -1, 1, true, 0, 0, 250},
        {"bob, whose user cannot be read", false, true, -1, -1, 1, false, -1, 0, 10, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeServices run{ProgramKind::ScreenSaver, "SCRNSAVE:Somnivex"};
        const std::uint64_t runStart = run.clock.SteadyMilliseconds();
        run.files.AddFile(kSaver);
        PutString(run.registry, kOptionsKey, "SelectedScreenSaver", kSaver);
        PutDword(run.registry, kOptionsKey, "WaitMinutes", 1);
        PutDword(run.registry, kOptionsKey, "ShutdownType", c.shutdownType);
        if (c.powerPolicy >= 0)
            PutDword(run.registry, policy::kKey, "HoldForPowerRequests", c.powerPolicy);
        if (c.sessionsPolicy >= 0)
            PutDword(run.registry, policy::kKey, "HoldForOtherSessions", c.sessionsPolicy);
        if (c.limitPolicy >= 0)
            PutDword(run.registry, policy::kKey, "MaxHoldMinutes", c.limitPolicy);
        if (c.download) run.holdFacts.Take(FakeHoldFacts::Request::System);
        if (c.bob) run.holdFacts.SignIn("bob");
        run.holdFacts.refuseOtherUsers = c.bobUnnamed;
        run.launcher.RunFor(kSaver, c.saverMinutes * kMinute);
        scr::RunProgram(run.services, run.shutdown, "/s", false);
        ReleaseSharedObjects();
        EXPECT_EQ(run.shutdownApi.calls.size(), c.held ? 0u : 1u);
        if (!c.held) {
            EXPECT_EQ(run.shutdownApi.calls[0].at - runStart,
                      kDeadline + c.heldMinutes * kMinute + kCountdown);
        }
        // The limit ends the hold, in the trail too, and nothing is asked after it.
        if (c.heldMinutes > 0) {
            EXPECT_EQ(HoldEvents(run), (std::vector<std::uint32_t>{1200, 2200}));
            EXPECT_EQ(run.holdFacts.executionStateReads, c.heldMinutes + 1);
        }
        // Told, but never holding; session 0, the services', is not among them.
        if (c.bobUnnamed) {
            EXPECT_EQ(HoldEvents(run), std::vector<std::uint32_t>{2203});
        }
        for (const TrailEvent& e : run.events.events) {
            if (e.id == 2203) {
                EXPECT_EQ(e.strings, std::vector<std::string>{"2"});
            }
        }
        // A check that does not apply asks Windows nothing.
        EXPECT_EQ(run.holdFacts.executionStateReads > 0, c.powerPolicy != 0);
        EXPECT_EQ(run.holdFacts.sessionReads > 0, c.sessionsPolicy != 0 && c.shutdownType != 0);
    }
}

// A fact Windows will not give neither holds the shutdown nor delays it; the trail warns
// once that it could not be read.
TEST_F(HeldRun, UnreadableFactsLetTheShutdownGoAheadOnTime) {
    fake.holdFacts.refuseExecutionState =
        ErrorInfo{5, "CallNtPowerInformation", "Access is denied."};
    fake.holdFacts.refuseSessions = ErrorInfo{5, "WTSEnumerateSessionsW", "Access is denied."};
    fake.holdFacts.Take(FakeHoldFacts::Request::System);
    EXPECT_EQ(Run("/s"), kDeadline + kCountdown);
    EXPECT_EQ(fake.shutdownApi.calls.size(), 1u);
    EXPECT_EQ(HoldEvents(), (std::vector<std::uint32_t>{2201, 2202}));
}

TEST_F(ScreenSaverRun, ScreenSaverThatCannotStartEndsTheRunQuietly) {
    PutString(fake.registry, kOptionsKey, "SelectedScreenSaver", "C:\\gone.scr");
    const auto took = Run("/s");
    EXPECT_LT(took, 4000u);
    EXPECT_TRUE(fake.messageBox.shown.empty());
    EXPECT_FALSE(gTimeUp);
}

TEST_F(ScreenSaverRun, BothPicturesMissingGiveOneMessageAndFilledLabels) {
    FakeServices bare{ProgramKind::ScreenSaver, "SCRNSAVE:Somnivex"};
    PutString(bare.registry, kOptionsKey, "AppPath", kAppPath);
    InitSharedObjects(bare.services);
    gSSOptions->LoadOptions(gOptions);
    scr::fMain splash(bare.host);
    splash.Show();
    ASSERT_EQ(bare.messageBox.shown.size(), 1u);
    EXPECT_EQ(bare.messageBox.shown[0].text,
              "Couldn't load graphic.  Please reinstall Kelvane, or contact support.");
    EXPECT_EQ(bare.messageBox.shown[0].style, mb::kOk | mb::kIconStop);
    EXPECT_EQ(splash.imgLgeText->PicturePath(), "");
    EXPECT_EQ(splash.lblProgList->Text(),
              "Makers of Brellcor Pemrose Plus, Grindle, Kelvane, and Rimvale");
    EXPECT_FALSE(splash.lblCopyright->Text().empty());
    splash.Unload();
}

// The message about a missing picture stays open until somebody closes it; the wait
// counts from the splash's load all the same, and runs out inside it. An unknown
// shutdown code is warned of once on every path.
TEST_F(ScreenSaverRun, AWaitRunOutInsideThePictureMessageCountsFromTheLoad) {
    fake.host.undecodable.push_back(kAppPath + "\\graphics\\Brellcor.gif");
    fake.files.AddFile(kManager);
    PutDword(fake.registry, kOptionsKey, "ShutdownType", 8);
    fake.launcher.RunFor(kSaver, 300'000);
    fake.messageBox.whileShown = [this] {
        fake.clock.Advance(61'000);
        fake.loop.ProcessPendingEvents();
    };
    // After "/s" somebody closed the message: the saver runs until they are back.
    for (const auto& [arguments, took] :
         {std::pair{"/s", 361'000u}, {"/c", 121'000u}, {"/a", 121'000u}}) {
        const std::size_t shutdowns = fake.shutdownApi.calls.size();
        fake.events.events.clear();
        EXPECT_EQ(Run(arguments), took) << arguments;
        EXPECT_EQ(fake.shutdownApi.calls.size() - shutdowns, took == 121'000u ? 1u : 0u);
        const auto ids = fake.events.Ids();
        EXPECT_EQ(std::count(ids.begin(), ids.end(), 2045u), 1) << arguments;
    }
}

TEST_F(ScreenSaverRun, OneUnreadablePictureLeavesTheOtherShown) {
    fake.host.undecodable.push_back(kAppPath + "\\graphics\\SomnivexLgeTxt.GIF");
    InitSharedObjects(fake.services);
    gSSOptions->LoadOptions(gOptions);
    scr::fMain splash(fake.host);
    splash.Show();
    EXPECT_EQ(fake.messageBox.shown.size(), 1u);
    EXPECT_EQ(splash.imgLgeText->PicturePath(), "");
    EXPECT_EQ(splash.imgLogo->PicturePath(), kAppPath + "\\graphics\\Brellcor.gif");
    splash.IsDoneShowing();
    splash.IsDoneShowing();  // once the time has passed it returns at once
    splash.Unload();
}

TEST_F(ScreenSaverRun, StartupErrorIsReportedAndEndsTheProgram) {
    FakeServices broken{ProgramKind::ScreenSaver, "SCRNSAVE:Somnivex"};
    broken.facts.knownFolders.clear();  // no Start-menu folder anywhere
    EXPECT_EQ(scr::RunProgram(broken.services, broken.shutdown, "/s", false), 1);
    ASSERT_EQ(broken.messageBox.shown.size(), 1u);
    EXPECT_EQ(broken.messageBox.shown[0].text,
              "Run-time error '999':\r\n\r\nUnable to locate Startup directory");
    EXPECT_TRUE(broken.host.shownForms.empty());
}

TEST_F(ScreenSaverRun, AnyExceptionIsReportedAsARunTimeErrorAndEndsTheProgram) {
    for (const auto& [fail, text] : UnhandledFailures()) {
        SCOPED_TRACE(text);
        fake.messageBox.shown.clear();
        // Thrown out of the start of the chosen screen saver.
        fake.launcher.onStart = [fail = fail](const FakeProcess&) { fail(); };
        EXPECT_EQ(Run("/s"), 3000u);
        EXPECT_EQ(exitCode, 1);
        ASSERT_EQ(fake.messageBox.shown.size(), 1u);
        EXPECT_EQ(fake.messageBox.shown[0].text, text);
        EXPECT_EQ(fake.messageBox.shown[0].title, "SCRNSAVE:Somnivex");
        EXPECT_EQ(fake.messageBox.shown[0].style, mb::kOk | mb::kIconStop);
        EXPECT_EQ(gServices, nullptr);
    }
}

// --- The trail each kind of run leaves in the event log ---

struct TrailCase {
    const char* what;
    std::function<void(FakeServices&)> arrange;
    std::vector<std::uint32_t> ids;
    // Checks of single events, by position in the trail.
    std::function<void(const std::vector<TrailEvent>&)> check;
};

void ClickAt(FakeServices& fake, std::uint64_t ms, const std::string& form,
             const std::string& button) {
    fake.loop.At(ms, [&fake, form, button] {
        if (Form* f = fake.host.FindForm(form)) fake.host.Click((*f)[button]);
    });
}

TEST_F(ScreenSaverRun, EachKindOfRunLeavesItsTrailInOrder) {
    const std::string kelvane = "C:\\Program Files\\Kelvane\\Kelvane.exe";
    const std::vector<TrailCase> cases{
        {"returned after ten seconds",
         [](FakeServices& f) { f.launcher.RunFor(kSaver, 10'000); },
         {1000, 1020},
         [](const std::vector<TrailEvent>& e) {
             EXPECT_EQ(e[0].strings, (std::vector<std::string>{kSaver, "1", "shut down"}));
             EXPECT_EQ(e[1].strings, (std::vector<std::string>{kSaver, "0:00:10", "10"}));
         }},
        {"answered No, then returned",
         [](FakeServices& f) {
             PutDword(f.registry, kOptionsKey, "ConfirmShutdown", -1);
             f.launcher.RunFor(kSaver, 200'000);
             ClickAt(f, 4000, "fMyMsgBox", "cmdResponse1");
         },
         {1000, 1011, 1020},
         nullptr},
        {"cancelled with 55 seconds left",
         [](FakeServices& f) { ClickAt(f, 65'500, "fShutWarning", "cmdCancel"); },
         {1000, 1030, 1031},
         [](const std::vector<TrailEvent>& e) {
             EXPECT_EQ(e[1].strings, (std::vector<std::string>{"1", "60", "shut down"}));
             EXPECT_EQ(e[2].strings, std::vector<std::string>{"55"});
         }},
        {"nobody answered, restarted",
         [](FakeServices& f) {
             PutDword(f.registry, kOptionsKey, "ConfirmShutdown", -1);
             PutDword(f.registry, kOptionsKey, "DefaultConfirmYes", -1);
             PutDword(f.registry, kOptionsKey, "ShutdownType", 2);
         },
         {1000, 1012, 1030, 1041, 2041, 1040},  // no InitiateShutdown here
         [](const std::vector<TrailEvent>& e) {
             EXPECT_EQ(e[1].strings, (std::vector<std::string>{"5", "Yes"}));
             EXPECT_EQ(e[5].strings, (std::vector<std::string>{"restart", "0x00000002"}));
         }},
        {"refused by Windows, without the privilege",
         [](FakeServices& f) {
             f.shutdownApi.privilegeError = 1300;
             f.shutdownApi.accept = false;
         },
         {1000, 1030, 2040, 1041, 2041, 1040, 3040},
         [](const std::vector<TrailEvent>& e) {
             EXPECT_EQ(e[2].strings[0], "1300");
             EXPECT_EQ(e[6].type, EventType::Error);
             EXPECT_EQ(e[6].strings, (std::vector<std::string>{
                                         "shut down", "0x00000001", "1314",
                                         "A required privilege is not held by the client."}));
         }},
        {"handed over to the launcher",
         [&](FakeServices& f) {
             f.files.AddFile(kelvane);
             PutDword(f.registry, kOptionsKey, "RunKelvane", -1);
             PutString(f.registry, kOptionsKey, "KelvanePath", kelvane);
             PutDword(f.registry, "Software\\Brellcor\\Window Handles", "ShutdownHwnd", 0x30042);
             f.desktop.AddWindow({0x30042, 0, 0, "Kelvane", 2001, 1});
         },
         {1001, 1030, 1050, 1051},
         [&](const std::vector<TrailEvent>& e) {
             EXPECT_EQ(e[0].strings, (std::vector<std::string>{kSaver, "1", kelvane, "/T=S"}));
             EXPECT_EQ(e[2].strings, std::vector<std::string>{"0x00030042"});
             EXPECT_EQ(e[3].strings, std::vector<std::string>{"\"" + kelvane + "\" /T=S"});
         }},
        {"launcher neither told nor started",
         [](FakeServices& f) {
             PutDword(f.registry, kOptionsKey, "RunKelvane", -1);
             PutString(f.registry, kOptionsKey, "KelvanePath", "C:\\Program Files\\Gone.exe");
         },
         {1001, 1030, 2050, 3090, 3051, 3090},
         [](const std::vector<TrailEvent>& e) {
             EXPECT_EQ(e[2].strings[1], "1400");
             EXPECT_EQ(e[4].strings[0], "\"C:\\Program Files\\Gone.exe\" /T=S");
             EXPECT_EQ(e[4].strings[1], "2");
         }},
        {"an unknown stored code, handed to the launcher plainly",
         [&](FakeServices& f) {
             PutDword(f.registry, kOptionsKey, "RunKelvane", -1);
             PutString(f.registry, kOptionsKey, "KelvanePath", kelvane);
             PutDword(f.registry, kOptionsKey, "ShutdownType", 5);
         },
         {1001, 2045, 1030, 2050, 3090, 3051, 3090},
         [](const std::vector<TrailEvent>& e) {
             EXPECT_EQ(e[1].strings[1], "the launcher is started with /T=S");
         }},
        {"screen saver not startable",
         [](FakeServices& f) {
             PutString(f.registry, kOptionsKey, "SelectedScreenSaver", "C:\\gone.scr");
         },
         {1000, 3010},
         [](const std::vector<TrailEvent>& e) {
             EXPECT_EQ(e[1].strings[0], "C:\\gone.scr");
             EXPECT_EQ(e[1].strings[1], "2");
         }},
        {"asleep during the wait",
         [](FakeServices& f) { f.loop.SleepAt(20'000, 3'600'000); },
         {1000, 1070, 1071, 1030, 1041, 2041, 1040},
         [](const std::vector<TrailEvent>& e) {
             EXPECT_EQ(e[1].strings, (std::vector<std::string>{"the wait", "0:00:40"}));
             EXPECT_EQ(e[2].strings,
                       (std::vector<std::string>{"1:00:00", "3600", "the wait", "0:00:40"}));
         }},
        {"screen saver where users can write",
         [](FakeServices& f) {
             f.files.AddFile("C:\\Windows\\Temp\\x.scr");
             PutString(f.registry, kOptionsKey, "SelectedScreenSaver", "C:\\Windows\\Temp\\x.scr");
         },
         {1000, 3010},
         [](const std::vector<TrailEvent>& e) {
             EXPECT_EQ(e[1].strings[1], "5");
             EXPECT_EQ(e[1].strings[2].rfind("It lies in C:\\Windows\\Temp. Programs", 0), 0u);
         }},
        {"nothing chosen, manager where users can write",
         [](FakeServices& f) {
             PutString(f.registry, kOptionsKey, "SelectedScreenSaver", "");
             PutString(f.registry, kOptionsKey, "AppPath", "C:\\Users\\Public");
             f.files.AddFile("C:\\Users\\Public\\Somniconf.exe");
         },
         {3090, 1002, 3021},  // the splash finds no pictures there, first
         [](const std::vector<TrailEvent>& e) { EXPECT_EQ(e[2].strings[1], "5"); }},
        {"nothing chosen, manager missing",
         [](FakeServices& f) { PutString(f.registry, kOptionsKey, "SelectedScreenSaver", ""); },
         {1002, 2020},
         [](const std::vector<TrailEvent>& e) { EXPECT_EQ(e[1].strings[0], kManager); }},
    };
    for (const TrailCase& c : cases) {
        FakeServices run{ProgramKind::ScreenSaver, "SCRNSAVE:Somnivex"};
        Install(run);
        c.arrange(run);
        scr::RunProgram(run.services, run.shutdown, "/s", false);
        ReleaseSharedObjects();
        EXPECT_EQ(run.events.Ids(), c.ids) << c.what;
        if (c.check && run.events.Ids() == c.ids) c.check(run.events.events);
    }
}

TEST_F(ScreenSaverRun, ALogThatTakesNothingChangesNothing) {
    fake.events.refuse = true;
    fake.shutdownApi.accept = false;
    EXPECT_EQ(Run("/s"), 60'000u + kCountdown);
    EXPECT_EQ(fake.shutdownApi.calls.size(), 1u);
    EXPECT_TRUE(fake.messageBox.shown.empty());
    EXPECT_EQ(exitCode, 0);
}

TEST_F(ScreenSaverRun, IgnoredPolicyValuesAndReplacedSettingsReachTheTrail) {
    PutString(fake.registry, "Software\\Policies\\Brellcor\\Somnivex", "WaitMinutes", "ten");
    PutString(fake.registry, kOptionsKey, "ShutdownType", "two");
    fake.launcher.RunFor(kSaver, 1000);
    Run("/s");
    const std::vector<std::uint32_t> ids = fake.events.Ids();
    ASSERT_GE(ids.size(), 2u);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), 2060u), 1);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), 2300u), 1);
    EXPECT_EQ(ids.back(), 1020u);
}

TEST(FullPaths, OnlyPathsThatNameOnePlaceWhateverTheCurrentFolder) {
    const std::pair<const char*, bool> cases[] = {
        {"C:\\Windows\\system32\\Mystify.scr", true},
        {"c:/Windows/Mystify.scr", true},
        {"\\\\server\\share\\Saver.scr", true},
        {"\\\\?\\C:\\Saver.scr", true},
        {"", false},
        {"Mystify.scr", false},             // the current folder, then the search order
        {"system32\\Mystify.scr", false},   // below the current folder
        {"\\Windows\\Mystify.scr", false},  // the root of the current drive
        {"C:Mystify.scr", false},           // the current folder of drive C
        {"C:", false},
        {"\\\\.\\COM1", false},  // a device
        {"\\\\\\server\\x.scr", false},
        {"1:\\x.scr", false},
    };
    for (const auto& [path, full] : cases) EXPECT_EQ(IsFullPath(path), full) << path;
}

TEST_F(ScreenSaverRun, StoredPathsThatWouldBeSearchedForStartNothing) {
    // Each names a file that exists, yet only a full path to a "*.scr" file is started:
    // the shell would look for the others in the current folder or along its search
    // order, or open them with whatever program they are associated with.
    fake.files.AddFile("Mystify.scr");
    fake.files.AddFile("\\Windows\\system32\\Mystify.scr");
    fake.files.AddFile("C:Mystify.scr");
    fake.files.AddFile("C:\\Windows\\notepad.exe");
    fake.files.AddFolder("C:\\Folder.scr");
    for (const char* saver : {"Mystify.scr", "\\Windows\\system32\\Mystify.scr", "C:Mystify.scr",
                              "C:\\Windows\\notepad.exe", "C:\\Folder.scr"}) {
        SCOPED_TRACE(saver);
        fake.launcher.started.clear();
        PutString(fake.registry, kOptionsKey, "SelectedScreenSaver", saver);
        EXPECT_EQ(Run("/s"), 3000u);  // as for a screen saver that cannot start
        EXPECT_TRUE(fake.launcher.started.empty());
        EXPECT_TRUE(fake.messageBox.shown.empty());
    }

    // No screen saver chosen and the manager's folder empty or relative: the manager
    // counts as not found, though a "Somniconf.exe" lies where it would be looked for.
    PutString(fake.registry, kOptionsKey, "SelectedScreenSaver", "");
    for (const char* appPath : {"", "Somnivex", "\\Program Files\\Somnivex"}) {
        SCOPED_TRACE(appPath);
        fake.launcher.started.clear();
        fake.messageBox.shown.clear();
        fake.files.AddFile(std::string(appPath) + "\\Somniconf.exe");
        PutString(fake.registry, kOptionsKey, "AppPath", appPath);
        Run("/s");
        EXPECT_TRUE(fake.launcher.started.empty());
        // (A relative folder also has no pictures for the splash: that message comes first.)
        ASSERT_FALSE(fake.messageBox.shown.empty());
        EXPECT_EQ(fake.messageBox.shown.back().text.rfind("Please run Somnivex Manager first", 0),
                  0u);
    }
}

class RunAndWaitTest : public ScreenSaverRun {
  protected:
    RunAndWaitTest() { InitSharedObjects(fake.services); }
};

TEST_F(RunAndWaitTest, NotStartedGivesFalseAtOnce) {
    gTimeUp = true;
    EXPECT_FALSE(RunAndWait("C:\\missing.scr", " /s"));
    EXPECT_FALSE(gTimeUp);
    EXPECT_TRUE(fake.messageBox.shown.empty());
}

TEST_F(RunAndWaitTest, EndedProgramIsSeenAtOnce) {
    fake.launcher.RunFor(kSaver, 10'000);
    const auto start = fake.clock.SteadyMilliseconds();
    EXPECT_TRUE(RunScreenSaver(*CheckScreenSaver(kSaver, PathOrigin::kSettings).program));
    EXPECT_EQ(fake.clock.SteadyMilliseconds() - start, 10'000u);
    EXPECT_EQ(fake.launcher.OpenHandles(), 0);
}

TEST_F(RunAndWaitTest, TimeUpAbandonsTheWaitAndTheProgramRunsOn) {
    gTimeUp = true;  // cleared first: the wait does not end before it began
    TimerId timer = fake.loop.StartTimer(5000, [] { gTimeUp = true; });
    const auto start = fake.clock.SteadyMilliseconds();
    EXPECT_TRUE(RunAndWait(kSaver, " /s"));
    EXPECT_EQ(fake.clock.SteadyMilliseconds() - start, 5000u);
    EXPECT_FALSE(fake.launcher.HasEnded(1));
    fake.loop.StopTimer(timer);
}

// A start whose end cannot be waited for is still a start: the wait timer ends it, or
// the exit code when it shows the end. The handle is closed whatever happened.
TEST_F(RunAndWaitTest, StartsWhoseEndCannotBeWaitedForStillCount) {
    const std::string key = "c:\\windows\\system32\\mystify.scr";
    const struct {
        const char* what;
        bool noHandle, refuseWait, refuseExitCode;
        std::uint64_t took;  // the program ends after 10 s, the timer fires after 60 s
    } cases[] = {
        {"waited on", false, false, false, 10'000},
        {"no handle", true, false, false, 60'000},
        {"refused wait", false, true, false, 10'000},
        {"refused wait and exit code", false, true, true, 60'000},
    };
    for (const auto& c : cases) {
        FakeLauncher& launcher = fake.launcher;
        launcher.started.clear();
        launcher.RunFor(kSaver, 10'000);
        launcher.startWithoutHandle =
            c.noHandle ? std::set<std::string>{key} : std::set<std::string>{};
        launcher.refuseWait = c.refuseWait ? std::set<std::string>{key} : std::set<std::string>{};
        launcher.refuseExitCode =
            c.refuseExitCode ? std::set<std::string>{key} : std::set<std::string>{};
        TimerId timer = fake.loop.StartTimer(60'000, [] { gTimeUp = true; });
        const auto start = fake.clock.SteadyMilliseconds();
        EXPECT_TRUE(RunAndWait(kSaver, " /s")) << c.what;
        // The end is seen within one poll of the exit code.
        EXPECT_GE(fake.clock.SteadyMilliseconds() - start, c.took) << c.what;
        EXPECT_LE(fake.clock.SteadyMilliseconds() - start, c.took + 100) << c.what;
        EXPECT_EQ(gTimeUp, c.took == 60'000) << c.what;
        EXPECT_EQ(fake.launcher.started.size(), 1u) << c.what;
        EXPECT_EQ(fake.launcher.OpenHandles(), 0) << c.what;
        fake.loop.StopTimer(timer);
        EXPECT_EQ(fake.loop.ActiveTimers(), 0u) << c.what;  // no poll left behind
    }
}

TEST_F(RunAndWaitTest, ErrorWhileWaitingGivesFalseAndClosesTheHandle) {
    for (bool waitable : {true, false}) {
        if (!waitable) fake.launcher.refuseWait.insert("c:\\windows\\system32\\mystify.scr");
        fake.loop.At(5000, [] { throw RaisedError({5, "Somnivex", "Access is denied."}); });
        EXPECT_FALSE(RunAndWait(kSaver, " /s")) << waitable;
        EXPECT_EQ(fake.launcher.OpenHandles(), 0) << waitable;
        EXPECT_EQ(fake.loop.ActiveTimers(), 0u) << waitable;
    }
}

TEST_F(ScreenSaverRun, ScreenSaverStartedWithoutAHandleStillLeadsToTheCountdown) {
    fake.launcher.startWithoutHandle.insert("c:\\windows\\system32\\mystify.scr");
    EXPECT_EQ(Run("/s"), 60'000u + kCountdown);
    EXPECT_EQ(fake.host.shownForms, (std::vector<std::string>{"fMain", "fShutWarning"}));
    EXPECT_EQ(fake.shutdownApi.calls.size(), 1u);
}

TEST_F(RunAndWaitTest, ConfigureQuotesThePathAndRaisesWhenItCannotStart) {
    const std::string spaced = "C:\\Program Files\\Screen Savers\\Blau Ü.scr";
    fake.files.AddFile(spaced);
    const CheckedProgram saver = *CheckScreenSaver(spaced, PathOrigin::kSettings).program;
    ConfigureScreenSaver(saver);
    ASSERT_EQ(fake.launcher.started.size(), 1u);
    EXPECT_EQ(fake.launcher.started[0].commandLine, "\"" + spaced + "\" /c");
    EXPECT_EQ(fake.launcher.started[0].showState, show_state::kMinimized);
    fake.launcher.asksForAdministrator.insert("c:\\program files\\screen savers\\blau Ü.scr");
    EXPECT_THROW(ConfigureScreenSaver(saver), RaisedError);
}

TEST_F(RunAndWaitTest, FileExistsForFilesOnly) {
    fake.files.AddFile("C:\\empty.txt", "");
    EXPECT_TRUE(FileExists("C:\\empty.txt"));
    EXPECT_FALSE(FileExists("C:\\nothing.txt"));
    EXPECT_FALSE(FileExists(""));
}

}  // namespace
