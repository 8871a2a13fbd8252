#include "platform/win32/Win32Desktop.h"

#include "platform/win32/ScopedWin32.h"
#include "platform/win32/Win32DynamicCalls.h"
#include "platform/win32/Win32Platform.h"

namespace {

// Window handles are 32-bit values, sign-extended in a 64-bit process; a stored -1
// stays -1.
HWND ToHwnd(WindowRef window) {
    return reinterpret_cast<HWND>(static_cast<LONG_PTR>(static_cast<LONG>(window)));
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<WindowRef>*>(list)->push_back(
        static_cast<WindowRef>(reinterpret_cast<LONG_PTR>(window)));
    return TRUE;
}

class Win32ShutdownApi : public IShutdownApi {
  public:
    ErrorInfo AdjustShutdownPrivilege() override {
        win::UniqueHandle token;
        OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Put());
        TOKEN_PRIVILEGES privileges{};
        LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid);
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        TOKEN_PRIVILEGES previous{};
        DWORD previousLength = 0;
        // Only the last error after the adjustment tells: the call itself succeeds even when
        // the privilege could not be granted (ERROR_NOT_ALL_ASSIGNED).
        SetLastError(ERROR_SUCCESS);
        AdjustTokenPrivileges(token, FALSE, &privileges, sizeof previous, &previous,
                              &previousLength);
        const DWORD error = GetLastError();
        if (error == ERROR_SUCCESS) return {};
        return {static_cast<std::int32_t>(error), "AdjustTokenPrivileges", Win32ErrorText(error)};
    }

    ErrorInfo RequestExit(std::uint32_t flags, std::uint32_t reason) override {
        if (ExitWindowsEx(flags, reason)) return {};
        // A refusal must never read as an acceptance, even from a system that sets no error.
        DWORD error = GetLastError();
        if (error == ERROR_SUCCESS) error = ERROR_GEN_FAILURE;
        return {static_cast<std::int32_t>(error), "ExitWindowsEx", Win32ErrorText(error)};
    }

    ErrorInfo RequestShutdown(std::uint32_t flags, std::uint32_t reason) override {
        const auto initiate = Dyn().initiateShutdown;
        if (!initiate)
            return {shutdown_error::kMissing, "InitiateShutdownW",
                    Win32ErrorText(ERROR_PROC_NOT_FOUND)};
        const DWORD error = initiate(nullptr, nullptr, 0, flags, reason);
        if (error == ERROR_SUCCESS) return {};
        return {static_cast<std::int32_t>(error), "InitiateShutdownW", Win32ErrorText(error)};
    }

    ErrorInfo Suspend(bool hibernate) override {
        const auto suspend = PowerDyn().setSuspendState;
        if (!suspend)
            return {shutdown_error::kMissing, "SetSuspendState",
                    Win32ErrorText(ERROR_PROC_NOT_FOUND)};
        SetLastError(ERROR_SUCCESS);
        if (suspend(hibernate ? TRUE : FALSE, FALSE, FALSE)) return {};
        DWORD error = GetLastError();
        if (error == ERROR_SUCCESS) error = ERROR_GEN_FAILURE;
        return {static_cast<std::int32_t>(error), "SetSuspendState", Win32ErrorText(error)};
    }

    std::optional<bool> HiberFilePresent() override {
        const auto capabilities = PowerDyn().getPwrCapabilities;
        SYSTEM_POWER_CAPABILITIES can{};
        if (!capabilities || !capabilities(&can)) return std::nullopt;
        return can.HiberFilePresent != FALSE;
    }
};

class Win32Desktop : public IDesktop {
  public:
    std::vector<WindowRef> TopLevelWindows() override {
        std::vector<WindowRef> windows;
        EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
        return windows;
    }

    std::uint32_t Style(WindowRef window) override {
        return static_cast<std::uint32_t>(GetWindowLongW(ToHwnd(window), GWL_STYLE));
    }

    std::uint32_t ExStyle(WindowRef window) override {
        return static_cast<std::uint32_t>(GetWindowLongW(ToHwnd(window), GWL_EXSTYLE));
    }

    std::string ClassName(WindowRef window) override {
        wchar_t name[256] = {};
        const int length = GetClassNameW(ToHwnd(window), name, 255);
        return Narrow(name, length > 0 ? static_cast<std::size_t>(length) : 0);
    }

    std::uint32_t ProcessIdOf(WindowRef window) override {
        DWORD pid = 0;
        GetWindowThreadProcessId(ToHwnd(window), &pid);
        return pid;
    }

    std::uint32_t CurrentProcessId() override { return GetCurrentProcessId(); }

    bool IsTopLevelWindow(WindowRef window) override {
        const HWND hwnd = ToHwnd(window);
        // IsWindow alone also accepts a child window, and a message-only one.
        return IsWindow(hwnd) && !(GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD) &&
               GetAncestor(hwnd, GA_PARENT) == GetDesktopWindow();
    }

    bool Post(WindowRef window, std::uint32_t message, std::uintptr_t wParam,
              std::intptr_t lParam) override {
        return PostMessageW(ToHwnd(window), message, wParam, lParam) != FALSE;
    }

    bool SendWithTimeout(WindowRef window, std::uint32_t message, std::uintptr_t wParam,
                         std::intptr_t lParam, std::uint32_t flags, std::uint32_t timeoutMs,
                         std::intptr_t& reply) override {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(ToHwnd(window), message, wParam, lParam, flags, timeoutMs,
                                 &result))
            return false;
        reply = static_cast<std::intptr_t>(result);
        return true;
    }

    ProcessRef OpenProcess(std::uint32_t access, std::uint32_t processId) override {
        return reinterpret_cast<ProcessRef>(::OpenProcess(access, FALSE, processId));
    }

    bool TerminateProcess(ProcessRef process, std::uint32_t exitCode) override {
        return ::TerminateProcess(reinterpret_cast<HANDLE>(process), exitCode) != FALSE;
    }

    void CloseProcess(ProcessRef process) override {
        CloseHandle(reinterpret_cast<HANDLE>(process));
    }

    std::string ExecutableName(std::uint32_t processId) override {
        const win::UniqueHandle process(
            ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
        if (!process) return {};
        wchar_t path[MAX_PATH * 4] = {};
        DWORD length = static_cast<DWORD>(std::size(path));
        if (!QueryFullProcessImageNameW(process, 0, path, &length)) return {};
        std::wstring full(path, length);
        const auto slash = full.find_last_of(L"\\/");
        return Narrow(slash == std::wstring::npos ? full : full.substr(slash + 1));
    }

    std::uint32_t TickCount() override { return GetTickCount(); }
};

}  // namespace

std::unique_ptr<IShutdownApi> NewWin32ShutdownApi() {
    return std::make_unique<Win32ShutdownApi>();
}

std::unique_ptr<IDesktop> NewWin32Desktop() {
    return std::make_unique<Win32Desktop>();
}
