// mGrindleEndPrograms: ends the other programs that own top-level windows, just before
// Windows is asked to end. Passes over all top-level windows: close pop-ups, close main
// windows, ask main windows whether the session may end, and, when forcing, close
// pop-ups again and terminate every process that still owns a window. Between passes it
// waits a fixed time with the program's own events handled. It never touches its own
// process, nor (when terminating) the system's and the shell's processes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/EventLoop.h"
#include "screensaver/ShutdownSeams.h"

namespace scr {

class mGrindleEndPrograms {
  public:
    mGrindleEndPrograms(IDesktop& desktop, IEventLoop& loop) : desktop_(desktop), loop_(loop) {}

    enum WindowKind : std::int32_t { AnyWindow = 0, MainWindow = 2, PopupWindow = 3 };

    void EndAllPrograms(bool forceClose);
    bool IsTargetWindow(WindowRef window, std::int32_t kind, std::uint32_t targetProcess);
    bool IsShellWindowClass(WindowRef window);
    std::string GetWindowClass(WindowRef window);
    // Handles events for `timeoutMs` (or until the first process handle ends) and
    // returns 258 (WAIT_TIMEOUT) or 0 (the handle ended). -1 waits without limit.
    std::uint32_t WaitWithMessages(std::int32_t timeoutMs, const ProcessHandle* handles,
                                   std::uint32_t count);

    // Processes met by the last terminate pass, in order.
    const std::vector<std::uint32_t>& VisitedProcessIds() const { return visited_; }

    // True for the executables the terminate pass leaves alone.
    static bool IsProtectedExecutable(const std::string& name);

    static constexpr std::uint32_t kWaitTimeout = 258;
    static constexpr std::uint32_t kQueryTimeoutMs = 1'050'000;
    static constexpr std::uint32_t kAbortIfHung = 2;
    static constexpr std::intptr_t kEndSessionLogoff = static_cast<std::intptr_t>(0x80000000u);
    static constexpr std::uint32_t kTerminateAccess = 0x000F0001;

  private:
    void ClosePass(std::int32_t kind);
    void QueryPass();
    void TerminatePass();

    IDesktop& desktop_;
    IEventLoop& loop_;
    std::vector<std::uint32_t> visited_;
};

}  // namespace scr
