#include "screensaver/ShutdownHold.h"

#include <utility>

#include "common/RunTrail.h"
#include "common/SSOptions.h"

namespace scr {

HeldRequests RequestsKeepingWindowsAwake(std::uint32_t executionState) {
    // The display bit, the user-present bit and the continuous flag say nothing about
    // sleep; any bit Windows may add later is left alone for the same reason.
    return {(executionState & hold::kSystemRequired) != 0,
            (executionState & hold::kAwayModeRequired) != 0};
}

namespace {

HoldNotice Told(HoldNotice::Kind kind, std::string reason = {}, std::uint32_t minutes = 0,
                ErrorInfo error = {}) {
    return {kind, std::move(reason), minutes, std::move(error)};
}

// A state in which someone may be signed in to the session. The others (listening for a
// connection, idle, being reset, down, starting) have no user's work in them.
bool MayHaveAUser(int state) {
    switch (state) {
        case hold::kActive:
        case hold::kConnected:
        case hold::kConnectQuery:
        case hold::kShadow:
        case hold::kDisconnected:
            return true;
        default:
            return false;
    }
}

// A session whose user Windows would not name still counts where it stands signed in;
// a session at the sign-in screen (connected, nobody yet) does not.
bool SignedInWhenNameless(int state) {
    return state == hold::kActive || state == hold::kShadow || state == hold::kDisconnected;
}

}  // namespace

std::vector<OtherSession> OtherSignedInSessions(const std::vector<SessionRecord>& sessions,
                                                std::uint32_t ownSession) {
    std::vector<OtherSession> others;
    for (const SessionRecord& session : sessions) {
        if (session.id == ownSession || !MayHaveAUser(session.state)) continue;
        if (session.user ? session.user->empty() : !SignedInWhenNameless(session.state)) continue;
        others.push_back({session.user, session.state == hold::kDisconnected});
    }
    return others;
}

bool EndsOtherSessions(std::int16_t shutdownType) {
    // Every stored code but log off ends Windows (an unknown one as a plain shut down).
    return shutdownType != shutdown_code::kLogOff;
}

std::string HoldReason(const HeldRequests& requests, const std::vector<OtherSession>& others) {
    std::string reason;
    if (requests.Any()) {
        reason = "a program keeps Windows awake (";
        if (requests.systemRequired) reason += "system required";
        if (requests.systemRequired && requests.awayMode) reason += ", ";
        if (requests.awayMode) reason += "away mode";
        reason += ")";
    }
    for (const OtherSession& other : others) {
        if (!reason.empty()) reason += "; ";
        if (other.user)
            reason.append("user ").append(*other.user);
        else
            reason.append("a user Windows does not name");
        reason.append(other.disconnected ? " has a disconnected session"
                                         : " has an active session");
    }
    return reason;
}

void WriteToTrail(cRunTrail& trail, const std::vector<HoldNotice>& notices) {
    for (const HoldNotice& notice : notices) {
        switch (notice.kind) {
            case HoldNotice::Kind::Began:
                trail.ShutdownHeld(notice.reason);
                break;
            case HoldNotice::Kind::Changed:
                trail.HoldReasonChanged(notice.reason);
                break;
            case HoldNotice::Kind::Ended:
                trail.HoldEnded(notice.reason, notice.minutes);
                break;
            case HoldNotice::Kind::EndedWithRun:
                trail.HoldEndedWithRun(notice.reason, notice.minutes);
                break;
            case HoldNotice::Kind::PowerUnreadable:
                trail.PowerRequestsUnreadable(notice.error);
                break;
            case HoldNotice::Kind::SessionsUnreadable:
                trail.SessionsUnreadable(notice.error);
                break;
        }
    }
}

HoldDecision ShutdownHold::Check(bool checkPowerRequests, bool checkOtherSessions,
                                 std::uint64_t nowMs) {
    HoldDecision decision;
    auto& notices = decision.notices;

    if (!checkPowerRequests) {
        requests_ = {};
    } else if (const auto reading = facts_.ExecutionState(); reading.value) {
        requests_ = RequestsKeepingWindowsAwake(*reading.value);
    } else if (!powerFailureTold_) {
        powerFailureTold_ = true;
        notices.push_back(Told(HoldNotice::Kind::PowerUnreadable, {}, 0, reading.error));
    }

    if (!checkOtherSessions) {
        others_.clear();
    } else {
        const auto own = facts_.OwnSession();
        const auto reading = facts_.Sessions();
        if (own && reading.value) {
            others_ = OtherSignedInSessions(*reading.value, *own);
        } else if (!sessionsFailureTold_) {
            sessionsFailureTold_ = true;
            // Without our own session every session would look like someone else's.
            const ErrorInfo error =
                own ? reading.error
                    : ErrorInfo{0, "Somnivex", "The session of this program is not known"};
            notices.push_back(Told(HoldNotice::Kind::SessionsUnreadable, {}, 0, error));
        }
    }

    decision.reason = HoldReason(requests_, others_);
    decision.held = !decision.reason.empty();
    if (decision.held && !held_) {
        heldSinceMs_ = nowMs;
        notices.push_back(Told(HoldNotice::Kind::Began, decision.reason));
    } else if (decision.held && decision.reason != reason_) {
        notices.push_back(Told(HoldNotice::Kind::Changed, decision.reason));
    } else if (!decision.held && held_) {
        notices.push_back(Told(HoldNotice::Kind::Ended, reason_, MinutesHeld(nowMs)));
    }
    held_ = decision.held;
    reason_ = decision.reason;
    return decision;
}

std::vector<HoldNotice> ShutdownHold::RunEnds(std::uint64_t nowMs) {
    if (!held_) return {};
    held_ = false;
    return {Told(HoldNotice::Kind::EndedWithRun, std::exchange(reason_, {}), MinutesHeld(nowMs))};
}

std::uint32_t ShutdownHold::MinutesHeld(std::uint64_t nowMs) const {
    // To the nearest minute: the checks come a minute apart, give or take a late tick.
    const std::uint64_t ms = nowMs > heldSinceMs_ ? nowMs - heldSinceMs_ : 0;
    return static_cast<std::uint32_t>((ms + 30'000) / 60'000);
}

}  // namespace scr
