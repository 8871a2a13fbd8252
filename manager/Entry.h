// The entry of Somniconf.exe, callable from the platform's WinMain.
#pragma once

#include "common/Services.h"
#include "manager/ManagerSeams.h"

namespace mgr {

// Runs the program once; returns its exit code. `anotherInstance` tells whether a copy
// of the manager is already running.
int RunProgram(Services& services, ManagerServices& manager, bool anotherInstance);

}  // namespace mgr
