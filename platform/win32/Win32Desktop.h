// The Win32 side of the screen saver's shutdown seams. No <windows.h> here.
#pragma once

#include <memory>

#include "screensaver/ShutdownSeams.h"

// The privilege and the exit request, and the desktop's windows and processes, of
// this session.
std::unique_ptr<IShutdownApi> NewWin32ShutdownApi();
std::unique_ptr<IDesktop> NewWin32Desktop();
