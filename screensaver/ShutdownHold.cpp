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

// Since Windows Vista session 0 holds the services and nobody signs in to it; Windows lists
// it as disconnected.
constexpr std::uint32_t kServicesSession = 0;

// Minutes from `sinceMs` to `nowMs`, to the nearest: the checks come a minute apart, give
// or take a late tick.
std::uint32_t MinutesBetween(std::uint64_t sinceMs, std::uint64_t nowMs) {
    const std::uint64_t ms = nowMs > sinceMs ? nowMs - sinceMs : 0;
    return static_cast<std::uint32_t>((ms + 30'000) / 60'000);
}

std::string SessionIds(const std::vector<SessionRecord>& sessions) {
    std::string ids;
    for (const SessionRecord& session : sessions)
        ids.append(ids.empty() ? "" : ", ").append(std::to_string(session.id));
    return ids;
}

}  // namespace

SessionsSeen OtherSignedInSessions(const std::vector<SessionRecord>& sessions,
                                   std::uint32_t ownSession) {
    SessionsSeen seen;
    for (const SessionRecord& session : sessions) {
        if (session.id == ownSession || session.id == kServicesSession ||
            !MayHaveAUser(session.state))
            continue;
        if (!session.user)
            seen.unnamed.push_back(session);
        else if (!session.user->empty())
            seen.signedIn.push_back({*session.user, session.state == hold::kDisconnected});
    }
    return seen;
}

bool EndsOtherSessions(std::int16_t shutdownType) {
    // Every stored code but log off, sleep and hibernate ends Windows (an unknown one as a
    // plain shut down). A suspended computer wakes with every session as it was.
    return shutdownType != shutdown_code::kLogOff && !shutdown_code::IsSuspend(shutdownType);
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
        reason.append("user ").append(other.user);
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
            case HoldNotice::Kind::LimitReached:
                trail.HoldLimitReached(notice.reason, notice.minutes);
                break;
            case HoldNotice::Kind::PowerUnreadable:
                trail.PowerRequestsUnreadable(notice.error);
                break;
            case HoldNotice::Kind::SessionsUnreadable:
                trail.SessionsUnreadable(notice.error);
                break;
            case HoldNotice::Kind::UserUnreadable:
                trail.SessionUserUnreadable(notice.reason);
                break;
        }
    }
}

HoldDecision ShutdownHold::Check(bool checkPowerRequests, bool checkOtherSessions,
                                 std::uint64_t nowMs) {
    HoldDecision decision;
    if (phase_ == Phase::Spent) return decision;
    auto& notices = decision.notices;
    const HeldRequests requests = checkPowerRequests ? ReadRequests(notices) : HeldRequests{};
    const std::vector<OtherSession> others =
        checkOtherSessions ? ReadOtherSessions(notices) : std::vector<OtherSession>{};
    const std::string reason = HoldReason(requests, others);

    if (reason.empty()) {
        if (phase_ == Phase::Held)
            notices.push_back(
                Told(HoldNotice::Kind::Ended, reason_, MinutesBetween(heldSinceMs_, nowMs)));
        phase_ = Phase::Free;
        reason_.clear();
        return decision;
    }
    if (!firstHeldMs_) firstHeldMs_ = nowMs;
    if (LimitReached(nowMs)) {
        notices.push_back(Told(HoldNotice::Kind::LimitReached, reason, maxMinutes_));
        phase_ = Phase::Spent;
        reason_.clear();
        return decision;
    }
    if (phase_ == Phase::Free) {
        heldSinceMs_ = nowMs;
        notices.push_back(Told(HoldNotice::Kind::Began, reason));
    } else if (reason != reason_) {
        notices.push_back(Told(HoldNotice::Kind::Changed, reason));
    }
    phase_ = Phase::Held;
    reason_ = reason;
    decision.held = true;
    decision.reason = reason;
    return decision;
}

HeldRequests ShutdownHold::ReadRequests(std::vector<HoldNotice>& notices) {
    const auto reading = facts_.ExecutionState();
    if (reading.value) return RequestsKeepingWindowsAwake(*reading.value);
    if (!powerFailureTold_) {
        powerFailureTold_ = true;
        notices.push_back(Told(HoldNotice::Kind::PowerUnreadable, {}, 0, reading.error));
    }
    return {};
}

std::vector<OtherSession> ShutdownHold::ReadOtherSessions(std::vector<HoldNotice>& notices) {
    const auto own = facts_.OwnSession();
    const auto reading = facts_.Sessions();
    if (!own || !reading.value) {
        if (!sessionsFailureTold_) {
            sessionsFailureTold_ = true;
            // Without our own session every session would look like someone else's.
            const ErrorInfo error =
                own ? reading.error
                    : ErrorInfo{0, "Somnivex", "The session of this program is not known"};
            notices.push_back(Told(HoldNotice::Kind::SessionsUnreadable, {}, 0, error));
        }
        return {};
    }
    SessionsSeen seen = OtherSignedInSessions(*reading.value, *own);
    if (!seen.unnamed.empty() && !unnamedTold_) {
        unnamedTold_ = true;
        notices.push_back(Told(HoldNotice::Kind::UserUnreadable, SessionIds(seen.unnamed)));
    }
    return std::move(seen.signedIn);
}

bool ShutdownHold::LimitReached(std::uint64_t nowMs) const {
    return maxMinutes_ > 0 && firstHeldMs_ &&
           nowMs - *firstHeldMs_ >= std::uint64_t{maxMinutes_} * 60'000;
}

std::vector<HoldNotice> ShutdownHold::RunEnds(std::uint64_t nowMs) {
    if (phase_ != Phase::Held) return {};
    phase_ = Phase::Free;
    return {Told(HoldNotice::Kind::EndedWithRun, std::exchange(reason_, {}),
                 MinutesBetween(heldSinceMs_, nowMs))};
}

}  // namespace scr
