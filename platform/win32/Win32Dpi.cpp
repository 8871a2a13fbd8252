#include "platform/win32/Win32Dpi.h"

#include "platform/win32/ScopedWin32.h"
#include "platform/win32/Win32DynamicCalls.h"

namespace {

// The system DPI: what every monitor has before Windows 8.1.
UINT ScreenDpi() {
    const win::ScopedGetDC screen(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

}  // namespace

UINT PrimaryDpi() {
    if (const auto getDpiForMonitor = Dyn().getDpiForMonitor) {
        UINT x = 0, y = 0;
        HMONITOR primary = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
        if (SUCCEEDED(getDpiForMonitor(primary, 0 /* effective DPI */, &x, &y)) && y > 0) return y;
    }
    return ScreenDpi();
}

UINT WindowDpi(HWND window) {
    if (const auto getDpiForWindow = Dyn().getDpiForWindow; getDpiForWindow && window) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi > 0) return dpi;
    }
    return ScreenDpi();
}

void AdjustForDpi(RECT& rect, DWORD style, DWORD exStyle, UINT dpi) {
    const auto adjust = Dyn().adjustWindowRectExForDpi;
    if (adjust && adjust(&rect, style, FALSE, exStyle, dpi)) return;
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}
