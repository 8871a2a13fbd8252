// The entry of Somnivex.scr, callable from the platform's WinMain.
#pragma once

#include <string>

#include "common/Services.h"

namespace scr {

// Runs the program once; returns its exit code. `arguments` is the command line after
// the program's own name.
int RunProgram(Services& services, const std::string& arguments, bool anotherInstance);

}  // namespace scr
