// Our child window inside the window Windows lends for the preview. No <windows.h> here.
#pragma once

#include <memory>

#include "screensaver/PreviewSeams.h"

std::unique_ptr<scr::IPreviewWindows> NewWin32PreviewWindows(void* instance);
