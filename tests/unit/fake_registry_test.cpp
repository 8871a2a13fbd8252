// What only the in-memory registry can show: handle accounting, a standard user's
// refusals below HKEY_LOCAL_MACHINE, scripted failures, and the settings store's answers
// to each of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "common/AppRegAPI.h"
#include "common/SSOptions.h"
#include "platform/fake/FakeRegistry.h"
#include "support/RegistryBytes.h"

namespace {

using Op = FakeRegistry::Op;
using Bytes = std::vector<std::uint8_t>;

constexpr auto kHklm = cAppRegAPI::HKEY_LOCAL_MACHINE;
const std::string kKey = "Software\\Brellcor\\Somnivex";

using regbytes::Dword;

class FakeRegistryTest : public ::testing::Test {
  protected:
    FakeRegistryTest() { appReg.SoftwareKey = "Brellcor"; }
    void TearDown() override { EXPECT_EQ(registry.OpenHandleCount(), 0); }

    FakeRegistry registry;
    cAppRegAPI appReg{registry, "Somnivex"};
};

TEST_F(FakeRegistryTest, CountsHandlesButNotHives) {
    RegKey a = 0, b = 0, c = 0;
    ASSERT_EQ(registry.CreateKey(reg::kLocalMachine, "Software\\X", a), reg::kSuccess);
    ASSERT_EQ(registry.OpenKey(reg::kLocalMachine, "software\\x", b), reg::kSuccess);
    // An empty path opens a new handle to the same key.
    ASSERT_EQ(registry.OpenKey(b, "", c), reg::kSuccess);
    EXPECT_EQ(registry.OpenHandleCount(), 3);
    EXPECT_NE(a, b);
    EXPECT_NE(b, c);
    EXPECT_EQ(registry.CloseKey(reg::kLocalMachine), reg::kSuccess);
    EXPECT_EQ(registry.OpenHandleCount(), 3);
    for (RegKey key : {a, b, c}) EXPECT_EQ(registry.CloseKey(key), reg::kSuccess);
    EXPECT_EQ(registry.CloseKey(a), reg::kInvalidHandle);
    EXPECT_EQ(registry.OpenHandleCount(), 0);
}

TEST_F(FakeRegistryTest, SettingsStoreClosesEveryHandleOnEveryPath) {
    registry.PutValue(reg::kLocalMachine, kKey, "High", reg::kTypeDword, Dword(99));
    appReg.GetNumericSetting(kHklm, "Somnivex", "Missing", 1, -1, -1);
    appReg.GetNumericSetting(kHklm, "Somnivex", "High", 1, 1, 10);
    appReg.GetStringSetting(kHklm, "Fresh", "Text", "x");
    appReg.SetStringSetting(kHklm, "Other", "Text", "y");
    registry.FailNext(Op::kSetValue, reg::kAccessDenied);
    EXPECT_FALSE(appReg.SetNumericSetting(kHklm, "Somnivex", "N", 1));
    EXPECT_EQ(registry.OpenHandleCount(), 0);
}

TEST_F(FakeRegistryTest, InspectionSeesWhatThePortStored) {
    EXPECT_FALSE(registry.KeyExists(reg::kLocalMachine, kKey));
    EXPECT_EQ(appReg.GetNumericSetting(kHklm, "Somnivex", "WaitMinutes", 30, -1, -1), 30);
    EXPECT_TRUE(registry.KeyExists(reg::kLocalMachine, "SOFTWARE\\brellcor\\SOMNIVEX"));
    EXPECT_FALSE(registry.KeyExists(reg::kCurrentUser, kKey));
    const auto value = registry.Value(reg::kLocalMachine, kKey, "waitminutes");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(*value, (FakeRegistry::StoredValue{reg::kTypeDword, Dword(30)}));
    EXPECT_EQ(registry.Value(reg::kLocalMachine, kKey, "Other"), std::nullopt);
    EXPECT_EQ(registry.SubkeyNames(reg::kLocalMachine, "Software"),
              std::vector<std::string>{"Brellcor"});
}

TEST_F(FakeRegistryTest, PathsRefuseALeadingBackslashAndSkipEmptyParts) {
    RegKey key = 0;
    EXPECT_EQ(registry.CreateKey(reg::kCurrentUser, "\\Software\\X", key),
              FakeRegistry::kBadPathname);
    EXPECT_EQ(registry.OpenKey(reg::kCurrentUser, "\\Software", key), FakeRegistry::kBadPathname);
    ASSERT_EQ(registry.CreateKey(reg::kCurrentUser, "Software\\\\A\\B\\", key), reg::kSuccess);
    EXPECT_EQ(registry.CloseKey(key), reg::kSuccess);
    EXPECT_TRUE(registry.KeyExists(reg::kCurrentUser, "Software\\A\\B"));
    EXPECT_EQ(registry.SubkeyNames(reg::kCurrentUser, "Software"), std::vector<std::string>{"A"});
}

TEST_F(FakeRegistryTest, DeleteKeyWithEmptyPathDeletesTheKeyItselfButNotAHive) {
    RegKey key = 0;
    ASSERT_EQ(registry.CreateKey(reg::kCurrentUser, "Software\\Gone", key), reg::kSuccess);
    EXPECT_EQ(registry.DeleteKey(key, ""), reg::kSuccess);
    EXPECT_FALSE(registry.KeyExists(reg::kCurrentUser, "Software\\Gone"));
    EXPECT_EQ(registry.CloseKey(key), reg::kSuccess);
    EXPECT_EQ(registry.DeleteKey(reg::kCurrentUser, ""), reg::kAccessDenied);
}

// --- A standard user: reads work below HKEY_LOCAL_MACHINE, writes do not ------------------

TEST_F(FakeRegistryTest, DeniedHiveStillOpensAndReadsButRefusesChanges) {
    registry.PutValue(reg::kLocalMachine, kKey, "N", reg::kTypeDword, Dword(4));
    registry.DenyWrites(reg::kLocalMachine, "");

    RegKey key = 0;
    ASSERT_EQ(registry.OpenKey(reg::kLocalMachine, kKey, key), reg::kSuccess);
    std::uint32_t size = 0;
    EXPECT_EQ(registry.QueryValue(key, "N", nullptr, nullptr, &size), reg::kSuccess);
    const Bytes one = Dword(1);
    EXPECT_EQ(registry.SetValue(key, "N", reg::kTypeDword, one.data(), 4), reg::kAccessDenied);
    EXPECT_EQ(registry.DeleteValue(key, "N"), reg::kAccessDenied);
    EXPECT_EQ(registry.CloseKey(key), reg::kSuccess);

    // Creating an existing key opens it; a missing one is refused.
    ASSERT_EQ(registry.CreateKey(reg::kLocalMachine, kKey, key), reg::kSuccess);
    EXPECT_EQ(registry.CloseKey(key), reg::kSuccess);
    EXPECT_EQ(registry.CreateKey(reg::kLocalMachine, kKey + "\\New", key), reg::kAccessDenied);
    EXPECT_EQ(registry.DeleteKey(reg::kLocalMachine, kKey), reg::kAccessDenied);
    EXPECT_EQ(registry.Value(reg::kLocalMachine, kKey, "N")->bytes, Dword(4));
    // The other hives are untouched by the refusal.
    ASSERT_EQ(registry.CreateKey(reg::kCurrentUser, kKey, key), reg::kSuccess);
    EXPECT_EQ(registry.CloseKey(key), reg::kSuccess);
}

TEST_F(FakeRegistryTest, DenialCoversItsKeyAndWhatIsBelowOnly) {
    registry.DenyWrites(reg::kLocalMachine, "Software\\Brellcor");
    RegKey key = 0;
    // The denied key does not exist yet: neither it nor anything below can be made, and
    // nothing on the way is left behind.
    EXPECT_EQ(registry.CreateKey(reg::kLocalMachine, "Software\\Brellcor\\Somnivex", key),
              reg::kAccessDenied);
    EXPECT_FALSE(registry.KeyExists(reg::kLocalMachine, "Software\\Brellcor"));
    EXPECT_FALSE(appReg.SetNumericSetting(kHklm, "Somnivex", "N", 1));
    // A sibling whose name merely starts the same is not covered.
    appReg.SoftwareKey = "BrellcorX";
    EXPECT_TRUE(appReg.SetNumericSetting(kHklm, "Somnivex", "N", 1));
}

TEST_F(FakeRegistryTest, StoreAnswersAStandardUserWithDefaultsAndRefusedWrites) {
    registry.PutValue(reg::kLocalMachine, kKey, "Stored", reg::kTypeDword, Dword(12));
    registry.PutValue(reg::kLocalMachine, kKey, "TooHigh", reg::kTypeDword, Dword(99));
    registry.DenyWrites(reg::kLocalMachine, "");

    // Present values read as usual.
    EXPECT_EQ(appReg.GetNumericSetting(kHklm, "Somnivex", "Stored", 1, -1, -1), 12);
    // A missing value in an existing key gives the default, which cannot be stored.
    EXPECT_EQ(appReg.GetNumericSetting(kHklm, "Somnivex", "Missing", 7, -1, -1), 7);
    EXPECT_EQ(appReg.GetStringSetting(kHklm, "Somnivex", "Path", "d"), "d");
    EXPECT_FALSE(registry.Value(reg::kLocalMachine, kKey, "Missing").has_value());
    // Out of range: the default in the result, the old value stays.
    EXPECT_EQ(appReg.GetNumericSetting(kHklm, "Somnivex", "TooHigh", 5, 1, 10), 5);
    EXPECT_EQ(registry.Value(reg::kLocalMachine, kKey, "TooHigh")->bytes, Dword(99));
    // A key that can be neither opened nor created: default number, empty text.
    EXPECT_EQ(appReg.GetNumericSetting(kHklm, "Absent", "N", 3, -1, -1), 3);
    EXPECT_EQ(appReg.GetStringSetting(kHklm, "Absent", "Path", "d"), "");
    EXPECT_FALSE(registry.KeyExists(reg::kLocalMachine, "Software\\Brellcor\\Absent"));

    EXPECT_FALSE(appReg.SetNumericSetting(kHklm, "Somnivex", "Stored", 1));
    EXPECT_FALSE(appReg.SetStringSetting(kHklm, "Absent", "Path", "x"));

    cSSOptions options(appReg);
    tSSOptions record;
    options.LoadOptions(record);
    EXPECT_EQ(record, tSSOptions{});
    EXPECT_FALSE(options.SaveOptions(record));
}

// --- Scripted failures ------------------------------------------------------------------

TEST_F(FakeRegistryTest, FailNextHitsTheChosenCallOnceAndDoesNothing) {
    RegKey key = 0;
    ASSERT_EQ(registry.CreateKey(reg::kCurrentUser, "Software\\F", key), reg::kSuccess);
    const Bytes data = Dword(1);
    registry.FailNext(Op::kSetValue, reg::kAccessDenied, 1);
    registry.FailNext(Op::kSetValue, 1450, 1);
    EXPECT_EQ(registry.SetValue(key, "A", reg::kTypeDword, data.data(), 4), reg::kSuccess);
    EXPECT_EQ(registry.SetValue(key, "B", reg::kTypeDword, data.data(), 4), reg::kAccessDenied);
    EXPECT_EQ(registry.SetValue(key, "C", reg::kTypeDword, data.data(), 4), 1450);
    EXPECT_EQ(registry.SetValue(key, "D", reg::kTypeDword, data.data(), 4), reg::kSuccess);
    EXPECT_EQ(registry.CallCount(Op::kSetValue), 4);
    EXPECT_EQ(registry.CallCount(Op::kDeleteValue), 0);
    EXPECT_TRUE(registry.Value(reg::kCurrentUser, "Software\\F", "A").has_value());
    EXPECT_FALSE(registry.Value(reg::kCurrentUser, "Software\\F", "B").has_value());
    EXPECT_FALSE(registry.Value(reg::kCurrentUser, "Software\\F", "C").has_value());

    // A failed close leaves the handle open until it is closed again.
    registry.FailNext(Op::kCloseKey, reg::kInvalidHandle);
    EXPECT_EQ(registry.CloseKey(key), reg::kInvalidHandle);
    EXPECT_EQ(registry.OpenHandleCount(), 1);
    EXPECT_EQ(registry.CloseKey(key), reg::kSuccess);
}

TEST_F(FakeRegistryTest, StoreFallsBackToCreatingWhenTheOpenFails) {
    registry.PutValue(reg::kLocalMachine, kKey, "Text", reg::kTypeSz, {'o', 'l', 'd', 0});
    registry.FailNext(Op::kOpenKey, reg::kFileNotFound);
    // The key was reached through creation, so the default is written over the value.
    EXPECT_EQ(appReg.GetStringSetting(kHklm, "Somnivex", "Text", "new"), "new");
    EXPECT_EQ(registry.Value(reg::kLocalMachine, kKey, "Text")->bytes, (Bytes{'n', 'e', 'w', 0}));
}

TEST_F(FakeRegistryTest, OutOfRangeWriteIsSkippedWhenTheReopenFails) {
    registry.PutValue(reg::kLocalMachine, kKey, "N", reg::kTypeDword, Dword(0));
    registry.FailNext(Op::kOpenKey, reg::kAccessDenied, 1);
    EXPECT_EQ(appReg.GetNumericSetting(kHklm, "Somnivex", "N", 5, 1, 10), 5);
    EXPECT_EQ(registry.Value(reg::kLocalMachine, kKey, "N")->bytes, Dword(0));
    EXPECT_EQ(registry.CallCount(Op::kSetValue), 0);
}

Bytes Text(const std::string& text) {
    return Bytes(text.c_str(), text.c_str() + text.size() + 1);
}

TEST_F(FakeRegistryTest, TextThatGrowsBetweenTheSizeQueryAndTheReadIsReadAgain) {
    registry.PutValue(reg::kLocalMachine, kKey, "Text", reg::kTypeSz, Text("a"));
    // Another program writes a longer text after our size query, before our read.
    registry.BeforeNext(
        Op::kQueryValue,
        [&] {
            registry.PutValue(reg::kLocalMachine, kKey, "Text", reg::kTypeSz,
                              Text("a longer text"));
        },
        1);
    EXPECT_EQ(appReg.GetStringSetting(kHklm, "Somnivex", "Text", "dflt"), "a longer text");
    EXPECT_EQ(registry.CallCount(Op::kQueryValue), 4);
    EXPECT_EQ(registry.CallCount(Op::kSetValue), 0);
}

TEST_F(FakeRegistryTest, TextThatKeepsGrowingIsLeftAloneAfterAFewReads) {
    registry.PutValue(reg::kLocalMachine, kKey, "Text", reg::kTypeSz, Text("a"));
    // Longer before each of our reads, however often we ask.
    std::string text = "a";
    for (int read = 1; read < 20; read += 2)
        registry.BeforeNext(
            Op::kQueryValue,
            [&] {
                text += "b";
                registry.PutValue(reg::kLocalMachine, kKey, "Text", reg::kTypeSz, Text(text));
            },
            read);
    // This read gets the default; the value is not replaced by it.
    EXPECT_EQ(appReg.GetStringSetting(kHklm, "Somnivex", "Text", "dflt"), "dflt");
    EXPECT_EQ(registry.CallCount(Op::kQueryValue), 8);
    EXPECT_EQ(registry.CallCount(Op::kSetValue), 0);
    EXPECT_EQ(registry.Value(reg::kLocalMachine, kKey, "Text")->bytes, Text("abbbb"));
}

// The Win32 port's reads: each call a RegQueryValueEx, while another program writes the
// value between our calls (nullopt: deleted).
TEST(ReadWhole, AValueWrittenBetweenTwoCallsIsReadWithItsBytes) {
    const Bytes small = Text("small"), large(700, 1), larger(1500, 2);
    const std::vector<std::pair<std::vector<std::optional<Bytes>>, Bytes>> cases = {
        {{Bytes{}}, {}},
        {{small}, small},
        {{large, larger, larger}, larger},  // grown past each buffer
        {{large, small}, small},
        {{large, std::nullopt}, {}},
    };
    for (const auto& [found, read] : cases) {
        std::size_t calls = 0;
        Bytes bytes{9};
        const RegStatus status = reg::ReadWhole(
            [&](std::uint8_t* data, std::uint32_t* size) {
                EXPECT_NE(data, nullptr);  // never a size query
                const auto& value = found[std::min(calls++, found.size() - 1)];
                return value ? reg::Deliver(*value, data, size) : reg::kFileNotFound;
            },
            bytes);
        EXPECT_EQ(status, found.back() ? reg::kSuccess : reg::kFileNotFound);
        EXPECT_EQ(bytes, read);
        EXPECT_EQ(calls, found.size());
    }
}

TEST_F(FakeRegistryTest, OnlyAMissingTextOrOneOfAnotherTypeMakesWayForTheDefault) {
    struct Case {
        const char* what;
        RegStatus failure;  // of the first query
        bool replaced;
    } cases[] = {
        {"missing", reg::kFileNotFound, true},
        {"refused", reg::kAccessDenied, false},
        {"bad handle", reg::kInvalidHandle, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        registry.PutValue(reg::kLocalMachine, kKey, "Text", reg::kTypeSz, Text("kept"));
        registry.FailNext(Op::kQueryValue, c.failure);
        EXPECT_EQ(appReg.GetStringSetting(kHklm, "Somnivex", "Text", "dflt"), "dflt");
        EXPECT_EQ(registry.Value(reg::kLocalMachine, kKey, "Text")->bytes,
                  Text(c.replaced ? "dflt" : "kept"));
    }
}

}  // namespace
