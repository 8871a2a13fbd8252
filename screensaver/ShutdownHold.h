// The hold: the shutdown waits while Windows itself would stay awake (a program holds a
// power request that keeps the system from sleeping) or while someone else is signed in
// to the computer, whose work a shutdown would end. The run asks when its wait has run
// out and again when the countdown reaches 0, and while held once a minute; each hold
// and its end are told to the run trail once.
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
    std::optional<std::string> user;  // nullopt: Windows would not give the name
    bool disconnected = false;        // else active

    bool operator==(const OtherSession&) const = default;
};

// The sessions a shutdown would end for somebody else: every session but our own that a
// user is signed in to, active or disconnected. Listeners, the services' session and
// sessions at the sign-in screen have nobody's work in them.
std::vector<OtherSession> OtherSignedInSessions(const std::vector<SessionRecord>& sessions,
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
        PowerUnreadable,     // error: the power requests could not be read
        SessionsUnreadable,  // error: the sessions could not be read
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

    explicit ShutdownHold(IHoldFacts& facts) : facts_(facts) {}

    // Reads what the two switches ask for and decides whether the shutdown is held now.
    // `nowMs` is the steady clock. A fact that cannot be read keeps its last reading (none
    // at first), so a failing query neither begins a hold nor ends one; the failure is
    // told once per run.
    HoldDecision Check(bool checkPowerRequests, bool checkOtherSessions, std::uint64_t nowMs);
    // The run ends (the user came back): a hold still in force ends with it.
    std::vector<HoldNotice> RunEnds(std::uint64_t nowMs);
    bool Held() const { return held_; }

  private:
    std::uint32_t MinutesHeld(std::uint64_t nowMs) const;

    IHoldFacts& facts_;
    HeldRequests requests_;
    std::vector<OtherSession> others_;
    bool held_ = false;
    std::string reason_;
    std::uint64_t heldSinceMs_ = 0;
    bool powerFailureTold_ = false;
    bool sessionsFailureTold_ = false;
};

}  // namespace scr
