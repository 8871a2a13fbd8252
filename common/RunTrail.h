// cRunTrail: what the programs tell an administrator through the Windows Event Log. A
// run that ends without a shutdown, or with one, leaves the reason behind: what was
// chosen, what the user answered, whether somebody came back, what Windows or the
// launcher was asked and what failed, with the system's error number and text.
//
// Every event has a fixed id, type and list of insertion strings; the message table
// (resources/Somnivex.mc) holds the text around them and must agree with the catalogue
// below. Ids never change meaning once shipped: scripts filter on them. Ranges: 1000 to
// 1199 information about the run and the settings, 2000 to 2999 warnings, 3000 to 3999
// errors; the tens digit names the area (0 start, 1 confirmation, 2 return or manager,
// 3 countdown, 4 Windows, 5 launcher, 6 registry, 7 sleep, 9 logged errors, 100 saved
// settings, 200 the hold of the shutdown, 300 policy).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "common/EventSink.h"
#include "common/RaisedError.h"

struct tSSOptions;
struct PolicyProblem;

namespace trail_id {
constexpr std::uint32_t kRunStarted = 1000;
constexpr std::uint32_t kRunStartedForLauncher = 1001;
constexpr std::uint32_t kRunWithoutScreenSaver = 1002;
constexpr std::uint32_t kConfirmedYes = 1010;
constexpr std::uint32_t kConfirmedNo = 1011;
constexpr std::uint32_t kConfirmationTimedOut = 1012;
constexpr std::uint32_t kUserReturned = 1020;
constexpr std::uint32_t kCountdownOpened = 1030;
constexpr std::uint32_t kCountdownCancelled = 1031;
constexpr std::uint32_t kCountdownClosed = 1032;
constexpr std::uint32_t kExitRequested = 1040;
constexpr std::uint32_t kShutdownRequested = 1041;
constexpr std::uint32_t kSuspendRequested = 1042;
constexpr std::uint32_t kLauncherNotified = 1050;
constexpr std::uint32_t kLauncherStarted = 1051;
constexpr std::uint32_t kComputerSuspended = 1070;
constexpr std::uint32_t kComputerResumed = 1071;
constexpr std::uint32_t kSettingsSaved = 1100;
constexpr std::uint32_t kShutdownHeld = 1200;
constexpr std::uint32_t kHoldReasonChanged = 1201;
constexpr std::uint32_t kHoldEnded = 1202;
constexpr std::uint32_t kHoldEndedWithRun = 1203;
// 1204 and 1205 stay unused: builds before 1.0 wrote them, as information, for the
// readings that 2201 and 2202 now tell.

constexpr std::uint32_t kManagerNotFound = 2020;
constexpr std::uint32_t kPrivilegeNotEnabled = 2040;
constexpr std::uint32_t kShutdownFellBack = 2041;
constexpr std::uint32_t kShutdownHeldForOthers = 2042;
constexpr std::uint32_t kUnknownShutdownType = 2045;
constexpr std::uint32_t kLauncherNotNotified = 2050;
constexpr std::uint32_t kSettingReplaced = 2060;
constexpr std::uint32_t kSettingsNotSaved = 2100;
constexpr std::uint32_t kHoldLimitReached = 2200;
constexpr std::uint32_t kPowerRequestsUnreadable = 2201;
constexpr std::uint32_t kSessionsUnreadable = 2202;
constexpr std::uint32_t kSessionUserUnreadable = 2203;
constexpr std::uint32_t kPolicyValueIgnored = 2300;

constexpr std::uint32_t kScreenSaverNotStarted = 3010;
constexpr std::uint32_t kManagerNotStarted = 3021;
constexpr std::uint32_t kExitRefused = 3040;
constexpr std::uint32_t kShutdownRefused = 3041;
constexpr std::uint32_t kSuspendRefused = 3042;
constexpr std::uint32_t kLauncherNotStarted = 3051;
constexpr std::uint32_t kErrorLogged = 3090;
}  // namespace trail_id

// One entry of the catalogue: what every event with this id carries.
struct tCatalogueEntry {
    std::uint32_t id;
    EventType type;
    int strings;  // the insertion strings %1 .. %strings, always all of them
    const char* name;
};

// Every event either program writes, in id order.
std::span<const tCatalogueEntry> EventCatalogue();

// The longest insertion string written, in bytes of UTF-8. Longer texts (a path or a
// registry value of any length) are cut at a character and end with "...", so that no
// event exceeds what the log takes.
constexpr std::size_t kMaxInsertionBytes = 4000;

class cRunTrail {
  public:
    explicit cRunTrail(IEventSink& sink) : sink_(sink) {}

    // The start of a run, with what it will do when the wait runs out.
    void RunStarted(const std::string& screenSaver, std::int32_t minutes,
                    std::int16_t shutdownType);
    void RunStartedForLauncher(const std::string& screenSaver, std::int32_t minutes,
                               const std::string& launcherPath, const std::string& launcherSwitch);
    // No screen saver is chosen: the run starts the settings manager and ends.
    void RunWithoutScreenSaver(const std::string& managerPath);

    void ConfirmationAnswered(bool yes);
    void ConfirmationTimedOut(std::int32_t seconds, bool defaultYes);

    // The chosen screen saver ended before the wait ran out, or after a No.
    void UserReturned(const std::string& screenSaver, std::int64_t seconds);

    void CountdownOpened(std::int32_t minutes, std::int32_t seconds, bool toLauncher,
                         std::int16_t shutdownType);
    void CountdownCancelled(std::int32_t secondsLeft);
    // The program was asked to end while the countdown still ran.
    void CountdownClosed(std::int32_t secondsLeft);

    // The shutdown waits: `reason` says why ("a program keeps Windows awake (away mode)",
    // "user bob has a disconnected session"). A hold that goes on for another reason says
    // so once; its end comes with the last reason and the minutes it lasted, or with the
    // run's end when the user came back during it.
    void ShutdownHeld(const std::string& reason);
    void HoldReasonChanged(const std::string& reason);
    void HoldEnded(const std::string& reason, std::uint32_t minutes);
    void HoldEndedWithRun(const std::string& reason, std::uint32_t minutes);
    // The run has been held for `minutes`, the limit of a hold, and goes ahead although
    // `reason` still stands.
    void HoldLimitReached(const std::string& reason, std::uint32_t minutes);
    // A check could not read what it looks at, which then holds nothing.
    void PowerRequestsUnreadable(const ErrorInfo& error);
    void SessionsUnreadable(const ErrorInfo& error);
    // Windows would not name the users of these sessions ("3, 5"), which then hold nothing.
    void SessionUserUnreadable(const std::string& sessions);
    // The stored shutdown code is none the programs know: the run does `instead`.
    void UnknownShutdownType(std::int16_t shutdownType, const std::string& instead);

    // The computer goes to sleep or hibernates, or wakes up, during `step` of the run
    // ("the wait", "the countdown"); `waitLeft` is what the wait still has to go, in
    // seconds, nullopt once it no longer counts.
    void ComputerSuspended(const std::string& step, std::optional<std::int64_t> waitLeft);
    void ComputerResumed(std::int64_t asleepSeconds, const std::string& step,
                         std::optional<std::int64_t> waitLeft);

    // `flags` as they reach ExitWindowsEx.
    void ExitRequested(std::uint32_t flags);
    void ExitRefused(std::uint32_t flags, const ErrorInfo& error);
    void PrivilegeNotEnabled(const ErrorInfo& error);
    // `flags` as they reach InitiateShutdown.
    void ShutdownRequested(std::uint32_t flags);
    void ShutdownRefused(std::uint32_t flags, const ErrorInfo& error);
    // InitiateShutdown is missing or cannot be used here: ExitWindowsEx is asked instead
    // to do `action`.
    void ShutdownFellBack(const ErrorInfo& error, const std::string& action);
    // Windows would end other people's sessions, which the policy keeps: no shutdown.
    void ShutdownHeldForOthers(std::uint32_t flags, const ErrorInfo& error);
    void SuspendRequested(bool hibernate);
    void SuspendRefused(bool hibernate, const ErrorInfo& error);

    void LauncherNotified(std::int64_t window);
    void LauncherNotNotified(std::int64_t window, const ErrorInfo& error);
    void LauncherStarted(const std::string& commandLine);
    void LauncherNotStarted(const std::string& commandLine, const ErrorInfo& error);

    void ScreenSaverNotStarted(const std::string& path, const ErrorInfo& error);
    void ManagerNotFound(const std::string& path, const ErrorInfo& error);
    void ManagerNotStarted(const std::string& path, const ErrorInfo& error);

    // A settings read found `found` where `name` under `key` should be, and uses
    // `replacement` instead.
    void SettingReplaced(const std::string& key, const std::string& name, const std::string& found,
                         const std::string& replacement);
    // A policy value that is there but cannot be used: the stored setting counts instead.
    void PolicyValueIgnored(const PolicyProblem& problem);
    // An error handed to the logger, shown or not.
    void ErrorLogged(const std::string& text, const ErrorInfo& error);

    // `before` is what the key held, `after` what was written.
    void SettingsSaved(const std::string& user, const tSSOptions& before, const tSSOptions& after,
                       bool elevated);
    void SettingsNotSaved(const std::string& user, const ErrorInfo& error);

  private:
    void Write(std::uint32_t id, std::initializer_list<std::string> strings);

    IEventSink& sink_;
};

// What Windows is asked for a stored shutdown code ("shut down", "restart", ...).
std::string ShutdownActionText(std::int16_t shutdownType);
// What ExitWindowsEx is asked for with these flags.
std::string ExitFlagsText(std::uint32_t flags);
// What InitiateShutdown is asked for with these flags ("shut down with Fast Startup;
// pending updates are installed").
std::string ShutdownFlagsText(std::uint32_t flags);
// The values that differ between the two records, one line each in the record's order
// ("WaitMinutes: 30 -> 10"), or "No value changed.".
std::string SettingChanges(const tSSOptions& before, const tSSOptions& after);
// A text cut to at most kMaxInsertionBytes, at a UTF-8 character, marked with "...".
std::string BoundedInsertion(const std::string& text);
