// Starting programs: the shell's Open with the process kept (to wait for it), a plain
// command line with a show state, and the shell's default verb for URLs and mail.
#pragma once

#include <memory>

#include "common/EventLoop.h"

std::unique_ptr<ILauncher> NewWin32Launcher();

// Gives the calling thread the COM apartment the shell's starts need, once.
void EnsureComOnThisThread();
