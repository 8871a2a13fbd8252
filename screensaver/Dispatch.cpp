#include "screensaver/Dispatch.h"

#include <array>

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

void ExitWindowsNow(Services& services, ShutdownServices& shutdown, cRunTrail& trail) {
    cExitWindows controller({services.facts, shutdown.shutdown, shutdown.desktop, services.loop,
                             services.launcher, services.programFolder, &trail});
    controller.DoExitWindows(ExitActionOf(gOptions.ShutdownType));
}

std::int32_t ExitActionOf(std::int16_t shutdownType) {
    // Any other stored number would reach Windows as a flag word of its own, and one with
    // the force bit (4 to 7, ...) ends programs without letting them save. Like the
    // launcher's switch, it means a plain shut down.
    static constexpr std::array<std::int16_t, 4> kActions{
        shutdown_code::kLogOff, shutdown_code::kShutDown, shutdown_code::kRestart,
        shutdown_code::kRestartInMsDos};
    return kActions[shutdown_code::Slot(shutdownType)];
}

bool IsLauncherWindow(IDesktop& desktop, WindowRef handle) {
    // 0 is no window; 0xFFFF (HWND_BROADCAST) reaches every top-level window and -1 is no
    // handle either: none of them names the launcher, whatever the system says of it.
    if (handle == 0 || handle == 0xFFFF || handle == -1) return false;
    return desktop.IsTopLevelWindow(handle);
}

std::string KelvaneSwitch(std::int16_t shutdownType) {
    static constexpr std::array<const char*, 4> kSwitches{" /T=L", " /T=S", " /T=R", " /T=D"};
    return kSwitches[shutdown_code::Slot(shutdownType)];
}

}  // namespace scr
