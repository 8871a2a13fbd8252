// The hold: the shutdown waits while Windows itself would stay awake (a program holds a
// power request that keeps the system from sleeping) or while someone else is signed in
// to the computer, whose work a shutdown would end. The run asks when its wait has run
// out and again when the countdown reaches 0, and while held once a minute; each hold
// and its end are told to the run trail once. A hold has an end: after the limit an
// administrator sets, the run goes ahead whatever holds it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "screensaver/HoldFacts.h"

class cRunTrail;

namespace scr {

// The kinds of power request that keep Windows from going to sleep by itself.
struct HeldRequests {
    // Also an execution-required request: Windows reports it as this on computers with
    // the traditional sleep states.
    bool systemRequired = false;
    bool awayMode = false;

    bool Any() const { return systemRequired || awayMode; }
    bool operator==(const HeldRequests&) const = default;
};

// The requests in an execution state that count. A request that only keeps the
// display on does not: Windows still goes to sleep with it.
HeldRequests RequestsKeepingWindowsAwake(std::uint32_t executionState);

// A session that someone other than this run is signed in to.
struct OtherSession {
    std::string user;
    bool disconnected = false;  // else active

    bool operator==(const OtherSession&) const = default;
};

// What the session list tells of other people's work.
struct SessionsSeen {
    // The sessions a shutdown would end for somebody else: every session but our own and
    // the services' session 0 that a user we can name is signed in to, active or
    // disconnected. Listeners and sessions at the sign-in screen have nobody's work in them.
    std::vector<OtherSession> signedIn;
    // Sessions someone may be signed in to whose user Windows would not name (a standard
    // user may not read other users' sessions). They never hold the shutdown: a fact that
    // cannot be read would otherwise keep the computer on for good.
    std::vector<SessionRecord> unnamed;
};

SessionsSeen OtherSignedInSessions(const std::vector<SessionRecord>& sessions,
                                   std::uint32_t ownSession);

// Whether the end the user chose reaches other people's sessions at all: logging off
// ends our own session only.
bool EndsOtherSessions(std::int16_t shutdownType);

// The reason for a hold in words ("a program keeps Windows awake (system required)",
// "user bob has a disconnected session"); "" when nothing holds.
std::string HoldReason(const HeldRequests& requests, const std::vector<OtherSession>& others);

// What the run trail records about the hold; each comes once.
struct HoldNotice {
    enum class Kind {
        Began,               // reason: why the shutdown is held
        Changed,             // reason: the new reason; the hold goes on
        Ended,               // reason: the last reason; minutes: how long it held
        EndedWithRun,        // the run ended during the hold; as Ended
        LimitReached,        // reason: what still holds; minutes: the limit
        PowerUnreadable,     // error: the power requests could not be read
        SessionsUnreadable,  // error: the sessions could not be read
        UserUnreadable,      // reason: the sessions whose user has no name ("3, 5")
    };
    Kind kind;
    std::string reason;
    std::uint32_t minutes = 0;
    ErrorInfo error;
};

// Writes each notice to the run trail, in order.
void WriteToTrail(cRunTrail& trail, const std::vector<HoldNotice>& notices);

struct HoldDecision {
    bool held = false;
    std::string reason;  // "" when not held
    std::vector<HoldNotice> notices;
};

class ShutdownHold {
  public:
    // How often a held run looks again.
    static constexpr std::uint32_t kRecheckMs = 60'000;

    // `maxMinutes`: how long after the run's first hold the shutdown goes ahead whatever
    // holds it; 0 for no limit.
    explicit ShutdownHold(IHoldFacts& facts, std::uint32_t maxMinutes = 0)
        : facts_(facts), maxMinutes_(maxMinutes) {}

    // Reads what the two switches ask for and decides whether the shutdown is held now.
    // `nowMs` is the steady clock. A fact that cannot be read holds nothing, so a query
    // that fails for good can never keep the computer on: it does not begin a hold, and
    // a hold that rested on it ends. Each kind of failure is told once per run. Once the
    // limit is reached nothing holds the run again, and Windows is no longer asked.
    HoldDecision Check(bool checkPowerRequests, bool checkOtherSessions, std::uint64_t nowMs);
    // The run ends (the user came back): a hold still in force ends with it.
    std::vector<HoldNotice> RunEnds(std::uint64_t nowMs);
    bool Held() const { return phase_ == Phase::Held; }

  private:
    enum class Phase {
        Free,   // nothing holds the shutdown, yet or again
        Held,   // reason_ holds it since heldSinceMs_
        Spent,  // the limit was reached: nothing holds this run any more
    };

    HeldRequests ReadRequests(std::vector<HoldNotice>& notices);
    std::vector<OtherSession> ReadOtherSessions(std::vector<HoldNotice>& notices);
    bool LimitReached(std::uint64_t nowMs) const;

    IHoldFacts& facts_;
    const std::uint32_t maxMinutes_;
    Phase phase_ = Phase::Free;
    std::string reason_;
    std::uint64_t heldSinceMs_ = 0;
    // The limit counts from the run's first hold, through any pause between holds.
    std::optional<std::uint64_t> firstHeldMs_;
    bool powerFailureTold_ = false;
    bool sessionsFailureTold_ = false;
    bool unnamedTold_ = false;
};

}  // namespace scr
