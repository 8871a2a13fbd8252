// Sleep and the steady clock on Windows. The programs' steady clock counts the time the
// computer is awake (common/AwakeClock.h over the unbiased interrupt time), and a hidden
// top-level window hears Windows' notices of a suspend and a resume for it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "common/EventLoop.h"

// The steady clock of this process: the time the computer has been awake, in ms. The
// event loop's timers and IClock::SteadyMilliseconds both keep to it.
std::uint64_t Win32SteadyMilliseconds();

// Windows' suspend and resume notices, for as long as the object lives. Each suspend and
// each resume is told once, on the thread that made the object, inside its message loop.
class Win32PowerNotices {
  public:
    virtual ~Win32PowerNotices() = default;
};
std::unique_ptr<Win32PowerNotices> NewWin32PowerNotices(
    std::function<void(const PowerChange&)> tell);
