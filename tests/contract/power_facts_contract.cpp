// Windows' own idle timers: properties every implementation must have, checked against the
// in-memory PC on Linux and against the real system under Wine, which keeps no power plan.
// What the system reports goes to the test's output, for the record.
#include <gtest/gtest.h>

#include <iostream>

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

TEST(PowerFactsContract, ScreenSavingSwitchesAndTheFolderIsTheSystemOne) {
#ifdef _WIN32
    const auto facts = NewWin32PowerFacts();
#else
    FakeRegistry registry;
    const auto facts = std::make_unique<FakePowerFacts>(registry);
#endif
    const auto before = facts->ScreenSaverActive();
    const auto wait = facts->ScreenSaverTimeout();
    ASSERT_TRUE(before.has_value() && wait.has_value());
    EXPECT_GT(*wait, 0u);
    for (const bool active : {!*before, *before}) {
        ASSERT_TRUE(facts->SetScreenSaverActive(active));
        EXPECT_EQ(facts->ScreenSaverActive(), active);
    }
    // A 64-bit program is no 32-bit one on 64-bit Windows: its folder is System32.
    if (sizeof(void*) == 8) {
        EXPECT_EQ(facts->ScreenSaverFolder(), PlatformSystemFacts().SystemDirectory());
    }

    const auto can = facts->Capabilities();
    const auto plan = facts->ActivePlan();
    std::cout << "wait " << *wait << " s; Modern Standby "
              << (can ? std::to_string(can->aoAc) : "unknown") << "; sleep after "
              << (plan && plan->sleep.ac ? std::to_string(*plan->sleep.ac) + " s" : "unknown")
              << '\n';
    // A plan that can be read at all holds the sleep timeout on mains power.
    if (plan) {
        EXPECT_TRUE(plan->sleep.ac.has_value());
    }
}

}  // namespace
