// The two ways a run ends in a shutdown: handing it to the launcher Kelvane, which runs
// programs at shutdown, or asking Windows for it through the Exit-Windows controller.
#pragma once

#include <cstdint>
#include <string>

#include "common/RunTrail.h"
#include "common/Services.h"
#include "screensaver/Entry.h"

namespace scr {

// Posts message 1525 to the launcher's recorded window, then starts the launcher with the
// switch for the stored shutdown kind. Throws RaisedError when it cannot be started. The
// trail hears of the message and of the start, done or not.
void HandShutdownToLauncher(Services& services, ShutdownServices& shutdown, cRunTrail& trail);
// Asks Windows for the stored kind of shutdown, as Start does it: shut down and restart
// through InitiateShutdown (ExitWindowsEx where that cannot be used), sleep and hibernate
// through SetSuspendState, log off through ExitWindowsEx. The run ends either way; the
// trail hears what was asked and what Windows refused.
void ExitWindowsNow(Services& services, ShutdownServices& shutdown, cRunTrail& trail);

// Flags of InitiateShutdown.
namespace initiate {
constexpr std::uint32_t kForceOthers = 0x1;
constexpr std::uint32_t kRestart = 0x4;
constexpr std::uint32_t kPowerOff = 0x8;
constexpr std::uint32_t kInstallUpdates = 0x40;
constexpr std::uint32_t kRestartApps = 0x80;
constexpr std::uint32_t kHybrid = 0x200;
}  // namespace initiate

// What the computer is like when the run ends it.
struct EndFacts {
    bool fastStartup = false;    // Fast Startup is on and can be used
    bool installUpdates = true;  // the setting "Install pending updates"
    bool othersMayEnd = false;   // the policy has turned the other-sessions hold off
};
// The InitiateShutdown flags for a shut down (`restart` false) or a restart.
std::uint32_t InitiateFlags(bool restart, const EndFacts& facts);
// Whether Windows' Fast Startup is on: HiberbootEnabled under Session Manager\Power is a
// non-zero DWORD, and a hibernation file exists for it to write to.
bool FastStartupOn(IRegistryPort& registry, IShutdownApi& shutdown);
// Whether a refusal of InitiateShutdown is one ExitWindowsEx would not make: the function
// is missing or not implemented, or this system does not know a flag.
bool FallsBackToExitWindows(std::int32_t error);

// Whether the run's end goes to the launcher: chosen, and a kind it knows.
bool GoesToLauncher(bool runKelvane, std::int16_t shutdownType);
// What the controller is asked to do for a stored shutdown code: the code itself when it
// is one of the four, else a plain shut down.
std::int32_t ExitActionOf(std::int16_t shutdownType);
// Whether the recorded launcher window may be sent message 1525: an existing top-level
// window, never 0, the broadcast handle 0xFFFF or -1.
bool IsLauncherWindow(IDesktop& desktop, WindowRef handle);
// The launcher's switch for a stored shutdown code.
std::string KelvaneSwitch(std::int16_t shutdownType);

}  // namespace scr
