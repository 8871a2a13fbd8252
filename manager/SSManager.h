// The start of Somniconf.exe: one copy at a time, the shared objects, then the settings
// window, which the program lives as long as.
#pragma once

#include "common/SharedObjects.h"
#include "manager/Entry.h"

namespace mgr {

void Main(Services& services, ManagerServices& manager, bool anotherInstance);

// Titles the manager's own message boxes.
constexpr const char* kApplicationTitle = "Somnivex Manager";

}  // namespace mgr
