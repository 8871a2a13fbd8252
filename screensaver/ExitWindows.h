// cExitWindows: ends Windows by logging off, shutting down (optionally switching the
// power off), restarting, or restarting in MS-DOS mode, with the shutdown privilege
// enabled where the system needs one and, when asked, every other program ended first.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/EventLoop.h"
#include "common/OSInfo.h"
#include "common/Platform.h"
#include "common/RunTrail.h"
#include "screensaver/EndPrograms.h"
#include "screensaver/ShutdownSeams.h"

namespace scr {

struct ExitWindowsDeps {
    ISystemFacts& facts;
    IShutdownApi& shutdown;
    IDesktop& desktop;
    IEventLoop& loop;
    ILauncher& launcher;
    std::string programFolder;
    // Told what Windows is asked and what it refuses; none for a caller that keeps no
    // trail.
    cRunTrail* trail = nullptr;
};

class cExitWindows {
  public:
    explicit cExitWindows(ExitWindowsDeps deps) : deps_(std::move(deps)) {}

    // Flag words that reach ExitWindowsEx.
    static constexpr std::int32_t EWX_LOGOFF = 0;
    static constexpr std::int32_t EWX_SHUTDOWN = 1;
    static constexpr std::int32_t EWX_REBOOT = 2;
    static constexpr std::int32_t EWX_FORCE = 4;
    static constexpr std::int32_t EWX_POWEROFF = 8;
    // Our own action code for a restart in MS-DOS mode.
    static constexpr std::int32_t kRestartInMsDos = 99;
    // The code the options store for that choice; never a flag word of its own.
    static constexpr std::int32_t kStoredMsDosCode = 20;

    // Statuses of DoExitWindows.
    static constexpr std::int32_t kRefused = 0;
    static constexpr std::int32_t kAccepted = 1;
    static constexpr std::int32_t kDosStartedWithoutPrivilege = 2;
    static constexpr std::int32_t kDosStartFailed = 3;

    void OsInfoClass(std::shared_ptr<const cOSInfo> osInfo);
    void ForceClose(bool value) { forceClose_ = value; }
    void PowerOff(bool value) { powerOff_ = value; }
    void luFlags(std::int32_t value) { luFlags_ = value; }
    // The caller has already asked for the shutdown privilege, with this outcome: it is
    // not asked twice.
    void PrivilegeAsked(bool held) { privilegeAsked_ = held ? 1 : 0; }
    void setShutdownComputer() { exitType_ = EWX_SHUTDOWN, luFlags_ = -1; }
    void setRestartComputer() { exitType_ = EWX_REBOOT, luFlags_ = -1; }
    void setLogoffComputer() { exitType_ = EWX_LOGOFF, luFlags_ = -1; }
    // Throws RaisedError 999 when no OsInfoClass was given.
    void setRestartInMsDOSMode();
    std::int32_t GetFlagsValue() const;

    // A negative `flags` uses the configured action; anything else takes precedence.
    std::int32_t DoExitWindows(std::int32_t flags);

    bool EnableShutdownPrivilege();

  private:
    ExitWindowsDeps deps_;
    std::shared_ptr<const cOSInfo> osInfo_;
    bool osInfoSupplied_ = false;
    bool forceClose_ = false;
    bool powerOff_ = false;
    std::int32_t luFlags_ = -1;
    std::int32_t exitType_ = -1;
    std::int8_t privilegeAsked_ = -1;  // -1 not yet, else whether it is held
};

}  // namespace scr
