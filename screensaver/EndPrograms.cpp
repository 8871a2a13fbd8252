#include "screensaver/EndPrograms.h"

#include <algorithm>
#include <cctype>

namespace scr {

namespace {

constexpr std::uint32_t kPopup = 0x80000000u;
constexpr std::uint32_t kVisible = 0x10000000u;
constexpr std::uint32_t kDisabled = 0x08000000u;
constexpr std::uint32_t kToolWindow = 0x00000080u;

const char* const kShellClasses[] = {"IEFrame", "ExploreWClass", "IEDummyFrame", "Shell_TrayWnd",
                                     "Progman", "CabinetWClass", "BaseBar",      "WinPopup"};

// Executables and modules of the system and the shell. Ending one of them would take
// the session, or the desktop the user comes back to, with it.
const char* const kProtectedNames[] = {
    "kernel32.dll", "msgsrv32.exe", "mprexe.exe",   "explorer.exe", "mmtask.tsk", "mstask.exe",
    "ptsnoop.exe",  "cmmpu.exe",    "taskmon.exe",  "systray.exe",  "system",     "[system]",
    "smss.exe",     "csrss.exe",    "winlogon.exe", "services.exe", "lsass.exe",  "spoolss.exe",
    "svchost.exe",  "regsvc.exe",   "pstores.exe",  "nddeagnt.exe", "rpcss.exe"};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

bool mGrindleEndPrograms::IsProtectedExecutable(const std::string& name) {
    const std::string lower = Lower(name);
    return std::any_of(std::begin(kProtectedNames), std::end(kProtectedNames),
                       [&](const char* p) { return lower == p; });
}

void mGrindleEndPrograms::EndAllPrograms(bool forceClose) {
    visited_.clear();
    ClosePass(PopupWindow);
    WaitWithMessages(1000, nullptr, 0);
    ClosePass(MainWindow);
    WaitWithMessages(2000, nullptr, 0);
    QueryPass();
    WaitWithMessages(2000, nullptr, 0);
    if (!forceClose) return;
    ClosePass(PopupWindow);
    WaitWithMessages(1000, nullptr, 0);
    TerminatePass();
}

void mGrindleEndPrograms::ClosePass(std::int32_t kind) {
    for (WindowRef window : desktop_.TopLevelWindows())
        if (IsTargetWindow(window, kind, 0)) desktop_.Post(window, wm::kClose, 0, 0);
}

void mGrindleEndPrograms::QueryPass() {
    for (WindowRef window : desktop_.TopLevelWindows()) {
        if (!IsTargetWindow(window, MainWindow, 0)) continue;
        std::intptr_t reply = 0;
        // A window that answered is told whether the end goes ahead for it; one that
        // did not answer in time hears nothing more.
        if (desktop_.SendWithTimeout(window, wm::kQueryEndSession, 0, kEndSessionLogoff,
                                     kAbortIfHung, kQueryTimeoutMs, reply))
            desktop_.Post(window, wm::kEndSession, static_cast<std::uintptr_t>(reply),
                          kEndSessionLogoff);
    }
}

void mGrindleEndPrograms::TerminatePass() {
    for (WindowRef window : desktop_.TopLevelWindows()) {
        if (!IsTargetWindow(window, AnyWindow, 0)) continue;
        const std::uint32_t pid = desktop_.ProcessIdOf(window);
        if (std::find(visited_.begin(), visited_.end(), pid) != visited_.end()) continue;
        // Recorded before the attempt: each process is tried once, whatever happens.
        visited_.push_back(pid);
        if (IsProtectedExecutable(desktop_.ExecutableName(pid))) continue;
        if (ProcessRef process = desktop_.OpenProcess(kTerminateAccess, pid)) {
            desktop_.TerminateProcess(process, 0);
            desktop_.CloseProcess(process);
        }
    }
}

bool mGrindleEndPrograms::IsTargetWindow(WindowRef window, std::int32_t kind,
                                         std::uint32_t targetProcess) {
    const std::uint32_t style = desktop_.Style(window);
    const std::uint32_t exStyle = desktop_.ExStyle(window);
    if (kind == MainWindow || kind == PopupWindow) {
        const bool shown = (style & kVisible) && !(style & kDisabled) && !(exStyle & kToolWindow);
        const bool popup = (style & kPopup) != 0;
        if (!shown || popup != (kind == PopupWindow)) return false;
    } else if (kind != AnyWindow) {
        return false;
    }
    if (targetProcess != 0 && IsShellWindowClass(window)) return false;
    const std::uint32_t pid = desktop_.ProcessIdOf(window);
    return (targetProcess == 0 || targetProcess == pid) && pid != desktop_.CurrentProcessId();
}

bool mGrindleEndPrograms::IsShellWindowClass(WindowRef window) {
    const std::string name = GetWindowClass(window);
    return std::any_of(std::begin(kShellClasses), std::end(kShellClasses),
                       [&](const char* c) { return name == c; });
}

std::string mGrindleEndPrograms::GetWindowClass(WindowRef window) {
    return desktop_.ClassName(window).substr(0, 255);
}

std::uint32_t mGrindleEndPrograms::WaitWithMessages(std::int32_t timeoutMs,
                                                    const ProcessHandle* handles,
                                                    std::uint32_t count) {
    const bool limited = timeoutMs != -1;
    const std::uint32_t deadline = desktop_.TickCount() + static_cast<std::uint32_t>(timeoutMs);
    // Remaining time on the 32-bit tick count, read as signed so it survives the wrap.
    const auto passed = [&] {
        return limited && static_cast<std::int32_t>(deadline - desktop_.TickCount()) <= 0;
    };
    // A timer keeps the wait alive and looks at the tick count often enough that its
    // coarse steps do not stretch the wait.
    TimerId wake =
        limited ? loop_.StartTimer(static_cast<std::uint32_t>(std::clamp(timeoutMs, 1, 100)), [] {})
                : 0;
    std::uint32_t result = kWaitTimeout;
    if (count > 0 && handles != nullptr) {
        if (loop_.WaitForProcess(handles[0], passed)) result = 0;
    } else {
        loop_.RunUntil(passed);
    }
    if (wake) loop_.StopTimer(wake);
    return result;
}

}  // namespace scr
