// Programs tied to this process through a job object. No <windows.h> here.
#pragma once

#include <memory>

#include "screensaver/PreviewSeams.h"

std::unique_ptr<scr::IProcessTie> NewWin32ProcessTie();
