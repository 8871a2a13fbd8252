#include <gtest/gtest.h>

#include "common/OSInfo.h"
#include "platform/fake/FakePlatform.h"

namespace {

struct Expect {
    const char* name;
    std::uint32_t platform, major, minor;
    bool win95, win98, nt3, nt4, win2000, unknown, dosMode;
    int interfaceUsed;
    double version;
};

void PrintTo(const Expect& e, std::ostream* os) {
    *os << e.name;
}

class OsDecoding : public ::testing::TestWithParam<Expect> {};

TEST_P(OsDecoding, FlagsAndDerivedMembers) {
    const Expect& e = GetParam();
    const cOSInfo os(OsVersionRecord{e.major, e.minor, 1234, e.platform, "Service Pack 9"});
    EXPECT_EQ(os.isWin95(), e.win95);
    EXPECT_EQ(os.isWin98(), e.win98);
    EXPECT_EQ(os.isWinNT3(), e.nt3);
    EXPECT_EQ(os.isWinNT4(), e.nt4);
    EXPECT_EQ(os.isWin2000(), e.win2000);
    EXPECT_EQ(os.isOsUnknown(), e.unknown);
    EXPECT_EQ(os.canRestartInDosMode(), e.dosMode);
    EXPECT_EQ(os.interfaceUsed(), e.interfaceUsed);
    EXPECT_DOUBLE_EQ(os.OSVersion(), e.version);
}

// platform, major, minor | 95 98 NT3 NT4 2000 unknown dos | interface version
INSTANTIATE_TEST_SUITE_P(
    EveryRow, OsDecoding,
    ::testing::Values(
        Expect{"Win95", 1, 4, 0, true, false, false, false, false, false, true, 1, 4.0},
        Expect{"Win98", 1, 4, 10, false, true, false, false, false, false, true, 2, 5.0},
        Expect{"WinMe", 1, 4, 90, false, false, false, false, false, true, false, 1, 13.0},
        Expect{"NT351", 2, 3, 51, false, false, true, false, false, false, false, 1, 8.1},
        Expect{"NT4", 2, 4, 0, false, false, false, true, false, false, false, 2, 4.0},
        Expect{"Win2000", 2, 5, 0, false, false, false, true, true, false, false, 2, 5.0},
        // Every later NT counts as the NT 4 / 2000 family, whatever the minor number.
        Expect{"WinXP", 2, 5, 1, false, false, false, true, true, false, false, 2, 5.1},
        Expect{"Win7", 2, 6, 1, false, false, false, true, true, false, false, 2, 6.1},
        Expect{"Win8", 2, 6, 2, false, false, false, true, true, false, false, 2, 6.2},
        Expect{"Win10", 2, 10, 0, false, false, false, true, true, false, false, 2, 10.0},
        Expect{"NTmajor2", 2, 2, 0, false, false, false, false, false, true, false, 1, 2.0},
        Expect{"Win32s", 0, 3, 10, false, false, false, false, false, true, false, 1, 4.0},
        Expect{"CE", 3, 4, 0, false, false, false, false, false, true, false, 1, 4.0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OsInfo, RefusedVersionCallIsAnUnknownSystem) {
    FakeSystemFacts facts;
    facts.versionAvailable = false;
    const cOSInfo os(facts);
    EXPECT_TRUE(os.isOsUnknown());
    EXPECT_FALSE(os.isWinNT4());
    EXPECT_EQ(os.interfaceUsed(), 1);
    EXPECT_FALSE(os.canRestartInDosMode());
    EXPECT_DOUBLE_EQ(os.OSVersion(), 0.0);
}

TEST(OsInfo, ReadsThePlatformRecordOnce) {
    FakeSystemFacts facts;
    facts.version = {4, 10, 2222, 1, " A "};
    const cOSInfo os(facts);
    facts.version = {10, 0, 19045, 2, ""};  // later changes are not seen
    EXPECT_TRUE(os.isWin98());
    EXPECT_FALSE(os.isWinNT4());
}

}  // namespace
