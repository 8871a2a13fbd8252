// The splash window of Somnivex.scr: the product's and the maker's pictures for the first
// seconds of a run. Its load is the start of the run's wait (see Run.h).
#pragma once

#include <cstdint>

#include "common/Forms.h"

namespace scr {

class fMain : public Form {
  public:
    explicit fMain(FormHost& host);

    // The controls: the product's lettering, the rights notice, the maker's logo, and the
    // maker's products.
    Picture* imgLgeText = nullptr;
    Label* lblCopyright = nullptr;
    Picture* imgLogo = nullptr;
    Label* lblProgList = nullptr;

    // Returns once at least three whole seconds have passed since the window loaded,
    // handling events meanwhile.
    void IsDoneShowing();
    // When the window loaded, on the steady clock.
    std::uint64_t StartTime() const { return StartTime_; }

    static constexpr std::int64_t kDisplaySeconds = 3;

  protected:
    void OnLoad() override;
    void OnShown() override;

  private:
    void ReportLoadFailure();

    std::uint64_t StartTime_ = 0;
    bool reported_ = false;
    bool picturesLoaded_ = false;
};

}  // namespace scr
