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
// A hold has an end. Requests that never end are common (an open audio stream, a
// connected share), so MaxHoldMinutes after the run was first held (a policy; four hours
// unless set, 0 for no limit) the full countdown opens whatever holds, and from then on
// nothing holds the run: a run held by a request that never ends shuts down one
// countdown after the limit. The trail says that the limit ended the hold. What Windows
// will not tell (the power requests, the sessions, another session's user) never holds.
//
// The confirmation is asked only when the settings want it; after a No the run still
// waits for the chosen screen saver, but with tmrWait off, so only the user's return ends
// it. The other ways to Ended: from Splash when the command line asks for the settings
// manager or for nothing, or no screen saver is chosen; from Waiting or Held when the
// chosen screen saver ends or cannot start; from Countdown when the user cancels.
//
// Time. The wait is counted in whole seconds on the steady clock from the splash's load:
// it runs out at the first moment at which WaitMinutes × 60 of them have passed. That
// moment is known as soon as the splash has loaded, so the splash's tmrWait is one timer
// due then, started by the load itself before the pictures (and any message about them),
// and the splash's three seconds are one deadline too. In between, a waiting run sleeps
// in the event loop until the deadline or the chosen screen saver's end wakes it, and
// costs nothing. Neither a clock change nor daylight-saving time moves either deadline.
//
// Sleep. Time the computer spends asleep or hibernating is no time waited: the steady
// clock stands still from Windows' notice of the suspend to its notice of the resume, so
// after a wake the wait goes on for what was left, and a wake at night for maintenance
// does not run out a wait that began in the evening. The run stays in its state; the
// trail hears of the sleep and the wake, and an open countdown starts again from 60, so
// that whoever woke the computer has the whole minute. A held run checks again a minute
// of awake time after its last check, as before the sleep.
//
// gTimeUp carries tmrWait's news to the wait: the timer fires inside whatever wait is
// going on (every wait handles events, a message box's too), sets gTimeUp, and
// RunAndWait, waiting for the chosen screen saver, sees it and returns. RunAndWait clears
// gTimeUp as it starts a program; a No to the confirmation clears it too. So a wait that
// runs out while the splash's message is open leads to the countdown when the command
// line asked for the manager or for nothing, and to no countdown when it asked for the
// chosen screen saver: somebody closed the message, and that run ends when they are back.
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

#include "common/MyMsgBox.h"
#include "common/ShutdownTexts.h"
#include "screensaver/Dispatch.h"
#include "screensaver/ShutWarning.h"

namespace scr {

namespace {

constexpr int kConfirmWaitSeconds = 5;
constexpr std::int32_t kGenFailure = 31;  // ERROR_GEN_FAILURE

}  // namespace

cRun::cRun(Services& services, ShutdownServices& shutdown, Command command)
    : services_(services),
      shutdown_(shutdown),
      command_(command),
      trail_(services.events),
      splash_(services.forms),
      saver_(services.launcher, services.loop),
      hold_(shutdown.holdFacts, gSSOptions->Policy().Hold().MaxMinutes),
      tmrRecheck(services.loop) {}

cRun::~cRun() {
    services_.loop.OnPowerChange({});
}

void cRun::Go() {
    services_.loop.OnPowerChange([this](const PowerChange& change) { PowerChanged(change); });
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
    splash_.tmrWait.Stop();
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
                                   GoesToLauncher(gOptions.RunKelvane, gOptions.ShutdownType),
                                   gOptions.ShutdownType);
            // Straight from the splash, no start of the run was told.
            if (from == RunState::Splash) WarnOfUnknownShutdownType();
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
    if (GoesToLauncher(gOptions.RunKelvane, gOptions.ShutdownType))
        trail_.RunStartedForLauncher(gOptions.SelectedScreenSaver, minutes, gOptions.KelvanePath,
                                     KelvaneSwitch(gOptions.ShutdownType).substr(1));
    else
        trail_.RunStarted(gOptions.SelectedScreenSaver, minutes, gOptions.ShutdownType);
    WarnOfUnknownShutdownType();
}

void cRun::WarnOfUnknownShutdownType() {
    const std::int16_t code = gOptions.ShutdownType;
    if (shutdown_code::IsKnown(code)) return;
    trail_.UnknownShutdownType(code, gOptions.RunKelvane
                                         ? "the launcher is started with" + KelvaneSwitch(code)
                                         : "Windows is asked to " + ShutdownActionText(code));
}

// Splash: at least three whole seconds; its load starts the wait. Then what the command
// line asked for.
RunState cRun::ShowSplash() {
    splash_.Show();
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

// Confirmation: the timed question, asked before the chosen screen saver starts. Either
// answer goes on to the wait; after a No the wait can no longer run out.
RunState cRun::AskConfirmation() {
    const std::int16_t type =
        gOptions.DefaultConfirmYes ? mb::kYesNo : mb::kYesNo + mb::kDefButton2;
    const IStringSource& strings = services_.strings;
    const std::string text =
        ConfirmationQuestion(strings, EndKindOf(gOptions.RunKelvane, gOptions.ShutdownType),
                             std::to_string(WaitMinutesUsed(gOptions.WaitMinutes)));
    fMyMsgBox box(services_.forms, strings, services_.productName);
    const bool yes = box.DisplayMessage(text, type, kConfirmWaitSeconds) == 1;
    if (box.TimedOut())
        trail_.ConfirmationTimedOut(kConfirmWaitSeconds, gOptions.DefaultConfirmYes);
    else
        trail_.ConfirmationAnswered(yes);
    if (!yes) {
        splash_.tmrWait.Stop();
        gTimeUp = false;
    }
    return RunState::Waiting;
}

// Waiting: the chosen screen saver runs in our place until it ends or tmrWait sets
// gTimeUp. In the second case it goes on running, and saver_ keeps hold of it.
RunState cRun::WaitForTheScreenSaver() {
    const std::string& path = gOptions.SelectedScreenSaver;
    const ProgramVerdict saver = CheckScreenSaver(path, OriginOf("SelectedScreenSaver"));
    saverStartedAt_ = services_.clock.SteadyMilliseconds();
    if (saver.program) {
        saverStarted_ = RunScreenSaver(*saver.program, &saver_);
        // The shell's own error is not handed on by the launcher seam.
        if (!saverStarted_)
            trail_.ScreenSaverNotStarted(
                path, {kGenFailure, "Somnivex",
                       "The shell did not start it, or the wait for it failed."});
    } else {
        saverStarted_ = false;
        gTimeUp = false;  // as for a start that fails: no countdown follows
        trail_.ScreenSaverNotStarted(path, saver.refusal);
    }
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
    fShutWarning warning(services_.forms, services_.strings, *gLogger,
                         EndKindOf(gOptions.RunKelvane, gOptions.ShutdownType));
    countdown_ = &warning;
    struct Closed {
        fShutWarning*& open;
        ~Closed() { open = nullptr; }
    } closed{countdown_};
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
    if (GoesToLauncher(gOptions.RunKelvane, gOptions.ShutdownType))
        HandShutdownToLauncher(services_, shutdown_, trail_);
    else
        ExitWindowsNow(services_, shutdown_, trail_);
    return RunState::Ended;
}

void cRun::PowerChanged(const PowerChange& change) {
    if (change.kind == PowerChange::Kind::Suspending) {
        trail_.ComputerSuspended(StepInWords(), WaitSecondsLeft());
        return;
    }
    if (countdown_) countdown_->StartAgain();
    trail_.ComputerResumed(static_cast<std::int64_t>(change.asleepMs / 1000), StepInWords(),
                           WaitSecondsLeft());
}

std::string cRun::StepInWords() const {
    switch (state_) {
        case RunState::Splash:
            return "the splash";
        case RunState::Confirmation:
            return "the question";
        case RunState::Waiting:
            return splash_.tmrWait.Active() || gTimeUp ? "the wait"
                                                       : "the screen saver, without a shutdown";
        case RunState::Held:
            return "the held shutdown";
        case RunState::Countdown:
            return "the countdown";
        case RunState::Dispatch:
            return "the shutdown";
        case RunState::NotStarted:
        case RunState::Ended:
            break;
    }
    return "the end of the run";
}

std::optional<std::int64_t> cRun::WaitSecondsLeft() const {
    if (!splash_.tmrWait.Active()) return std::nullopt;
    const std::uint64_t now = services_.clock.SteadyMilliseconds();
    const std::uint64_t due = splash_.WaitDueMs();
    return due > now ? static_cast<std::int64_t>((due - now + 999) / 1000) : 0;
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
