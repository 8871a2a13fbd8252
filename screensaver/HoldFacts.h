// What the screen saver asks Windows before it shuts the computer down: whether a
// program holds a power request, and who else is signed in. The answers come in
// Windows' own codes, so the rules that read them stay in portable code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/RaisedError.h"

namespace hold {

// Bits of the system's execution state (EXECUTION_STATE).
constexpr std::uint32_t kSystemRequired = 0x00000001;
constexpr std::uint32_t kDisplayRequired = 0x00000002;
constexpr std::uint32_t kUserPresent = 0x00000004;
constexpr std::uint32_t kAwayModeRequired = 0x00000040;
constexpr std::uint32_t kContinuous = 0x80000000;

// A session's connection state (WTS_CONNECTSTATE_CLASS).
enum ConnectState : int {
    kActive = 0,
    kConnected = 1,
    kConnectQuery = 2,
    kShadow = 3,
    kDisconnected = 4,
    kIdle = 5,
    kListen = 6,
    kReset = 7,
    kDown = 8,
    kInit = 9,
};

}  // namespace hold

// One session of this computer, as the session list gives it.
struct SessionRecord {
    std::uint32_t id = 0;
    int state = hold::kActive;  // as Windows gives it, so possibly outside the enumeration
    std::string station;        // "Console", "RDP-Tcp#2", "Services"
    // The signed-in user's name; "" when nobody is signed in to the session, nullopt when
    // the system would not say.
    std::optional<std::string> user;
};

// A value read from the system, or why it could not be read.
template <typename T>
struct SystemReading {
    std::optional<T> value;
    ErrorInfo error;  // when there is no value
};

class IHoldFacts {
  public:
    virtual ~IHoldFacts() = default;
    // The system's execution state: the power requests of every program and driver on
    // the computer taken together (CallNtPowerInformation, SystemExecutionState).
    virtual SystemReading<std::uint32_t> ExecutionState() = 0;
    // Every session of this computer, with each one's user (WTSEnumerateSessions,
    // WTSQuerySessionInformation).
    virtual SystemReading<std::vector<SessionRecord>> Sessions() = 0;
    // The session this program runs in; nullopt when the system would not say.
    virtual std::optional<std::uint32_t> OwnSession() = 0;
};
