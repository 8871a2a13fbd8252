// The hold: which power requests and which sessions keep the shutdown back, the reason
// the run trail gets, and that each hold, change and end is told once.
#include <gtest/gtest.h>

#include <functional>

#include "platform/fake/FakeHoldFacts.h"
#include "screensaver/ShutdownHold.h"

namespace {

using Kind = scr::HoldNotice::Kind;
using Request = FakeHoldFacts::Request;

std::vector<Kind> Kinds(const std::vector<scr::HoldNotice>& notices) {
    std::vector<Kind> kinds;
    for (const auto& notice : notices) kinds.push_back(notice.kind);
    return kinds;
}

const ErrorInfo kAccessDenied{5, "WTSEnumerateSessionsW", "Access is denied."};

// One check of a fresh run on anna's computer (session 1 at the console, the services'
// session 0, the remote-desktop listener), after `change`.
TEST(ShutdownHold, WhatHoldsTheShutdownAndWhy) {
    const std::string kSystem = "a program keeps Windows awake (system required)";
    const std::string kBob = "user bob has a disconnected session";
    const auto downloadAndBob = [](FakeHoldFacts& f) {
        f.Take(Request::System);
        f.SignIn("bob");
    };
    const struct {
        const char* what;
        std::function<void(FakeHoldFacts&)> change;
        bool checkPower, checkSessions;
        std::string reason;  // "" when not held
        std::vector<Kind> notices;
        std::string unnamed = "";  // the sessions told as unnamed
    } cases[] = {
        {"anna alone, nothing requested", [](auto&) {}, true, true, "", {}},
        // Wine reports the user-present bit.
        {"a video keeps the display on; user-present and continuous bits",
         [](auto& f) {
             f.Take(Request::Display);
             f.extraStateBits = hold::kUserPresent | hold::kContinuous;
         },
         true,
         true,
         "",
         {}},
        {"a download",
         [](auto& f) { f.Take(Request::System); },
         true,
         true,
         kSystem,
         {Kind::Began}},
        {"a download and a recording in away mode",
         [](auto& f) {
             f.Take(Request::AwayMode);
             f.Take(Request::System);
         },
         true,
         true,
         "a program keeps Windows awake (system required, away mode)",
         {Kind::Began}},
        {"bob switched users and left his session",
         [](auto& f) { f.SignIn("bob"); },
         true,
         true,
         kBob,
         {Kind::Began}},
        {"carol works remotely, erin shadows another session",
         [](auto& f) {
             f.SignIn("carol", hold::kActive);
             f.sessions.push_back({10, hold::kShadow, "RDP-Tcp#10", "erin", {}});
         },
         true,
         true,
         "user carol has an active session; user erin has an active session",
         {Kind::Began}},
        {"a sign-in screen, a session going down and a state Windows does not document",
         [](auto& f) {
             f.sessions.push_back({5, hold::kConnected, "RDP-Tcp#5", "", {}});
             f.sessions.push_back({8, hold::kDown, "", "dave", {}});
             f.sessions.push_back({9, 42, "", "zed", {}});
         },
         true,
         true,
         "",
         {}},
        {"the services' session 0, whatever Windows says of its user",
         [](auto& f) {
             f.sessions[0].user = "SYSTEM";
             f.sessions[0].state = hold::kActive;
         },
         true,
         true,
         "",
         {}},
        {"sessions whose user Windows does not name never hold, and are told",
         [](auto& f) {
             f.sessions.push_back({6, hold::kDisconnected, "", std::nullopt, kAccessDenied});
             f.sessions.push_back({7, hold::kConnected, "", std::nullopt, kAccessDenied});
         },
         true,
         true,
         "",
         {Kind::UserUnreadable},
         "6, 7"},
        {"a user who may not read other sessions: bob's is unnamed, session 0 not told",
         [](auto& f) {
             f.SignIn("bob");
             f.refuseOtherUsers = kAccessDenied;
         },
         true,
         true,
         "",
         {Kind::UserUnreadable},
         "2"},
        {"the same with a download: the download holds",
         [](auto& f) {
             f.SignIn("bob");
             f.refuseOtherUsers = kAccessDenied;
             f.Take(Request::System);
         },
         true,
         true,
         kSystem,
         {Kind::UserUnreadable, Kind::Began},
         "2"},
        {"anna runs this remotely while her console session stays signed in",
         [](auto& f) { f.ownSession = f.SignIn("anna", hold::kActive); },
         true,
         true,
         "user anna has an active session",
         {Kind::Began}},
        {"a download while bob is signed in",
         downloadAndBob,
         true,
         true,
         kSystem + "; " + kBob,
         {Kind::Began}},
        {"the same, power requests not checked", downloadAndBob, false, true, kBob, {Kind::Began}},
        {"the same, sessions not checked", downloadAndBob, true, false, kSystem, {Kind::Began}},
        {"the same, neither checked", downloadAndBob, false, false, "", {}},
        {"power requests unreadable: no hold, told",
         [](auto& f) {
             f.Take(Request::System);
             f.refuseExecutionState = ErrorInfo{5, "CallNtPowerInformation", "Access is denied."};
         },
         true,
         true,
         "",
         {Kind::PowerUnreadable}},
        {"sessions unreadable: no hold, told",
         [](auto& f) {
             f.SignIn("bob");
             f.refuseSessions = kAccessDenied;
         },
         true,
         true,
         "",
         {Kind::SessionsUnreadable}},
        {"own session unknown: every session would look like someone else's",
         [](auto& f) { f.ownSession.reset(); },
         true,
         true,
         "",
         {Kind::SessionsUnreadable}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeHoldFacts facts;
        c.change(facts);
        scr::ShutdownHold hold(facts);
        const scr::HoldDecision decision = hold.Check(c.checkPower, c.checkSessions, 0);
        EXPECT_EQ(decision.reason, c.reason);
        EXPECT_EQ(decision.held, !c.reason.empty());
        EXPECT_EQ(hold.Held(), decision.held);
        EXPECT_EQ(Kinds(decision.notices), c.notices);
        for (const auto& notice : decision.notices) {
            if (notice.kind == Kind::Began) EXPECT_EQ(notice.reason, c.reason);
            if (notice.kind == Kind::UserUnreadable) {
                EXPECT_EQ(notice.reason, c.unnamed);
                EXPECT_EQ(notice.error.Number, kAccessDenied.Number);
            }
        }
        // A switch that is off reads nothing from Windows.
        EXPECT_EQ(facts.executionStateReads, c.checkPower ? 1 : 0);
        EXPECT_EQ(facts.sessionReads, c.checkSessions ? 1 : 0);
    }
}

// A run's checks a minute apart: the hold, each change of reason and the end are told
// once; a reading that fails holds nothing from then on, and is told once.
TEST(ShutdownHold, EachHoldChangeAndEndIsToldOnce) {
    FakeHoldFacts facts;
    scr::ShutdownHold hold(facts);
    constexpr std::uint64_t kMinute = scr::ShutdownHold::kRecheckMs;
    const std::string kSystem = "a program keeps Windows awake (system required)";
    const std::string kBob = "user bob has a disconnected session";
    const std::string kAway = "a program keeps Windows awake (away mode)";
    int download = 0;
    const struct {
        std::uint64_t minute;
        std::function<void()> change;
        std::string reason;
        std::vector<Kind> notices;
    } steps[] = {
        {0, [&] { download = facts.Take(Request::System); }, kSystem, {Kind::Began}},
        {1, [] {}, kSystem, {}},
        {2, [&] { facts.SignIn("bob"); }, kSystem + "; " + kBob, {Kind::Changed}},
        // Unreadable: the download no longer counts, bob still holds.
        {3,
         [&] { facts.refuseExecutionState = kAccessDenied; },
         kBob,
         {Kind::PowerUnreadable, Kind::Changed}},
        {4, [] {}, kBob, {}},
        {5, [&] { facts.refuseExecutionState.reset(), facts.Release(download); }, kBob, {}},
        // The hold rested on the sessions alone: it ends when they cannot be read.
        {6,
         [&] { facts.refuseSessions = kAccessDenied; },
         "",
         {Kind::SessionsUnreadable, Kind::Ended}},
        {7, [] {}, "", {}},
        {8, [&] { facts.Take(Request::AwayMode); }, kAway, {Kind::Began}},
    };
    std::string before;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.minute);
        step.change();
        const auto decision = hold.Check(true, true, step.minute * kMinute);
        EXPECT_EQ(decision.reason, step.reason);
        ASSERT_EQ(Kinds(decision.notices), step.notices);
        for (const auto& notice : decision.notices) {
            if (notice.kind == Kind::PowerUnreadable || notice.kind == Kind::SessionsUnreadable) {
                EXPECT_EQ(notice.error.Number, 5);
            } else if (notice.kind == Kind::Ended) {
                EXPECT_EQ(notice.reason, before);
                EXPECT_EQ(notice.minutes, 6u);
            } else {
                EXPECT_EQ(notice.reason, step.reason);
            }
        }
        before = decision.reason;
    }
    // The user comes back two minutes (and a late tick) into the second hold.
    const auto ended = hold.RunEnds(10 * kMinute + 20'000);
    ASSERT_EQ(Kinds(ended), std::vector<Kind>{Kind::EndedWithRun});
    EXPECT_EQ(ended[0].reason, kAway);
    EXPECT_EQ(ended[0].minutes, 2u);
    EXPECT_FALSE(hold.Held());
    EXPECT_TRUE(hold.RunEnds(11 * kMinute).empty());
}

// The limit counts from the run's first hold, through a pause between holds; once it is
// reached nothing holds the run again and Windows is not asked.
TEST(ShutdownHold, AHoldEndsAtItsLimitForTheRestOfTheRun) {
    constexpr std::uint64_t kMinute = scr::ShutdownHold::kRecheckMs;
    const std::string kSystem = "a program keeps Windows awake (system required)";
    FakeHoldFacts facts;
    scr::ShutdownHold hold(facts, 10);
    int download = facts.Take(Request::System);
    const struct {
        std::uint64_t ms;
        std::function<void()> change;
        bool held;
        std::vector<Kind> notices;
        std::uint64_t nextCheck;  // when held
    } steps[] = {
        {0, [] {}, true, {Kind::Began}, kMinute},
        {4 * kMinute, [&] { facts.Release(download); }, false, {Kind::Ended}, 0},
        // A second hold 30 s short of the limit checks again when the limit runs out.
        {9 * kMinute + 30'000,
         [&] { download = facts.Take(Request::System); },
         true,
         {Kind::Began},
         10 * kMinute},
        {10 * kMinute, [] {}, false, {Kind::LimitReached}, 0},
        {11 * kMinute, [&] { facts.SignIn("bob"); }, false, {}, 0},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.ms);
        step.change();
        const int reads = facts.executionStateReads;
        const auto decision = hold.Check(true, true, step.ms);
        EXPECT_EQ(decision.held, step.held);
        ASSERT_EQ(Kinds(decision.notices), step.notices);
        if (step.held) EXPECT_EQ(hold.NextCheckAt(step.ms), step.nextCheck);
        if (step.notices == std::vector<Kind>{Kind::LimitReached}) {
            EXPECT_EQ(decision.notices[0].reason, kSystem);
            EXPECT_EQ(decision.notices[0].minutes, 10u);
        }
        EXPECT_EQ(facts.executionStateReads - reads, step.ms > 10 * kMinute ? 0 : 1);
    }
    EXPECT_TRUE(hold.RunEnds(12 * kMinute).empty());

    // Without a limit the same request holds on.
    FakeHoldFacts forever;
    forever.Take(Request::System);
    scr::ShutdownHold unlimited(forever, 0);
    EXPECT_TRUE(unlimited.Check(true, true, 0).held);
    EXPECT_TRUE(unlimited.Check(true, true, 100'000 * kMinute).held);
    EXPECT_EQ(unlimited.NextCheckAt(100'000 * kMinute), 100'001 * kMinute);
}

TEST(ShutdownHold, OnlyLoggingOffSparesOtherSessions) {
    const struct {
        std::int16_t shutdownType;
        bool endsOthers;
    } cases[] = {{0, false}, {1, true}, {2, true}, {20, true}, {7, true}, {-1, true}};
    for (const auto& c : cases)
        EXPECT_EQ(scr::EndsOtherSessions(c.shutdownType), c.endsOthers) << c.shutdownType;
}

}  // namespace
