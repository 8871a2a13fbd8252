// WM_POWERBROADCAST reaches every top-level window, hidden ones included, but never a
// message-only window. On computers with modern standby (Windows 8 and later) a desktop
// program hears of the sleep only through RegisterSuspendResumeNotification, which
// delivers the same message to the window. So a notice may come twice; the clock tells
// each once.
#include "platform/win32/Win32PowerNotices.h"

#include <windows.h>

#include "common/AwakeClock.h"
#include "platform/win32/ScopedWin32.h"
#include "platform/win32/Win32DynamicCalls.h"

namespace {

std::uint64_t UnbiasedMilliseconds() {
    ULONGLONG hundredNs = 0;
    QueryUnbiasedInterruptTime(&hundredNs);
    return hundredNs / 10'000;
}

AwakeClock& ProcessClock() {
    static AwakeClock clock(&UnbiasedMilliseconds, [] { return GetTickCount64(); });
    return clock;
}

constexpr wchar_t kClass[] = L"SomnivexPower";

class PowerWindow final : public Win32PowerNotices {
  public:
    explicit PowerWindow(std::function<void(const PowerChange&)> tell) : tell_(std::move(tell)) {
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &WindowProc;
        wc.hInstance = instance;
        wc.lpszClassName = kClass;
        RegisterClassExW(&wc);  // fails harmlessly when a second object registers again
        // Top-level and never shown: a message-only window hears no broadcast.
        window_.Reset(CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kClass, L"", WS_POPUP, 0,
                                      0, 0, 0, nullptr, nullptr, instance, this));
        if (window_ && Dyn().registerSuspendResumeNotification)
            registration_ =
                Dyn().registerSuspendResumeNotification(window_, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
    ~PowerWindow() override {
        if (registration_ && Dyn().unregisterSuspendResumeNotification)
            Dyn().unregisterSuspendResumeNotification(registration_);
    }
    PowerWindow(const PowerWindow&) = delete;
    PowerWindow& operator=(const PowerWindow&) = delete;

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = win::WindowOwner<PowerWindow>(hwnd, message, lParam);
        if (message == WM_POWERBROADCAST && self) {
            self->OnPowerBroadcast(wParam);
            return TRUE;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    void OnPowerBroadcast(WPARAM event) {
        switch (event) {
            case PBT_APMSUSPEND:
                if (ProcessClock().Suspending()) tell_({PowerChange::Kind::Suspending, 0});
                break;
            // Every resume brings the first; the second follows when somebody is at the
            // computer, the third only after a suspend nobody was told of.
            case PBT_APMRESUMEAUTOMATIC:
            case PBT_APMRESUMESUSPEND:
            case PBT_APMRESUMECRITICAL:
                if (const auto away = ProcessClock().Resumed())
                    tell_({PowerChange::Kind::Resumed, *away});
                break;
            default:
                break;
        }
    }

    std::function<void(const PowerChange&)> tell_;
    win::ScopedWindow window_;
    HPOWERNOTIFY registration_ = nullptr;
};

}  // namespace

std::uint64_t Win32SteadyMilliseconds() {
    return ProcessClock().Now();
}

std::unique_ptr<Win32PowerNotices> NewWin32PowerNotices(
    std::function<void(const PowerChange&)> tell) {
    return std::make_unique<PowerWindow>(std::move(tell));
}
