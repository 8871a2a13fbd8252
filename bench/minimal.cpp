// Minimal.exe: the smallest honest Win32 window program, measured beside Somnivex.scr
// so that its start-up time and memory can be given as ratios to what any window
// program costs on the same system.
//
//   Minimal.exe [MS]   registers a window class, creates a 325x454 borderless window
//                      (the size of the start-up display) centred on the screen, with
//                      one label, shows it, and ends after MS milliseconds (default:
//                      only on WM_CLOSE)
//
// Built with the same options and the same manifest as the screen saver.
#include <windows.h>

#include <cwchar>

namespace {

constexpr UINT_PTR kEndTimer = 1;
constexpr int kWidth = 325;
constexpr int kHeight = 454;

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam == kEndTimer) DestroyWindow(hwnd);
            return 0;
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    const long runMs = std::wcstol(commandLine, nullptr, 10);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = L"SomnivexBenchMinimal";
    if (!RegisterClassExW(&wc)) return 1;

    const int x = (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
    HWND hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"Minimal", WS_POPUP, x, y,
                                kWidth, kHeight, nullptr, nullptr, instance, nullptr);
    if (!hwnd) return 1;
    HWND label = CreateWindowExW(0, L"STATIC", L"Minimal Win32 window program",
                                 WS_CHILD | WS_VISIBLE | SS_LEFT, 16, 16, kWidth - 32, 20, hwnd,
                                 nullptr, instance, nullptr);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    if (runMs > 0) SetTimer(hwnd, kEndTimer, static_cast<UINT>(runMs), nullptr);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
