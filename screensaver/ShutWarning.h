// fShutWarning: the last chance to stop the shutdown. Counts down from 60 once a second
// and closes itself at 0; its button cancels. Its line and its button name what follows:
// a shut down, a restart, a log off, or the hand-over to Kelvane.
#pragma once

#include <cstdint>

#include "common/Forms.h"
#include "common/Logger.h"
#include "common/Platform.h"
#include "common/ShutdownTexts.h"

namespace scr {

class fShutWarning : public Form {
  public:
    fShutWarning(FormHost& host, const IStringSource& strings, cLogger& logger,
                 EndKind kind = EndKind::ShutDown);

    // The controls: the heading, the line above the count, the count and its unit, and
    // the button that cancels (also Escape's).
    Label* Label2 = nullptr;
    Label* Label1 = nullptr;
    Label* lblSeconds = nullptr;
    Label* Label4 = nullptr;
    Button* cmdCancel = nullptr;

    // How long the count runs.
    static constexpr std::int16_t kSeconds = 60;
    // Whether screen readers hear the count when it reaches `secondsLeft`: every ten
    // seconds and each of the last five, so a reader keeps up without being flooded.
    static bool Announces(std::int16_t secondsLeft) {
        return secondsLeft > 0 && (secondsLeft % 10 == 0 || secondsLeft <= 5);
    }

    // The count from the top again, as after the computer has woken up.
    void StartAgain();

    bool Cancelled() const { return cancelled_; }
    std::int16_t SecondsLeft() const { return secondsLeft_; }

  protected:
    void OnLoad() override;
    void OnShown() override;
    // Closing the window (Alt+F4, WM_CLOSE from another program) neither cancels nor ends
    // the count.
    void OnCloseBox() override {}

  private:
    void LoadCaptions();
    void Timer1_Timer();
    void cmdCancel_Click();

    const IStringSource& strings_;
    cLogger& logger_;
    const EndKind kind_;
    std::int16_t secondsLeft_ = kSeconds;
    bool cancelled_ = false;
    TimerId timer1_ = 0;
};

}  // namespace scr
