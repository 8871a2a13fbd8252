#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "common/Logger.h"
#include "common/OSInfo.h"
#include "common/StringTable.h"
#include "common/SystemInfo.h"
#include "platform/fake/FakePlatform.h"
#include "platform/fake/FakeRegistry.h"
#include "support/RegistryBytes.h"

namespace {

const std::string kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const std::string kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
const std::string kIdConfig = "System\\CurrentControlSet\\Control\\IDConfigDB";
const std::string kProfiles = kIdConfig + "\\Hardware Profiles";

const OsVersionRecord kWindows10{10, 0, 19045, 2, ""};
const OsVersionRecord kWindowsNT4{4, 0, 1381, 2, "Service Pack 6"};
const OsVersionRecord kWindowsNT3{3, 51, 1057, 2, ""};
const OsVersionRecord kWindows95{4, 0, 950, 1, ""};
const OsVersionRecord kWindows98{4, 10, 2222, 1, " A "};

using regbytes::Dword;
using regbytes::Sz;

class SystemInfoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PutString(reg::kCurrentUser, kShellFolders, "Programs",
                  "C:\\Users\\anna\\Start Menu\\Programs");
        PutString(reg::kCurrentUser, kShellFolders, "Startup",
                  "C:\\Users\\anna\\Start Menu\\Programs\\Startup");
    }

    void PutString(RegKey hive, const std::string& key, const std::string& name,
                   const std::string& text) {
        registry.PutValue(hive, key, name, reg::kTypeSz, Sz(text));
    }
    void PutNumber(RegKey hive, const std::string& key, const std::string& name, std::uint32_t n) {
        registry.PutValue(hive, key, name, reg::kTypeDword, Dword(n));
    }
    // The registry without the shell-folder values, which the shell still knows.
    void ShellFoldersOnlyFromTheShell() {
        ASSERT_EQ(registry.DeleteKey(reg::kCurrentUser, kShellFolders), reg::kSuccess);
        ASSERT_EQ(registry.DeleteKey(reg::kCurrentUser, kExplorer), reg::kSuccess);
        facts.knownFolders[KnownFolder::Programs] = "C:\\Shell\\Programs";
        facts.knownFolders[KnownFolder::Startup] = "C:\\Shell\\Startup";
    }

    cSystemInfo& Make(const OsVersionRecord& version = kWindows10) {
        info.reset();
        os.emplace(version);
        info = std::make_unique<cSystemInfo>(facts, registry, *os, logger);
        return *info;
    }

    // Creation must fail with the library's own error 999.
    void ExpectStartupError() {
        try {
            Make();
            FAIL() << "no error raised";
        } catch (const RaisedError& e) {
            EXPECT_EQ(e.info.Number, 999);
            EXPECT_EQ(e.info.Source, "cSystemInfo");
            EXPECT_EQ(e.info.Description, "Unable to locate Startup directory");
        }
        EXPECT_EQ(registry.OpenHandleCount(), 0);
    }

    FakeSystemFacts facts;
    FakeRegistry registry;
    BuiltInStringSource strings{ProgramKind::ScreenSaver};
    FakeFileSystem files;
    FakeMessageBoxUi ui;
    FakeClock clock;
    cLogger logger{LoggerDeps{strings, files, ui, clock, "C:\\Somnivex", "SCRNSAVE:Somnivex"}};
    std::optional<cOSInfo> os;
    std::unique_ptr<cSystemInfo> info;
};

TEST_F(SystemInfoTest, CreationReadsThePlatformFactsAndLeavesNoKeyOpen) {
    facts.userName = "Zoë";
    facts.windowsDir = "C:\\WINDOWS";
    facts.systemDir = "C:\\WINDOWS\\SYSTEM";
    facts.tempPath = "C:\\Temp\\";
    facts.locale = 0x0407;
    facts.localeStrings = {
        {{0x0407, 1}, "0407"}, {{0x0407, 2}, "Deutsch (Österreich)"}, {{0x0407, 0x1001}, "German"}};
    // The registry's folders win over the shell's.
    facts.knownFolders[KnownFolder::Programs] = "C:\\Shell\\Programs";
    const cSystemInfo& si = Make();

    EXPECT_EQ(si.logonName(), "Zoë");
    EXPECT_EQ(si.WindowsDir(), "C:\\WINDOWS");
    EXPECT_EQ(si.SystemDir(), "C:\\WINDOWS\\SYSTEM");
    EXPECT_EQ(si.TempPath(), "C:\\Temp\\");
    EXPECT_EQ(si.CurrentLanguageID(), "0407");
    EXPECT_EQ(si.LocalNameOfLang(), "Deutsch (Österreich)");
    EXPECT_EQ(si.EnglishNameOfLang(), "German");
    EXPECT_EQ(si.StartMenuDir(), "C:\\Users\\anna\\Start Menu\\Programs");
    EXPECT_EQ(si.StartupFolder(), "C:\\Users\\anna\\Start Menu\\Programs\\Startup");
    EXPECT_EQ(si.CommonStartupFolder(), "");
    EXPECT_EQ(registry.OpenHandleCount(), 0);
    EXPECT_TRUE(ui.shown.empty());  // nothing is reported during creation
}

TEST_F(SystemInfoTest, MissingLocaleStringsLeaveTheLanguageEmpty) {
    facts.locale = 0x0411;  // no strings scripted for it
    const cSystemInfo& si = Make();
    EXPECT_EQ(si.CurrentLanguageID(), "");
    EXPECT_EQ(si.LocalNameOfLang(), "");
    EXPECT_EQ(si.EnglishNameOfLang(), "");
}

// --- Logon name and the multi-user test ---

TEST_F(SystemInfoTest, RefusedOrBlankUserNameIsUnknown) {
    facts.userName = std::nullopt;
    EXPECT_EQ(Make().logonName(), "[Unknown]");
    facts.userName = "   ";
    EXPECT_EQ(Make().logonName(), "[Unknown]");
}

TEST_F(SystemInfoTest, NtFamilyAlwaysHasSeveralUsers) {
    facts.userName = std::nullopt;
    EXPECT_TRUE(Make(kWindows10).MultiUsers());
    EXPECT_TRUE(Make(kWindowsNT4).MultiUsers());
}

TEST_F(SystemInfoTest, Windows9xWithoutProfilesOrNameHasOneUser) {
    facts.userName = std::nullopt;
    EXPECT_FALSE(Make(kWindows95).MultiUsers());
    EXPECT_FALSE(Make(kWindows98).MultiUsers());
    // NT 3 is not part of the NT 4 family here: the 9x rules apply.
    EXPECT_FALSE(Make(kWindowsNT3).MultiUsers());
}

TEST_F(SystemInfoTest, Windows9xUserProfilesStringCountsWhenNotBlank) {
    facts.userName = std::nullopt;
    PutString(reg::kLocalMachine, "Network\\Logon", "UserProfiles", "1");
    EXPECT_TRUE(Make(kWindows98).MultiUsers());
    PutString(reg::kLocalMachine, "Network\\Logon", "UserProfiles", "   ");
    EXPECT_FALSE(Make(kWindows98).MultiUsers());
}

TEST_F(SystemInfoTest, Windows9xUserProfilesNumberDoesNotCount) {
    facts.userName = std::nullopt;
    PutNumber(reg::kLocalMachine, "Network\\Logon", "UserProfiles", 1);
    EXPECT_FALSE(Make(kWindows95).MultiUsers());
}

TEST_F(SystemInfoTest, Windows9xKnownLogonNameAloneMeansSeveralUsers) {
    facts.userName = "anna";
    EXPECT_TRUE(Make(kWindows95).MultiUsers());
}

// --- Shell folders and error 999 ---

TEST_F(SystemInfoTest, ShellFoldersFallBackToTheShellWhenTheRegistryLacksThem) {
    ShellFoldersOnlyFromTheShell();
    facts.knownFolders[KnownFolder::CommonStartup] = "C:\\ProgramData\\Startup";
    const cSystemInfo& si = Make();
    EXPECT_EQ(si.StartMenuDir(), "C:\\Shell\\Programs");
    EXPECT_EQ(si.StartupFolder(), "C:\\Shell\\Startup");
    EXPECT_EQ(si.CommonStartupFolder(), "C:\\ProgramData\\Startup");
}

TEST_F(SystemInfoTest, UnreadableOrBlankRegistryValueFallsBackToTheShell) {
    // A folder stored with the wrong type does not count as stored.
    registry.PutValue(reg::kCurrentUser, kShellFolders, "Startup", reg::kTypeBinary,
                      Sz("C:\\Users\\anna\\Startup"));
    PutString(reg::kCurrentUser, kShellFolders, "Programs", "  ");
    facts.knownFolders[KnownFolder::Programs] = "C:\\Shell\\Programs";
    facts.knownFolders[KnownFolder::Startup] = "C:\\Shell\\Startup";
    const cSystemInfo& si = Make();
    EXPECT_EQ(si.StartupFolder(), "C:\\Shell\\Startup");
    EXPECT_EQ(si.StartMenuDir(), "C:\\Shell\\Programs");
}

TEST_F(SystemInfoTest, CommonStartupComesFromTheMachineHive) {
    PutString(reg::kLocalMachine, kShellFolders, "Common Startup", "C:\\All\\Startup");
    facts.knownFolders[KnownFolder::CommonStartup] = "C:\\Shell\\Common";
    EXPECT_EQ(Make().CommonStartupFolder(), "C:\\All\\Startup");
}

TEST_F(SystemInfoTest, StartupMissingFromRegistryAndShellRaises999) {
    RegKey key = 0;
    ASSERT_EQ(registry.OpenKey(reg::kCurrentUser, kShellFolders, key), reg::kSuccess);
    ASSERT_EQ(registry.DeleteValue(key, "Startup"), reg::kSuccess);
    registry.CloseKey(key);
    facts.knownFolders[KnownFolder::Programs] = "C:\\Shell\\Programs";
    ExpectStartupError();
}

TEST_F(SystemInfoTest, ProgramsMissingFromRegistryAndShellRaises999) {
    ShellFoldersOnlyFromTheShell();
    facts.knownFolders.erase(KnownFolder::Programs);
    ExpectStartupError();
}

TEST_F(SystemInfoTest, BlankFolderFromTheShellStillRaises999) {
    ShellFoldersOnlyFromTheShell();
    facts.knownFolders[KnownFolder::Startup] = "   ";
    ExpectStartupError();
}

TEST_F(SystemInfoTest, MissingCommonStartupIsNoError) {
    EXPECT_NO_THROW(Make());
    EXPECT_EQ(info->CommonStartupFolder(), "");
}

// --- Explorer's last shut-down choice ---

TEST_F(SystemInfoTest, LastShutdownSettingReadsTheNumberOrOne) {
    EXPECT_EQ(Make().LastShutdownSetting(), 1);  // key there, value missing
    PutNumber(reg::kCurrentUser, kExplorer, "Shutdown setting", 0);
    EXPECT_EQ(Make().LastShutdownSetting(), 0);
    PutNumber(reg::kCurrentUser, kExplorer, "Shutdown setting", 4);
    EXPECT_EQ(Make().LastShutdownSetting(), 4);
    PutString(reg::kCurrentUser, kExplorer, "Shutdown setting", "4");
    EXPECT_EQ(Make().LastShutdownSetting(), 1);  // only a number is read
}

TEST_F(SystemInfoTest, LastShutdownSettingWriteStoresANumberWhenTheKeyOpens) {
    cSystemInfo& si = Make();
    si.LastShutdownSetting(2);
    EXPECT_EQ(si.LastShutdownSetting(), 2);
    EXPECT_EQ(registry.Value(reg::kCurrentUser, kExplorer, "Shutdown setting"),
              (FakeRegistry::StoredValue{reg::kTypeDword, Dword(2)}));
    si.LastShutdownSetting(-1);
    EXPECT_EQ(registry.Value(reg::kCurrentUser, kExplorer, "Shutdown setting"),
              (FakeRegistry::StoredValue{reg::kTypeDword, Dword(0xFFFFFFFFu)}));
    EXPECT_EQ(registry.OpenHandleCount(), 0);
}

TEST_F(SystemInfoTest, LastShutdownSettingWriteCreatesNoKey) {
    ShellFoldersOnlyFromTheShell();
    cSystemInfo& si = Make();
    si.LastShutdownSetting(2);
    EXPECT_EQ(si.LastShutdownSetting(), 2);
    EXPECT_FALSE(registry.KeyExists(reg::kCurrentUser, kExplorer));
    EXPECT_EQ(registry.CallCount(FakeRegistry::Op::kSetValue), 0);
}

// --- Locale strings ---

// Answers GetLocaleInfo as scripted, recording the buffers it was offered.
class ScriptedLocaleFacts : public FakeSystemFacts {
  public:
    int LocaleInfo(std::uint32_t, std::uint32_t, std::string& text, int capacity) override {
        capacities.push_back(capacity);
        if (capacity == 0) return needed;
        text.replace(0, std::min(text.size(), filled.size()), filled);
        return count;
    }
    int needed = 0, count = 0;
    std::string filled;
    std::vector<int> capacities;
};

TEST_F(SystemInfoTest, GetLocaleStringFollowsTheTwoCallRule) {
    Make();
    ScriptedLocaleFacts locale;
    cSystemInfo probe(locale, registry, *os, logger);  // creation's own calls
    locale.capacities.clear();

    locale.needed = 0;
    EXPECT_EQ(probe.GetLocaleString(0x0409, 2), "");
    EXPECT_EQ(locale.capacities, std::vector<int>{0});  // no second call

    // The second call gets a buffer of the length asked for; the count includes the NUL.
    locale.capacities.clear();
    locale.needed = 8;
    locale.filled = std::string("Dansk", 5) + '\0';
    locale.count = 6;
    const std::string text = probe.GetLocaleString(0x0406, 2);
    EXPECT_EQ(text, "Dansk");
    EXPECT_EQ(locale.capacities, (std::vector<int>{0, 8}));

    // Only the first count - 1 characters are kept, whatever else the buffer holds.
    locale.filled = "abcdefgh";
    locale.count = 4;
    EXPECT_EQ(probe.GetLocaleString(0x0406, 2), "abc");

    locale.count = 0;  // the second call failed
    EXPECT_EQ(probe.GetLocaleString(0x0406, 2), "");
}

// --- Drive lists ---

TEST_F(SystemInfoTest, DriveTypesOutsideTwoToSixGiveTwentySevenEmptyEntries) {
    cSystemInfo& si = Make();
    facts.drives = {{'A', 1}, {'C', 3}, {'X', 7}};
    for (std::int16_t type : {0, 1, 7, -3}) {
        std::vector<std::string> list{"junk"};
        EXPECT_FALSE(si.GetDriveList(type, list)) << type;
        EXPECT_EQ(list, std::vector<std::string>(27)) << type;
    }
}

TEST_F(SystemInfoTest, DriveTypeThatNoDriveHasIsFalse) {
    cSystemInfo& si = Make();
    std::vector<std::string> list;
    EXPECT_FALSE(si.GetDriveList(cSystemInfo::DRIVE_RAMDISK, list));
    EXPECT_EQ(list, std::vector<std::string>(27));
}

TEST_F(SystemInfoTest, FoundDrivesAreListedInLetterOrderAndTheListShrinks) {
    cSystemInfo& si = Make();
    facts.drives = {{'Z', 3}, {'C', 3}, {'D', 5}, {'E', 3}, {'A', 2}, {'B', 2}, {'N', 4}};
    std::vector<std::string> list;
    EXPECT_TRUE(si.GetDriveList(cSystemInfo::DRIVE_FIXED, list));
    EXPECT_EQ(list, (std::vector<std::string>{"C:", "E:", "Z:"}));
    EXPECT_TRUE(si.GetDriveList(cSystemInfo::DRIVE_REMOVABLE, list));
    EXPECT_EQ(list, (std::vector<std::string>{"A:", "B:"}));
    EXPECT_TRUE(si.GetDriveList(cSystemInfo::DRIVE_REMOTE, list));
    EXPECT_EQ(list, std::vector<std::string>{"N:"});
    EXPECT_TRUE(si.GetDriveList(cSystemInfo::DRIVE_CDROM, list));
    EXPECT_EQ(list, std::vector<std::string>{"D:"});
}

// --- Hardware profiles ---

class HardwareProfiles : public SystemInfoTest {
  protected:
    std::vector<std::string> names{"stale"};
    std::vector<std::int16_t> numbers{42};

    void ExpectMismatchReported() {
        ASSERT_EQ(ui.shown.size(), 1u);
        EXPECT_NE(ui.shown[0].text.find("13"), std::string::npos) << ui.shown[0].text;
        EXPECT_NE(ui.shown[0].text.find("cSystemInfo"), std::string::npos);
        EXPECT_NE(ui.shown[0].text.find("Type mismatch"), std::string::npos);
        EXPECT_EQ(registry.OpenHandleCount(), 0);
    }
};

TEST_F(HardwareProfiles, NtListsSubkeysWithTheirFriendlyNamesAndOneSpareSlot) {
    PutString(reg::kLocalMachine, kProfiles + "\\0001", "FriendlyName", "Docked");
    PutString(reg::kLocalMachine, kProfiles + "\\0002", "FriendlyName", "Undocked");
    cSystemInfo& si = Make(kWindowsNT4);
    EXPECT_TRUE(si.GetHardwareConfigList(names, numbers));
    EXPECT_EQ(names, (std::vector<std::string>{"Docked", "Undocked", ""}));
    EXPECT_EQ(numbers, (std::vector<std::int16_t>{1, 2, 0}));
    EXPECT_EQ(registry.OpenHandleCount(), 0);
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(HardwareProfiles, NtSubkeyWithoutFriendlyNameStopsTheList) {
    PutString(reg::kLocalMachine, kProfiles + "\\0001", "FriendlyName", "Docked");
    PutString(reg::kLocalMachine, kProfiles + "\\0002", "Aliasable", "1");
    PutString(reg::kLocalMachine, kProfiles + "\\0003", "FriendlyName", "Never seen");
    cSystemInfo& si = Make(kWindows10);
    EXPECT_TRUE(si.GetHardwareConfigList(names, numbers));
    EXPECT_EQ(names, (std::vector<std::string>{"Docked", ""}));
    EXPECT_EQ(numbers, (std::vector<std::int16_t>{1, 0}));
    EXPECT_EQ(registry.OpenHandleCount(), 0);
}

TEST_F(HardwareProfiles, NtSubkeyThatDoesNotOpenIsSkipped) {
    PutString(reg::kLocalMachine, kProfiles + "\\0001", "FriendlyName", "Docked");
    PutString(reg::kLocalMachine, kProfiles + "\\0002", "FriendlyName", "Undocked");
    cSystemInfo& si = Make(kWindows10);
    // The list key opens, then the first profile is refused.
    registry.FailNext(FakeRegistry::Op::kOpenKey, reg::kAccessDenied, 1);
    EXPECT_TRUE(si.GetHardwareConfigList(names, numbers));
    EXPECT_EQ(names, (std::vector<std::string>{"Undocked", ""}));
    EXPECT_EQ(numbers, (std::vector<std::int16_t>{2, 0}));
}

TEST_F(HardwareProfiles, NtSubkeyNameThatIsNotANumberIsReportedAndFails) {
    PutString(reg::kLocalMachine, kProfiles + "\\0001", "FriendlyName", "Docked");
    PutString(reg::kLocalMachine, kProfiles + "\\Current", "FriendlyName", "Odd");
    cSystemInfo& si = Make(kWindows10);
    EXPECT_FALSE(si.GetHardwareConfigList(names, numbers));
    ExpectMismatchReported();
}

TEST_F(HardwareProfiles, NoProfilesGiveFalseAndEmptyLists) {
    cSystemInfo& si = Make(kWindows10);
    EXPECT_FALSE(si.GetHardwareConfigList(names, numbers));  // no profiles key
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(numbers.empty());
    PutString(reg::kLocalMachine, kProfiles + "\\0001", "Aliasable", "1");
    EXPECT_FALSE(si.GetHardwareConfigList(names, numbers));  // first one unnamed
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(HardwareProfiles, Windows9xListsFriendlyNameValuesInAnyCase) {
    PutString(reg::kLocalMachine, kIdConfig, "CurrentConfig", "0001");
    PutString(reg::kLocalMachine, kIdConfig, "FriendlyName0001", "Original Configuration");
    PutString(reg::kLocalMachine, kIdConfig, "UserName0001", "anna");
    PutString(reg::kLocalMachine, kIdConfig, "FRIENDLYNAME0012", "Docked");
    PutString(reg::kLocalMachine, kIdConfig, "friendlyName0003", "Undocked");
    cSystemInfo& si = Make(kWindows98);
    EXPECT_TRUE(si.GetHardwareConfigList(names, numbers));
    EXPECT_EQ(names,
              (std::vector<std::string>{"Original Configuration", "Docked", "Undocked", ""}));
    EXPECT_EQ(numbers, (std::vector<std::int16_t>{1, 12, 3, 0}));
    EXPECT_EQ(registry.OpenHandleCount(), 0);
}

TEST_F(HardwareProfiles, Windows9xValueThatIsNotAStringStopsTheList) {
    PutString(reg::kLocalMachine, kIdConfig, "FriendlyName0001", "Docked");
    PutNumber(reg::kLocalMachine, kIdConfig, "FriendlyName0002", 7);
    PutString(reg::kLocalMachine, kIdConfig, "FriendlyName0003", "Never seen");
    cSystemInfo& si = Make(kWindows95);
    EXPECT_TRUE(si.GetHardwareConfigList(names, numbers));
    EXPECT_EQ(names, (std::vector<std::string>{"Docked", ""}));
}

TEST_F(HardwareProfiles, Windows9xNameSuffixThatIsNotANumberIsReportedAndFails) {
    PutString(reg::kLocalMachine, kIdConfig, "FriendlyNameDock", "Docked");
    cSystemInfo& si = Make(kWindows95);
    EXPECT_FALSE(si.GetHardwareConfigList(names, numbers));
    ExpectMismatchReported();
}

TEST_F(HardwareProfiles, Windows9xWithoutTheKeyIsFalse) {
    cSystemInfo& si = Make(kWindows98);
    EXPECT_FALSE(si.GetHardwareConfigList(names, numbers));
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(numbers.empty());
    EXPECT_TRUE(ui.shown.empty());
}

// --- Current hardware profile ---

TEST_F(SystemInfoTest, CurrentHardwareConfigOnNtIsTheNumberLessOne) {
    EXPECT_EQ(Make(kWindows10).CurrentHardwareConfig(), 0);  // key missing
    PutString(reg::kLocalMachine, kIdConfig, "Other", "x");
    EXPECT_EQ(Make(kWindows10).CurrentHardwareConfig(), 0);  // value missing
    PutNumber(reg::kLocalMachine, kIdConfig, "CurrentConfig", 1);
    EXPECT_EQ(Make(kWindows10).CurrentHardwareConfig(), 0);
    PutNumber(reg::kLocalMachine, kIdConfig, "CurrentConfig", 3);
    EXPECT_EQ(Make(kWindowsNT4).CurrentHardwareConfig(), 2);
    PutString(reg::kLocalMachine, kIdConfig, "CurrentConfig", "3");
    EXPECT_EQ(Make(kWindows10).CurrentHardwareConfig(), 0);  // NT reads a number only
}

TEST_F(SystemInfoTest, CurrentHardwareConfigOn9xIsTheNumericStringLessOne) {
    EXPECT_EQ(Make(kWindows98).CurrentHardwareConfig(), 0);  // key missing
    PutString(reg::kLocalMachine, kIdConfig, "CurrentConfig", "0002");
    EXPECT_EQ(Make(kWindows98).CurrentHardwareConfig(), 1);
    PutString(reg::kLocalMachine, kIdConfig, "CurrentConfig", "0001");
    EXPECT_EQ(Make(kWindows95).CurrentHardwareConfig(), 0);
    PutString(reg::kLocalMachine, kIdConfig, "CurrentConfig", "Docked");
    EXPECT_EQ(Make(kWindows95).CurrentHardwareConfig(), 0);
    PutNumber(reg::kLocalMachine, kIdConfig, "CurrentConfig", 5);
    EXPECT_EQ(Make(kWindows95).CurrentHardwareConfig(), 0);  // 9x reads a string only
    EXPECT_EQ(registry.OpenHandleCount(), 0);
}

}  // namespace
