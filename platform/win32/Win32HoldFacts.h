// The Win32 side of the hold's facts: the system's execution state from powrprof.dll
// and the session list from wtsapi32.dll. No <windows.h> here.
#pragma once

#include <memory>

#include "screensaver/HoldFacts.h"

// Loads each DLL on first use and keeps it for the run's later checks.
std::unique_ptr<IHoldFacts> NewWin32HoldFacts();
