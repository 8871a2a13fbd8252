// The event loop of the one user-interface thread: thread timers that keep to their
// schedule or fire once at a deadline, and waits that sleep in MsgWaitForMultipleObjectsEx
// until a message, a timer or the awaited process wakes them. No polling, so an idle wait
// costs nothing until its deadline.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

#include "common/EventLoop.h"

// What the form host needs of the loop beyond the portable seam.
class IWin32EventLoop : public IEventLoop {
  public:
    // Sees every message (a MSG*) before it is dispatched; returns true when it handled
    // it (the form host runs IsDialogMessage here for Tab, Enter, Escape, access keys).
    using MessageFilter = std::function<bool(void* msg)>;
    virtual void SetMessageFilter(MessageFilter filter) = 0;

    // Runs a callback of the portable code from a window or timer procedure. An exception
    // must not unwind through Windows' frames: it is kept and thrown again by the loop
    // once DispatchMessage has returned.
    template <class F>
    void Guarded(F&& action) noexcept {
        try {
            action();
        } catch (...) {
            Keep(std::current_exception());
        }
    }

  protected:
    // Keeps the first exception of a guarded callback for the loop to throw again.
    virtual void Keep(std::exception_ptr error) noexcept = 0;
};

// The loop of the calling thread, which must be the one user-interface thread.
std::unique_ptr<IWin32EventLoop> NewWin32EventLoop();
