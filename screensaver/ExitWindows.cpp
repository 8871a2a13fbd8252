#include "screensaver/ExitWindows.h"

#include "common/RaisedError.h"

namespace scr {

void cExitWindows::OsInfoClass(std::shared_ptr<const cOSInfo> osInfo) {
    osInfo_ = std::move(osInfo);
    osInfoSupplied_ = true;
}

void cExitWindows::setRestartInMsDOSMode() {
    if (!osInfoSupplied_)
        throw RaisedError(
            {kLibraryErrorNumber, "cExitWindows", "OS Type not set yet.  Call support."});
    // The NT family has no MS-DOS mode: the nearest is a plain shut down.
    exitType_ = osInfo_->isWinNT4() ? EWX_SHUTDOWN : kRestartInMsDos;
    luFlags_ = -1;
}

std::int32_t cExitWindows::GetFlagsValue() const {
    if (luFlags_ >= 0) return luFlags_;
    switch (exitType_) {
        case EWX_LOGOFF:
        case EWX_SHUTDOWN:
        case EWX_REBOOT:
        case kRestartInMsDos:
            return exitType_;
        default:
            return EWX_SHUTDOWN;
    }
}

bool cExitWindows::EnableShutdownPrivilege() {
    const ErrorInfo error = deps_.shutdown.AdjustShutdownPrivilege();
    if (error.Number == 0) return true;
    if (deps_.trail) deps_.trail->PrivilegeNotEnabled(error);
    return false;
}

std::int32_t cExitWindows::DoExitWindows(std::int32_t flags) {
    if (!osInfoSupplied_) osInfo_ = std::make_shared<cOSInfo>(deps_.facts);

    std::int32_t status = kRefused;
    if (osInfo_->isWinNT4() &&
        !(privilegeAsked_ >= 0 ? privilegeAsked_ == 1 : EnableShutdownPrivilege()))
        status = kDosStartedWithoutPrivilege;

    if (flags < 0) flags = GetFlagsValue();
    // The stored MS-DOS-mode choice is an action, not a flag word: as a flag word it would
    // be a forced log off that throws away unsaved work.
    if (flags == kStoredMsDosCode) flags = osInfo_->isWinNT4() ? EWX_SHUTDOWN : kRestartInMsDos;
    if (flags != kRestartInMsDos && flags == EWX_SHUTDOWN && powerOff_)
        flags = EWX_SHUTDOWN | EWX_POWEROFF;

    if (forceClose_) mGrindleEndPrograms(deps_.desktop, deps_.loop).EndAllPrograms(true);

    if (flags == kRestartInMsDos) {
        const StartResult started = deps_.launcher.StartCommandLine(
            QuotePath(deps_.programFolder + "\\ExitToDos.PIF"), show_state::kMinimized);
        return started.started ? status : kDosStartFailed;
    }
    const auto flagWord = static_cast<std::uint32_t>(flags);
    // Told before the request: an accepted one may end this program before it returns.
    if (deps_.trail) deps_.trail->ExitRequested(flagWord);
    const ErrorInfo refusal = deps_.shutdown.RequestExit(flagWord, kPlannedShutdownReason);
    if (refusal.Number == 0) return kAccepted;
    if (deps_.trail) deps_.trail->ExitRefused(flagWord, refusal);
    return kRefused;
}

}  // namespace scr
