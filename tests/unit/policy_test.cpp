// Settings fixed by policy: which values are taken, which are refused and why, that the
// policy key is only ever read, and how the options record loads and saves around it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Policy.h"
#include "common/SSOptions.h"
#include "platform/fake/FakeRegistry.h"
#include "support/RegistryValues.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Problem = PolicyProblem::Kind;
using Op = FakeRegistry::Op;

const std::string kPolicyKey = policy::kKey;

Bytes Text(const std::string& text) {
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

Bytes Number(std::uint32_t value, std::size_t width = 4) {
    Bytes bytes;
    for (std::size_t i = 0; i < width; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return bytes;
}

std::string Repeat(const std::string& piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

struct Raw {
    std::string name;
    std::uint32_t type;
    Bytes bytes;
};

void Put(FakeRegistry& registry, const Raw& raw) {
    registry.PutValue(reg::kLocalMachine, kPolicyKey, raw.name, raw.type, raw.bytes);
}

// One value in the policy key and what the reader makes of it: the setting it manages
// (`taken`, as the field prints) or the problem it reports.
struct ValueCase {
    const char* what;
    Raw raw;
    std::optional<std::string> taken;
    std::optional<PolicyProblem> problem;
};

std::optional<std::string> Taken(const PolicyValues& values, const std::string& name) {
    for (const auto& rule : policy::kValues) {
        if (name != rule.name) continue;
        return std::visit(
            [&](auto member) -> std::optional<std::string> {
                const auto& field = values.*member;
                if (!field) return std::nullopt;
                if constexpr (std::is_same_v<std::decay_t<decltype(*field)>, std::string>)
                    return *field;
                else
                    return std::to_string(*field);
            },
            rule.field);
    }
    return std::nullopt;
}

TEST(PolicyRead, EachValueIsTakenOrRefusedByItsKind) {
    const std::string longest = Repeat("a", 1023);
    const ValueCase cases[] = {
        {"minutes at the low end", {"WaitMinutes", reg::kTypeDword, Number(1)}, "1", {}},
        {"minutes at the high end", {"WaitMinutes", reg::kTypeDword, Number(32767)}, "32767", {}},
        {"no minutes",
         {"WaitMinutes", reg::kTypeDword, Number(0)},
         {},
         PolicyProblem{"WaitMinutes", Problem::kOutOfRange, "0", "1 to 32767"}},
        {"minutes beyond 16 bits",
         {"WaitMinutes", reg::kTypeDword, Number(32768)},
         {},
         PolicyProblem{"WaitMinutes", Problem::kOutOfRange, "32768", "1 to 32767"}},
        {"minutes of -1 (a DWORD is unsigned)",
         {"WaitMinutes", reg::kTypeDword, Number(0xFFFFFFFF)},
         {},
         PolicyProblem{"WaitMinutes", Problem::kOutOfRange, "4294967295", "1 to 32767"}},
        {"minutes as text",
         {"WaitMinutes", reg::kTypeSz, Text("5")},
         {},
         PolicyProblem{"WaitMinutes", Problem::kWrongType, "REG_SZ", "REG_DWORD"}},
        {"minutes in three bytes",
         {"WaitMinutes", reg::kTypeDword, Number(5, 3)},
         {},
         PolicyProblem{"WaitMinutes", Problem::kWrongType, "REG_DWORD of 3 bytes", "REG_DWORD"}},
        {"no limit to a hold", {"MaxHoldMinutes", reg::kTypeDword, Number(0)}, "0", {}},
        {"a hold of more than a week",
         {"MaxHoldMinutes", reg::kTypeDword, Number(10081)},
         {},
         PolicyProblem{"MaxHoldMinutes", Problem::kOutOfRange, "10081", "0 to 10080"}},
        {"restart", {"ShutdownType", reg::kTypeDword, Number(2)}, "2", {}},
        {"log off", {"ShutdownType", reg::kTypeDword, Number(0)}, "0", {}},
        {"MS-DOS mode is no kind current Windows offers",
         {"ShutdownType", reg::kTypeDword, Number(20)},
         {},
         PolicyProblem{"ShutdownType", Problem::kOutOfRange, "20", "1, 2, 0, 256 or 512"}},
        {"sleep", {"ShutdownType", reg::kTypeDword, Number(256)}, "256", {}},
        {"hibernate", {"ShutdownType", reg::kTypeDword, Number(512)}, "512", {}},
        {"updates left alone", {"InstallUpdates", reg::kTypeDword, Number(0)}, "0", {}},
        {"updates as text",
         {"InstallUpdates", reg::kTypeSz, Text("1")},
         {},
         PolicyProblem{"InstallUpdates", Problem::kWrongType, "REG_SZ", "REG_DWORD"}},
        {"any number other than 0 is on", {"RunKelvane", reg::kTypeDword, Number(5)}, "1", {}},
        {"0 is off", {"ConfirmShutdown", reg::kTypeDword, Number(0)}, "0", {}},
        {"a path with variables",
         {"SelectedScreenSaver", reg::kTypeExpandSz, Text("%SystemRoot%\\System32\\Ribbons.scr")},
         "C:\\Windows\\System32\\Ribbons.scr",
         {}},
        {"a text ends at its NUL",
         {"KelvanePath", reg::kTypeSz, Text(std::string("a\0b", 3))},
         "a",
         {}},
        {"an empty text sets nothing", {"SelectedScreenSaver", reg::kTypeSz, Text("")}, {}, {}},
        {"the longest text", {"KelvanePath", reg::kTypeSz, Text(longest)}, longest, {}},
        {"one character too many",
         {"KelvanePath", reg::kTypeSz, Text(longest + "b")},
         {},
         PolicyProblem{"KelvanePath", Problem::kTooLong, "1024 characters",
                       "at most 1023 characters"}},
        {"characters beyond 16 bits count twice",
         {"KelvanePath", reg::kTypeSz, Text(Repeat("\xF0\x9F\x98\x80", 512))},
         {},
         PolicyProblem{"KelvanePath", Problem::kTooLong, "1024 characters",
                       "at most 1023 characters"}},
        {"too long to be read at all",
         {"SelectedScreenSaver", reg::kTypeSz, Text(Repeat("x", 100000))},
         {},
         PolicyProblem{"SelectedScreenSaver", Problem::kTooLong, "more than 1023 characters",
                       "at most 1023 characters"}},
        {"a path as a number",
         {"SelectedScreenSaver", reg::kTypeDword, Number(1)},
         {},
         PolicyProblem{"SelectedScreenSaver", Problem::kWrongType, "REG_DWORD",
                       "REG_SZ or REG_EXPAND_SZ"}},
        {"a type Windows has no name for",
         {"RunKelvane", 42, Number(1)},
         {},
         PolicyProblem{"RunKelvane", Problem::kWrongType, "type 42", "REG_DWORD"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeRegistry registry;
        Put(registry, c.raw);
        const PolicyValues values = ReadPolicy(registry);
        EXPECT_EQ(Taken(values, c.raw.name), c.taken);
        EXPECT_EQ(values.Manages(c.raw.name), c.taken.has_value());
        if (c.problem) {
            ASSERT_EQ(values.Invalid.size(), 1u);
            EXPECT_EQ(values.Invalid[0], *c.problem);
        } else {
            EXPECT_TRUE(values.Invalid.empty());
        }
        EXPECT_EQ(registry.OpenHandleCount(), 0);
    }
}

TEST(PolicyRead, TheKeyIsOnlyEverRead) {
    // No key: no policy, and nothing is created or filled in.
    FakeRegistry registry;
    EXPECT_EQ(ReadPolicy(registry), PolicyValues{});
    EXPECT_FALSE(registry.KeyExists(reg::kLocalMachine, "Software\\Policies"));

    // A key with values of every kind, good and bad: read, never written.
    for (const auto& rule : policy::kValues) Put(registry, {rule.name, reg::kTypeSz, Text("1")});
    Put(registry, {"Unrelated", reg::kTypeDword, Number(1)});
    const PolicyValues values = ReadPolicy(registry);
    EXPECT_EQ(values.Invalid.size(), 9u);  // the two texts are fine
    EXPECT_EQ(registry.CallCount(Op::kCreateKey), 0);
    EXPECT_EQ(registry.CallCount(Op::kSetValue), 0);
    EXPECT_EQ(registry.CallCount(Op::kDeleteValue), 0);
    EXPECT_EQ(registry.OpenHandleCount(), 0);
}

TEST(PolicyRead, FailuresToReadAreReportedAndSetNothing) {
    struct Case {
        const char* what;
        Op op;
        RegStatus status;
        PolicyProblem problem;
    };
    const Case cases[] = {
        {"the key refused",
         Op::kOpenKeyToRead,
         reg::kAccessDenied,
         {"", Problem::kUnreadable, "error 5", ""}},
        {"the first value refused",
         Op::kQueryValue,
         reg::kAccessDenied,
         {"RunKelvane", Problem::kUnreadable, "error 5", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeRegistry registry;
        Put(registry, {"RunKelvane", reg::kTypeDword, Number(1)});
        registry.FailNext(c.op, c.status);
        const PolicyValues values = ReadPolicy(registry);
        EXPECT_FALSE(values.RunKelvane);
        ASSERT_EQ(values.Invalid.size(), 1u);
        EXPECT_EQ(values.Invalid[0], c.problem);
        EXPECT_EQ(registry.OpenHandleCount(), 0);
    }
}

TEST(PolicyRead, HoldSwitchesAreOnUnlessTurnedOff) {
    struct Case {
        const char* what;
        std::vector<Raw> values;
        bool power;
        bool sessions;
        bool anySetting;
        std::uint32_t maxMinutes = 240;
    };
    const Case cases[] = {
        {"no policy", {}, true, true, false},
        {"both off",
         {{"HoldForPowerRequests", reg::kTypeDword, Number(0)},
          {"HoldForOtherSessions", reg::kTypeDword, Number(0)}},
         false,
         false,
         false},
        {"one off, one on",
         {{"HoldForPowerRequests", reg::kTypeDword, Number(0)},
          {"HoldForOtherSessions", reg::kTypeDword, Number(7)}},
         false,
         true,
         false},
        {"an unusable switch stays on",
         {{"HoldForOtherSessions", reg::kTypeSz, Text("0")}},
         true,
         true,
         false},
        {"a setting beside them",
         {{"HoldForPowerRequests", reg::kTypeDword, Number(0)},
          {"WaitMinutes", reg::kTypeDword, Number(5)}},
         false,
         true,
         true},
        {"a limit of an hour",
         {{"MaxHoldMinutes", reg::kTypeDword, Number(60)}},
         true,
         true,
         false,
         60},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeRegistry registry;
        for (const auto& raw : c.values) Put(registry, raw);
        const PolicyValues values = ReadPolicy(registry);
        EXPECT_EQ(values.Hold().PowerRequests, c.power);
        EXPECT_EQ(values.Hold().OtherSessions, c.sessions);
        EXPECT_EQ(values.Hold().MaxMinutes, c.maxMinutes);
        EXPECT_EQ(values.ManagesAnySetting(), c.anySetting);
    }
}

TEST(PolicyApply, OnlyManagedSettingsTakeThePolicysValue) {
    tSSOptions stored;
    stored.KelvanePath = "C:\\Old\\Kelvane.exe";
    stored.AppPath = "C:\\Somnivex";
    tSSOptions none = stored;
    ApplyPolicy(none, PolicyValues{});
    EXPECT_EQ(none, stored);

    PolicyValues all;
    all.RunKelvane = true;
    all.KelvanePath = "C:\\New\\Kelvane.exe";
    all.ConfirmShutdown = true;
    all.DefaultConfirmYes = false;
    all.SelectedScreenSaver = "C:\\Windows\\system32\\Ribbons.scr";
    all.ShutdownType = 0;
    all.WaitMinutes = 1;
    all.HoldForPowerRequests = false;
    tSSOptions managed = stored;
    ApplyPolicy(managed, all);
    const tSSOptions want{true,
                          true,
                          false,
                          false,
                          "",
                          "C:\\Somnivex",
                          "C:\\New\\Kelvane.exe",
                          "C:\\Windows\\system32\\Ribbons.scr",
                          0,
                          1};
    EXPECT_EQ(managed, want);
}

class PolicyOptionsTest : public ::testing::Test {
  protected:
    PolicyOptionsTest() {
        appReg.SoftwareKey = options.RegSoftwareKey();
        PutDword(registry, kOptionsKey, "WaitMinutes", 30);
        PutDword(registry, kOptionsKey, "ShutdownType", 1);
        PutDword(registry, kOptionsKey, "ConfirmShutdown", 0);
        PutString(registry, kOptionsKey, "SelectedScreenSaver",
                  "C:\\Windows\\system32\\Mystify.scr");
    }

    FakeRegistry registry;
    cAppRegAPI appReg{registry, "Somnivex"};
    cSSOptions options{appReg};
};

TEST_F(PolicyOptionsTest, AValidPolicyWinsAnInvalidOneLeavesTheStoredValue) {
    Put(registry, {"WaitMinutes", reg::kTypeDword, Number(1)});
    Put(registry, {"ShutdownType", reg::kTypeDword, Number(20)});
    Put(registry, {"HoldForOtherSessions", reg::kTypeDword, Number(0)});
    tSSOptions record;
    options.LoadOptions(record);
    EXPECT_EQ(record.WaitMinutes, 1);
    EXPECT_EQ(record.ShutdownType, 1);  // the stored one
    EXPECT_EQ(record.SelectedScreenSaver, "C:\\Windows\\system32\\Mystify.scr");
    ASSERT_EQ(options.Policy().Invalid.size(), 1u);
    EXPECT_EQ(options.Policy().Invalid[0].name, "ShutdownType");
    EXPECT_FALSE(options.Policy().Hold().OtherSessions);
    // The stored settings are as they were; the policy key was not added to.
    EXPECT_EQ(GetDword(registry, kOptionsKey, "WaitMinutes"), 30);
    EXPECT_EQ(GetDword(registry, kOptionsKey, "ShutdownType"), 1);
    EXPECT_FALSE(registry.Value(reg::kLocalMachine, kPolicyKey, "RunKelvane"));

    // The next load follows the policy as it is then.
    PutDword(registry, kPolicyKey, "WaitMinutes", 0);
    options.LoadOptions(record);
    EXPECT_EQ(record.WaitMinutes, 30);
    EXPECT_FALSE(options.Policy().WaitMinutes);
}

TEST(PolicyOptions, SavingKeepsTheStoredValueOfEveryManagedSetting) {
    struct Case {
        const char* what;
        bool policyAtLoad;
        bool policyAtSave;
    };
    const Case cases[] = {
        {"managed throughout", true, true},
        {"policy dropped before the save", true, false},
        {"policy set after the load", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeRegistry fresh;
        cAppRegAPI appReg{fresh, "Somnivex"};
        appReg.SoftwareKey = "Brellcor";
        cSSOptions store{appReg};
        PutDword(fresh, kOptionsKey, "WaitMinutes", 30);
        PutString(fresh, kOptionsKey, "SelectedScreenSaver", "C:\\Old.scr");
        auto setPolicy = [&] {
            Put(fresh, {"WaitMinutes", reg::kTypeDword, Number(1)});
            Put(fresh, {"SelectedScreenSaver", reg::kTypeSz, Text("C:\\Policy.scr")});
        };
        if (c.policyAtLoad) setPolicy();
        tSSOptions record;
        store.LoadOptions(record);
        if (!c.policyAtLoad && c.policyAtSave) setPolicy();
        if (c.policyAtLoad && !c.policyAtSave) {
            RegKey key = 0;
            ASSERT_EQ(fresh.OpenKey(reg::kLocalMachine, kPolicyKey, key), reg::kSuccess);
            fresh.DeleteValue(key, "WaitMinutes");
            fresh.DeleteValue(key, "SelectedScreenSaver");
            fresh.CloseKey(key);
        }
        // The user changes a setting of their own, and the managed ones as shown.
        record.ConfirmShutdown = true;
        record.WaitMinutes = 1;
        record.SelectedScreenSaver = "C:\\Policy.scr";
        EXPECT_TRUE(store.SaveOptions(record));
        EXPECT_EQ(GetDword(fresh, kOptionsKey, "WaitMinutes"), 30);
        EXPECT_EQ(GetString(fresh, kOptionsKey, "SelectedScreenSaver"), "C:\\Old.scr");
        EXPECT_EQ(GetDword(fresh, kOptionsKey, "ConfirmShutdown"), -1);
        EXPECT_EQ(fresh.OpenHandleCount(), 0);
    }
}

}  // namespace
