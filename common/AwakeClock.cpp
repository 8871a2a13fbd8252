#include "common/AwakeClock.h"

bool AwakeClock::Suspending() {
    if (suspendedAt_) return false;
    suspendedAt_ = raw_();
    wallAtSuspend_ = wall_();
    return true;
}

std::optional<std::uint64_t> AwakeClock::Resumed() {
    if (!suspendedAt_) return std::nullopt;
    const std::uint64_t raw = raw_();
    if (raw > *suspendedAt_) leftOut_ += raw - *suspendedAt_;
    suspendedAt_.reset();
    const std::uint64_t wall = wall_();
    return wall > wallAtSuspend_ ? wall - wallAtSuspend_ : 0;
}
