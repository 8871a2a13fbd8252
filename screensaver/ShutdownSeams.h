// The two seams only the screen saver needs: asking Windows to end, and reaching the
// other programs' windows on the desktop.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/RaisedError.h"

// A window handle as a number; handles are 32-bit values on every Windows.
using WindowRef = std::int64_t;
using ProcessRef = std::uintptr_t;  // an open process handle; 0 is none

class IShutdownApi {
  public:
    virtual ~IShutdownApi() = default;
    // Enables SeShutdownPrivilege on the process token (OpenProcessToken,
    // LookupPrivilegeValue, AdjustTokenPrivileges). The number is the thread's last-error
    // value read right after the adjustment, with the system's text: 0 means the
    // privilege is held.
    virtual ErrorInfo AdjustShutdownPrivilege() = 0;
    // ExitWindowsEx. Number 0 when Windows accepted the request, else Windows' error
    // number (never 0) and text.
    virtual ErrorInfo RequestExit(std::uint32_t flags, std::uint32_t reason) = 0;
    // InitiateShutdownW for this computer, with no message and no grace period. Number 0
    // when Windows accepted the request; shutdown_error::kMissing where the function does
    // not exist; else the error it returned, with its text.
    virtual ErrorInfo RequestShutdown(std::uint32_t flags, std::uint32_t reason) = 0;
    // SetSuspendState(hibernate, FALSE, FALSE): never forced, wake events enabled. Number 0
    // once Windows has suspended and resumed, else Windows' error.
    virtual ErrorInfo Suspend(bool hibernate) = 0;
    // Whether Windows keeps a hibernation file (GetPwrCapabilities); nullopt when unknown.
    virtual std::optional<bool> HiberFilePresent() = 0;
};

// Windows' shutdown log records why: a planned end (SHTDN_REASON_FLAG_PLANNED) for an
// "other" reason, major and minor (both 0). A reason without the planned flag would be
// logged as an unplanned shutdown.
constexpr std::uint32_t kPlannedShutdownReason = 0x80000000u;

namespace shutdown_error {
constexpr std::int32_t kMissing = 127;         // ERROR_PROC_NOT_FOUND
constexpr std::int32_t kUsersLoggedOn = 1191;  // ERROR_SHUTDOWN_USERS_LOGGED_ON
}  // namespace shutdown_error

class IDesktop {
  public:
    virtual ~IDesktop() = default;
    // Every top-level window, in Windows' enumeration order.
    virtual std::vector<WindowRef> TopLevelWindows() = 0;
    virtual std::uint32_t Style(WindowRef window) = 0;
    virtual std::uint32_t ExStyle(WindowRef window) = 0;
    virtual std::string ClassName(WindowRef window) = 0;
    virtual std::uint32_t ProcessIdOf(WindowRef window) = 0;
    virtual std::uint32_t CurrentProcessId() = 0;
    // Whether the handle names an existing window whose parent is the desktop.
    virtual bool IsTopLevelWindow(WindowRef window) = 0;
    virtual bool Post(WindowRef window, std::uint32_t message, std::uintptr_t wParam,
                      std::intptr_t lParam) = 0;
    // SendMessageTimeout; false when it failed or timed out, else the reply in `reply`.
    virtual bool SendWithTimeout(WindowRef window, std::uint32_t message, std::uintptr_t wParam,
                                 std::intptr_t lParam, std::uint32_t flags, std::uint32_t timeoutMs,
                                 std::intptr_t& reply) = 0;
    // OpenProcess with the given access; 0 when refused.
    virtual ProcessRef OpenProcess(std::uint32_t access, std::uint32_t processId) = 0;
    virtual bool TerminateProcess(ProcessRef process, std::uint32_t exitCode) = 0;
    virtual void CloseProcess(ProcessRef process) = 0;
    // The file name of the process's executable ("explorer.exe"); "" when unknown.
    virtual std::string ExecutableName(std::uint32_t processId) = 0;
    // GetTickCount: milliseconds, wrapping at 2^32.
    virtual std::uint32_t TickCount() = 0;
};

namespace wm {
constexpr std::uint32_t kClose = 0x0010;
constexpr std::uint32_t kQueryEndSession = 0x0011;
constexpr std::uint32_t kEndSession = 0x0016;
constexpr std::uint32_t kUser = 0x0400;
// Posted to the launcher's window before the launcher is started.
constexpr std::uint32_t kLauncherShutdown = kUser + 501;
}  // namespace wm
