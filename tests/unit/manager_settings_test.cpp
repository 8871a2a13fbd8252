// The settings window as a whole: start-up, the minutes box, the shutdown-type list,
// page switching, and what OK, Cancel, the close box and Help do.
#include <algorithm>
#include <functional>
#include <utility>

#include "manager/SSManager.h"
#include "manager/SaveRequest.h"
#include "manager_fixture.h"
#include "support/UnhandledFailures.h"

namespace {

using namespace manager_test;

// The box read as the fake system reads numbers, in English unless a test says otherwise.
std::string NormaliseMinutes(const std::string& text, std::uint32_t userLocale = 0x0409) {
    FakeSystemFacts facts;
    facts.userLocale = userLocale;
    return mgr::NormaliseMinutes(facts, text);
}

// --- Minutes ---

TEST(NormaliseMinutes, BelowOneBecomesOne) {
    EXPECT_EQ(NormaliseMinutes("0"), "1");
    EXPECT_EQ(NormaliseMinutes("-5"), "1");
    EXPECT_EQ(NormaliseMinutes("0.4"), "1");
    EXPECT_EQ(NormaliseMinutes("0.5"), "1");  // rounds to 0, even
    EXPECT_EQ(NormaliseMinutes("-2147483648"), "1");
}

TEST(NormaliseMinutes, NoNumberOrBeyondThirtyTwoBitsBecomesThirty) {
    for (const char* text :
         {"abc", "", "   ", "9999999999", "2147483648", "-2147483649", "12abc", "1 2", ".", "-",
          "+", "1e3", "0x10", "2147483647.5", "99999999999999999999999", "1,234"})
        EXPECT_EQ(NormaliseMinutes(text), "30") << '"' << text << '"';
}

TEST(NormaliseMinutes, BlanksSignAndFractionAreAccepted) {
    EXPECT_EQ(NormaliseMinutes(" 45 "), "45");
    EXPECT_EQ(NormaliseMinutes("\t45\t"), "45");
    EXPECT_EQ(NormaliseMinutes("+45"), "45");
    EXPECT_EQ(NormaliseMinutes("045"), "45");
    EXPECT_EQ(NormaliseMinutes("45."), "45");
    EXPECT_EQ(NormaliseMinutes("44.51"), "45");
    EXPECT_EQ(NormaliseMinutes("45.49999"), "45");
}

TEST(NormaliseMinutes, HalvesRoundToTheEvenNeighbour) {
    EXPECT_EQ(NormaliseMinutes("2.5"), "2");
    EXPECT_EQ(NormaliseMinutes("3.5"), "4");
    EXPECT_EQ(NormaliseMinutes("4.50"), "4");
    EXPECT_EQ(NormaliseMinutes("4.500001"), "5");
    EXPECT_EQ(NormaliseMinutes("1.5"), "2");
    EXPECT_EQ(NormaliseMinutes("2.50000000000000000000001"), "3");  // read exactly
}

TEST(NormaliseMinutes, HeldToWhatTheSixteenBitFieldKeeps) {
    EXPECT_EQ(NormaliseMinutes("32767"), "32767");
    EXPECT_EQ(NormaliseMinutes("32768"), "32767");
    EXPECT_EQ(NormaliseMinutes("40000"), "32767");
    EXPECT_EQ(NormaliseMinutes("2147483647"), "32767");
}

// The user's own number format decides what a decimal separator is; a group separator
// makes no number, so "2.5" never becomes twenty-five minutes.
TEST(NormaliseMinutes, FollowsTheUsersNumberFormat) {
    constexpr std::uint32_t kGerman = 0x0407, kFrench = 0x040C, kEnglish = 0x0409;
    const struct {
        std::uint32_t locale;
        const char* text;
        const char* minutes;
    } cases[] = {
        {kGerman, "2,5", "2"},    {kGerman, "3,5", "4"},    {kGerman, "2.5", "30"},
        {kGerman, " -0,4 ", "1"}, {kGerman, "1.234", "30"}, {kGerman, "45,", "45"},
        {kFrench, "2,5", "2"},    {kFrench, "2.5", "30"},   {kFrench, "44,51", "45"},
        {kEnglish, "2.5", "2"},   {kEnglish, "2,5", "30"},  {kEnglish, "1,234", "30"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NormaliseMinutes(c.text, c.locale), c.minutes)
            << std::hex << c.locale << " \"" << c.text << '"';
    }
}

class SettingsWindow : public ManagerTest {};

TEST_F(SettingsWindow, MinutesBoxSelectsOnFocusAndIsNormalisedWhenLeft) {
    Open();
    Control& minutes = *window->txtMinutes;
    EXPECT_EQ(minutes.Text(), "30");
    fake.host.Focus(minutes);
    EXPECT_EQ(minutes.SelStart(), 1);
    EXPECT_EQ(minutes.SelLength(), 1);
    fake.host.Type(minutes, " 2.5 ");
    EXPECT_EQ(minutes.Text(), " 2.5 ");  // nothing happens while typing
    fake.host.Focus(*window->cboShutdownType);
    EXPECT_EQ(minutes.Text(), "2");
    fake.host.Type(minutes, "abc");
    fake.host.Focus(*window->chkRunKelvane);
    EXPECT_EQ(minutes.Text(), "30");
}

TEST_F(SettingsWindow, MinutesBoxReadsTheUsersNumberFormat) {
    fake.facts.userLocale = 0x0407;  // German: "," before the fraction
    Open();
    Control& minutes = *window->txtMinutes;
    fake.host.Type(minutes, "2,5");
    fake.host.Focus(*window->cboShutdownType);
    EXPECT_EQ(minutes.Text(), "2");
    fake.host.Type(minutes, "2.5");
    fake.host.Focus(*window->chkRunKelvane);
    EXPECT_EQ(minutes.Text(), "30");
}

TEST_F(SettingsWindow, StoredMinutesAreShownNormalised) {
    PutDword(fake.registry, kOptionsKey, "WaitMinutes", 0);
    Open();
    EXPECT_EQ(window->txtMinutes->Text(), "1");
}

TEST_F(SettingsWindow, OkStoresTheMinutesNormalisedEvenWithoutLeavingTheBox) {
    Open();
    fake.host.Type(*window->txtMinutes, "40000");
    fake.host.Click(*window->cmdOk);
    EXPECT_EQ(StoredNumber("WaitMinutes"), 32767);
}

// --- Shutdown types ---

struct ListCase {
    const char* system;
    OsVersionRecord version;
    bool severalUsers;  // a logon name is known (the NT family has several users anyway)
    std::vector<std::string> texts;
    std::vector<std::int32_t> tags;
    // What the computer can do; unknown offers neither sleep nor hibernate.
    std::optional<PowerCapabilities> power = std::nullopt;
};

void PrintTo(const ListCase& c, std::ostream* os) {
    *os << c.system;
}

class ShutdownTypeList : public ManagerTest, public ::testing::WithParamInterface<ListCase> {};

TEST_P(ShutdownTypeList, OffersWhatTheSystemHas) {
    const ListCase& c = GetParam();
    fake.facts.version = c.version;
    fake.facts.userName = c.severalUsers ? std::optional<std::string>("anna") : std::nullopt;
    seams.power.capabilities = c.power;
    Open();
    const Control& list = *window->cboShutdownType;
    EXPECT_FALSE(list.Sorted());
    EXPECT_EQ(Texts(list), c.texts);
    EXPECT_EQ(Tags(list), c.tags);
    EXPECT_EQ(list.ListIndex(), 0);  // the stored default, 1, is the first entry
}

const std::string kShutLong = "Shut down the computer", kRestartLong = "Restart the computer",
                  kDosLong = "Restart the computer in MS-DOS mode",
                  kLogOffLong = "Close all programs and log on as a different user";
const std::string kShutShort = "Shut down", kRestartShort = "Restart",
                  kDosShort = "Restart in MS-DOS mode", kLogOffShort = "Log off current user";

INSTANTIATE_TEST_SUITE_P(
    BySystem, ShutdownTypeList,
    ::testing::Values(
        ListCase{"Win95One", kWindows95, false, {kShutLong, kRestartLong, kDosLong}, {1, 2, 20}},
        ListCase{"Win95Several",
                 kWindows95,
                 true,
                 {kShutLong, kRestartLong, kDosLong, kLogOffLong},
                 {1, 2, 20, 0}},
        ListCase{"Win98One", kWindows98, false, {kShutShort, kRestartShort, kDosShort}, {1, 2, 20}},
        ListCase{"Win98Several",
                 kWindows98,
                 true,
                 {kShutShort, kRestartShort, kDosShort, kLogOffShort},
                 {1, 2, 20, 0}},
        ListCase{"NT3One", kWindowsNT3, false, {kShutLong, kRestartLong}, {1, 2}},
        ListCase{
            "NT3Several", kWindowsNT3, true, {kShutLong, kRestartLong, kLogOffLong}, {1, 2, 0}},
        ListCase{"NT4", kWindowsNT4, false, {kShutShort, kRestartShort, kLogOffShort}, {1, 2, 0}},
        ListCase{
            "Win2000", kWindows2000, false, {kShutShort, kRestartShort, kLogOffShort}, {1, 2, 0}},
        ListCase{"Win10", kWindows10, true, {kShutShort, kRestartShort, kLogOffShort}, {1, 2, 0}},
        // S1 to S3 sleep, S4 with its file hibernates; Modern Standby has no sleep to ask for.
        ListCase{"Win10SleepsAndHibernates",
                 kWindows10,
                 true,
                 {kShutShort, kRestartShort, kLogOffShort, "Sleep", "Hibernate"},
                 {1, 2, 0, 256, 512},
                 PowerCapabilities{true, false, false, true, true, false, false}},
        ListCase{"Win10ModernStandby",
                 kWindows10,
                 true,
                 {kShutShort, kRestartShort, kLogOffShort, "Hibernate"},
                 {1, 2, 0, 512},
                 PowerCapabilities{false, false, false, true, true, true, true}},
        ListCase{"UnknownOne", kWindowsMe, false, {kShutLong, kRestartLong}, {1, 2}},
        ListCase{
            "UnknownSeveral", kWindowsMe, true, {kShutLong, kRestartLong, kLogOffLong}, {1, 2, 0}}),
    [](const auto& info) { return std::string(info.param.system); });

TEST_F(SettingsWindow, StoredTypeSelectsItsEntryOrElseTheFirst) {
    PutDword(fake.registry, kOptionsKey, "ShutdownType", 0);
    Open();
    EXPECT_EQ(window->cboShutdownType->ListIndex(), 2);  // log off on Windows 10
    window.reset();
    ReleaseSharedObjects();

    for (int stored : {20, 7, -1}) {
        PutDword(fake.registry, kOptionsKey, "ShutdownType", stored);
        Open();
        EXPECT_EQ(window->cboShutdownType->ListIndex(), 0) << stored;
        EXPECT_EQ(window->cboShutdownType->Item(0).text, kShutShort);
        window.reset();
        ReleaseSharedObjects();
    }
}

TEST_F(SettingsWindow, FindItemDataIndexGivesTheFirstMatchOrZero) {
    Open();
    ComboList& list = *window->cboShutdownType;
    EXPECT_EQ(mgr::fMain::FindItemDataIndex(list, 2), 1);
    EXPECT_EQ(mgr::fMain::FindItemDataIndex(list, 0), 2);
    EXPECT_EQ(mgr::fMain::FindItemDataIndex(list, 99), 0);
    list.AddItem("again", 2);
    EXPECT_EQ(mgr::fMain::FindItemDataIndex(list, 2), 1);
    list.ClearItems();
    EXPECT_EQ(mgr::fMain::FindItemDataIndex(list, 2), 0);
}

// --- Window, captions, pages ---

TEST_F(SettingsWindow, CaptionsAndResourceTextsComeFromTheStringTable) {
    Open();
    EXPECT_EQ(window->Caption(), "Somnivex - Settings");
    EXPECT_EQ(window->ClientSize(), (TwipSize{6030, 4815 + mgr::fMain::kTimersHeight}));
    EXPECT_EQ(window->cmdOk->Text(), "OK");
    EXPECT_EQ(window->cmdCancel->Text(), "Cancel");
    EXPECT_EQ(window->cmdHelp->Text(), "&Help");
    EXPECT_EQ(window->cmdSettings->Text(), "Se&ttings");
    EXPECT_EQ(window->cmdPreview->Text(), "Pre&view");
    EXPECT_EQ(window->Label1[0]->Text(), "&Screen Saver");
    EXPECT_EQ(window->Label1[1]->Text(), "minute(s) a&nd then");
    EXPECT_EQ(window->Label1[2]->Text(), "&Wait");
    EXPECT_EQ(window->chkRunKelvane->Text(), "Run &Kelvane");
    const Control& tabs = *window->tabstrip1;
    ASSERT_EQ(tabs.ListCount(), 3);
    EXPECT_EQ(tabs.Item(0).text, "&Main Settings");
    EXPECT_EQ(tabs.Item(1).text, "&Confirmation Message");
    EXPECT_EQ(tabs.Item(2).text, "&About");
    EXPECT_EQ(tabs.Item(0).key, "main");
    EXPECT_EQ(tabs.Item(1).key, "confirmation");
    EXPECT_EQ(tabs.Item(2).key, "about");

    const auto& texts = window->ResourceTexts();
    ASSERT_EQ(texts.size(), 11u);
    EXPECT_EQ(texts[0], "Shut down the computer");
    EXPECT_EQ(texts[7], "Log off current user");
    EXPECT_EQ(texts[9], "Locate Kelvane");
    EXPECT_EQ(texts[10], "Version ");
}

TEST_F(SettingsWindow, FocusStartsOnTheFirstControlOfTheMainPage) {
    Open();
    ASSERT_NE(fake.host.Focused(), nullptr);
    EXPECT_EQ(fake.host.Focused()->Name(), "chkRunKelvane");
    EXPECT_TRUE(window->cmdOk->IsDefault());
}

TEST_F(SettingsWindow, TabsShowTheirPageAndHideTheOthers) {
    Open();
    auto visible = [this] {
        return std::vector<bool>{window->picSettings->Visible(),
                                 window->picConfirmMessage->Visible(), window->picAbout->Visible()};
    };
    EXPECT_EQ(visible(), (std::vector<bool>{true, false, false}));
    EXPECT_EQ(window->tabstrip1->ListIndex(), 0);
    fake.host.Pick(*window->tabstrip1, 2);
    EXPECT_EQ(visible(), (std::vector<bool>{false, false, true}));
    fake.host.Pick(*window->tabstrip1, 1);
    EXPECT_EQ(visible(), (std::vector<bool>{false, true, false}));
    // A control on a hidden page cannot be used.
    fake.host.Click(*window->chkRunKelvane);
    EXPECT_EQ(window->chkRunKelvane->Value(), 0);
    fake.host.Pick(*window->tabstrip1, 0);
    EXPECT_EQ(visible(), (std::vector<bool>{true, false, false}));
}

// Tab stops as the keyboard walks them on each page, from the tab strip round to it; the
// access keys of each page as seen, none twice, each reaching its control.
TEST_F(SettingsWindow, TabAndAccessKeysReachEveryControlAndEveryLink) {
    AddSaver(kWindows + "\\a.scr");
    fake.files.AddFile(kSystem + "\\Somnivex.scr");
    Open();
    using Names = std::vector<std::string>;
    const Names rounds[] = {
        {"cmdHelp", "chkRunKelvane", "chkInstallUpdates", "cboShutdownType", "txtMinutes",
         "cmdPreview", "cmdSettings", "cboScreenSavers", "cmdMakeMine", "cmdCancel", "cmdOk"},
        {"chkShowMessage", "chkYesIsDefault", "cmdTestConfirmation", "cmdHelp", "cmdCancel",
         "cmdOk"},
        {"lblHomrUrl", "lblEmail", "lblKelvane", "cmdHelp", "cmdCancel", "cmdOk"}};
    for (int tab = 0; tab < 3; ++tab) {
        fake.host.Pick(*window->tabstrip1, tab);
        fake.host.Focus(*window->tabstrip1);
        Names names;
        for (Control* c = fake.host.PressTab(*window); c && c != window->tabstrip1;
             c = fake.host.PressTab(*window))
            names.push_back(c->Name());
        EXPECT_EQ(names, rounds[tab]);
        std::vector<char> keys;
        for (int i = 0; i < 3; ++i) keys.push_back(AccessKeyOf(window->tabstrip1->Item(i).text));
        for (Control* c : TabWalk(*window))
            if (c->Visible() && (c->Parent().empty() || (*window)[c->Parent()].Visible()) &&
                AccessKeyOf(c->Text()) != 0)
                keys.push_back(AccessKeyOf(c->Text()));
        std::sort(keys.begin(), keys.end());
        EXPECT_EQ(std::adjacent_find(keys.begin(), keys.end()), keys.end()) << "page " << tab;
    }
    const auto focusAfter = [this](char key) {
        EXPECT_TRUE(fake.host.PressAccessKey(*window, key)) << key;
        return fake.host.Focused() ? fake.host.Focused()->Name() : "";
    };
    EXPECT_EQ(focusAfter('m'), "tabstrip1");
    EXPECT_TRUE(window->picSettings->Visible());
    EXPECT_EQ(focusAfter('s'), "cboScreenSavers");
    EXPECT_EQ(focusAfter('w'), "txtMinutes");
    EXPECT_EQ(focusAfter('n'), "cboShutdownType");
    EXPECT_EQ(focusAfter('k'), "chkRunKelvane");
    EXPECT_EQ(window->chkRunKelvane->Value(), 1);
    EXPECT_EQ(focusAfter('c'), "tabstrip1");
    EXPECT_EQ(focusAfter('y'), "chkYesIsDefault");
    EXPECT_FALSE(fake.host.PressAccessKey(*window, 'w'));  // on a hidden page
}

// --- OK, Cancel, close box ---

const std::string kStoredKelvane = "C:\\Program Files\\Brellcor\\Kelvane.exe";

// Every option stored with a value other than its default.
void StoreNonDefaults(FakeRegistry& registry) {
    PutDword(registry, kOptionsKey, "RunKelvane", -1);
    PutDword(registry, kOptionsKey, "ConfirmShutdown", -1);
    PutDword(registry, kOptionsKey, "DefaultConfirmYes", 0);
    PutDword(registry, kOptionsKey, "LogDebug", -1);
    PutDword(registry, kOptionsKey, "ShutdownType", 2);
    PutDword(registry, kOptionsKey, "WaitMinutes", 12);
    PutString(registry, kOptionsKey, "LogDir", "D:\\old\\Error.log");
    PutString(registry, kOptionsKey, "AppPath", "D:\\old");
    PutString(registry, kOptionsKey, "KelvanePath", kStoredKelvane);
    PutString(registry, kOptionsKey, "SelectedScreenSaver", kWindows + "\\b.scr");
    PutDword(registry, kOptionsKey, "InstallUpdates", 0);
}

class OkAndCancel : public ManagerTest {
  protected:
    OkAndCancel() {
        AddSaver(kWindows + "\\a.scr");
        AddSaver(kWindows + "\\b.scr");
        fake.files.AddFile(kStoredKelvane);
        StoreNonDefaults(fake.registry);
    }
    // Changes every control the user can change.
    void ChangeEverything() {
        fake.host.Click(*window->chkRunKelvane);
        fake.host.Pick(*window->cboScreenSavers, 0);
        fake.host.Pick(*window->cboShutdownType, 0);
        fake.host.Type(*window->txtMinutes, "99");
        fake.host.Click(*window->chkInstallUpdates);
        fake.host.Pick(*window->tabstrip1, 1);
        fake.host.Click(*window->chkShowMessage);
        fake.host.Click(*window->chkYesIsDefault);
    }
    std::map<std::string, std::optional<FakeRegistry::StoredValue>> Snapshot() const {
        std::map<std::string, std::optional<FakeRegistry::StoredValue>> values;
        for (const char* name : {"RunKelvane", "ConfirmShutdown", "DefaultConfirmYes", "LogDebug",
                                 "ShutdownType", "WaitMinutes", "LogDir", "AppPath", "KelvanePath",
                                 "SelectedScreenSaver", "InstallUpdates"})
            values[name] = fake.registry.Value(reg::kLocalMachine, kOptionsKey, name);
        return values;
    }
};

TEST_F(OkAndCancel, LoadShowsEveryStoredOption) {
    Open();
    EXPECT_EQ(window->chkRunKelvane->Value(), 1);
    EXPECT_EQ(window->ChosenScreenSaver(), kWindows + "\\b.scr");
    EXPECT_EQ(window->cboShutdownType->ListIndex(), 1);
    EXPECT_EQ(window->txtMinutes->Text(), "12");
    EXPECT_EQ(window->chkShowMessage->Value(), 1);
    EXPECT_EQ(window->chkYesIsDefault->Value(), 0);
    EXPECT_EQ(window->chkInstallUpdates->Value(), 0);
}

TEST_F(OkAndCancel, CancelEscapeOrCloseBoxAfterChangingEverythingWritesNothing) {
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"Cancel", [&] { fake.host.Click(*window->cmdCancel); }},
        {"Escape", [&] { fake.host.PressEscape(*window); }},
        {"close box", [&] { fake.host.CloseBox(*window); }},
    };
    for (const auto& [way, close] : ways) {
        Open();
        const auto before = Snapshot();
        ChangeEverything();
        close();
        EXPECT_FALSE(window->IsLoaded()) << way;
        EXPECT_EQ(Snapshot(), before) << way;
        EXPECT_TRUE(fake.messageBox.shown.empty()) << way;
        window.reset();
        ReleaseSharedObjects();
    }
}

TEST_F(OkAndCancel, OkWritesEveryControlAndTheProgramsFolder) {
    Open();
    ChangeEverything();
    fake.host.Click(*window->cmdOk);
    EXPECT_FALSE(window->IsLoaded());
    EXPECT_TRUE(fake.messageBox.shown.empty());
    EXPECT_EQ(StoredNumber("RunKelvane"), 0);
    EXPECT_EQ(StoredNumber("ConfirmShutdown"), 0);
    EXPECT_EQ(StoredNumber("DefaultConfirmYes"), -1);
    EXPECT_EQ(StoredNumber("LogDebug"), -1);  // written back as loaded
    EXPECT_EQ(StoredNumber("ShutdownType"), 1);
    EXPECT_EQ(StoredNumber("WaitMinutes"), 99);
    EXPECT_EQ(StoredNumber("InstallUpdates"), 1);
    EXPECT_EQ(Stored("AppPath"), "C:\\Program Files\\Somnivex");
    EXPECT_EQ(Stored("LogDir"), "C:\\Program Files\\Somnivex\\Error.log");
    EXPECT_EQ(Stored("KelvanePath"), kStoredKelvane);
    EXPECT_EQ(Stored("SelectedScreenSaver"), kWindows + "\\a.scr");
    // The event log hears who saved and what changed, from what to what.
    ASSERT_EQ(fake.events.Ids(), std::vector<std::uint32_t>{1100});
    const auto& saved = fake.events.events[0].strings;
    EXPECT_EQ(saved[0], "anna");
    EXPECT_NE(saved[1].find("RunKelvane: Yes -> No"), std::string::npos) << saved[1];
    EXPECT_NE(saved[1].find("WaitMinutes: 12 -> 99"), std::string::npos) << saved[1];
    EXPECT_EQ(saved[1].find("KelvanePath"), std::string::npos) << saved[1];
    EXPECT_EQ(saved[2], "with the user's own rights");
}

TEST_F(OkAndCancel, RefusedWriteSaysSoAndKeepsTheWindowOpen) {
    Open();
    fake.registry.DenyWrites(reg::kLocalMachine, "");
    const auto before = Snapshot();
    fake.host.Type(*window->txtMinutes, "99");
    fake.host.Click(*window->cmdOk);
    EXPECT_TRUE(window->IsLoaded());
    EXPECT_EQ(Snapshot(), before);
    ASSERT_EQ(fake.messageBox.shown.size(), 1u);
    const auto& shown = fake.messageBox.shown[0];
    EXPECT_EQ(shown.title, "Somnivex Manager");
    EXPECT_EQ(shown.style, mb::kOk | mb::kIconStop);
    EXPECT_NE(shown.text.find("could not be saved"), std::string::npos) << shown.text;
    EXPECT_NE(shown.text.find("administrator"), std::string::npos) << shown.text;
    // The user's input is still there for another try.
    EXPECT_EQ(window->txtMinutes->Text(), "99");
    ASSERT_EQ(fake.events.Ids(), std::vector<std::uint32_t>{2100});
    EXPECT_EQ(fake.events.events[0].strings,
              (std::vector<std::string>{"anna", "5", "Access is denied."}));
}

TEST_F(OkAndCancel, OneRefusedValueIsReportedTooAndTheOthersAreWritten) {
    Open();
    fake.registry.FailNext(FakeRegistry::Op::kSetValue, FakeRegistry::kNoAccess, 5);
    fake.host.Type(*window->txtMinutes, "99");
    fake.host.Click(*window->chkRunKelvane);
    fake.host.Click(*window->cmdOk);
    EXPECT_TRUE(window->IsLoaded());
    ASSERT_EQ(fake.messageBox.shown.size(), 1u);
    EXPECT_EQ(StoredNumber("WaitMinutes"), 12);  // the sixth write, refused
    EXPECT_EQ(StoredNumber("RunKelvane"), 0);
    EXPECT_EQ(Stored("SelectedScreenSaver"), kWindows + "\\b.scr");

    // Once the registry takes the values, OK closes as usual.
    fake.host.Click(*window->cmdOk);
    EXPECT_FALSE(window->IsLoaded());
    EXPECT_EQ(StoredNumber("WaitMinutes"), 99);
}

// --- Who may save: Windows' rules for the machine-wide key under UAC ---

// The key's security: the usual one (users read, administrators write), one that lets
// users write too, and one that refuses even an elevated administrator.
enum class KeySecurity { Usual, UsersWrite, Locked };

struct AccountCase {
    const char* name;
    FakeElevation::Account account;
    KeySecurity key;
    bool declinePrompt;
    bool programThere;
    bool shield;
    std::vector<FakeElevation::Prompt> prompts;
    bool elevatedStart;
    bool saved;
};

void PrintTo(const AccountCase& c, std::ostream* os) {
    *os << c.name;
}

class WhoMaySave : public OkAndCancel, public ::testing::WithParamInterface<AccountCase> {};

TEST_P(WhoMaySave, ShieldPromptAndOutcomeFollowTheAccount) {
    const AccountCase& c = GetParam();
    // Blanks and non-Latin letters travel unchanged.
    const std::string launcher = "C:\\Program Files\\Brellcor \u00fc\\Kelvane \u00fc.exe";
    fake.files.AddFile(launcher);
    PutString(fake.registry, kOptionsKey, "KelvanePath", launcher);
    seams.elevation.SetAccount(c.account);
    if (c.key != KeySecurity::UsersWrite)
        fake.registry.DenyWrites(reg::kLocalMachine, "Software", c.key == KeySecurity::Locked);
    seams.elevation.declinePrompt = c.declinePrompt;
    if (!c.programThere) seams.services.program.path = "C:\\Gone\\Somniconf.exe";
    seams.elevation.elevatedProgram = [&](const std::string& parameters) {
        return mgr::RunSaveRequest(fake.services, mgr::SplitArguments(parameters));
    };

    Open();
    EXPECT_EQ(window->cmdOk->Shield(), c.shield);
    EXPECT_EQ(seams.elevation.keysAsked, std::vector<std::string>{kOptionsKey});
    const auto before = Snapshot();
    ChangeEverything();  // Run Kelvane is unticked now
    fake.host.Click(*window->cmdOk);

    EXPECT_EQ(seams.elevation.prompts, c.prompts);
    const auto elevated = std::count_if(
        fake.launcher.started.begin(), fake.launcher.started.end(), [](const FakeProcess& p) {
            return p.file == FakeManagerSeams::kProgramFile && p.parameters.rfind("/save ", 0) == 0;
        });
    EXPECT_EQ(elevated, c.elevatedStart ? 1 : 0);
    EXPECT_EQ(fake.launcher.OpenHandles(), 0);
    if (c.saved) {
        EXPECT_FALSE(window->IsLoaded());
        EXPECT_TRUE(fake.messageBox.shown.empty());
        EXPECT_EQ(StoredNumber("RunKelvane"), 0);
        EXPECT_EQ(StoredNumber("ConfirmShutdown"), 0);
        EXPECT_EQ(StoredNumber("DefaultConfirmYes"), -1);
        EXPECT_EQ(StoredNumber("LogDebug"), -1);
        EXPECT_EQ(StoredNumber("ShutdownType"), 1);
        EXPECT_EQ(StoredNumber("WaitMinutes"), 99);
        EXPECT_EQ(Stored("AppPath"), "C:\\Program Files\\Somnivex");
        EXPECT_EQ(Stored("LogDir"), "C:\\Program Files\\Somnivex\\Error.log");
        EXPECT_EQ(Stored("KelvanePath"), launcher);
        EXPECT_EQ(Stored("SelectedScreenSaver"), kWindows + "\\a.scr");
    } else {
        EXPECT_TRUE(window->IsLoaded());
        EXPECT_EQ(Snapshot(), before);
        ASSERT_EQ(fake.messageBox.shown.size(), 1u);
        EXPECT_EQ(fake.messageBox.shown[0].text, *fake.strings.Load(mgr::text_id::kNotSaved));
        // The user's changes wait for another try.
        EXPECT_EQ(window->txtMinutes->Text(), "99");
        EXPECT_EQ(window->chkShowMessage->Value(), 0);
        EXPECT_TRUE(window->cmdOk->Enabled());
        EXPECT_TRUE(window->cmdCancel->Enabled());
    }
}

using Account = FakeElevation::Account;
using Prompt = FakeElevation::Prompt;
INSTANTIATE_TEST_SUITE_P(
    Accounts, WhoMaySave,
    ::testing::Values(
        // A standard user types an administrator's password into the prompt.
        AccountCase{"StandardUser",
                    Account::StandardUser,
                    KeySecurity::Usual,
                    false,
                    true,
                    true,
                    {Prompt::Credentials},
                    true,
                    true},
        // An administrator with UAC on runs with a filtered token and consents.
        AccountCase{"FilteredAdministrator",
                    Account::FilteredAdministrator,
                    KeySecurity::Usual,
                    false,
                    true,
                    true,
                    {Prompt::Consent},
                    true,
                    true},
        // Started elevated: writes directly, no shield, no prompt.
        AccountCase{"ElevatedAdministrator",
                    Account::ElevatedAdministrator,
                    KeySecurity::Usual,
                    false,
                    true,
                    false,
                    {},
                    false,
                    true},
        AccountCase{"KeyLetsUsersWrite",
                    Account::StandardUser,
                    KeySecurity::UsersWrite,
                    false,
                    true,
                    false,
                    {},
                    false,
                    true},
        AccountCase{"PromptCancelled",
                    Account::FilteredAdministrator,
                    KeySecurity::Usual,
                    true,
                    true,
                    true,
                    {Prompt::Consent},
                    false,
                    false},
        AccountCase{"NoAdministratorPassword",
                    Account::StandardUser,
                    KeySecurity::Usual,
                    true,
                    true,
                    true,
                    {Prompt::Credentials},
                    false,
                    false},
        // The elevated copy runs, but the key refuses it too.
        AccountCase{"WriteRefusedElevated",
                    Account::FilteredAdministrator,
                    KeySecurity::Locked,
                    false,
                    true,
                    true,
                    {Prompt::Consent},
                    true,
                    false},
        AccountCase{"LockedForTheElevatedToo",
                    Account::ElevatedAdministrator,
                    KeySecurity::Locked,
                    false,
                    true,
                    true,
                    {},
                    true,
                    false},
        AccountCase{"ProgramCannotStart",
                    Account::FilteredAdministrator,
                    KeySecurity::Usual,
                    false,
                    false,
                    true,
                    {},
                    false,
                    false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OkAndCancel, ElevatedSaveKeepsTheWindowAnsweringUntilItEnds) {
    seams.elevation.SetAccount(FakeElevation::Account::FilteredAdministrator);
    fake.registry.DenyWrites(reg::kLocalMachine, "Software");
    seams.elevation.elevatedRunMs = 5000;
    seams.elevation.elevatedProgram = [&](const std::string& parameters) {
        return mgr::RunSaveRequest(fake.services, mgr::SplitArguments(parameters));
    };
    fake.files.AddFile("C:\\Program Files\\Somnivex\\Somnivex.html");
    Open();
    bool loadedMeanwhile = false, okEnabledMeanwhile = true, cancelEnabledMeanwhile = true;
    fake.loop.At(2000, [&] {
        // Closing waits for the save; Help still answers.
        fake.host.CloseBox(*window);
        fake.host.Click(*window->cmdCancel);
        fake.host.PressEscape(*window);
        fake.host.Click(*window->cmdHelp);
        loadedMeanwhile = window->IsLoaded();
        okEnabledMeanwhile = window->cmdOk->Enabled();
        cancelEnabledMeanwhile = window->cmdCancel->Enabled();
    });
    const std::uint64_t start = fake.clock.SteadyMilliseconds();
    fake.host.Click(*window->cmdOk);
    EXPECT_EQ(fake.clock.SteadyMilliseconds() - start, 5000u);  // closed when the copy ended
    EXPECT_TRUE(loadedMeanwhile);
    EXPECT_FALSE(okEnabledMeanwhile);
    EXPECT_FALSE(cancelEnabledMeanwhile);
    EXPECT_EQ(fake.launcher.opened.size(), 1u);
    EXPECT_FALSE(window->IsLoaded());
    EXPECT_EQ(StoredNumber("WaitMinutes"), 12);
}

// --- Settings fixed by policy ---

void PutPolicy(FakeRegistry& registry, const char* name, std::int32_t value) {
    PutDword(registry, policy::kKey, name, value);
}
void PutPolicy(FakeRegistry& registry, const char* name, const std::string& value) {
    PutString(registry, policy::kKey, name, value);
}
void ClearPolicy(FakeRegistry& registry) {
    RegKey key = 0;
    if (registry.OpenKey(reg::kLocalMachine, "Software\\Policies\\Brellcor", key) != reg::kSuccess)
        return;
    registry.DeleteKey(key, "Somnivex");
    registry.CloseKey(key);
}

// Policies for every setting, with values the window could not offer by itself on a
// one-user NT 3 system: a screen saver outside the folders, log off, and a launcher to
// run that is not there.
void PutEveryPolicy(FakeRegistry& registry) {
    PutPolicy(registry, "RunKelvane", 1);
    PutPolicy(registry, "KelvanePath", "E:\\Gone\\Kelvane.exe");
    PutPolicy(registry, "ConfirmShutdown", 0);
    PutPolicy(registry, "DefaultConfirmYes", 1);
    PutPolicy(registry, "SelectedScreenSaver", "D:\\Corp\\Corporate.scr");
    PutPolicy(registry, "ShutdownType", 0);
    PutPolicy(registry, "WaitMinutes", 3);
    PutPolicy(registry, "InstallUpdates", 0);
}

class ManagedSettings : public OkAndCancel {
  protected:
    ManagedSettings() {
        fake.facts.version = kWindowsNT3;
        fake.facts.userName = std::nullopt;
        seams.power.capabilities = std::nullopt;
    }
    std::vector<const Control*> SettingControls() const {
        return {window->chkRunKelvane,    window->cboScreenSavers, window->cboShutdownType,
                window->txtMinutes,       window->chkShowMessage,  window->chkYesIsDefault,
                window->chkInstallUpdates};
    }
};

TEST_F(ManagedSettings, EveryManagedSettingShowsThePolicysValueDisabled) {
    seams.versions.AddDescription("D:\\Corp\\Corporate.scr", "Corporate Screen");
    PutEveryPolicy(fake.registry);
    Open();
    for (const Control* control : SettingControls())
        EXPECT_FALSE(control->Enabled()) << control->Name();
    EXPECT_EQ(window->chkRunKelvane->Value(), 1);
    // Entries of their own for what the folders and this system do not offer.
    EXPECT_EQ(Texts(*window->cboScreenSavers),
              (std::vector<std::string>{"a  |  ", "b  |  ", "Corporate  |  Corporate Screen"}));
    EXPECT_EQ(window->ChosenScreenSaver(), "D:\\Corp\\Corporate.scr");
    EXPECT_TRUE(window->cmdPreview->Enabled());
    EXPECT_EQ(Tags(*window->cboShutdownType), (std::vector<std::int32_t>{1, 2, 0}));
    EXPECT_EQ(window->cboShutdownType->ListIndex(), 2);
    EXPECT_EQ(window->txtMinutes->Text(), "3");
    EXPECT_EQ(window->lbStatusOflShowMessage->Text(),
              "A confirmation message will not be displayed.");
    EXPECT_EQ(window->chkYesIsDefault->Value(), 1);
    EXPECT_EQ(window->chkInstallUpdates->Value(), 0);
    EXPECT_TRUE(window->lblManaged->Visible());
    EXPECT_EQ(window->lblManaged->Text(), "Some settings are managed by your organisation.");
    window.reset();
    ReleaseSharedObjects();

    // A listed file named in another letter case is that entry, not a new one.
    PutPolicy(fake.registry, "SelectedScreenSaver", "c:\\WINDOWS\\A.scr");
    Open();
    EXPECT_EQ(window->cboScreenSavers->ListCount(), 2);
    EXPECT_EQ(window->ChosenScreenSaver(), kWindows + "\\a.scr");
}

TEST_F(ManagedSettings, TheLineShowsOnlyWhenAPolicySetsASetting) {
    const struct {
        const char* what;
        const char* name;
        std::int32_t number;
        const char* text;
        bool shown;
    } cases[] = {
        {"no policy", nullptr, 0, nullptr, false},
        // A setting without a control still cannot be changed by the user.
        {"the launcher's path", "KelvanePath", 0, "E:\\Kelvane.exe", true},
        {"one setting", "WaitMinutes", 5, nullptr, true},
        // The hold switches are not settings of this window; a refused value is no policy.
        {"a hold switch", "HoldForPowerRequests", 0, nullptr, false},
        {"a refused value", "WaitMinutes", 40000, nullptr, false},
    };
    for (const auto& c : cases) {
        ClearPolicy(fake.registry);
        if (c.text)
            PutPolicy(fake.registry, c.name, std::string(c.text));
        else if (c.name)
            PutPolicy(fake.registry, c.name, c.number);
        Open();
        EXPECT_EQ(window->lblManaged->Visible(), c.shown) << c.what;
        std::vector<std::string> disabled;
        for (const Control* control : SettingControls())
            if (!control->Enabled()) disabled.push_back(control->Name());
        EXPECT_EQ(disabled, (c.shown && !c.text ? std::vector<std::string>{"txtMinutes"}
                                                : std::vector<std::string>{}))
            << c.what;
        window.reset();
        ReleaseSharedObjects();
    }
}

TEST_F(ManagedSettings, PolicyOnTheLauncherMeansNoQuestion) {
    struct Case {
        const char* what;
        std::function<void()> put;
        std::optional<std::string> storedPath;
    };
    const Case cases[] = {
        // Nowhere to be found: stored path gone, nothing in the launcher's keys. A path
        // no run could start is not kept; the policy's own path is left as it was.
        {"RunKelvane on", [&] { PutPolicy(fake.registry, "RunKelvane", 1); }, ""},
        {"the launcher's path",
         [&] { PutPolicy(fake.registry, "KelvanePath", "E:\\Kelvane\\Kelvane.exe"); },
         "D:\\Gone.exe"},
        // Found in the launcher's keys: still looked for, and the path found is kept.
        {"RunKelvane on, launcher registered",
         [&] {
             PutPolicy(fake.registry, "RunKelvane", 1);
             fake.files.AddFile(kStoredKelvane);
             PutString(fake.registry, kKelvaneKey, "AppPath", kStoredKelvane);
         },
         kStoredKelvane},
    };
    for (const Case& c : cases) {
        ClearPolicy(fake.registry);
        PutString(fake.registry, kOptionsKey, "KelvanePath", "D:\\Gone.exe");
        c.put();
        Open();
        fake.host.Click(*window->cmdOk);
        EXPECT_FALSE(window->IsLoaded()) << c.what;
        EXPECT_TRUE(fake.messageBox.shown.empty()) << c.what;
        EXPECT_TRUE(seams.openDialog.shown.empty()) << c.what;
        EXPECT_EQ(Stored("KelvanePath"), c.storedPath) << c.what;
        window.reset();
        ReleaseSharedObjects();
    }
}

// Saved directly or by the copy with administrator rights; with the policy still there
// at OK, or removed after the window loaded (the copy then no longer sees it).
class ManagedSave : public ManagedSettings,
                    public ::testing::WithParamInterface<std::tuple<bool, bool>> {};

TEST_P(ManagedSave, OkLeavesTheStoredValueOfEveryManagedSetting) {
    const auto [elevated, policyGone] = GetParam();
    PutEveryPolicy(fake.registry);
    if (elevated) {
        seams.elevation.SetAccount(FakeElevation::Account::FilteredAdministrator);
        fake.registry.DenyWrites(reg::kLocalMachine, "Software");
        seams.elevation.elevatedProgram = [&](const std::string& parameters) {
            return mgr::RunSaveRequest(fake.services, mgr::SplitArguments(parameters));
        };
    }
    Open();
    auto before = Snapshot();
    ChangeEverything();
    if (policyGone) {
        // An administrator takes the policy away meanwhile.
        const bool own = std::exchange(fake.registry.callerElevated, true);
        ClearPolicy(fake.registry);
        fake.registry.callerElevated = own;
        ASSERT_FALSE(fake.registry.KeyExists(reg::kLocalMachine, policy::kKey));
    }
    fake.host.Click(*window->cmdOk);
    EXPECT_FALSE(window->IsLoaded());
    EXPECT_TRUE(fake.messageBox.shown.empty());
    EXPECT_EQ(seams.elevation.prompts.size(), elevated ? 1u : 0u);
    // What no policy manages is saved; the rest is as it was.
    EXPECT_EQ(Stored("AppPath"), "C:\\Program Files\\Somnivex");
    EXPECT_EQ(Stored("LogDir"), "C:\\Program Files\\Somnivex\\Error.log");
    auto after = Snapshot();
    for (const char* unmanaged : {"AppPath", "LogDir"}) {
        before.erase(unmanaged);
        after.erase(unmanaged);
    }
    EXPECT_EQ(after, before);
}

INSTANTIATE_TEST_SUITE_P(DirectOrElevated, ManagedSave,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) ? "Elevated" : "Direct") +
                                    (std::get<1>(info.param) ? "PolicyGone" : "");
                         });

TEST_F(SettingsWindow, EnterPressesOk) {
    Open();
    fake.host.PressEnter(*window);
    EXPECT_FALSE(window->IsLoaded());
    EXPECT_EQ(Stored("AppPath"), "C:\\Program Files\\Somnivex");
}

TEST_F(SettingsWindow, HelpOpensThePageBesideTheProgramOrNamesItAndKeepsTheWindow) {
    const std::string page = "C:\\Program Files\\Somnivex\\Somnivex.html";
    const std::string named = "Couldn't open the help file:\r\n\r\n" + page;
    Open();
    // No page beside the program; then a page no program will open; then one that opens.
    fake.host.Click(*window->cmdHelp);
    fake.files.AddFile(page);
    fake.launcher.refuseOpen.insert(page);
    fake.host.Click(*window->cmdHelp);
    fake.launcher.refuseOpen.clear();
    fake.host.Click(*window->cmdHelp);

    EXPECT_EQ(fake.launcher.opened, std::vector<std::string>{page});
    ASSERT_EQ(fake.messageBox.shown.size(), 2u);
    for (const auto& shown : fake.messageBox.shown) {
        EXPECT_EQ(shown.text, named);
        EXPECT_EQ(shown.title, "Somnivex Manager");
        EXPECT_EQ(shown.style, mb::kOk | mb::kIconExclamation);
    }
    EXPECT_TRUE(window->IsLoaded());
}

// --- The program ---

class ManagerProgram : public ManagerTest {
  protected:
    int Run(bool another = false) {
        return mgr::RunProgram(fake.services, seams.services, another);
    }
};

TEST_F(ManagerProgram, SecondInstanceEndsAtOnceAndTouchesNothing) {
    EXPECT_EQ(Run(true), 0);
    EXPECT_TRUE(fake.host.shownForms.empty());
    EXPECT_FALSE(fake.registry.KeyExists(reg::kLocalMachine, "Software\\Brellcor"));
}

TEST_F(ManagerProgram, LivesUntilTheWindowIsClosed) {
    bool visible = false;
    fake.loop.At(60'000, [&] {
        Form* form = fake.host.FindForm("fMain");
        ASSERT_NE(form, nullptr);
        visible = form->IsVisible();
        fake.host.CloseBox(*form);
    });
    const auto start = fake.clock.SteadyMilliseconds();
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(fake.clock.SteadyMilliseconds() - start, 60'000u);
    EXPECT_TRUE(visible);
    EXPECT_EQ(fake.host.shownForms, std::vector<std::string>{"fMain"});
    // Loading stored the defaults; the close box stored nothing more.
    EXPECT_EQ(StoredNumber("WaitMinutes"), 30);
    EXPECT_EQ(Stored("AppPath"), "");
}

TEST_F(ManagerProgram, OkSavesAndEndsTheProgram) {
    AddSaver(kSystem + "\\Mystify.scr", "Mystify");
    fake.loop.At(1000, [&] {
        Form* form = fake.host.FindForm("fMain");
        ASSERT_NE(form, nullptr);
        fake.host.Click((*form)["cmdOk"]);
    });
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Stored("SelectedScreenSaver"), kSystem + "\\Mystify.scr");
    EXPECT_EQ(Stored("AppPath"), "C:\\Program Files\\Somnivex");
    EXPECT_EQ(gServices, nullptr);  // the shared objects are gone again
}

TEST_F(ManagerProgram, UnhandledErrorIsReportedAndEndsTheProgram) {
    // Without any way to find the Programs folder, system information cannot be made.
    fake.facts.knownFolders.clear();
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(fake.messageBox.shown.size(), 1u);
    EXPECT_EQ(fake.messageBox.shown[0].text.rfind("Run-time error '999':\r\n\r\n", 0), 0u)
        << fake.messageBox.shown[0].text;
    EXPECT_EQ(fake.messageBox.shown[0].title, "Somnivex Manager");
    EXPECT_TRUE(fake.host.shownForms.empty());
}

TEST_F(ManagerProgram, AnyExceptionIsReportedAsARunTimeErrorAndEndsTheProgram) {
    for (const auto& [fail, text] : UnhandledFailures()) {
        SCOPED_TRACE(text);
        // The folder search fails as the window fills its list.
        struct : mgr::IFileFinder {
            std::function<void()> fail;
            std::vector<mgr::FoundFile> Find(const std::string&, const std::string&) override {
                fail();
                return {};
            }
        } finder;
        finder.fail = fail;
        mgr::ManagerServices services{finder,          seams.versions,         seams.openDialog,
                                      seams.elevation, seams.services.program, seams.power};
        fake.messageBox.shown.clear();
        EXPECT_EQ(mgr::RunProgram(fake.services, services, false), 1);
        ASSERT_EQ(fake.messageBox.shown.size(), 1u);
        EXPECT_EQ(fake.messageBox.shown[0].text, text);
        EXPECT_EQ(fake.messageBox.shown[0].style, mb::kOk | mb::kIconStop);
        EXPECT_EQ(gServices, nullptr);
    }
}

}  // namespace
