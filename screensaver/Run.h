// One run of Somnivex.scr, from the splash to its end, as a small state machine. Run.cpp
// opens with an account of the run.
#pragma once

#include <cstdint>

#include "common/RunTrail.h"
#include "common/SharedObjects.h"
#include "screensaver/SSMain.h"
#include "screensaver/ShutdownHold.h"
#include "screensaver/SplashForm.h"

namespace scr {

// The states of a run, in the order a run that ends in a shutdown passes them.
enum class RunState {
    NotStarted,
    Splash,        // the start-up display; the wait has begun
    Confirmation,  // the timed question whether to shut down after the wait
    Waiting,       // the chosen screen saver runs in our place
    Held,          // the shutdown waits for a program's power request or another user
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
    RunState StayHeld();
    RunState ShowCountdown();
    RunState DoShutdown();
    // The hold's check on the way to the countdown and to the dispatch: `next` when nothing
    // holds the shutdown back.
    RunState UnlessHeld(RunState next);
    // From the countdown on, an error is logged, never shown, and ends the run.
    RunState Quietly(RunState (cRun::*state)());
    void MoveTo(RunState next);

    // The run's start as the trail tells it: what runs, for how long, and what follows.
    void WriteRunStarted();
    // A stored shutdown code the programs do not know acts as a plain shut down; the trail
    // hears so beside the first event that names what the run will do.
    void WarnOfUnknownShutdownType();

    void StartRecheckTimer();
    void Tell(const std::vector<HoldNotice>& notices);

    Services& services_;
    ShutdownServices& shutdown_;
    const Command command_;
    // What the run tells the event log: its start, the answers, its end and why.
    cRunTrail trail_;
    RunState state_ = RunState::NotStarted;
    // Carries tmrWait, the run's wait.
    fMain splash_;
    // The chosen screen saver, kept (with its handle) from its start to the run's end.
    WaitedProgram saver_;
    // Whether the chosen screen saver was still running when the wait ran out: a held run
    // waits for its end, the sign that the user is back.
    bool saverRunsOn_ = false;
    ShutdownHold hold_;
    // While held: due once, a minute after the last check.
    ScopedTimer tmrRecheck;
    bool recheckDue_ = false;
    // The chosen screen saver ended while the run was held: the user is back.
    bool userBack_ = false;
    // What the states leave for MoveTo to tell the trail.
    std::uint64_t saverStartedAt_ = 0;  // steady milliseconds
    bool saverStarted_ = false;
    std::int16_t countdownLeft_ = 0;  // the countdown's seconds left when it ended
    bool countdownCancelled_ = false;
};

}  // namespace scr
