#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "common/Logger.h"
#include "common/Policy.h"
#include "common/RunTrail.h"
#include "common/SSOptions.h"
#include "common/StringTable.h"
#include "platform/fake/FakeEventSink.h"
#include "platform/fake/FakePlatform.h"
#include "platform/fake/FakeRegistry.h"
#include "support/RegistryValues.h"

namespace {

using enum EventType;

const ErrorInfo kDenied{5, "Somnivex", "Access is denied."};

struct Case {
    const char* what;
    std::function<void(cRunTrail&)> write;
    TrailEvent expected;
};

TEST(RunTrail, WritesEachEventWithItsIdTypeAndStrings) {
    tSSOptions before;
    tSSOptions after = before;
    after.WaitMinutes = 10;
    const std::string saver = "C:\\Windows\\system32\\Bubbles.scr";
    const std::vector<Case> cases{
        {"run, shut down",
         [&](cRunTrail& t) { t.RunStarted(saver, 30, 1); },
         {1000, Information, {saver, "30", "shut down"}}},
        {"run, unknown code as a plain shut down",
         [&](cRunTrail& t) { t.RunStarted(saver, 5, 7); },
         {1000, Information, {saver, "5", "shut down"}}},
        {"run for the launcher",
         [&](cRunTrail& t) { t.RunStartedForLauncher(saver, 1, "C:\\K\\Kelvane.exe", "/T=R"); },
         {1001, Information, {saver, "1", "C:\\K\\Kelvane.exe", "/T=R"}}},
        {"no screen saver",
         [](cRunTrail& t) { t.RunWithoutScreenSaver("C:\\P\\Somniconf.exe"); },
         {1002, Information, {"C:\\P\\Somniconf.exe"}}},
        {"Yes", [](cRunTrail& t) { t.ConfirmationAnswered(true); }, {1010, Information, {"Yes"}}},
        {"No", [](cRunTrail& t) { t.ConfirmationAnswered(false); }, {1011, Information, {"No"}}},
        {"nobody answered",
         [](cRunTrail& t) { t.ConfirmationTimedOut(5, false); },
         {1012, Information, {"5", "No"}}},
        {"came back after an hour",
         [&](cRunTrail& t) { t.UserReturned(saver, 3723); },
         {1020, Information, {saver, "1:02:03", "3723"}}},
        {"countdown, restart",
         [](cRunTrail& t) { t.CountdownOpened(30, 60, false, 2); },
         {1030, Information, {"30", "60", "restart"}}},
        {"countdown, launcher",
         [](cRunTrail& t) { t.CountdownOpened(1, 60, true, 2); },
         {1030, Information, {"1", "60", "hand the shutdown to the launcher"}}},
        {"cancelled", [](cRunTrail& t) { t.CountdownCancelled(42); }, {1031, Information, {"42"}}},
        {"closed while counting",
         [](cRunTrail& t) { t.CountdownClosed(17); },
         {1032, Information, {"17"}}},
        {"log off",
         [](cRunTrail& t) { t.ExitRequested(0); },
         {1040, Information, {"log off", "0x00000000"}}},
        {"switch off",
         [](cRunTrail& t) { t.ExitRequested(9); },
         {1040, Information, {"shut down and switch off", "0x00000009"}}},
        {"forced restart",
         [](cRunTrail& t) { t.ExitRequested(6); },
         {1040, Information, {"restart, closing programs by force", "0x00000006"}}},
        {"hybrid, updates",
         [](cRunTrail& t) { t.ShutdownRequested(0x248); },
         {1041,
          Information,
          {"shut down with Fast Startup; pending updates are installed", "0x00000248"}}},
        {"hibernate",
         [](cRunTrail& t) { t.SuspendRequested(true); },
         {1042, Information, {"hibernate"}}},
        {"1525 posted",
         [](cRunTrail& t) { t.LauncherNotified(0x1043A); },
         {1050, Information, {"0x0001043A"}}},
        {"launcher started",
         [](cRunTrail& t) { t.LauncherStarted("\"C:\\K\\Kelvane.exe\" /T=S"); },
         {1051, Information, {"\"C:\\K\\Kelvane.exe\" /T=S"}}},
        {"saved",
         [&](cRunTrail& t) { t.SettingsSaved("anna", before, after, false); },
         {1100, Information, {"anna", "WaitMinutes: 30 -> 10", "with the user's own rights"}}},
        {"held",
         [](cRunTrail& t) { t.ShutdownHeld("user bob has a disconnected session"); },
         {1200, Information, {"user bob has a disconnected session"}}},
        {"held for another reason",
         [](cRunTrail& t) { t.HoldReasonChanged("a program keeps Windows awake (away mode)"); },
         {1201, Information, {"a program keeps Windows awake (away mode)"}}},
        {"hold over",
         [](cRunTrail& t) { t.HoldEnded("user bob has an active session", 7); },
         {1202, Information, {"user bob has an active session", "7"}}},
        {"run ended while held",
         [](cRunTrail& t) { t.HoldEndedWithRun("user bob has an active session", 0); },
         {1203, Information, {"user bob has an active session", "0"}}},
        {"held to the limit",
         [](cRunTrail& t) {
             t.HoldLimitReached("a program keeps Windows awake (system required)", 240);
         },
         {2200, Warning, {"a program keeps Windows awake (system required)", "240"}}},
        {"power requests unreadable, no description",
         [](cRunTrail& t) {
             t.PowerRequestsUnreadable({50, "CallNtPowerInformation", ""});
         },
         {2201, Warning, {"50", "(no description)"}}},
        {"sessions unreadable",
         [](cRunTrail& t) { t.SessionsUnreadable(kDenied); },
         {2202, Warning, {"5", "Access is denied."}}},
        {"users of sessions unreadable",
         [](cRunTrail& t) { t.SessionUserUnreadable("2, 3"); },
         {2203, Warning, {"2, 3"}}},
        {"unknown shutdown code",
         [](cRunTrail& t) { t.UnknownShutdownType(-7, "Windows is asked to shut down"); },
         {2045, Warning, {"-7", "Windows is asked to shut down"}}},
        {"asleep during the wait",
         [](cRunTrail& t) { t.ComputerSuspended("the wait", 3723); },
         {1070, Information, {"the wait", "1:02:03"}}},
        {"woke in the countdown, the wait over",
         [](cRunTrail& t) { t.ComputerResumed(36'000, "the countdown", std::nullopt); },
         {1071, Information, {"10:00:00", "36000", "the countdown", "none"}}},
        {"manager missing",
         [](cRunTrail& t) {
             t.ManagerNotFound("\\Somniconf.exe",
                               {2, "Somnivex", "The system cannot find the file specified."});
         },
         {2020, Warning, {"\\Somniconf.exe", "2", "The system cannot find the file specified."}}},
        {"privilege",
         [](cRunTrail& t) {
             t.PrivilegeNotEnabled({1300, "", "Not all assigned."});
         },
         {2040, Warning, {"1300", "Not all assigned."}}},
        {"fell back",
         [](cRunTrail& t) {
             t.ShutdownFellBack({120, "", "No."}, "restart");
         },
         {2041, Warning, {"120", "No.", "restart"}}},
        {"others",
         [](cRunTrail& t) {
             t.ShutdownHeldForOthers(0x85, {1191, "", "No."});
         },
         {2042,
          Warning,
          {"restart, reopening the programs registered for it; pending updates are not installed; "
           "other users' sessions are ended",
           "1191", "No."}}},
        {"1525 not posted, no window text",
         [](cRunTrail& t) {
             t.LauncherNotNotified(-1, {1400, "Somnivex", ""});
         },
         {2050, Warning, {"0xFFFFFFFF", "1400", "(no description)"}}},
        {"value replaced",
         [](cRunTrail& t) {
             t.SettingReplaced("HKEY_LOCAL_MACHINE\\Software\\Brellcor\\Somnivex", "WaitMinutes",
                               "a REG_SZ value", "30");
         },
         {2060,
          Warning,
          {"WaitMinutes", "HKEY_LOCAL_MACHINE\\Software\\Brellcor\\Somnivex", "a REG_SZ value",
           "30"}}},
        {"not saved",
         [](cRunTrail& t) { t.SettingsNotSaved("bob", kDenied); },
         {2100, Warning, {"bob", "5", "Access is denied."}}},
        {"policy value of the wrong type",
         [](cRunTrail& t) {
             t.PolicyValueIgnored(
                 {"WaitMinutes", PolicyProblem::Kind::kWrongType, "REG_SZ", "REG_DWORD"});
         },
         {2300,
          Warning,
          {"WaitMinutes", "HKEY_LOCAL_MACHINE\\Software\\Policies\\Brellcor\\Somnivex", "REG_SZ",
           "REG_DWORD"}}},
        {"policy key unreadable",
         [](cRunTrail& t) {
             t.PolicyValueIgnored({"", PolicyProblem::Kind::kUnreadable, "error 5", ""});
         },
         {2300,
          Warning,
          {"(the key itself)", "HKEY_LOCAL_MACHINE\\Software\\Policies\\Brellcor\\Somnivex",
           "error 5", "a value that can be read"}}},
        {"saver not started",
         [&](cRunTrail& t) { t.ScreenSaverNotStarted(saver, kDenied); },
         {3010, Error, {saver, "5", "Access is denied."}}},
        {"manager not started",
         [](cRunTrail& t) {
             t.ManagerNotStarted("C:\\P\\Somniconf.exe", {740, "", "Elevation."});
         },
         {3021, Error, {"C:\\P\\Somniconf.exe", "740", "Elevation."}}},
        {"Windows refused",
         [](cRunTrail& t) {
             t.ExitRefused(1, {1314, "", "No privilege."});
         },
         {3040, Error, {"shut down", "0x00000001", "1314", "No privilege."}}},
        {"refused",
         [](cRunTrail& t) {
             t.ShutdownRefused(0x8, {5, "", "No."});
         },
         {3041, Error, {"shut down; pending updates are not installed", "0x00000008", "5", "No."}}},
        {"no sleep",
         [](cRunTrail& t) {
             t.SuspendRefused(false, {50, "", "No."});
         },
         {3042, Error, {"sleep", "50", "No."}}},
        {"launcher not started",
         [](cRunTrail& t) { t.LauncherNotStarted("\"C:\\K\\Kelvane.exe\" /T=L", kDenied); },
         {3051, Error, {"\"C:\\K\\Kelvane.exe\" /T=L", "5", "Access is denied."}}},
        {"logged with a text of its own",
         [](cRunTrail& t) { t.ErrorLogged("Couldn't load graphic.", {}); },
         {3090, Error, {"0", "Somnivex", "Couldn't load graphic.", "Couldn't load graphic."}}},
        {"logged error, no text",
         [](cRunTrail& t) {
             t.ErrorLogged("", {-2147024894, "mSSMain", "Not found."});
         },
         {3090, Error, {"-2147024894", "mSSMain", "Not found.", "Not found."}}},
    };

    std::set<std::uint32_t> written;
    for (const Case& c : cases) {
        FakeEventSink sink;
        cRunTrail trail(sink);
        c.write(trail);
        ASSERT_EQ(sink.events.size(), 1u) << c.what;
        EXPECT_EQ(sink.events[0], c.expected) << c.what;
        written.insert(sink.events[0].id);
    }
    // Every event of the catalogue is written above, with all the strings its message
    // inserts; its type follows from its range.
    for (const tCatalogueEntry& entry : EventCatalogue()) {
        EXPECT_TRUE(written.count(entry.id)) << entry.name << " is never written";
        EXPECT_EQ(entry.type, entry.id < 2000   ? Information
                              : entry.id < 3000 ? Warning
                                                : Error)
            << entry.name;
        for (const Case& c : cases)
            if (c.expected.id == entry.id) {
                EXPECT_EQ(static_cast<int>(c.expected.strings.size()), entry.strings) << c.what;
            }
    }
    EXPECT_EQ(written.size(), EventCatalogue().size());  // each id listed once
}

TEST(RunTrail, LongInsertionsAreCutAtACharacterAndMarked) {
    EXPECT_EQ(BoundedInsertion(""), "");
    const std::string fits(kMaxInsertionBytes, 'a');
    EXPECT_EQ(BoundedInsertion(fits), fits);
    const std::string cut = BoundedInsertion(fits + "b");
    EXPECT_EQ(cut.size(), kMaxInsertionBytes);
    EXPECT_EQ(cut.substr(cut.size() - 4), "a...");
    // Two-byte letters: the cut never splits one.
    std::string umlauts;
    while (umlauts.size() < 2 * kMaxInsertionBytes) umlauts += "\xC3\xBC";
    const std::string kept = BoundedInsertion(umlauts);
    EXPECT_LE(kept.size(), kMaxInsertionBytes);
    EXPECT_EQ(kept.substr(kept.size() - 5), "\xC3\xBC...");

    FakeEventSink sink;
    cRunTrail(sink).LauncherStarted(std::string(100000, 'x'));
    EXPECT_EQ(sink.events.at(0).strings.at(0).size(), kMaxInsertionBytes);
}

TEST(RunTrail, SettingChangesListEveryChangedValueInTheRecordsOrder) {
    tSSOptions before;
    EXPECT_EQ(SettingChanges(before, before), "No value changed.");
    tSSOptions after = before;
    after.WaitMinutes = 5;
    after.RunKelvane = true;
    after.SelectedScreenSaver = "C:\\Windows\\system32\\Ribbons.scr";
    after.ShutdownType = 0;
    EXPECT_EQ(SettingChanges(before, after),
              "RunKelvane: No -> Yes\r\n"
              "SelectedScreenSaver: \"\" -> \"C:\\Windows\\system32\\Ribbons.scr\"\r\n"
              "ShutdownType: 1 -> 0\r\n"
              "WaitMinutes: 30 -> 5");
}

TEST(RunTrail, TheLoggerHandsEveryErrorOnBeforeItShowsIt) {
    BuiltInStringSource strings{ProgramKind::ScreenSaver};
    FakeFileSystem files;
    FakeMessageBoxUi ui;
    FakeClock clock;
    cLogger logger{LoggerDeps{strings, files, ui, clock, "C:\\P", "SCRNSAVE:Somnivex"}};
    FakeEventSink sink;
    cRunTrail trail(sink);
    std::vector<std::size_t> boxesBefore;
    logger.OnError = [&](const std::string& text, const ErrorInfo& error) {
        boxesBefore.push_back(ui.shown.size());
        trail.ErrorLogged(text, error);
    };
    logger.LogError("", true, {53, "mSSMain", "File not found"});
    logger.LogError("quiet", false, {});
    // Each event goes out before its error's box is shown.
    EXPECT_EQ(boxesBefore, (std::vector<std::size_t>{0, 1}));
    ASSERT_EQ(sink.Ids(), (std::vector<std::uint32_t>{3090, 3090}));
    EXPECT_EQ(sink.events[0].strings,
              (std::vector<std::string>{"53", "mSSMain", "File not found", "File not found"}));
    EXPECT_EQ(sink.events[1].strings[3], "quiet");
    EXPECT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(files.OpenCount(), 0);  // the file records stay off
}

// What a settings read reports when it stands in a default, for each kind of stored value.
TEST(RunTrail, SettingsReadsReportTheValuesTheyReplace) {
    const std::string key = "HKEY_LOCAL_MACHINE\\Software\\Brellcor\\Somnivex";
    struct RegistryCase {
        const char* what;
        std::function<void(FakeRegistry&)> put;
        std::vector<tReplacedSetting> expected;
    };
    const std::vector<RegistryCase> cases{
        {"missing values: a first start, nothing reported", [](FakeRegistry&) {}, {}},
        {"text under a number's name",
         [](FakeRegistry& r) { PutString(r, kOptionsKey, "WaitMinutes", "ten"); },
         {{key, "WaitMinutes", "a REG_SZ value", "30"}}},
        {"a number of two bytes",
         [](FakeRegistry& r) {
             r.PutValue(reg::kLocalMachine, kOptionsKey, "ShutdownType", reg::kTypeDword, {2, 0});
         },
         {{key, "ShutdownType", "a REG_DWORD value of 2 bytes", "1"}}},
        {"a number under a text's name",
         [](FakeRegistry& r) { PutDword(r, kOptionsKey, "AppPath", 7); },
         {{key, "AppPath", "a REG_DWORD value of 4 bytes", "\"\""}}},
        {"binary under a flag's name",
         [](FakeRegistry& r) {
             r.PutValue(reg::kLocalMachine, kOptionsKey, "RunKelvane", reg::kTypeBinary, {1});
         },
         {{key, "RunKelvane", "a REG_BINARY value", "0"}}},
        {"a type Windows has no name for",
         [](FakeRegistry& r) { r.PutValue(reg::kLocalMachine, kOptionsKey, "LogDir", 42, {1}); },
         {{key, "LogDir", "a value of type 42", "\"\""}}},
        {"minutes beyond 16 bits",
         [](FakeRegistry& r) { PutDword(r, kOptionsKey, "WaitMinutes", 70000); },
         {{key, "WaitMinutes", "70000", "30"}}},
        {"fitting values, REG_EXPAND_SZ text included",
         [](FakeRegistry& r) {
             PutDword(r, kOptionsKey, "WaitMinutes", 5);
             r.PutValue(reg::kLocalMachine, kOptionsKey, "AppPath", reg::kTypeExpandSz,
                        {'%', 'W', 'I', 'N', 'D', 'I', 'R', '%', 0});
         },
         {}},
    };
    for (const RegistryCase& c : cases) {
        FakeRegistry registry;
        c.put(registry);
        cAppRegAPI appReg{registry, "Somnivex"};
        cSSOptions options{appReg};
        appReg.SoftwareKey = options.RegSoftwareKey();
        std::vector<tReplacedSetting> reported;
        appReg.OnReplaced = [&](const tReplacedSetting& r) { reported.push_back(r); };
        tSSOptions record;
        options.LoadOptions(record);
        ASSERT_EQ(reported.size(), c.expected.size()) << c.what;
        for (std::size_t i = 0; i < reported.size(); ++i) {
            EXPECT_EQ(reported[i].key, c.expected[i].key) << c.what;
            EXPECT_EQ(reported[i].name, c.expected[i].name) << c.what;
            EXPECT_EQ(reported[i].found, c.expected[i].found) << c.what;
            EXPECT_EQ(reported[i].replacement, c.expected[i].replacement) << c.what;
        }
    }
}

TEST(RunTrail, ReadsReportOutOfRangeNumbersAndUnreadableTexts) {
    FakeRegistry registry;
    cAppRegAPI appReg{registry, "Somnivex"};
    appReg.SoftwareKey = "Brellcor";
    std::vector<tReplacedSetting> reported;
    appReg.OnReplaced = [&](const tReplacedSetting& r) { reported.push_back(r); };

    PutDword(registry, kOptionsKey, "Level", 12);
    EXPECT_EQ(appReg.GetNumericSetting(reg::kLocalMachine, "Somnivex", "Level", 3, 1, 10), 3);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].found, "12");
    EXPECT_EQ(reported[0].replacement, "3");

    PutString(registry, kOptionsKey, "Folder", "C:\\kept");
    // The size query works, the read itself fails: the value is kept, the default used.
    registry.FailNext(FakeRegistry::Op::kQueryValue, reg::kAccessDenied, 1);
    EXPECT_EQ(appReg.GetStringSetting(reg::kLocalMachine, "Somnivex", "Folder", "C:\\default"),
              "C:\\default");
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(reported[1].found, "a value that could not be read");
    EXPECT_EQ(reported[1].replacement, "\"C:\\default\"");
    EXPECT_EQ(GetString(registry, kOptionsKey, "Folder"), "C:\\kept");
    EXPECT_EQ(registry.OpenHandleCount(), 0);
}

// The README and the help page list every event an administrator can meet.
TEST(RunTrail, EveryEventIdIsDocumented) {
    for (const char* file : {"/README.md", "/resources/help/Somnivex.html"}) {
        std::ifstream in(std::string(SOMNIVEX_SOURCE_DIR) + file);
        ASSERT_TRUE(in) << file;
        std::stringstream text;
        text << in.rdbuf();
        const std::string page = text.str();
        for (const tCatalogueEntry& entry : EventCatalogue()) {
            const std::string id = std::to_string(entry.id);
            const bool listed = page.find("| " + id + " |") != std::string::npos ||
                                page.find("<td>" + id + "</td>") != std::string::npos;
            EXPECT_TRUE(listed) << file << " does not list event " << id;
        }
    }
}

}  // namespace
