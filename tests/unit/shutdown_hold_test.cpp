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
    const struct {
        const char* what;
        std::function<void(FakeHoldFacts&)> change;
        bool checkPower, checkSessions;
        std::string reason;  // "" when not held
        std::vector<Kind> notices;
    } cases[] = {
        {"anna alone, nothing requested", [](auto&) {}, true, true, "", {}},
        {"a video keeps the display on",
         [](auto& f) { f.Take(Request::Display); },
         true,
         true,
         "",
         {}},
        {"display, user present and continuous bits (what Wine reports is the middle one)",
         [](auto& f) {
             f.extraStateBits = hold::kDisplayRequired | hold::kUserPresent | hold::kContinuous;
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
        {"a render asking to keep running",
         [](auto& f) { f.Take(Request::Execution); },
         true,
         true,
         kSystem,
         {Kind::Began}},
        {"a recording in away mode",
         [](auto& f) { f.Take(Request::AwayMode); },
         true,
         true,
         "a program keeps Windows awake (away mode)",
         {Kind::Began}},
        {"both kinds",
         [](auto& f) {
             f.Take(Request::AwayMode);
             f.Take(Request::System);
         },
         true,
         true,
         "a program keeps Windows awake (system required, away mode)",
         {Kind::Began}},
        {"a download, power requests not checked",
         [](auto& f) { f.Take(Request::System); },
         false,
         true,
         "",
         {}},
        {"bob switched users and left his session",
         [](auto& f) { f.SignIn("bob"); },
         true,
         true,
         "user bob has a disconnected session",
         {Kind::Began}},
        {"carol works remotely",
         [](auto& f) { f.SignIn("carol", hold::kActive); },
         true,
         true,
         "user carol has an active session",
         {Kind::Began}},
        {"bob signed in, sessions not checked",
         [](auto& f) { f.SignIn("bob"); },
         true,
         false,
         "",
         {}},
        {"the sign-in screen of a new connection",
         [](auto& f) {
             f.sessions.push_back({5, hold::kConnected, "RDP-Tcp#5", ""});
         },
         true,
         true,
         "",
         {}},
        {"a signed-in session whose user Windows does not name",
         [](auto& f) {
             f.sessions.push_back({6, hold::kDisconnected, "", std::nullopt});
         },
         true,
         true,
         "a user Windows does not name has a disconnected session",
         {Kind::Began}},
        {"a nameless session at the sign-in screen",
         [](auto& f) {
             f.sessions.push_back({7, hold::kConnected, "", std::nullopt});
         },
         true,
         true,
         "",
         {}},
        {"a session going down, and a state Windows does not document",
         [](auto& f) {
             f.sessions.push_back({8, hold::kDown, "", "dave"});
             f.sessions.push_back({9, 42, "", "zed"});
         },
         true,
         true,
         "",
         {}},
        {"erin shadows another session",
         [](auto& f) {
             f.sessions.push_back({10, hold::kShadow, "RDP-Tcp#10", "erin"});
         },
         true,
         true,
         "user erin has an active session",
         {Kind::Began}},
        {"anna runs this remotely while her console session stays signed in",
         [](auto& f) { f.ownSession = f.SignIn("anna", hold::kActive); },
         true,
         true,
         "user anna has an active session",
         {Kind::Began}},
        {"a download while bob is signed in",
         [](auto& f) {
             f.SignIn("bob");
             f.Take(Request::System);
         },
         true,
         true,
         kSystem + "; user bob has a disconnected session",
         {Kind::Began}},
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
        {"both unreadable, neither checked: nothing read, nothing told",
         [](auto& f) { f.refuseExecutionState = f.refuseSessions = kAccessDenied; },
         false,
         false,
         "",
         {}},
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
        }
        // A switch that is off reads nothing from Windows.
        EXPECT_EQ(facts.executionStateReads, c.checkPower ? 1 : 0);
        EXPECT_EQ(facts.sessionReads, c.checkSessions ? 1 : 0);
    }
}

// A run's checks a minute apart: the hold, each change of reason and the end are told
// once; a reading that fails keeps the last one and is told once.
TEST(ShutdownHold, EachHoldChangeAndEndIsToldOnce) {
    FakeHoldFacts facts;
    scr::ShutdownHold hold(facts);
    constexpr std::uint64_t kMinute = scr::ShutdownHold::kRecheckMs;
    const std::string kSystem = "a program keeps Windows awake (system required)";
    const std::string kBob = "user bob has a disconnected session";
    int download = 0, recording = 0;
    std::uint32_t bob = 0;
    const struct {
        std::uint64_t minute;
        std::function<void()> change;
        std::string reason;
        std::vector<Kind> notices;
        std::string noticeReason;
        std::uint32_t minutes;
    } steps[] = {
        {0, [&] { download = facts.Take(Request::System); }, kSystem, {Kind::Began}, kSystem, 0},
        {1, [] {}, kSystem, {}, "", 0},
        {2,
         [&] { bob = facts.SignIn("bob"); },
         kSystem + "; " + kBob,
         {Kind::Changed},
         kSystem + "; " + kBob,
         0},
        // Unreadable: the last reading of the requests stands.
        {3,
         [&] { facts.refuseExecutionState = kAccessDenied; },
         kSystem + "; " + kBob,
         {Kind::PowerUnreadable},
         "",
         0},
        {4, [] {}, kSystem + "; " + kBob, {}, "", 0},
        {5,
         [&] {
             facts.refuseExecutionState.reset();
             facts.Release(download);
         },
         kBob,
         {Kind::Changed},
         kBob,
         0},
        {6, [&] { facts.SignOut(bob); }, "", {Kind::Ended}, kBob, 6},
        {7, [] {}, "", {}, "", 0},
        {8,
         [&] { recording = facts.Take(Request::AwayMode); },
         "a program keeps Windows awake (away mode)",
         {Kind::Began},
         "a program keeps Windows awake (away mode)",
         0},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.minute);
        step.change();
        const auto decision = hold.Check(true, true, step.minute * kMinute);
        EXPECT_EQ(decision.reason, step.reason);
        ASSERT_EQ(Kinds(decision.notices), step.notices);
        if (!step.notices.empty() && step.notices[0] != Kind::PowerUnreadable) {
            EXPECT_EQ(decision.notices[0].reason, step.noticeReason);
            EXPECT_EQ(decision.notices[0].minutes, step.minutes);
        }
        if (step.notices == std::vector<Kind>{Kind::PowerUnreadable}) {
            EXPECT_EQ(decision.notices[0].error.Number, 5);
        }
    }
    // The user comes back two minutes (and a late tick) into the second hold.
    const auto ended = hold.RunEnds(10 * kMinute + 20'000);
    ASSERT_EQ(Kinds(ended), std::vector<Kind>{Kind::EndedWithRun});
    EXPECT_EQ(ended[0].reason, "a program keeps Windows awake (away mode)");
    EXPECT_EQ(ended[0].minutes, 2u);
    EXPECT_FALSE(hold.Held());
    EXPECT_TRUE(hold.RunEnds(11 * kMinute).empty());
    facts.Release(recording);
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
