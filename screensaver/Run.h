// One run of Somnivex.scr, from the splash to its end, as a small state machine. Run.cpp
// opens with an account of the run.
#pragma once

#include <cstdint>

#include "common/RunTrail.h"
#include "common/SharedObjects.h"
#include "screensaver/SSMain.h"
#include "screensaver/SplashForm.h"

namespace scr {

// The states of a run, in the order a run that ends in a shutdown passes them.
enum class RunState {
    NotStarted,
    Splash,        // the start-up display; the wait has begun
    Confirmation,  // the timed question whether to shut down after the wait
    Waiting,       // the chosen screen saver runs in our place
    Countdown,     // the 60-second warning above the chosen screen saver
    Dispatch,      // the shutdown, or its hand-over to the launcher
    Ended,
};

class cRun {
  public:
    cRun(Services& services, ShutdownServices& shutdown, Command command);
    cRun(const cRun&) = delete;
    cRun& operator=(const cRun&) = delete;

    // Runs from the splash to the end.
    void Go();

  private:
    // The states' work. Each returns the state that follows.
    RunState ShowSplash();
    RunState AskConfirmation();
    RunState WaitForTheScreenSaver();
    RunState ShowCountdown();
    RunState DoShutdown();
    // From the countdown on, an error is logged, never shown, and ends the run.
    RunState Quietly(RunState (cRun::*state)());
    void MoveTo(RunState next);

    // The run's start as the trail tells it: what runs, for how long, and what follows.
    void WriteRunStarted();

    void StartWaitTimer();
    void tmrWait_Timer();

    Services& services_;
    ShutdownServices& shutdown_;
    const Command command_;
    // What the run tells the event log: its start, the answers, its end and why.
    cRunTrail trail_;
    RunState state_ = RunState::NotStarted;
    fMain splash_;
    // Due once, when WaitMinutes have passed since the splash loaded.
    ScopedTimer tmrWait;
    // The chosen screen saver, kept (with its handle) from its start to the run's end.
    WaitedProgram saver_;
    // What the states leave for MoveTo to tell the trail.
    std::uint64_t saverStartedAt_ = 0;  // steady milliseconds
    bool saverStarted_ = false;
    std::int16_t countdownLeft_ = 0;  // the countdown's seconds left when it ended
    bool countdownCancelled_ = false;
};

// The minutes a run waits for a stored minute count: at least one.
std::int32_t WaitMinutesUsed(std::int16_t waitMinutes);
// The wait in seconds for a stored minute count: at least one minute, and no overflow.
std::int32_t WaitLimitSeconds(std::int16_t waitMinutes);

}  // namespace scr
