#include "platform/win32/Win32Desktop.h"

#include "platform/win32/ScopedWin32.h"
#include "platform/win32/Win32Platform.h"

namespace {

// Window handles are 32-bit values, sign-extended in a 64-bit process; a stored -1
// stays -1.
HWND ToHwnd(WindowRef window) {
    return reinterpret_cast<HWND>(static_cast<LONG_PTR>(static_cast<LONG>(window)));
}

}  // namespace

ErrorInfo Win32ShutdownApi::AdjustShutdownPrivilege() {
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
    AdjustTokenPrivileges(token, FALSE, &privileges, sizeof previous, &previous, &previousLength);
    const DWORD error = GetLastError();
    if (error == ERROR_SUCCESS) return {};
    return {static_cast<std::int32_t>(error), "AdjustTokenPrivileges", Win32ErrorText(error)};
}

ErrorInfo Win32ShutdownApi::RequestExit(std::uint32_t flags, std::uint32_t reason) {
    if (ExitWindowsEx(flags, reason)) return {};
    // A refusal must never read as an acceptance, even from a system that sets no error.
    DWORD error = GetLastError();
    if (error == ERROR_SUCCESS) error = ERROR_GEN_FAILURE;
    return {static_cast<std::int32_t>(error), "ExitWindowsEx", Win32ErrorText(error)};
}

namespace {

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<WindowRef>*>(list)->push_back(
        static_cast<WindowRef>(reinterpret_cast<LONG_PTR>(window)));
    return TRUE;
}

}  // namespace

std::vector<WindowRef> Win32Desktop::TopLevelWindows() {
    std::vector<WindowRef> windows;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::uint32_t Win32Desktop::Style(WindowRef window) {
    return static_cast<std::uint32_t>(GetWindowLongW(ToHwnd(window), GWL_STYLE));
}

std::uint32_t Win32Desktop::ExStyle(WindowRef window) {
    return static_cast<std::uint32_t>(GetWindowLongW(ToHwnd(window), GWL_EXSTYLE));
}

std::string Win32Desktop::ClassName(WindowRef window) {
    wchar_t name[256] = {};
    const int length = GetClassNameW(ToHwnd(window), name, 255);
    return Narrow(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

std::uint32_t Win32Desktop::ProcessIdOf(WindowRef window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(ToHwnd(window), &pid);
    return pid;
}

std::uint32_t Win32Desktop::CurrentProcessId() {
    return GetCurrentProcessId();
}

bool Win32Desktop::IsTopLevelWindow(WindowRef window) {
    const HWND hwnd = ToHwnd(window);
    // IsWindow alone also accepts a child window, and a message-only one.
    return IsWindow(hwnd) && !(GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD) &&
           GetAncestor(hwnd, GA_PARENT) == GetDesktopWindow();
}

bool Win32Desktop::Post(WindowRef window, std::uint32_t message, std::uintptr_t wParam,
                        std::intptr_t lParam) {
    return PostMessageW(ToHwnd(window), message, wParam, lParam) != FALSE;
}

bool Win32Desktop::SendWithTimeout(WindowRef window, std::uint32_t message, std::uintptr_t wParam,
                                   std::intptr_t lParam, std::uint32_t flags,
                                   std::uint32_t timeoutMs, std::intptr_t& reply) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(ToHwnd(window), message, wParam, lParam, flags, timeoutMs, &result))
        return false;
    reply = static_cast<std::intptr_t>(result);
    return true;
}

ProcessRef Win32Desktop::OpenProcess(std::uint32_t access, std::uint32_t processId) {
    return reinterpret_cast<ProcessRef>(::OpenProcess(access, FALSE, processId));
}

bool Win32Desktop::TerminateProcess(ProcessRef process, std::uint32_t exitCode) {
    return ::TerminateProcess(reinterpret_cast<HANDLE>(process), exitCode) != FALSE;
}

void Win32Desktop::CloseProcess(ProcessRef process) {
    CloseHandle(reinterpret_cast<HANDLE>(process));
}

std::string Win32Desktop::ExecutableName(std::uint32_t processId) {
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

std::uint32_t Win32Desktop::TickCount() {
    return GetTickCount();
}
