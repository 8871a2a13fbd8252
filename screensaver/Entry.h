// The entry of Somnivex.scr, callable from the platform's WinMain.
#pragma once

#include <string>

#include "common/Services.h"
#include "screensaver/HoldFacts.h"
#include "screensaver/PreviewSeams.h"
#include "screensaver/ShutdownSeams.h"

namespace scr {

// What only the screen saver needs from the platform, beside the common services.
struct ShutdownServices {
    IShutdownApi& shutdown;
    IDesktop& desktop;
    // What may hold the shutdown back: power requests and other people's sessions.
    IHoldFacts& holdFacts;
    // The preview's windows and tied programs; without them "/p" ends at once.
    const PreviewServices* preview = nullptr;
};

// Whether the command line asks for the preview ("/p ..."), which takes no part in the
// one-copy rule: Windows starts one for its dialog while a run may be going on.
bool IsPreview(const std::string& arguments);

// Runs the program once; returns its exit code. `arguments` is the command line after
// the program's own name.
int RunProgram(Services& services, ShutdownServices& shutdown, const std::string& arguments,
               bool anotherInstance);

}  // namespace scr
