// The event loop of the one user-interface thread: thread timers that keep to their
// schedule or fire once at a deadline, and waits that sleep in MsgWaitForMultipleObjectsEx
// until a message, a timer or the awaited process wakes them. No polling, so an idle wait
// costs nothing until its deadline.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>

#include "common/EventLoop.h"

class Win32EventLoop : public IEventLoop {
  public:
    Win32EventLoop();
    ~Win32EventLoop() override;
    Win32EventLoop(const Win32EventLoop&) = delete;
    Win32EventLoop& operator=(const Win32EventLoop&) = delete;

    void ProcessPendingEvents() override;
    TimerId StartTimer(std::uint32_t intervalMs, std::function<void()> tick) override;
    TimerId StartTimerAt(std::uint64_t dueMs, std::function<void()> tick) override;
    void StopTimer(TimerId id) override;
    void RunUntil(const std::function<bool()>& done) override;
    bool WaitForProcess(ProcessHandle process, const std::function<bool()>& stop) override;

    // Sees every message (a MSG*) before it is dispatched; returns true when it handled
    // it (the form host runs IsDialogMessage here for Tab, Enter, Escape, access keys).
    using MessageFilter = std::function<bool(void* msg)>;
    void SetMessageFilter(MessageFilter filter) { filter_ = std::move(filter); }

    // True once WM_QUIT has been seen; it is posted again so every loop ends.
    bool QuitSeen() const { return quitSeen_; }

    // Runs a callback of the portable code from a window or timer procedure. An exception
    // must not unwind through Windows' frames: it is kept and thrown again by the loop
    // once DispatchMessage has returned.
    template <class F>
    void Guarded(F&& action) noexcept {
        try {
            action();
        } catch (...) {
            if (!pending_) pending_ = std::current_exception();
        }
    }

  private:
    struct Timer {
        TimerId id = 0;
        std::uintptr_t systemId = 0;
        std::uint64_t start = 0;
        std::uint32_t interval = 0;
        std::uint64_t ticks = 0;
        bool oneShot = false;
        std::uint64_t due = 0;  // one-shot: the steady time it is due at
        bool stopped = false;
        std::function<void()> tick;
    };

    struct Access;  // the timer procedure, in the .cpp
    friend struct Access;

    // Arms the system timer for `timer` and records it; 0 when the system refused.
    TimerId Add(const std::shared_ptr<Timer>& timer, std::uint64_t waitMs);
    // Sets the timer's system timer to fire once more after `waitMs`.
    void Rearm(const std::shared_ptr<Timer>& timer, std::uint64_t waitMs);
    void OnTimer(std::uintptr_t systemId);
    // Dispatches every waiting message, stopping early at WM_QUIT or when `until` holds.
    enum class DrainResult { Empty, Done, Quit };
    DrainResult Drain(const std::function<bool()>& until);
    void RethrowPending();

    std::map<std::uintptr_t, std::shared_ptr<Timer>> timers_;  // by system id
    TimerId nextId_ = 1;
    MessageFilter filter_;
    bool quitSeen_ = false;
    std::exception_ptr pending_;
};
