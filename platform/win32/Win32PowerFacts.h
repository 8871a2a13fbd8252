// The Win32 side of Windows' own idle timers: the user's screen-saver switches through
// SystemParametersInfo, the power plan and capabilities through powrprof.dll. No
// <windows.h> here.
#pragma once

#include <memory>

#include "common/PowerFacts.h"

std::unique_ptr<IPowerFacts> NewWin32PowerFacts();
