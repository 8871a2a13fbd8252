// The save request: its command line, read as Windows reads one, and the copy of the
// manager that checks the eleven values as the window takes them and writes them.
#include <random>

#include "manager/SaveRequest.h"
#include "manager_fixture.h"

namespace {

using namespace manager_test;
using mgr::QuoteArgument;
using mgr::SplitArguments;
using Args = std::vector<std::string>;

// --- Command lines ---

TEST(CommandLine, SplitsAsTheCRuntimeDoes) {
    const std::pair<std::string, Args> cases[] = {
        {"", {}},
        {" \t ", {}},
        {"a b\tc", {"a", "b", "c"}},
        {"  a   b  ", {"a", "b"}},
        {"\"a b\" c", {"a b", "c"}},
        {"\"\"", {""}},
        {"a\"b c\"d", {"ab cd"}},
        {"a\\b c\\", {"a\\b", "c\\"}},  // backslashes alone stay
        {"a\\\"b", {"a\"b"}},           // 1: a literal quote
        {"a\\\\\"b c\"", {"a\\b c"}},   // 2: one backslash, the quote opens
        {"a\\\\\\\"b", {"a\\\"b"}},     // 3: one backslash and a literal quote
        {"\"a\"\"b\"", {"a\"b"}},       // "" inside quotes
        {"\"open to the end", {"open to the end"}},
        {"/save \"x=\u00fc \u65e5\"", {"/save", "x=\u00fc \u65e5"}},
    };
    for (const auto& [line, expected] : cases) EXPECT_EQ(SplitArguments(line), expected) << line;
}

TEST(CommandLine, AnyArgumentsComeBackExactly) {
    // Random arguments from the characters that matter to the rules, and random lines
    // read whole: every quoted list reads back as it was, and no line makes the reader
    // produce more than it was given.
    const std::string alphabet[] = {"a", " ", "\t", "\"", "\\", "=", "\u00fc", "\U0001F600"};
    std::mt19937 random(20260401);
    for (int round = 0; round < 3000; ++round) {
        Args arguments(random() % 5);
        for (auto& argument : arguments)
            for (int n = random() % 8; n > 0; --n) argument += alphabet[random() % 8];
        std::string line;
        for (const auto& argument : arguments) line += QuoteArgument(argument) + " ";
        ASSERT_EQ(SplitArguments(line), arguments) << line;

        std::string noise;
        for (int n = random() % 24; n > 0; --n) noise += alphabet[random() % 8];
        std::size_t total = 0;
        for (const auto& argument : SplitArguments(noise)) total += argument.size();
        ASSERT_LE(total, noise.size()) << noise;
    }
}

// --- The request ---

tSSOptions Sent() {
    tSSOptions o;
    o.RunKelvane = true;
    o.ConfirmShutdown = true;
    o.DefaultConfirmYes = false;
    o.LogDebug = true;
    o.AppPath = "C:\\Program Files\\Somnivex";
    o.LogDir = o.AppPath + "\\Error.log";
    o.KelvanePath = "C:\\Program Files\\Brellcor Tools\\Kelvane \u00fc.exe";
    o.SelectedScreenSaver = "C:\\Windows\\system32\\Aurora.scr";
    o.ShutdownType = 2;
    o.WaitMinutes = 32767;
    o.InstallUpdates = false;
    return o;
}

TEST(SaveRequestLine, CarriesEveryValueAndReadsBackAsSent) {
    const std::string parameters = mgr::SaveRequestParameters(Sent());
    EXPECT_EQ(parameters.rfind("/save \"RunKelvane=1\" ", 0), 0u) << parameters;
    const Args arguments = SplitArguments(parameters);
    EXPECT_EQ(arguments.size(), 12u);
    EXPECT_EQ(mgr::ParseSaveRequest(arguments), Sent());
    EXPECT_TRUE(mgr::IsSaveRequest({"/SAVE"}));
    EXPECT_FALSE(mgr::IsSaveRequest({}));
    EXPECT_FALSE(mgr::IsSaveRequest({"/saved"}));
}

TEST(SaveRequestLine, RefusesWhatTheWindowNeverSends) {
    const Args good = SplitArguments(mgr::SaveRequestParameters(Sent()));
    // Each case changes argument `at` (or drops it when the text is empty).
    const std::pair<std::size_t, std::string> cases[] = {
        {0, "/sav"},
        {1, "RunKelvane=2"},
        {1, "RunKelvane=true"},
        {1, "RunKelvane="},
        {1, "RunKelvane"},
        {1, "runkelvane=1"},
        {1, "Unknown=1"},
        {1, "WaitMinutes=5"},
        {9, "ShutdownType=+2"},
        {9, "ShutdownType=02"},
        {9, "ShutdownType=-0"},
        {10, "WaitMinutes=40000"},
        {10, "WaitMinutes= 5"},
        {10, "WaitMinutes=5.0"},
        {10, ""},
        {11, "InstallUpdates=-1"},
        {11, ""},
    };
    for (const auto& [at, text] : cases) {
        Args changed = good;
        if (text.empty())
            changed.erase(changed.begin() + static_cast<std::ptrdiff_t>(at));
        else
            changed[at] = text;
        EXPECT_FALSE(mgr::ParseSaveRequest(changed).has_value()) << at << ": " << text;
    }
    Args longer = good;
    longer.push_back("RunKelvane=1");
    EXPECT_FALSE(mgr::ParseSaveRequest(longer).has_value());
}

// --- The elevated copy ---

class SaveRequestRun : public ManagerTest {
  protected:
    SaveRequestRun() {
        fake.files.AddFile("C:\\Windows\\system32\\Aurora.scr");
        fake.files.AddFile("C:\\Windows\\system32\\Somnivex.scr");
        fake.files.AddFile("C:\\Windows\\Aurora.scr");
        fake.files.AddFile("C:\\Windows\\Web\\Deep.scr");
        fake.files.AddFile(Sent().KelvanePath);
        fake.files.AddFile("C:\\Windows\\system32\\cmd.exe");
        fake.files.AddFile("C:\\Windows\\Temp\\x.scr");
        fake.files.AddFile("C:\\Users\\Public\\x.scr");
        fake.files.AddFile("C:\\Users\\Public\\kelvane.exe");
        PutDword(fake.registry, kOptionsKey, "WaitMinutes", 12);
    }
    std::uint32_t Run(const tSSOptions& options) {
        return mgr::RunSaveRequest(fake.services,
                                   SplitArguments(mgr::SaveRequestParameters(options)), power);
    }
    // What the computer can do: unknown unless a test says.
    std::optional<PowerCapabilities> power;
    tSSOptions StoredOptions() {
        cAppRegAPI appReg(fake.registry, "Somnivex");
        cSSOptions store(appReg);
        appReg.SoftwareKey = "Brellcor";
        tSSOptions o;
        store.LoadOptions(o);
        return o;
    }
};

TEST_F(SaveRequestRun, WritesExactlyTheTenValuesAndTouchesNothingElse) {
    EXPECT_EQ(Run(Sent()), mgr::save_status::kSaved);
    EXPECT_EQ(StoredOptions(), Sent());
    EXPECT_EQ(fake.registry.SubkeyNames(reg::kLocalMachine, "Software\\Brellcor"),
              std::vector<std::string>{"Somnivex"});
    // No window, no message, nothing started, and the program-wide objects untouched.
    EXPECT_TRUE(fake.host.shownForms.empty());
    EXPECT_TRUE(fake.messageBox.shown.empty());
    EXPECT_TRUE(fake.launcher.started.empty());
    EXPECT_EQ(gServices, nullptr);
    // The copy itself tells the event log, with the rights it saved with.
    ASSERT_EQ(fake.events.Ids(), std::vector<std::uint32_t>{1100});
    EXPECT_NE(fake.events.events[0].strings[1].find("WaitMinutes: 12 -> "), std::string::npos);
    EXPECT_EQ(fake.events.events[0].strings[2], "with administrator rights");
}

TEST_F(SaveRequestRun, RefusesValuesTheWindowCouldNotHaveSent) {
    struct Case {
        const char* what;
        void (*change)(tSSOptions&);
    };
    const Case cases[] = {
        {"minutes below 1", [](tSSOptions& o) { o.WaitMinutes = 0; }},
        {"MS-DOS mode on Windows 10", [](tSSOptions& o) { o.ShutdownType = 20; }},
        {"an unknown shutdown code", [](tSSOptions& o) { o.ShutdownType = 4; }},
        {"sleep where it is not known to work", [](tSSOptions& o) { o.ShutdownType = 0x100; }},
        {"hibernate where it is not known to work", [](tSSOptions& o) { o.ShutdownType = 0x200; }},
        {"another program folder", [](tSSOptions& o) { o.AppPath = "C:\\Temp"; }},
        {"another log file", [](tSSOptions& o) { o.LogDir = "C:\\Temp\\Error.log"; }},
        {"a saver outside the two folders",
         [](tSSOptions& o) { o.SelectedScreenSaver = "C:\\Windows\\Web\\Deep.scr"; }},
        {"a saver that is gone",
         [](tSSOptions& o) { o.SelectedScreenSaver = "C:\\Windows\\Gone.scr"; }},
        {"not a screen saver",
         [](tSSOptions& o) { o.SelectedScreenSaver = "C:\\Windows\\system32\\cmd.exe"; }},
        {"our own file",
         [](tSSOptions& o) { o.SelectedScreenSaver = "C:\\Windows\\system32\\Somnivex.scr"; }},
        {"a relative saver", [](tSSOptions& o) { o.SelectedScreenSaver = "Aurora.scr"; }},
        {"a launcher that is gone", [](tSSOptions& o) { o.KelvanePath = "D:\\Gone.exe"; }},
        {"no launcher to run", [](tSSOptions& o) { o.KelvanePath.clear(); }},
        {"an untrimmed launcher path", [](tSSOptions& o) { o.KelvanePath += " "; }},
        // Paths a run would start for every user, from where a user could have put them.
        {"a saver reached through '..'",
         [](tSSOptions& o) {
             o.SelectedScreenSaver = "C:\\Windows\\system32\\..\\..\\Users\\Public\\x.scr";
         }},
        {"a saver behind a '/'",
         [](tSSOptions& o) { o.SelectedScreenSaver = "C:\\Windows\\Temp/x.scr"; }},
        {"a launcher where users can write",
         [](tSSOptions& o) { o.KelvanePath = "C:\\Users\\Public\\kelvane.exe"; }},
        {"a launcher path holding a quote",
         [](tSSOptions& o) {
             o.KelvanePath = "C:\\Windows\\system32\\cmd.exe\" /c echo x & rem ";
         }},
    };
    for (const Case& c : cases) {
        tSSOptions options = Sent();
        c.change(options);
        EXPECT_EQ(Run(options), mgr::save_status::kRefusedValues) << c.what;
        EXPECT_EQ(StoredNumber("WaitMinutes"), 12) << c.what;
        EXPECT_EQ(Stored("AppPath"), std::nullopt) << c.what;
    }
    EXPECT_EQ(mgr::RunSaveRequest(fake.services, {"/save"}), mgr::save_status::kRefusedValues);

    // A copy of the manager run from a folder users can write: the screen saver would
    // start whatever they put there as the manager.
    fake.services.programFolder = "C:\\Users\\Public\\Somnivex";
    fake.files.AddFile(fake.services.programFolder + "\\Somniconf.exe");
    tSSOptions options = Sent();
    options.AppPath = fake.services.programFolder;
    options.LogDir = options.AppPath + "\\Error.log";
    EXPECT_EQ(Run(options), mgr::save_status::kRefusedValues);
    EXPECT_EQ(Stored("AppPath"), std::nullopt);
}

TEST_F(SaveRequestRun, TakesWhatTheWindowCanSend) {
    tSSOptions options = Sent();
    options.ShutdownType = 0;  // log off: several users on Windows 10
    options.SelectedScreenSaver = "c:\\windows\\AURORA.SCR";  // letter case is no matter
    options.AppPath = "c:\\program files\\somnivex";
    options.LogDir = "C:\\PROGRAM FILES\\SOMNIVEX\\error.log";
    options.RunKelvane = false;
    options.KelvanePath.clear();  // nothing to start
    options.WaitMinutes = 1;
    EXPECT_EQ(Run(options), mgr::save_status::kSaved);
    EXPECT_EQ(StoredOptions(), options);

    options.SelectedScreenSaver.clear();  // nothing to choose from
    EXPECT_EQ(Run(options), mgr::save_status::kSaved);
    EXPECT_EQ(StoredOptions().SelectedScreenSaver, "");

    fake.facts.version = kWindows98;  // MS-DOS mode is offered there
    options.ShutdownType = 20;
    EXPECT_EQ(Run(options), mgr::save_status::kSaved);

    power = PowerCapabilities{false, false, true, true, true, false, false};
    for (const std::int16_t suspend : {0x100, 0x200}) {
        options.ShutdownType = suspend;
        EXPECT_EQ(Run(options), mgr::save_status::kSaved);
        EXPECT_EQ(StoredOptions().ShutdownType, suspend);
    }
}

TEST_F(SaveRequestRun, RefusedWriteAndBrokenSetUpHaveTheirOwnStatus) {
    fake.registry.DenyWrites(reg::kLocalMachine, "Software\\Brellcor");
    EXPECT_EQ(Run(Sent()), mgr::save_status::kRefusedWrite);
    EXPECT_EQ(StoredNumber("WaitMinutes"), 12);
    ASSERT_EQ(fake.events.Ids(), std::vector<std::uint32_t>{2100});
    EXPECT_EQ(fake.events.events[0].strings[1], "5");

    FakeServices broken{ProgramKind::Manager, "Somnivex Manager"};
    broken.facts.knownFolders.clear();  // no Start-menu folder anywhere: error 999
    EXPECT_EQ(
        mgr::RunSaveRequest(broken.services, SplitArguments(mgr::SaveRequestParameters(Sent()))),
        mgr::save_status::kFailed);
    EXPECT_TRUE(broken.messageBox.shown.empty());
}

}  // namespace
