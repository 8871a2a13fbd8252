// Sizes for the monitor a window is on. Forms are laid out in twips (1/1440 inch) and
// turned into pixels once, here, at the window's DPI.
#pragma once

#include <windows.h>

// Forms open on the primary monitor, so its DPI is the one to plan and measure with.
UINT PrimaryDpi();
// The DPI of the monitor `window` is on; the screen's when the system cannot say.
UINT WindowDpi(HWND window);
// AdjustWindowRectEx at `dpi`, where the system can scale the frame for it.
void AdjustForDpi(RECT& rect, DWORD style, DWORD exStyle, UINT dpi);

inline int Px(int twips, UINT dpi) {
    return MulDiv(twips, static_cast<int>(dpi), 1440);
}
inline int Twips(int pixels, UINT dpi) {
    return MulDiv(pixels, 1440, static_cast<int>(dpi));
}
