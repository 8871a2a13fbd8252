// The preview's window: a plain black child of the lent window, filling its client
// area. The chosen screen saver draws in a window of its own inside ours; with nothing
// to start we draw the splash's picture on WM_PAINT. Clipping our children keeps us from
// painting over the screen saver's window, and a child window cannot draw outside its
// parent. The lent window lies in another process (Windows' dialog); when it goes, the
// system destroys ours with it.
#include "platform/win32/Win32PreviewPane.h"

#include <windows.h>

#include <optional>

#include "platform/win32/ScopedWin32.h"
#include "platform/win32/Win32Launcher.h"
#include "platform/win32/Win32Picture.h"
#include "platform/win32/Win32Platform.h"
#include "screensaver/Preview.h"

namespace {

constexpr const wchar_t* kPaneClass = L"SomnivexPreview";

HWND ToHwnd(scr::WindowHandle window) {
    return reinterpret_cast<HWND>(window);
}

class Win32PreviewPane : public scr::IPreviewPane {
  public:
    Win32PreviewPane(HINSTANCE instance, HWND parent) : parent_(parent) {
        RECT client{};
        GetClientRect(parent, &client);
        window_ = CreateWindowExW(0, kPaneClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                  client.right, client.bottom, parent, nullptr, instance, this);
    }
    ~Win32PreviewPane() override {
        if (window_) DestroyWindow(window_);
    }
    Win32PreviewPane(const Win32PreviewPane&) = delete;
    Win32PreviewPane& operator=(const Win32PreviewPane&) = delete;

    bool Made() const { return window_ != nullptr; }
    scr::WindowHandle Handle() const override {
        return reinterpret_cast<scr::WindowHandle>(window_);
    }
    bool Alive() override { return window_ && IsWindow(parent_); }
    void ShowPicture(const std::string& path) override {
        EnsureComOnThisThread();
        picture_ = DecodePicture(Widen(path), RGB(0, 0, 0));
        if (window_) InvalidateRect(window_, nullptr, TRUE);
    }

    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* pane = win::WindowOwner<Win32PreviewPane>(window, message, lParam);
        if (pane) return pane->OnMessage(window, message, wParam, lParam);
        return DefWindowProcW(window, message, wParam, lParam);
    }

  private:
    LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
            case WM_PAINT:
                Paint(window);
                return 0;
            case WM_DESTROY:
                SetWindowLongPtrW(window, GWLP_USERDATA, 0);
                window_ = nullptr;
                return 0;
            default:
                return DefWindowProcW(window, message, wParam, lParam);
        }
    }

    void Paint(HWND window) {
        const win::ScopedPaint dc(window);
        RECT client{};
        GetClientRect(window, &client);
        FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        if (!picture_) return;
        const scr::FitRect fit =
            scr::FitPicture(picture_->size.cx, picture_->size.cy, client.right, client.bottom);
        if (fit.width == 0) return;
        const win::ScopedMemoryDC memory(CreateCompatibleDC(dc));
        const win::ScopedSelect selected(memory, picture_->bitmap);
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchBlt(dc, fit.left, fit.top, fit.width, fit.height, memory, 0, 0, picture_->size.cx,
                   picture_->size.cy, SRCCOPY);
    }

    HWND parent_;
    HWND window_ = nullptr;
    std::optional<DecodedPicture> picture_;
};

class Win32PreviewWindows : public scr::IPreviewWindows {
  public:
    explicit Win32PreviewWindows(HINSTANCE instance) : instance_(instance) {}

    bool IsWindow(scr::WindowHandle window) override { return ::IsWindow(ToHwnd(window)); }

    std::unique_ptr<scr::IPreviewPane> CreatePane(scr::WindowHandle parent) override {
        if (!Register()) return nullptr;
        auto pane = std::make_unique<Win32PreviewPane>(instance_, ToHwnd(parent));
        if (!pane->Made()) return nullptr;
        return pane;
    }

  private:
    bool Register() {
        WNDCLASSEXW cls{};
        cls.cbSize = sizeof cls;
        cls.style = CS_HREDRAW | CS_VREDRAW;
        cls.lpfnWndProc = Win32PreviewPane::Proc;
        cls.hInstance = instance_;
        cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        cls.lpszClassName = kPaneClass;
        return RegisterClassExW(&cls) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }

    HINSTANCE instance_;
};

}  // namespace

std::unique_ptr<scr::IPreviewWindows> NewWin32PreviewWindows(void* instance) {
    return std::make_unique<Win32PreviewWindows>(static_cast<HINSTANCE>(instance));
}
