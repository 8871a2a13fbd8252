// The splash window of Somnivex.scr: the product's and the maker's pictures for the first
// seconds of a run. It carries the run's wait, which its load starts (see Run.cpp).
#pragma once

#include <cstdint>

#include "common/EventLoop.h"
#include "common/Forms.h"

namespace scr {

// The minutes a run waits for a stored minute count: at least one.
std::int32_t WaitMinutesUsed(std::int16_t waitMinutes);
// The wait in seconds for a stored minute count: at least one minute, and no overflow.
std::int32_t WaitLimitSeconds(std::int16_t waitMinutes);

class fMain : public Form {
  public:
    explicit fMain(FormHost& host);

    // The controls: the product's lettering, the rights notice, the maker's logo, and the
    // maker's products.
    Picture* imgLgeText = nullptr;
    Label* lblCopyright = nullptr;
    Picture* imgLogo = nullptr;
    Label* lblProgList = nullptr;
    // Due once, when WaitMinutes have passed since the window loaded: sets gTimeUp. A No to
    // the question stops it, and so does unloading.
    ScopedTimer tmrWait;

    // Returns once at least three whole seconds have passed since the window loaded,
    // handling events meanwhile.
    void IsDoneShowing();

    static constexpr std::int64_t kDisplaySeconds = 3;

  protected:
    void OnLoad() override;
    void OnShown() override;
    void OnUnload() override;

  private:
    void ReportLoadFailure();
    void tmrWait_Timer();

    std::uint64_t StartTime_ = 0;
    bool reported_ = false;
    bool picturesLoaded_ = false;
};

}  // namespace scr
