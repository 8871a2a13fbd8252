// The start of Somnivex.scr: Windows starts it with "/s" to run, "/c" to configure and
// "/p" to preview. Main sets the program up and hands a run to cRun (Run.h).
#pragma once

#include <string>

#include "common/RunTrail.h"
#include "common/SharedObjects.h"
#include "screensaver/Entry.h"

namespace scr {

// The two-character key of a command line: "/S 123" gives "/s"; shorter text as it is.
std::string CommandKey(const std::string& arguments);

// What a command line asks for.
enum class Command {
    RunScreenSaver,  // "/s", or no switch
    Configure,       // "/c": the settings manager
    Preview,         // "/p": the preview in the window named (Preview.h), no splash
    Other,           // any other switch: the splash, and nothing after it
};
Command CommandOf(const std::string& arguments);

// One start of the program. `arguments` is the command line after the program's name;
// `anotherInstance` tells whether a copy of the program is already running.
void Main(Services& services, ShutdownServices& shutdown, const std::string& arguments,
          bool anotherInstance);

// Starts the settings manager without waiting, or says it must be run first. The trail
// hears when it is not found or cannot be started.
void RunManager(cRunTrail& trail);

constexpr const char* kApplicationTitle = "SCRNSAVE:Somnivex";
constexpr int kRunManagerFirstId = 1001;

}  // namespace scr
