// Windows' own idle timers: properties every implementation must have, checked against the
// in-memory PC on Linux and against the real system under Wine. What the system reports
// goes to the test's output, for the record (Wine keeps no power plan).
#include <gtest/gtest.h>

#include <iostream>
#include <memory>

#include "common/PowerFacts.h"

#ifdef _WIN32
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32PowerFacts.h"
using PlatformSystemFacts = Win32SystemFacts;
#else
#include "platform/fake/FakePlatform.h"
#include "platform/fake/FakePowerFacts.h"
using PlatformSystemFacts = FakeSystemFacts;
#endif

namespace {

#ifndef _WIN32
FakeRegistry registry;
#endif

std::unique_ptr<IPowerFacts> MakePowerFacts() {
#ifdef _WIN32
    return NewWin32PowerFacts();
#else
    return std::make_unique<FakePowerFacts>(registry);
#endif
}

std::string Seconds(const std::optional<std::uint32_t>& value) {
    return value ? std::to_string(*value) + " s" : "unknown";
}

TEST(PowerFactsContract, ScreenSavingSwitchesOffAndOnAndSaysSo) {
    const auto facts = MakePowerFacts();
    const auto before = facts->ScreenSaverActive();
    ASSERT_TRUE(before.has_value());
    const auto timeout = facts->ScreenSaverTimeout();
    ASSERT_TRUE(timeout.has_value());
    std::cout << "screen saving " << (*before ? "on" : "off") << ", wait " << Seconds(timeout)
              << '\n';
    EXPECT_GT(*timeout, 0u);
    for (const bool active : {!*before, *before}) {
        ASSERT_TRUE(facts->SetScreenSaverActive(active));
        EXPECT_EQ(facts->ScreenSaverActive(), active);
    }
}

TEST(PowerFactsContract, ScreenSaversAreListedFromTheSystemFolder) {
    const auto facts = MakePowerFacts();
    PlatformSystemFacts system;
    const std::string folder = facts->ScreenSaverFolder();
    std::cout << "screen saver folder: " << folder << '\n';
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '\\');
    // A 64-bit program (and this test) is no 32-bit program on 64-bit Windows.
    if (sizeof(void*) == 8) {
        EXPECT_EQ(folder, system.SystemDirectory());
    }
}

TEST(PowerFactsContract, CapabilitiesAndThePlanAreReadOrUnknown) {
    const auto facts = MakePowerFacts();
    if (const auto can = facts->Capabilities()) {
        std::cout << "S1 " << can->systemS1 << " S2 " << can->systemS2 << " S3 " << can->systemS3
                  << " S4 " << can->systemS4 << " hiberfile " << can->hiberFilePresent << " AoAc "
                  << can->aoAc << " batteries " << can->systemBatteriesPresent << '\n';
    } else {
        std::cout << "capabilities: unknown\n";
    }
    const auto plan = facts->ActivePlan();
    if (!plan) {
        std::cout << "power plan: unknown\n";
        return;
    }
    std::cout << "sleep " << Seconds(plan->sleep.ac) << " / " << Seconds(plan->sleep.dc)
              << ", display " << Seconds(plan->display.ac) << " / " << Seconds(plan->display.dc)
              << ", hibernate " << Seconds(plan->hibernate.ac) << " / "
              << Seconds(plan->hibernate.dc) << '\n';
    // A plan that can be read at all holds the three settings on mains power.
    EXPECT_TRUE(plan->sleep.ac && plan->display.ac && plan->hibernate.ac);
    // The reading is the same twice.
    const auto again = facts->ActivePlan();
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(again->sleep.ac, plan->sleep.ac);
}

}  // namespace
