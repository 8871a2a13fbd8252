#include <gtest/gtest.h>

#include "common/SSOptions.h"
#include "platform/fake/FakeRegistry.h"
#include "support/RegistryValues.h"

namespace {

class OptionsTest : public ::testing::Test {
  protected:
    OptionsTest() { appReg.SoftwareKey = options.RegSoftwareKey(); }

    FakeRegistry registry;
    cAppRegAPI appReg{registry, "Somnivex"};
    cSSOptions options{appReg};
};

TEST_F(OptionsTest, NamesOfTheKeys) {
    EXPECT_EQ(options.RegKeyName(), "Somnivex");
    EXPECT_EQ(options.RegSoftwareKey(), "Brellcor");
}

TEST_F(OptionsTest, FirstLoadGivesTheDefaultsAndStoresAllTen) {
    tSSOptions record;
    record.RunKelvane = true;  // every field is overwritten
    record.AppPath = "stale";
    record.WaitMinutes = 7;
    options.LoadOptions(record);
    EXPECT_EQ(record, tSSOptions{});
    EXPECT_FALSE(record.RunKelvane);
    EXPECT_FALSE(record.ConfirmShutdown);
    EXPECT_TRUE(record.DefaultConfirmYes);
    EXPECT_FALSE(record.LogDebug);
    EXPECT_EQ(record.ShutdownType, 1);
    EXPECT_EQ(record.WaitMinutes, 30);

    EXPECT_EQ(GetDword(registry, kOptionsKey, "RunKelvane"), 0);
    EXPECT_EQ(GetDword(registry, kOptionsKey, "ConfirmShutdown"), 0);
    EXPECT_EQ(GetDword(registry, kOptionsKey, "DefaultConfirmYes"), -1);
    EXPECT_EQ(GetDword(registry, kOptionsKey, "LogDebug"), 0);
    EXPECT_EQ(GetDword(registry, kOptionsKey, "ShutdownType"), 1);
    EXPECT_EQ(GetDword(registry, kOptionsKey, "WaitMinutes"), 30);
    for (const char* name : {"LogDir", "AppPath", "KelvanePath", "SelectedScreenSaver"}) {
        const auto stored = registry.Value(reg::kLocalMachine, kOptionsKey, name);
        ASSERT_TRUE(stored) << name;
        EXPECT_EQ(stored->type, reg::kTypeSz);
        EXPECT_EQ(stored->bytes, std::vector<std::uint8_t>{0}) << name;
    }
    EXPECT_EQ(registry.OpenHandleCount(), 0);
}

TEST_F(OptionsTest, AppPathLoadsWithoutATrailingBackslash) {
    const struct {
        const char* stored;
        const char* loaded;
    } cases[] = {
        {"C:\\Program Files\\Somnivex\\", "C:\\Program Files\\Somnivex"},
        {"C:\\Program Files\\Somnivex\\\\", "C:\\Program Files\\Somnivex"},
        {"C:\\Program Files\\Somnivex", "C:\\Program Files\\Somnivex"},
        {"C:\\", "C:\\"},
        {"", ""},
    };
    for (const auto& c : cases) {
        PutString(registry, kOptionsKey, "AppPath", c.stored);
        tSSOptions record;
        options.LoadOptions(record);
        EXPECT_EQ(record.AppPath, c.loaded) << c.stored;
    }
}

TEST_F(OptionsTest, AnyNonZeroNumberIsTrueAndSavesAsMinusOne) {
    PutDword(registry, kOptionsKey, "ConfirmShutdown", 5);
    PutDword(registry, kOptionsKey, "RunKelvane", -7);
    tSSOptions record;
    options.LoadOptions(record);
    EXPECT_TRUE(record.ConfirmShutdown);
    EXPECT_TRUE(record.RunKelvane);
    EXPECT_TRUE(options.SaveOptions(record));
    EXPECT_EQ(GetDword(registry, kOptionsKey, "ConfirmShutdown"), -1);
    EXPECT_EQ(GetDword(registry, kOptionsKey, "RunKelvane"), -1);
}

TEST_F(OptionsTest, NumbersLoadUncheckedWithinSixteenBits) {
    PutDword(registry, kOptionsKey, "WaitMinutes", 0);
    PutDword(registry, kOptionsKey, "ShutdownType", 7);
    tSSOptions record;
    options.LoadOptions(record);
    EXPECT_EQ(record.WaitMinutes, 0);
    EXPECT_EQ(record.ShutdownType, 7);

    PutDword(registry, kOptionsKey, "WaitMinutes", -32768);
    PutDword(registry, kOptionsKey, "ShutdownType", 32767);
    options.LoadOptions(record);
    EXPECT_EQ(record.WaitMinutes, -32768);
    EXPECT_EQ(record.ShutdownType, 32767);
}

TEST_F(OptionsTest, NumbersBeyondSixteenBitsLoadAsTheDefault) {
    PutDword(registry, kOptionsKey, "WaitMinutes", 65536 + 5);   // not 5 minutes
    PutDword(registry, kOptionsKey, "ShutdownType", 65536 + 2);  // not a restart
    tSSOptions record;
    options.LoadOptions(record);
    EXPECT_EQ(record.WaitMinutes, 30);
    EXPECT_EQ(record.ShutdownType, 1);
    PutDword(registry, kOptionsKey, "WaitMinutes", -32769);
    options.LoadOptions(record);
    EXPECT_EQ(record.WaitMinutes, 30);
    // Loading does not rewrite what another program stored.
    EXPECT_EQ(GetDword(registry, kOptionsKey, "WaitMinutes"), -32769);
}

TEST_F(OptionsTest, SaveWritesEveryValueAndLoadReadsThemBack) {
    tSSOptions record;
    record.RunKelvane = true;
    record.ConfirmShutdown = true;
    record.DefaultConfirmYes = false;
    record.LogDebug = true;
    record.LogDir = "C:\\Program Files\\Somnivex\\Error.log";
    record.AppPath = "C:\\Program Files\\Somnivex";
    record.KelvanePath = "C:\\Brellcor\\Kelvane.exe";
    record.SelectedScreenSaver = "C:\\Windows\\system32\\Bildschirmschoner Ü.scr";
    record.ShutdownType = 20;
    record.WaitMinutes = 32767;
    EXPECT_TRUE(options.SaveOptions(record));
    tSSOptions loaded;
    options.LoadOptions(loaded);
    EXPECT_EQ(loaded, record);
    EXPECT_EQ(GetDword(registry, kOptionsKey, "ShutdownType"), 20);
}

TEST_F(OptionsTest, RefusedWriteIsReportedWhileTheOtherNineAreWritten) {
    tSSOptions record;
    record.WaitMinutes = 45;
    record.AppPath = "C:\\Somnivex";
    // The key exists; one value cannot be written (a refused call, as a full registry
    // hive or a policy would refuse it).
    tSSOptions stored;
    options.LoadOptions(stored);
    registry.FailNext(FakeRegistry::Op::kSetValue, reg::kAccessDenied, 4);  // the fifth write
    EXPECT_FALSE(options.SaveOptions(record));
    EXPECT_EQ(GetDword(registry, kOptionsKey, "ShutdownType"), 1);  // the refused one, as before
    EXPECT_EQ(GetDword(registry, kOptionsKey, "WaitMinutes"), 45);
    EXPECT_EQ(GetString(registry, kOptionsKey, "AppPath"), "C:\\Somnivex");
}

TEST_F(OptionsTest, StandardUserBelowTheMachineKeyIsToldNothingWasSaved) {
    tSSOptions record;
    options.LoadOptions(record);
    registry.DenyWrites(reg::kLocalMachine, "");
    record.WaitMinutes = 10;
    EXPECT_FALSE(options.SaveOptions(record));
    EXPECT_EQ(GetDword(registry, kOptionsKey, "WaitMinutes"), 30);
    // Reading still works and still gives the defaults of missing values.
    tSSOptions again;
    options.LoadOptions(again);
    EXPECT_EQ(again.WaitMinutes, 30);
}

TEST_F(OptionsTest, ShutdownHandleDefaultsToMinusOneAndRestoresTheCompanyKey) {
    appReg.SoftwareKey = "Elsewhere";
    EXPECT_EQ(options.ShutdownHandle(), -1);
    EXPECT_EQ(appReg.SoftwareKey, "Elsewhere");
    EXPECT_EQ(GetDword(registry, "Software\\Brellcor\\Window Handles", "ShutdownHwnd"), -1);

    PutDword(registry, "Software\\Brellcor\\Window Handles", "ShutdownHwnd", 0x2A0B16);
    EXPECT_EQ(options.ShutdownHandle(), 0x2A0B16);
    EXPECT_EQ(appReg.SoftwareKey, "Elsewhere");
}

TEST_F(OptionsTest, KelvanePathPrefersTheFirstSiblingKey) {
    EXPECT_EQ(options.FindKelvanePathInReg(), "");
    EXPECT_EQ(appReg.SoftwareKey, "Brellcor");
    // Reading created both keys with empty values.
    EXPECT_EQ(GetString(registry, "Software\\Brellcor\\Pemrose\\Kelvane", "AppPath"), "");
    EXPECT_EQ(GetString(registry, "Software\\Brellcor\\Kelvane\\Kelvane", "AppPath"), "");

    PutString(registry, "Software\\Brellcor\\Kelvane\\Kelvane", "AppPath", "D:\\second.exe");
    EXPECT_EQ(options.FindKelvanePathInReg(), "D:\\second.exe");
    PutString(registry, "Software\\Brellcor\\Pemrose\\Kelvane", "AppPath", "C:\\first.exe");
    EXPECT_EQ(options.FindKelvanePathInReg(), "C:\\first.exe");
    EXPECT_EQ(appReg.SoftwareKey, "Brellcor");
}

}  // namespace
