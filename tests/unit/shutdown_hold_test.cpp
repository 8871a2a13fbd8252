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
        std::string unnamed = "";  // the sessions whose user is told unreadable
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
             f.sessions.push_back({10, hold::kShadow, "RDP-Tcp#10", "erin"});
         },
         true,
         true,
         "user carol has an active session; user erin has an active session",
         {Kind::Began}},
        {"sign-in screens, with and without a name to give (told), a session going down and a "
         "state Windows does not document",
         [](auto& f) {
             f.sessions.push_back({5, hold::kConnected, "RDP-Tcp#5", ""});
             f.sessions.push_back({7, hold::kConnected, "", std::nullopt});
             f.sessions.push_back({8, hold::kDown, "", "dave"});
             f.sessions.push_back({9, 42, "", "zed"});
         },
         true,
         true,
         "",
         {Kind::UserUnreadable},
         "7"},
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
        if (!decision.notices.empty() && decision.notices[0].kind == Kind::Began) {
            EXPECT_EQ(decision.notices[0].reason, c.reason);
        } else if (!decision.notices.empty()) {
            EXPECT_EQ(decision.notices[0].reason, c.unnamed);
        }
        // A switch that is off reads nothing from Windows.
        EXPECT_EQ(facts.executionStateReads, c.checkPower ? 1 : 0);
        EXPECT_EQ(facts.sessionReads, c.checkSessions ? 1 : 0);
    }
}

// A run's checks a minute apart: the hold, each change of reason and the end are told
// once; a reading that fails holds nothing, and is told once.
TEST(ShutdownHold, EachHoldChangeAndEndIsToldOnce) {
    FakeHoldFacts facts;
    scr::ShutdownHold hold(facts);
    constexpr std::uint64_t kMinute = scr::ShutdownHold::kRecheckMs;
    const std::string kSystem = "a program keeps Windows awake (system required)";
    const std::string kBob = "user bob has a disconnected session";
    const std::string kAway = "a program keeps Windows awake (away mode)";
    int download = 0;
    std::uint32_t bob = 0;
    const struct {
        std::uint64_t minute;
        std::function<void()> change;
        std::string reason;
        std::vector<Kind> notices;
    } steps[] = {
        {0, [&] { download = facts.Take(Request::System); }, kSystem, {Kind::Began}},
        {1, [] {}, kSystem, {}},
        {2, [&] { bob = facts.SignIn("bob"); }, kSystem + "; " + kBob, {Kind::Changed}},
        // Unreadable: the download no longer holds.
        {3,
         [&] { facts.refuseExecutionState = kAccessDenied; },
         kBob,
         {Kind::PowerUnreadable, Kind::Changed}},
        {4, [] {}, kBob, {}},
        {5, [&] { facts.refuseExecutionState.reset(), facts.Release(download); }, kBob, {}},
        // The hold rested on bob alone, who can no longer be seen.
        {6,
         [&] { facts.refuseSessions = kAccessDenied, facts.SignOut(bob); },
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
        if (step.minute == 3) {
            EXPECT_EQ(decision.notices[0].error.Number, 5);
        } else if (step.minute == 6) {
            EXPECT_EQ(decision.notices[1].reason, before);
            EXPECT_EQ(decision.notices[1].minutes, 6u);
        } else if (!step.notices.empty()) {
            EXPECT_EQ(decision.notices[0].reason, step.reason);
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

TEST(ShutdownHold, OnlyLoggingOffSparesOtherSessions) {
    const struct {
        std::int16_t shutdownType;
        bool endsOthers;
    } cases[] = {{0, false}, {1, true}, {2, true}, {20, true}, {7, true}, {-1, true}};
    for (const auto& c : cases)
        EXPECT_EQ(scr::EndsOtherSessions(c.shutdownType), c.endsOthers) << c.shutdownType;
}

}  // namespace
