#include "platform/fake/FakeHoldFacts.h"

#include <string>

FakeHoldFacts::FakeHoldFacts()
    : sessions{{0, hold::kDisconnected, "Services", ""},
               {1, hold::kActive, "Console", "anna"},
               {65536, hold::kListen, "RDP-Tcp", std::nullopt}} {}

SystemReading<std::uint32_t> FakeHoldFacts::ExecutionState() {
    ++executionStateReads;
    if (refuseExecutionState) return {std::nullopt, *refuseExecutionState};
    // The system sums up every request of every program. On a computer with the
    // traditional sleep states an execution-required request keeps the system awake
    // and shows as system required.
    std::uint32_t state = extraStateBits;
    for (const auto& [handle, request] : requests_) {
        switch (request) {
            case Request::Display:
                state |= hold::kDisplayRequired;
                break;
            case Request::System:
            case Request::Execution:
                state |= hold::kSystemRequired;
                break;
            case Request::AwayMode:
                state |= hold::kAwayModeRequired;
                break;
        }
    }
    return {state, {}};
}

SystemReading<std::vector<SessionRecord>> FakeHoldFacts::Sessions() {
    ++sessionReads;
    if (refuseSessions) return {std::nullopt, *refuseSessions};
    std::vector<SessionRecord> listed = sessions;
    if (refuseOtherUsers)
        for (SessionRecord& session : listed)
            if (session.id != ownSession) session.user.reset();
    return {std::move(listed), {}};
}

int FakeHoldFacts::Take(Request request) {
    requests_[nextHandle_] = request;
    return nextHandle_++;
}

void FakeHoldFacts::Release(int handle) {
    requests_.erase(handle);
}

std::uint32_t FakeHoldFacts::SignIn(const std::string& user, int state) {
    const std::uint32_t id = nextSession_++;
    sessions.push_back(
        {id, state, state == hold::kActive ? "RDP-Tcp#" + std::to_string(id) : "", user});
    return id;
}

void FakeHoldFacts::SignOut(std::uint32_t session) {
    std::erase_if(sessions, [&](const SessionRecord& s) { return s.id == session; });
}
