// The steady clock of a computer that sleeps: milliseconds of the time it was awake.
//
// `raw` is a monotonic count that leaves out the time spent in a sleep state (Windows'
// unbiased interrupt time); `wall` one that counts on through it (the tick count). On a
// computer with modern standby the raw count may run on while the computer is asleep
// too, and a timer can fire as it wakes, before Windows' notice of the resume has
// arrived. So between the notice of a suspend and the notice of the resume this clock
// stands still, and whatever the raw count moved meanwhile is left out for good: a wait
// goes on after a sleep for what was left of it, whichever kind of sleep it was.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

class AwakeClock {
  public:
    AwakeClock(std::function<std::uint64_t()> raw, std::function<std::uint64_t()> wall)
        : raw_(std::move(raw)), wall_(std::move(wall)) {}

    std::uint64_t Now() const { return (suspendedAt_ ? *suspendedAt_ : raw_()) - leftOut_; }
    // Windows says the computer goes to sleep. True when that is news: the notice comes
    // both to every top-level window and to the registered one.
    bool Suspending();
    // Windows says the computer has woken up: how long it was away, by the wall count,
    // when a suspend was told before; nullopt for a second notice of the same resume.
    std::optional<std::uint64_t> Resumed();

  private:
    std::function<std::uint64_t()> raw_;
    std::function<std::uint64_t()> wall_;
    std::uint64_t leftOut_ = 0;
    std::optional<std::uint64_t> suspendedAt_;  // the raw count at the suspend
    std::uint64_t wallAtSuspend_ = 0;
};
