// The registry port over advapi32's wide functions. Text crosses as UTF-8 (names, and the
// data of the string types) and is stored as UTF-16; sizes seen through the port are
// UTF-8 byte counts, as if the "A" functions ran with a UTF-8 code page. Keys are opened
// in the 32-bit view, so the x86 and x64 builds share one set of values; only a key opened
// to read may ask for the native view.
// No <windows.h> here: the port's callers include this beside portable headers.
#pragma once

#include <memory>

#include "common/RegistryPort.h"

// The registry port of this process.
std::unique_ptr<IRegistryPort> NewWin32Registry();
