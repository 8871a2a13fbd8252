#include "common/RunTrail.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "common/Policy.h"
#include "common/SSOptions.h"

namespace {

using enum EventType;

constexpr std::array<tCatalogueEntry, 42> kCatalogue{{
    {trail_id::kRunStarted, Information, 3, "RunStarted"},
    {trail_id::kRunStartedForLauncher, Information, 4, "RunStartedForLauncher"},
    {trail_id::kRunWithoutScreenSaver, Information, 1, "RunWithoutScreenSaver"},
    {trail_id::kConfirmedYes, Information, 1, "ConfirmedYes"},
    {trail_id::kConfirmedNo, Information, 1, "ConfirmedNo"},
    {trail_id::kConfirmationTimedOut, Information, 2, "ConfirmationTimedOut"},
    {trail_id::kUserReturned, Information, 3, "UserReturned"},
    {trail_id::kCountdownOpened, Information, 3, "CountdownOpened"},
    {trail_id::kCountdownCancelled, Information, 1, "CountdownCancelled"},
    {trail_id::kCountdownClosed, Information, 1, "CountdownClosed"},
    {trail_id::kExitRequested, Information, 2, "ExitRequested"},
    {trail_id::kShutdownRequested, Information, 2, "ShutdownRequested"},
    {trail_id::kSuspendRequested, Information, 1, "SuspendRequested"},
    {trail_id::kLauncherNotified, Information, 1, "LauncherNotified"},
    {trail_id::kLauncherStarted, Information, 1, "LauncherStarted"},
    {trail_id::kComputerSuspended, Information, 2, "ComputerSuspended"},
    {trail_id::kComputerResumed, Information, 4, "ComputerResumed"},
    {trail_id::kSettingsSaved, Information, 3, "SettingsSaved"},
    {trail_id::kShutdownHeld, Information, 1, "ShutdownHeld"},
    {trail_id::kHoldReasonChanged, Information, 1, "HoldReasonChanged"},
    {trail_id::kHoldEnded, Information, 2, "HoldEnded"},
    {trail_id::kHoldEndedWithRun, Information, 2, "HoldEndedWithRun"},
    {trail_id::kManagerNotFound, Warning, 3, "ManagerNotFound"},
    {trail_id::kPrivilegeNotEnabled, Warning, 2, "PrivilegeNotEnabled"},
    {trail_id::kShutdownFellBack, Warning, 3, "ShutdownFellBack"},
    {trail_id::kShutdownHeldForOthers, Warning, 3, "ShutdownHeldForOthers"},
    {trail_id::kUnknownShutdownType, Warning, 2, "UnknownShutdownType"},
    {trail_id::kLauncherNotNotified, Warning, 3, "LauncherNotNotified"},
    {trail_id::kSettingReplaced, Warning, 4, "SettingReplaced"},
    {trail_id::kSettingsNotSaved, Warning, 3, "SettingsNotSaved"},
    {trail_id::kHoldLimitReached, Warning, 2, "HoldLimitReached"},
    {trail_id::kPowerRequestsUnreadable, Warning, 2, "PowerRequestsUnreadable"},
    {trail_id::kSessionsUnreadable, Warning, 2, "SessionsUnreadable"},
    {trail_id::kSessionUserUnreadable, Warning, 1, "SessionUserUnreadable"},
    {trail_id::kPolicyValueIgnored, Warning, 4, "PolicyValueIgnored"},
    {trail_id::kScreenSaverNotStarted, Error, 3, "ScreenSaverNotStarted"},
    {trail_id::kManagerNotStarted, Error, 3, "ManagerNotStarted"},
    {trail_id::kExitRefused, Error, 4, "ExitRefused"},
    {trail_id::kShutdownRefused, Error, 4, "ShutdownRefused"},
    {trail_id::kSuspendRefused, Error, 3, "SuspendRefused"},
    {trail_id::kLauncherNotStarted, Error, 3, "LauncherNotStarted"},
    {trail_id::kErrorLogged, Error, 4, "ErrorLogged"},
}};

EventType TypeOf(std::uint32_t id) {
    const auto* entry = std::find_if(kCatalogue.begin(), kCatalogue.end(),
                                     [id](const tCatalogueEntry& s) { return s.id == id; });
    return entry != kCatalogue.end() ? entry->type : Error;
}

std::string Number(std::int64_t value) {
    return std::to_string(value);
}

std::string YesNo(bool yes) {
    return yes ? "Yes" : "No";
}

std::string Hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

// "1:02:03" for 3723 seconds.
std::string Clock(std::int64_t seconds) {
    if (seconds < 0) seconds = 0;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return text;
}

std::string Description(const ErrorInfo& error) {
    return error.Description.empty() ? "(no description)" : error.Description;
}

std::string ValueText(const tSSOptions& options, const tOptionMember& member) {
    if (auto flag = std::get_if<bool tSSOptions::*>(&member)) return YesNo(options.*(*flag));
    if (auto text = std::get_if<std::string tSSOptions::*>(&member))
        return "\"" + options.*(*text) + "\"";
    return Number(options.*std::get<std::int16_t tSSOptions::*>(member));
}

bool IsContinuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

}  // namespace

std::span<const tCatalogueEntry> EventCatalogue() {
    return kCatalogue;
}

std::string BoundedInsertion(const std::string& text) {
    if (text.size() <= kMaxInsertionBytes) return text;
    const std::string mark = "...";
    std::size_t cut = kMaxInsertionBytes - mark.size();
    while (cut > 0 && IsContinuation(text[cut])) --cut;
    return text.substr(0, cut) + mark;
}

std::string ShutdownActionText(std::int16_t shutdownType) {
    static constexpr std::array<const char*, shutdown_code::kSlots> kTexts{
        "log off", "shut down", "restart", "restart in MS-DOS mode", "sleep", "hibernate"};
    return kTexts[shutdown_code::Slot(shutdownType)];
}

std::string ExitFlagsText(std::uint32_t flags) {
    constexpr std::uint32_t kShutdown = 1, kReboot = 2, kForce = 4, kPowerOff = 8;
    std::string text = flags & kReboot     ? "restart"
                       : flags & kPowerOff ? "shut down and switch off"
                       : flags & kShutdown ? "shut down"
                                           : "log off";
    if (flags & kForce) text += ", closing programs by force";
    return text;
}

std::string ShutdownFlagsText(std::uint32_t flags) {
    // SHUTDOWN_FORCE_OTHERS, _RESTART, _POWEROFF, _INSTALL_UPDATES, _RESTARTAPPS, _HYBRID.
    constexpr std::uint32_t kForceOthers = 0x1, kRestart = 0x4, kInstallUpdates = 0x40,
                            kRestartApps = 0x80, kHybrid = 0x200;
    std::string text = flags & kRestart ? "restart" : "shut down";
    if (flags & kHybrid) text += " with Fast Startup";
    if (flags & kRestartApps) text += ", reopening the programs registered for it";
    text += flags & kInstallUpdates ? "; pending updates are installed"
                                    : "; pending updates are not installed";
    if (flags & kForceOthers) text += "; other users' sessions are ended";
    return text;
}

std::string SettingChanges(const tSSOptions& before, const tSSOptions& after) {
    std::string lines;
    for (const tOptionField& field : kOptionFields) {
        const std::string was = ValueText(before, field.member);
        const std::string now = ValueText(after, field.member);
        if (was == now) continue;
        if (!lines.empty()) lines += "\r\n";
        lines += std::string(field.name) + ": " + was + " -> " + now;
    }
    return lines.empty() ? "No value changed." : lines;
}

void cRunTrail::Write(std::uint32_t id, std::initializer_list<std::string> strings) {
    TrailEvent event{id, TypeOf(id), {}};
    event.strings.reserve(strings.size());
    for (const std::string& text : strings) event.strings.push_back(BoundedInsertion(text));
    sink_.Write(event);
}

void cRunTrail::RunStarted(const std::string& screenSaver, std::int32_t minutes,
                           std::int16_t shutdownType) {
    Write(trail_id::kRunStarted, {screenSaver, Number(minutes), ShutdownActionText(shutdownType)});
}

void cRunTrail::RunStartedForLauncher(const std::string& screenSaver, std::int32_t minutes,
                                      const std::string& launcherPath,
                                      const std::string& launcherSwitch) {
    Write(trail_id::kRunStartedForLauncher,
          {screenSaver, Number(minutes), launcherPath, launcherSwitch});
}

void cRunTrail::RunWithoutScreenSaver(const std::string& managerPath) {
    Write(trail_id::kRunWithoutScreenSaver, {managerPath});
}

void cRunTrail::ConfirmationAnswered(bool yes) {
    Write(yes ? trail_id::kConfirmedYes : trail_id::kConfirmedNo, {YesNo(yes)});
}

void cRunTrail::ConfirmationTimedOut(std::int32_t seconds, bool defaultYes) {
    Write(trail_id::kConfirmationTimedOut, {Number(seconds), YesNo(defaultYes)});
}

void cRunTrail::UserReturned(const std::string& screenSaver, std::int64_t seconds) {
    Write(trail_id::kUserReturned,
          {screenSaver, Clock(seconds), Number(std::max<std::int64_t>(seconds, 0))});
}

void cRunTrail::CountdownOpened(std::int32_t minutes, std::int32_t seconds, bool toLauncher,
                                std::int16_t shutdownType) {
    Write(trail_id::kCountdownOpened,
          {Number(minutes), Number(seconds),
           toLauncher ? "hand the shutdown to the launcher" : ShutdownActionText(shutdownType)});
}

void cRunTrail::CountdownCancelled(std::int32_t secondsLeft) {
    Write(trail_id::kCountdownCancelled, {Number(secondsLeft)});
}

void cRunTrail::CountdownClosed(std::int32_t secondsLeft) {
    Write(trail_id::kCountdownClosed, {Number(secondsLeft)});
}

void cRunTrail::ShutdownHeld(const std::string& reason) {
    Write(trail_id::kShutdownHeld, {reason});
}

void cRunTrail::HoldReasonChanged(const std::string& reason) {
    Write(trail_id::kHoldReasonChanged, {reason});
}

void cRunTrail::HoldEnded(const std::string& reason, std::uint32_t minutes) {
    Write(trail_id::kHoldEnded, {reason, Number(minutes)});
}

void cRunTrail::HoldEndedWithRun(const std::string& reason, std::uint32_t minutes) {
    Write(trail_id::kHoldEndedWithRun, {reason, Number(minutes)});
}

void cRunTrail::HoldLimitReached(const std::string& reason, std::uint32_t minutes) {
    Write(trail_id::kHoldLimitReached, {reason, Number(minutes)});
}

void cRunTrail::PowerRequestsUnreadable(const ErrorInfo& error) {
    Write(trail_id::kPowerRequestsUnreadable, {Number(error.Number), Description(error)});
}

void cRunTrail::SessionsUnreadable(const ErrorInfo& error) {
    Write(trail_id::kSessionsUnreadable, {Number(error.Number), Description(error)});
}

void cRunTrail::SessionUserUnreadable(const std::string& sessions) {
    Write(trail_id::kSessionUserUnreadable, {sessions});
}

void cRunTrail::UnknownShutdownType(std::int16_t shutdownType, const std::string& instead) {
    Write(trail_id::kUnknownShutdownType, {Number(shutdownType), instead});
}

void cRunTrail::ComputerSuspended(const std::string& step, std::optional<std::int64_t> waitLeft) {
    Write(trail_id::kComputerSuspended, {step, waitLeft ? Clock(*waitLeft) : "none"});
}

void cRunTrail::ComputerResumed(std::int64_t asleepSeconds, const std::string& step,
                                std::optional<std::int64_t> waitLeft) {
    Write(trail_id::kComputerResumed,
          {Clock(asleepSeconds), Number(std::max<std::int64_t>(asleepSeconds, 0)), step,
           waitLeft ? Clock(*waitLeft) : "none"});
}

void cRunTrail::ExitRequested(std::uint32_t flags) {
    Write(trail_id::kExitRequested, {ExitFlagsText(flags), Hex32(flags)});
}

void cRunTrail::ExitRefused(std::uint32_t flags, const ErrorInfo& error) {
    Write(trail_id::kExitRefused,
          {ExitFlagsText(flags), Hex32(flags), Number(error.Number), Description(error)});
}

void cRunTrail::PrivilegeNotEnabled(const ErrorInfo& error) {
    Write(trail_id::kPrivilegeNotEnabled, {Number(error.Number), Description(error)});
}

void cRunTrail::ShutdownRequested(std::uint32_t flags) {
    Write(trail_id::kShutdownRequested, {ShutdownFlagsText(flags), Hex32(flags)});
}

void cRunTrail::ShutdownRefused(std::uint32_t flags, const ErrorInfo& error) {
    Write(trail_id::kShutdownRefused,
          {ShutdownFlagsText(flags), Hex32(flags), Number(error.Number), Description(error)});
}

void cRunTrail::ShutdownFellBack(const ErrorInfo& error, const std::string& action) {
    Write(trail_id::kShutdownFellBack, {Number(error.Number), Description(error), action});
}

void cRunTrail::ShutdownHeldForOthers(std::uint32_t flags, const ErrorInfo& error) {
    Write(trail_id::kShutdownHeldForOthers,
          {ShutdownFlagsText(flags), Number(error.Number), Description(error)});
}

void cRunTrail::SuspendRequested(bool hibernate) {
    Write(trail_id::kSuspendRequested, {hibernate ? "hibernate" : "sleep"});
}

void cRunTrail::SuspendRefused(bool hibernate, const ErrorInfo& error) {
    Write(trail_id::kSuspendRefused,
          {hibernate ? "hibernate" : "sleep", Number(error.Number), Description(error)});
}

void cRunTrail::LauncherNotified(std::int64_t window) {
    Write(trail_id::kLauncherNotified, {Hex32(static_cast<std::uint32_t>(window))});
}

void cRunTrail::LauncherNotNotified(std::int64_t window, const ErrorInfo& error) {
    Write(trail_id::kLauncherNotNotified,
          {Hex32(static_cast<std::uint32_t>(window)), Number(error.Number), Description(error)});
}

void cRunTrail::LauncherStarted(const std::string& commandLine) {
    Write(trail_id::kLauncherStarted, {commandLine});
}

void cRunTrail::LauncherNotStarted(const std::string& commandLine, const ErrorInfo& error) {
    Write(trail_id::kLauncherNotStarted, {commandLine, Number(error.Number), Description(error)});
}

void cRunTrail::ScreenSaverNotStarted(const std::string& path, const ErrorInfo& error) {
    Write(trail_id::kScreenSaverNotStarted, {path, Number(error.Number), Description(error)});
}

void cRunTrail::ManagerNotFound(const std::string& path, const ErrorInfo& error) {
    Write(trail_id::kManagerNotFound, {path, Number(error.Number), Description(error)});
}

void cRunTrail::ManagerNotStarted(const std::string& path, const ErrorInfo& error) {
    Write(trail_id::kManagerNotStarted, {path, Number(error.Number), Description(error)});
}

void cRunTrail::SettingReplaced(const std::string& key, const std::string& name,
                                const std::string& found, const std::string& replacement) {
    Write(trail_id::kSettingReplaced, {name, key, found, replacement});
}

void cRunTrail::PolicyValueIgnored(const PolicyProblem& problem) {
    Write(trail_id::kPolicyValueIgnored,
          {problem.name.empty() ? "(the key itself)" : problem.name,
           std::string("HKEY_LOCAL_MACHINE\\") + policy::kKey, problem.found,
           problem.accepted.empty() ? "a value that can be read" : problem.accepted});
}

void cRunTrail::ErrorLogged(const std::string& text, const ErrorInfo& error) {
    // A caller that only has a text of its own leaves the error empty; the text then
    // stands for the description.
    const std::string description =
        error.Description.empty() && !text.empty() ? text : Description(error);
    Write(trail_id::kErrorLogged,
          {Number(error.Number), error.Source.empty() ? "Somnivex" : error.Source, description,
           text.empty() ? description : text});
}

void cRunTrail::SettingsSaved(const std::string& user, const tSSOptions& before,
                              const tSSOptions& after, bool elevated) {
    Write(trail_id::kSettingsSaved,
          {user, SettingChanges(before, after),
           elevated ? "with administrator rights" : "with the user's own rights"});
}

void cRunTrail::SettingsNotSaved(const std::string& user, const ErrorInfo& error) {
    Write(trail_id::kSettingsNotSaved, {user, Number(error.Number), Description(error)});
}
