// The start of Somnivex.scr: Windows starts it with "/s" to run, "/c" to configure and
// "/p" to preview. A run shows the splash, runs the user's chosen screen saver in its
// place and, when that is still running after the set minutes, goes on to the shutdown.
#pragma once

#include <string>

#include "common/SharedObjects.h"
#include "screensaver/Entry.h"

namespace scr {

class fMain;

// The two-character key of a command line: "/S 123" gives "/s"; shorter text as it is.
std::string CommandKey(const std::string& arguments);

// One start of the program. `arguments` is the command line after the program's name;
// `anotherInstance` tells whether a copy of the program is already running.
void Main(Services& services, ShutdownServices& shutdown, const std::string& arguments,
          bool anotherInstance);

void RunSelectedScreenSaver();
void RunManager();
// Asks, when the user wants it, whether Windows is to be shut down after the wait.
// False after No; the wait can then no longer run out.
bool AskConfirmation();
// The wait has run out with the chosen screen saver still running.
void DoShutdown();

// The splash window of the current run (null outside a run).
fMain* Splash();
// The screen saver's own seams for the current run.
ShutdownServices& Shutdown();

// What the controller is asked to do for a stored shutdown code: the code itself when it
// is one of the four, else a plain shut down.
std::int32_t ExitActionOf(std::int16_t shutdownType);
// Whether the recorded launcher window may be sent message 1525: an existing top-level
// window, never 0, the broadcast handle 0xFFFF or -1.
bool IsLauncherWindow(IDesktop& desktop, WindowRef handle);
// The launcher's switch for a stored shutdown code.
std::string KelvaneSwitch(std::int16_t shutdownType);

constexpr const char* kApplicationTitle = "SCRNSAVE:Somnivex";
constexpr const char* kManagerFileName = "Somniconf.exe";
constexpr int kRunManagerFirstId = 1001;

}  // namespace scr
