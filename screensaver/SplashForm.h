// The splash window of Somnivex.scr. It shows the product's and the maker's pictures for
// the first seconds of a run, then stays loaded but hidden because it carries the wait
// timer that ends the wait for the chosen screen saver.
#pragma once

#include <cstdint>

#include "common/Forms.h"

namespace scr {

class fMain : public Form {
  public:
    explicit fMain(FormHost& host);

    // Returns once at least three whole seconds have passed since the window loaded,
    // handling events meanwhile.
    void IsDoneShowing();
    // Switches the wait timer off for the rest of the run (the user said No).
    void StopWaitTimer() { StopTimer(tmrWait_); }
    bool WaitTimerRunning() const { return tmrWait_ != 0; }

    static constexpr std::uint32_t kWaitTimerInterval = 1000;
    static constexpr std::int64_t kDisplaySeconds = 3;

  protected:
    void OnLoad() override;
    void OnShown() override;

  private:
    // Whole seconds since the window loaded, on the steady clock.
    std::int64_t ElapsedSeconds() const;
    void tmrWait_Timer();
    void ReportLoadFailure();

    std::uint64_t StartTime_ = 0;
    TimerId tmrWait_ = 0;
    bool reported_ = false;
    bool picturesLoaded_ = false;
};

// The minutes a run waits for a stored minute count: at least one.
std::int32_t WaitMinutesUsed(std::int16_t waitMinutes);
// The wait in seconds for a stored minute count: at least one minute, and no overflow.
std::int32_t WaitLimitSeconds(std::int16_t waitMinutes);

}  // namespace scr
