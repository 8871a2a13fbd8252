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
// Asks Windows for the stored kind of shutdown. The run ends either way; the trail hears
// what was asked and what Windows refused.
void ExitWindowsNow(Services& services, ShutdownServices& shutdown, cRunTrail& trail);

// What the controller is asked to do for a stored shutdown code: the code itself when it
// is one of the four, else a plain shut down.
std::int32_t ExitActionOf(std::int16_t shutdownType);
// Whether the recorded launcher window may be sent message 1525: an existing top-level
// window, never 0, the broadcast handle 0xFFFF or -1.
bool IsLauncherWindow(IDesktop& desktop, WindowRef handle);
// The launcher's switch for a stored shutdown code.
std::string KelvaneSwitch(std::int16_t shutdownType);

}  // namespace scr
