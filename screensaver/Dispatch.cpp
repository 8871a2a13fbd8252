#include "screensaver/Dispatch.h"

#include <array>

#include "common/OSInfo.h"
#include "common/SharedObjects.h"
#include "screensaver/ExitWindows.h"

namespace scr {

namespace {
constexpr std::int32_t kInvalidWindowHandle = 1400;  // ERROR_INVALID_WINDOW_HANDLE
constexpr std::int32_t kNotPosted = 1816;            // ERROR_NOT_ENOUGH_QUOTA: a full queue
}  // namespace

void HandShutdownToLauncher(Services& services, ShutdownServices& shutdown, cRunTrail& trail) {
    const std::string launcherSwitch = KelvaneSwitch(gOptions.ShutdownType);
    const WindowRef handle = gSSOptions->ShutdownHandle();
    if (!IsLauncherWindow(shutdown.desktop, handle)) {
        const std::string text = "Message 1525 not posted: ShutdownHwnd " + std::to_string(handle) +
                                 " names no top-level window";
        trail.LauncherNotNotified(handle, {kInvalidWindowHandle, "Somnivex", text});
        gLogger->LogError(text, false);
    } else if (shutdown.desktop.Post(handle, wm::kLauncherShutdown, 0, 0)) {
        trail.LauncherNotified(handle);
    } else {
        // The desktop seam gives no error number for a refused post; a full message queue
        // is what refuses one to a window that exists.
        trail.LauncherNotNotified(
            handle, {kNotPosted, "Somnivex", "The window exists, but the message was refused."});
    }
    // The launcher only where administrators alone could have put it, started by the path
    // that was checked.
    const ProgramVerdict launcher =
        CheckMachineProgram(gOptions.KelvanePath, OriginOf("KelvanePath"));
    if (!launcher.program) {
        trail.LauncherNotStarted(QuotePath(gOptions.KelvanePath) + launcherSwitch,
                                 launcher.refusal);
        throw RaisedError(launcher.refusal);
    }
    const std::string commandLine = QuotePath(launcher.program->Path()) + launcherSwitch;
    const StartResult started =
        services.launcher.StartCommandLine(commandLine, show_state::kMinimized);
    if (!started.started) {
        trail.LauncherNotStarted(commandLine, started.error);
        throw RaisedError(started.error);
    }
    trail.LauncherStarted(commandLine);
}

namespace {

// SetSuspendState: Windows sleeps or hibernates, and the call returns once it has woken.
void SuspendNow(IShutdownApi& windows, bool hibernate, cRunTrail& trail) {
    trail.SuspendRequested(hibernate);
    const ErrorInfo refusal = windows.Suspend(hibernate);
    if (refusal.Number != 0) trail.SuspendRefused(hibernate, refusal);
}

// InitiateShutdown, as Start asks for a shut down or restart. False only where it cannot
// be used and ExitWindowsEx is to be asked instead.
bool ShutDownAsStartDoes(Services& services, IShutdownApi& windows, std::int32_t action,
                         cRunTrail& trail) {
    const bool restart = action == shutdown_code::kRestart;
    EndFacts facts;
    facts.fastStartup = !restart && FastStartupOn(services.registry, windows);
    facts.installUpdates = gOptions.InstallUpdates;
    facts.othersMayEnd = !gSSOptions->Policy().Hold().OtherSessions;
    const std::uint32_t flags = InitiateFlags(restart, facts);
    // Told before the request: an accepted one may end this program before it returns.
    trail.ShutdownRequested(flags);
    const ErrorInfo refusal = windows.RequestShutdown(flags, kPlannedShutdownReason);
    if (refusal.Number == 0) return true;
    if (refusal.Number == shutdown_error::kUsersLoggedOn) {
        // ExitWindowsEx would end their sessions without asking: never the way round.
        trail.ShutdownHeldForOthers(flags, refusal);
        return true;
    }
    if (!FallsBackToExitWindows(refusal.Number)) {
        trail.ShutdownRefused(flags, refusal);
        return true;
    }
    trail.ShutdownFellBack(refusal, ShutdownActionText(static_cast<std::int16_t>(action)));
    return false;
}

}  // namespace

void ExitWindowsNow(Services& services, ShutdownServices& shutdown, cRunTrail& trail) {
    IShutdownApi& windows = shutdown.shutdown;
    std::int32_t action = ExitActionOf(gOptions.ShutdownType);
    // The NT family has no MS-DOS mode: there it is a plain shut down, done as Start does it.
    if (action == shutdown_code::kRestartInMsDos && cOSInfo(services.facts).isWinNT4())
        action = shutdown_code::kShutDown;
    const bool suspend = shutdown_code::IsSuspend(gOptions.ShutdownType);
    const bool asStart = action == shutdown_code::kShutDown || action == shutdown_code::kRestart;
    bool privilegeHeld = false;
    if (suspend || asStart) {
        // Each of these needs the shutdown privilege, which a user holds but has off.
        const ErrorInfo privilege = windows.AdjustShutdownPrivilege();
        privilegeHeld = privilege.Number == 0;
        if (!privilegeHeld) trail.PrivilegeNotEnabled(privilege);
    }
    if (suspend) return SuspendNow(windows, action == shutdown_code::kHibernate, trail);
    if (asStart && ShutDownAsStartDoes(services, windows, action, trail)) return;

    cExitWindows controller({services.facts, windows, shutdown.desktop, services.loop,
                             services.launcher, services.programFolder, &trail});
    if (asStart) controller.PrivilegeAsked(privilegeHeld);
    controller.DoExitWindows(action);
}

std::uint32_t InitiateFlags(bool restart, const EndFacts& facts) {
    // Never SHUTDOWN_FORCE_SELF: our own programs are asked, as Start asks them.
    std::uint32_t flags =
        restart ? initiate::kRestart | initiate::kRestartApps : initiate::kPowerOff;
    if (!restart && facts.fastStartup) flags |= initiate::kHybrid;
    if (facts.installUpdates) flags |= initiate::kInstallUpdates;
    if (facts.othersMayEnd) flags |= initiate::kForceOthers;
    return flags;
}

bool FastStartupOn(IRegistryPort& registry, IShutdownApi& shutdown) {
    RegKey key = 0;
    if (registry.OpenKeyToRead(reg::kLocalMachine,
                               "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Power",
                               RegView::kNative, key) != reg::kSuccess)
        return false;
    std::uint8_t bytes[4] = {};
    std::uint32_t type = reg::kTypeNone, size = sizeof bytes;
    const RegStatus status = registry.QueryValue(key, "HiberbootEnabled", &type, bytes, &size);
    registry.CloseKey(key);
    const bool on = status == reg::kSuccess && type == reg::kTypeDword && size == 4 &&
                    (bytes[0] | bytes[1] | bytes[2] | bytes[3]) != 0;
    // Fast Startup hibernates the system's own session: without the file it cannot.
    return on && shutdown.HiberFilePresent().value_or(false);
}

bool FallsBackToExitWindows(std::int32_t error) {
    switch (error) {
        case shutdown_error::kMissing:
        case 1:    // ERROR_INVALID_FUNCTION
        case 50:   // ERROR_NOT_SUPPORTED
        case 87:   // ERROR_INVALID_PARAMETER: a flag this system does not know
        case 120:  // ERROR_CALL_NOT_IMPLEMENTED
            return true;
        default:
            return false;
    }
}

bool GoesToLauncher(bool runKelvane, std::int16_t shutdownType) {
    return runKelvane && !shutdown_code::IsSuspend(shutdownType);
}

std::int32_t ExitActionOf(std::int16_t shutdownType) {
    // Any other stored number would reach Windows as a flag word of its own, and one with
    // the force bit (4 to 7, ...) ends programs without letting them save. Like the
    // launcher's switch, it means a plain shut down.
    static constexpr std::array<std::int16_t, shutdown_code::kSlots> kActions{
        shutdown_code::kLogOff,         shutdown_code::kShutDown, shutdown_code::kRestart,
        shutdown_code::kRestartInMsDos, shutdown_code::kSleep,    shutdown_code::kHibernate};
    return kActions[shutdown_code::Slot(shutdownType)];
}

bool IsLauncherWindow(IDesktop& desktop, WindowRef handle) {
    // 0 is no window; 0xFFFF (HWND_BROADCAST) reaches every top-level window and -1 is no
    // handle either: none of them names the launcher, whatever the system says of it.
    if (handle == 0 || handle == 0xFFFF || handle == -1) return false;
    return desktop.IsTopLevelWindow(handle);
}

std::string KelvaneSwitch(std::int16_t shutdownType) {
    // Sleep and hibernate never reach the launcher; were they asked, a shut down is what it
    // knows nearest.
    static constexpr std::array<const char*, shutdown_code::kSlots> kSwitches{
        " /T=L", " /T=S", " /T=R", " /T=D", " /T=S", " /T=S"};
    return kSwitches[shutdown_code::Slot(shutdownType)];
}

}  // namespace scr
