#include "platform/win32/Win32EventLoop.h"

#include <windows.h>

#include <map>

#include "platform/win32/Win32PowerNotices.h"

namespace {

class Win32EventLoop;
// The loop of this thread, for the timer procedure (thread timers carry no context).
thread_local Win32EventLoop* tCurrentLoop = nullptr;

// How early a system timer may fire for the clock's grain: the tick is 15.6 ms at most.
constexpr std::uint64_t kTickGrainMs = 20;

// What SetTimer accepts; a longer wait is re-armed when it runs out.
UINT TimerWait(std::uint64_t waitMs) {
    if (waitMs < USER_TIMER_MINIMUM) return USER_TIMER_MINIMUM;
    if (waitMs > USER_TIMER_MAXIMUM) return USER_TIMER_MAXIMUM;
    return static_cast<UINT>(waitMs);
}

class Win32EventLoop final : public IWin32EventLoop {
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
    enum class DrainResult { Empty, Done, Quit };

  public:
    Win32EventLoop() { tCurrentLoop = this; }

    ~Win32EventLoop() override {
        for (auto& [systemId, timer] : timers_) KillTimer(nullptr, systemId);
        if (tCurrentLoop == this) tCurrentLoop = nullptr;
    }

    Win32EventLoop(const Win32EventLoop&) = delete;
    Win32EventLoop& operator=(const Win32EventLoop&) = delete;

    void ProcessPendingEvents() override {
        Drain(nullptr);
        RethrowPending();
    }

    TimerId StartTimer(std::uint32_t intervalMs, std::function<void()> tick) override {
        auto timer = std::make_shared<Timer>();
        timer->interval = intervalMs < USER_TIMER_MINIMUM ? USER_TIMER_MINIMUM : intervalMs;
        timer->start = Win32SteadyMilliseconds();
        timer->tick = std::move(tick);
        return Add(timer, timer->interval);
    }

    TimerId StartTimerAt(std::uint64_t dueMs, std::function<void()> tick) override {
        auto timer = std::make_shared<Timer>();
        timer->oneShot = true;
        timer->due = dueMs;
        timer->tick = std::move(tick);
        const std::uint64_t now = Win32SteadyMilliseconds();
        return Add(timer, dueMs > now ? dueMs - now : 0);
    }

    void StopTimer(TimerId id) override {
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            if (it->second->id != id) continue;
            KillTimer(nullptr, it->first);
            // A callback that stops its own timer still holds the record (OnTimer keeps a
            // reference), so erasing here is safe from inside the tick.
            it->second->stopped = true;
            timers_.erase(it);
            return;
        }
    }

    void RunUntil(const std::function<bool()>& done) override {
        if (done()) return;
        for (;;) {
            if (Drain(done) != DrainResult::Empty) return;
            // Sent messages are handled inside the wait and Peek; done() may have changed.
            if (done()) return;
            MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        }
    }

    bool WaitForProcess(ProcessHandle process, const std::function<bool()>& stop) override {
        HANDLE handle = reinterpret_cast<HANDLE>(process);
        // No handle, or one the system will not wait on, says nothing about the process.
        bool failed = handle == nullptr;
        const auto ended = [&] {
            if (failed) return false;
            const DWORD state = WaitForSingleObject(handle, 0);
            failed = state == WAIT_FAILED;
            return state == WAIT_OBJECT_0;
        };
        for (;;) {
            if (stop()) return false;
            if (ended()) return true;
            if (failed) return false;
            const DrainResult drained = Drain([&] { return stop() || ended() || failed; });
            if (drained == DrainResult::Quit) return !stop();  // the program is closing
            if (drained == DrainResult::Done) continue;
            if (stop()) return false;
            const DWORD woke =
                MsgWaitForMultipleObjectsEx(1, &handle, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            if (woke == WAIT_OBJECT_0) return !stop();
            if (woke == WAIT_FAILED) return false;
        }
    }

    void OnPowerChange(std::function<void(const PowerChange&)> handler) override {
        powerHandler_ = std::move(handler);
        // The window stays once made, so the clock keeps hearing of every sleep.
        if (!powerNotices_ && powerHandler_)
            powerNotices_ = NewWin32PowerNotices([this](const PowerChange& change) {
                if (powerHandler_) Guarded([&] { powerHandler_(change); });
            });
    }

    void SetMessageFilter(MessageFilter filter) override { filter_ = std::move(filter); }

  protected:
    void Keep(std::exception_ptr error) noexcept override {
        if (!pending_) pending_ = std::move(error);
    }

  private:
    static void CALLBACK TimerProc(HWND, UINT, UINT_PTR systemId, DWORD) {
        if (tCurrentLoop) tCurrentLoop->OnTimer(systemId);
    }

    // Arms the system timer for `timer` and records it; 0 when the system refused.
    TimerId Add(const std::shared_ptr<Timer>& timer, std::uint64_t waitMs) {
        timer->systemId = SetTimer(nullptr, 0, TimerWait(waitMs), &TimerProc);
        if (timer->systemId == 0) return 0;
        timer->id = nextId_++;
        if (nextId_ == 0) nextId_ = 1;
        timers_[timer->systemId] = timer;
        return timer->id;
    }

    // Sets the timer's system timer to fire once more after `waitMs`.
    void Rearm(const std::shared_ptr<Timer>& timer, std::uint64_t waitMs) {
        const std::uintptr_t systemId = timer->systemId;
        const UINT_PTR rearmed = SetTimer(nullptr, systemId, TimerWait(waitMs), &TimerProc);
        if (rearmed == systemId) return;
        // Some systems hand out a new id instead of replacing the timer.
        KillTimer(nullptr, systemId);
        timers_.erase(systemId);
        if (rearmed != 0) {
            timer->systemId = rearmed;
            timers_[rearmed] = timer;
        }
    }

    void OnTimer(std::uintptr_t systemId) {
        const auto found = timers_.find(systemId);
        if (found == timers_.end()) {
            KillTimer(nullptr, systemId);  // a stale tick of a timer stopped meanwhile
            return;
        }
        const std::shared_ptr<Timer> timer = found->second;
        const std::uint64_t now = Win32SteadyMilliseconds();
        if (timer->oneShot) {
            // Early by the tick count's grain, or a wait longer than one system timer can
            // span: armed again for what is left, so it never runs before its moment.
            if (now < timer->due) {
                Rearm(timer, timer->due - now);
                return;
            }
            KillTimer(nullptr, systemId);
            timers_.erase(found);
            Guarded([&] { timer->tick(); });
            return;
        }
        // Ticks are due at start + n * interval. Ticks missed while nobody handled messages
        // come as one (as WM_TIMER does); the next is due on the grid again, so a 1000 ms
        // timer's 1800th tick is still on time.
        // A tick that fires a hair early (the tick count's grain) still counts as the next;
        // one due much later (the system timer ran on while the clock stood still, as it
        // does while the computer sleeps) is armed again for what is left.
        const std::uint64_t nextDue = timer->start + (timer->ticks + 1) * timer->interval;
        if (nextDue > now + kTickGrainMs) {
            Rearm(timer, nextDue - now);
            return;
        }
        const std::uint64_t onGrid = (now - timer->start) / timer->interval;
        timer->ticks = onGrid > timer->ticks ? onGrid : timer->ticks + 1;
        const std::uint64_t next = timer->start + (timer->ticks + 1) * timer->interval;
        // Re-arm before the callback, which may stop the timer or wait in a nested loop.
        Rearm(timer, next > now ? next - now : USER_TIMER_MINIMUM);
        Guarded([&] { timer->tick(); });
    }

    // Dispatches every waiting message, stopping early at WM_QUIT or when `until` holds.
    DrainResult Drain(const std::function<bool()>& until) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // Leave it for the outermost loop, which ends the program.
                quitSeen_ = true;
                PostQuitMessage(static_cast<int>(msg.wParam));
                return DrainResult::Quit;
            }
            if (!(filter_ && filter_(&msg))) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            RethrowPending();
            if (until && until()) return DrainResult::Done;
        }
        // A sent message (a power notice) runs inside PeekMessage, not DispatchMessage.
        RethrowPending();
        return DrainResult::Empty;
    }

    void RethrowPending() {
        if (pending_) {
            std::exception_ptr error = pending_;
            pending_ = nullptr;
            std::rethrow_exception(error);
        }
    }

    std::map<std::uintptr_t, std::shared_ptr<Timer>> timers_;  // by system id
    TimerId nextId_ = 1;
    MessageFilter filter_;
    bool quitSeen_ = false;  // WM_QUIT was seen; it is posted again so every loop ends
    std::exception_ptr pending_;
    std::function<void(const PowerChange&)> powerHandler_;
    std::unique_ptr<Win32PowerNotices> powerNotices_;
};

}  // namespace

std::unique_ptr<IWin32EventLoop> NewWin32EventLoop() {
    return std::make_unique<Win32EventLoop>();
}
