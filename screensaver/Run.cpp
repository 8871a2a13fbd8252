// The run of Somnivex.scr.
//
// Windows starts us with "/s" when nobody has touched the computer for a while. We stand
// in for the screen saver the user chose: we show our splash, start that screen saver and
// wait. One of two things ends the wait:
//
//   * The chosen screen saver ends: the user is back. The run ends and nothing else
//     happens.
//   * tmrWait fires: WaitMinutes have passed since the splash loaded and the user is
//     still away. The chosen screen saver is left running, the 60-second countdown opens
//     above it and, unless the user cancels, Windows is shut down (or restarted, or the
//     user logged off), or the shutdown is handed to the launcher Kelvane.
//
// The states, in the order a run that ends in a shutdown passes them:
//
//     Splash -> Confirmation -> Waiting -> (Held) -> Countdown -> (Held -> Countdown)
//            -> Dispatch -> Ended
//
// Held. Before the countdown opens, and again when it reaches 0, hold_ asks whether
// Windows itself would stay awake now (a program holds a power request that keeps it from
// sleeping) or somebody else is signed in, whose work a shutdown would end; a log off
// ends our own session only, so for it the sessions are not asked. Either check can be
// turned off by policy. If the answer is yes the run is Held: no countdown (or the one
// that reached 0 ends without a shutdown), the chosen screen saver runs on, and
// tmrRecheck, one timer due a minute after each check, asks again. When nothing holds any
// more the full countdown opens, and its end is checked like the first: a held run never
// shuts down without a whole countdown after the hold. The end of the chosen screen saver
// ends a held run as it ends a waiting one. A run that has no screen saver running when
// it would be held (the wait ran out while a message was open) has nothing to wait for
// and ends without a shutdown. Each hold, change of reason and end goes to the run trail.
//
// The confirmation is asked only when the settings want it; after a No the run still
// waits for the chosen screen saver, but with tmrWait off, so only the user's return ends
// it. The other ways to Ended: from Splash when the command line asks for the settings
// manager or for nothing, or no screen saver is chosen; from Waiting or Held when the
// chosen screen saver ends or cannot start; from Countdown when the user cancels.
//
// Time. The wait is counted in whole seconds on the steady clock from the splash's load:
// it runs out at the first moment at which WaitMinutes × 60 of them have passed. That
// moment is known as soon as the splash has loaded, so tmrWait is one timer due then, and
// the splash's three seconds are one deadline too. In between, a waiting run sleeps in
// the event loop until the deadline or the chosen screen saver's end wakes it, and costs
// nothing. Neither a clock change nor daylight-saving time moves either deadline.
//
// gTimeUp carries tmrWait's news to the wait: the timer fires inside whatever wait is
// going on (every wait handles events), sets gTimeUp, and RunAndWait, waiting for the
// chosen screen saver, sees it and returns. RunAndWait clears gTimeUp as it starts a
// program; a No to the confirmation clears it too.
//
// Each state is a method that does the state's work, waits where the state waits and
// returns the state that follows. Go() runs them in turn, and every change of state
// passes through MoveTo(). A new state is an enumerator, a method and a case in Go();
// whatever must happen at each change of state belongs in MoveTo().
//
// The trail. MoveTo() tells the event log of each change an administrator asks about
// afterwards: the run's start, the countdown, the user's return, the countdown's cancel.
// What only a state's work knows (the answer to the question, a start that failed, what
// Windows or the launcher said) is told where it happens; an error Quietly() catches
// reaches the log through the logger. Writing never waits and never fails the run.
#include "screensaver/Run.h"

#include <algorithm>

#include "common/MyMsgBox.h"
#include "common/StringTable.h"
#include "screensaver/Dispatch.h"
#include "screensaver/ShutWarning.h"

namespace scr {

namespace {

constexpr int kConfirmWaitSeconds = 5;

// Why the chosen screen saver did not start, as far as the run can tell: the shell's own
// error is not handed on by the launcher seam.
ErrorInfo ScreenSaverStartError(const std::string& path) {
    constexpr std::int32_t kFileNotFound = 2;  // ERROR_FILE_NOT_FOUND
    constexpr std::int32_t kGenFailure = 31;   // ERROR_GEN_FAILURE
    if (!IsScreenSaverFile(path))
        return {kFileNotFound, "Somnivex", "No screen-saver file (*.scr) by its full path."};
    return {kGenFailure, "Somnivex", "The shell did not start it, or the wait for it failed."};
}

}  // namespace

std::int32_t WaitMinutesUsed(std::int16_t waitMinutes) {
    // The settings manager never stores less than a minute; a value below that from
    // elsewhere must not end the wait during the start-up display.
    return std::max<std::int32_t>(waitMinutes, 1);
}

std::int32_t WaitLimitSeconds(std::int16_t waitMinutes) {
    return WaitMinutesUsed(waitMinutes) * 60;
}

cRun::cRun(Services& services, ShutdownServices& shutdown, Command command)
    : services_(services),
      shutdown_(shutdown),
      command_(command),
      trail_(services.events),
      splash_(services.forms),
      tmrWait(services.loop),
      saver_(services.launcher, services.loop),
      hold_(shutdown.holdFacts),
      tmrRecheck(services.loop) {}

void cRun::Go() {
    MoveTo(RunState::Splash);
    while (state_ != RunState::Ended) {
        switch (state_) {
            case RunState::Splash:
                MoveTo(ShowSplash());
                break;
            case RunState::Confirmation:
                MoveTo(AskConfirmation());
                break;
            case RunState::Waiting:
                MoveTo(WaitForTheScreenSaver());
                break;
            case RunState::Held:
                MoveTo(Quietly(&cRun::StayHeld));
                break;
            case RunState::Countdown:
                MoveTo(Quietly(&cRun::ShowCountdown));
                break;
            case RunState::Dispatch:
                MoveTo(Quietly(&cRun::DoShutdown));
                break;
            case RunState::NotStarted:
            case RunState::Ended:
                break;
        }
    }
    tmrWait.Stop();
    tmrRecheck.Stop();
    // However the run ended, a hold still in force ends with it.
    Tell(hold_.RunEnds(services_.clock.SteadyMilliseconds()));
    splash_.Unload();
}

// Every change of state passes here.
void cRun::MoveTo(RunState next) {
    const RunState from = state_;
    state_ = next;
    switch (next) {
        case RunState::Confirmation:
        case RunState::Waiting:
            if (from == RunState::Splash) WriteRunStarted();
            break;
        case RunState::Countdown:
            trail_.CountdownOpened(WaitMinutesUsed(gOptions.WaitMinutes), fShutWarning::kSeconds,
                                   gOptions.RunKelvane, gOptions.ShutdownType);
            break;
        case RunState::Ended:
            if ((from == RunState::Waiting && saverStarted_) ||
                (from == RunState::Held && userBack_)) {
                const std::uint64_t ran = services_.clock.SteadyMilliseconds() - saverStartedAt_;
                trail_.UserReturned(gOptions.SelectedScreenSaver,
                                    static_cast<std::int64_t>(ran / 1000));
            } else if (from == RunState::Countdown) {
                if (countdownCancelled_)
                    trail_.CountdownCancelled(countdownLeft_);
                else
                    trail_.CountdownClosed(countdownLeft_);
            }
            break;
        case RunState::NotStarted:
        case RunState::Splash:
        case RunState::Held:  // the hold tells the trail itself, with its reason
        case RunState::Dispatch:
            break;
    }
}

void cRun::WriteRunStarted() {
    const std::int32_t minutes = WaitMinutesUsed(gOptions.WaitMinutes);
    if (gOptions.RunKelvane)
        trail_.RunStartedForLauncher(gOptions.SelectedScreenSaver, minutes, gOptions.KelvanePath,
                                     KelvaneSwitch(gOptions.ShutdownType).substr(1));
    else
        trail_.RunStarted(gOptions.SelectedScreenSaver, minutes, gOptions.ShutdownType);
}

// Splash: at least three whole seconds; the wait is counted from its load. Then what
// the command line asked for.
RunState cRun::ShowSplash() {
    splash_.Show();
    StartWaitTimer();
    splash_.IsDoneShowing();
    splash_.Hide();
    switch (command_) {
        case Command::RunScreenSaver:
            if (!gOptions.SelectedScreenSaver.empty())
                return gOptions.ConfirmShutdown ? RunState::Confirmation : RunState::Waiting;
            trail_.RunWithoutScreenSaver(gOptions.AppPath + "\\" + kManagerFileName);
            RunManager(trail_);
            break;
        case Command::Configure:
            RunManager(trail_);
            break;
        case Command::Preview:
        case Command::Other:
            break;
    }
    // tmrWait runs in every run: a message left open until the wait has run out leads
    // to the countdown as well.
    return gTimeUp ? UnlessHeld(RunState::Countdown) : RunState::Ended;
}

void cRun::StartWaitTimer() {
    const std::uint64_t limitMs =
        static_cast<std::uint64_t>(WaitLimitSeconds(gOptions.WaitMinutes)) * 1000;
    tmrWait.Reset(
        services_.loop.StartTimerAt(splash_.StartTime() + limitMs, [this] { tmrWait_Timer(); }));
}

void cRun::tmrWait_Timer() {
    tmrWait.Reset();
    gTimeUp = true;
}

// Confirmation: the timed question, asked before the chosen screen saver starts. Either
// answer goes on to the wait; after a No the wait can no longer run out.
RunState cRun::AskConfirmation() {
    const std::int16_t type =
        gOptions.DefaultConfirmYes ? mb::kYesNo : mb::kYesNo + mb::kDefButton2;
    const IStringSource& strings = services_.strings;
    const std::string text = strings.Load(str_id::kConfirmBefore).value_or("") +
                             std::to_string(WaitMinutesUsed(gOptions.WaitMinutes)) +
                             strings.Load(str_id::kConfirmAfter).value_or("");
    fMyMsgBox box(services_.forms, strings, services_.productName);
    const bool yes = box.DisplayMessage(text, type, kConfirmWaitSeconds) == 1;
    if (box.TimedOut())
        trail_.ConfirmationTimedOut(kConfirmWaitSeconds, gOptions.DefaultConfirmYes);
    else
        trail_.ConfirmationAnswered(yes);
    if (!yes) {
        tmrWait.Stop();
        gTimeUp = false;
    }
    return RunState::Waiting;
}

// Waiting: the chosen screen saver runs in our place until it ends or tmrWait sets
// gTimeUp. In the second case it goes on running, and saver_ keeps hold of it.
RunState cRun::WaitForTheScreenSaver() {
    const std::string& path = gOptions.SelectedScreenSaver;
    saverStartedAt_ = services_.clock.SteadyMilliseconds();
    saverStarted_ = RunScreenSaver(path, &saver_);
    if (!saverStarted_) trail_.ScreenSaverNotStarted(path, ScreenSaverStartError(path));
    saverRunsOn_ = saverStarted_ && gTimeUp;
    return gTimeUp ? UnlessHeld(RunState::Countdown) : RunState::Ended;
}

RunState cRun::UnlessHeld(RunState next) {
    const tHoldSwitches checks = gSSOptions->Policy().Hold();
    const bool othersWouldLoseWork = EndsOtherSessions(gOptions.ShutdownType);
    const HoldDecision decision =
        hold_.Check(checks.PowerRequests, checks.OtherSessions && othersWouldLoseWork,
                    services_.clock.SteadyMilliseconds());
    Tell(decision.notices);
    if (!decision.held) return next;
    return saverRunsOn_ ? RunState::Held : RunState::Ended;
}

// Held: the chosen screen saver runs on until it ends (the user is back) or the next
// check is due.
RunState cRun::StayHeld() {
    StartRecheckTimer();
    userBack_ = saver_.WaitForEnd([this] { return recheckDue_; });
    if (userBack_) return RunState::Ended;
    // Cut short before the check was due: a quit message, the program is being closed.
    if (!recheckDue_) return RunState::Ended;
    return UnlessHeld(RunState::Countdown);
}

void cRun::StartRecheckTimer() {
    recheckDue_ = false;
    const TimerId id = services_.loop.StartTimerAt(
        services_.clock.SteadyMilliseconds() + ShutdownHold::kRecheckMs, [this] {
            tmrRecheck.Reset();
            recheckDue_ = true;
        });
    // Without a next check the hold could never end: the run ends here, without a shutdown.
    if (id == 0)
        throw RaisedError(
            {0, "Somnivex", "The shutdown is held, and no timer is left to check again"});
    tmrRecheck.Reset(id);
}

void cRun::Tell(const std::vector<HoldNotice>& notices) {
    WriteToTrail(trail_, notices);
}

// Countdown: the last chance to stop the shutdown.
RunState cRun::ShowCountdown() {
    fShutWarning warning(services_.forms, services_.strings, *gLogger);
    warning.ShowModal();
    countdownCancelled_ = warning.Cancelled();
    countdownLeft_ = warning.SecondsLeft();
    if (warning.Cancelled()) return RunState::Ended;
    // Still counting: a quit message ended the wait, the program is being closed, and
    // that is no consent to shut down.
    if (warning.IsLoaded()) return RunState::Ended;
    // At 0: what holds the shutdown now holds it still.
    return UnlessHeld(RunState::Dispatch);
}

// Dispatch: the countdown ran out.
RunState cRun::DoShutdown() {
    if (gOptions.RunKelvane)
        HandShutdownToLauncher(services_, shutdown_, trail_);
    else
        ExitWindowsNow(services_, shutdown_, trail_);
    return RunState::Ended;
}

RunState cRun::Quietly(RunState (cRun::*state)()) {
    // The user is away, or has just let the countdown run out: nothing is shown, and what
    // went wrong is logged.
    try {
        return (this->*state)();
    } catch (const RaisedError& e) {
        gLogger->LogError(e.info.Description, false, e.info);
        return RunState::Ended;
    }
}

}  // namespace scr
