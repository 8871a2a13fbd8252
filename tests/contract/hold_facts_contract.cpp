// The hold's facts: properties every implementation must have, checked against the
// in-memory computer on Linux and against the real system under Wine. What the system
// reports goes to the test's output, for the record.
#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <set>

#include "screensaver/ShutdownHold.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/Win32HoldFacts.h"
#include "platform/win32/Win32Platform.h"
std::unique_ptr<IHoldFacts> MakeHoldFacts() {
    return NewWin32HoldFacts();
}
using PlatformSystemFacts = Win32SystemFacts;
#else
#include "platform/fake/FakeHoldFacts.h"
#include "platform/fake/FakePlatform.h"
std::unique_ptr<IHoldFacts> MakeHoldFacts() {
    return std::make_unique<FakeHoldFacts>();
}
using PlatformSystemFacts = FakeSystemFacts;
#endif

namespace {

bool RunsUnderWine() {
#ifdef _WIN32
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
#else
    return false;
#endif
}

TEST(HoldFactsContract, ExecutionStateAnswersWithoutPrivileges) {
    const auto facts = MakeHoldFacts();
    const auto reading = facts->ExecutionState();
    ASSERT_TRUE(reading.value.has_value())
        << reading.error.Number << " " << reading.error.Description;
    std::cout << "execution state: 0x" << std::hex << *reading.value << std::dec << '\n';
    // The loaded DLL stays for the next check, which answers the same way.
    EXPECT_TRUE(facts->ExecutionState().value.has_value());
}

// Windows lists the session a program runs in, active, under the program's user. Wine 8
// lists no session at all.
TEST(HoldFactsContract, SessionListHoldsOurOwnSessionActiveUnderOurName) {
    const auto facts = MakeHoldFacts();
    PlatformSystemFacts system;
    const auto own = facts->OwnSession();
    ASSERT_TRUE(own.has_value());
    std::cout << "own session: " << *own << '\n';
    const auto reading = facts->Sessions();
    ASSERT_TRUE(reading.value.has_value())
        << reading.error.Number << " " << reading.error.Description;
    std::cout << "sessions listed: " << reading.value->size() << '\n';
    std::set<std::uint32_t> ids;
    int ours = 0;
    for (const SessionRecord& session : *reading.value) {
        std::cout << "session " << session.id << " '" << session.station << "' state "
                  << session.state << " user "
                  << (session.user ? "'" + *session.user + "'" : std::string("unknown"))
                  << (session.id == *own ? " (ours)" : "") << '\n';
        EXPECT_TRUE(ids.insert(session.id).second) << "session " << session.id << " twice";
        if (session.id != *own) continue;
        ++ours;
        EXPECT_EQ(session.state, hold::kActive);
        EXPECT_EQ(session.user, system.UserName());
    }
    EXPECT_LE(ours, 1);
    if (!RunsUnderWine()) {
        EXPECT_EQ(ours, 1);
    }
    // The session rules never count our own session, whoever else is signed in.
    for (const auto& other : scr::OtherSignedInSessions(*reading.value, *own).signedIn)
        std::cout << "other session: " << other.user
                  << (other.disconnected ? ", disconnected" : ", active") << '\n';
    const auto second = facts->Sessions();
    ASSERT_TRUE(second.value.has_value());
    EXPECT_EQ(second.value->size(), reading.value->size());
}

TEST(HoldFactsContract, CheckReadsBothFactsWithoutAFailure) {
    const auto facts = MakeHoldFacts();
    scr::ShutdownHold hold(*facts);
    for (int check = 0; check < 2; ++check) {
        const scr::HoldDecision decision = hold.Check(true, true, check * 60'000u);
        for (const scr::HoldNotice& notice : decision.notices) {
            EXPECT_NE(notice.kind, scr::HoldNotice::Kind::PowerUnreadable)
                << notice.error.Description;
            EXPECT_NE(notice.kind, scr::HoldNotice::Kind::SessionsUnreadable)
                << notice.error.Description;
            EXPECT_NE(notice.kind, scr::HoldNotice::Kind::UserUnreadable) << notice.reason;
        }
        EXPECT_EQ(decision.held, !decision.reason.empty());
        if (check == 0)
            std::cout << (decision.held ? "held: " + decision.reason : "not held") << '\n';
    }
}

}  // namespace
