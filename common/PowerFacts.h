// What Windows itself does with a PC nobody uses: when it starts the user's screen saver,
// and when the active power plan turns the display off, puts the PC to sleep or
// hibernates it. Somnivex's minutes only begin when Windows starts the screen saver, so
// these timers decide whether a shutdown ever comes. Every reading goes through
// documented functions a standard user may call, and any of them may be unknown.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What the power manager says the hardware and Windows can do (GetPwrCapabilities).
struct PowerCapabilities {
    bool systemS1 = false, systemS2 = false, systemS3 = false;  // sleep states
    bool systemS4 = false;                                      // hibernate
    bool hiberFilePresent = false;
    // Modern Standby ("always on, always connected"): no S3; once the display is off,
    // Windows suspends desktop programs.
    bool aoAc = false;
    bool systemBatteriesPresent = false;

    bool CanSleep() const { return systemS1 || systemS2 || systemS3; }
    bool CanHibernate() const { return systemS4 && hiberFilePresent; }
};

// A power-plan setting on mains power (AC) and on battery (DC), in seconds; 0 is never.
struct AcDcSeconds {
    std::optional<std::uint32_t> ac, dc;
};

// The idle timeouts of the active power plan.
struct PowerPlanTimeouts {
    AcDcSeconds sleep;      // "Put the computer to sleep after"
    AcDcSeconds display;    // "Turn off the display after"
    AcDcSeconds hibernate;  // "Hibernate after"
};

class IPowerFacts {
  public:
    virtual ~IPowerFacts() = default;
    // This user's screen-saver wait in seconds and whether screen saving is on, as
    // Windows keeps them for the session (SystemParametersInfo); nullopt when refused.
    virtual std::optional<std::uint32_t> ScreenSaverTimeout() = 0;
    virtual std::optional<bool> ScreenSaverActive() = 0;
    // Switches this user's screen saving on or off, stored in the user's profile and
    // announced to the running programs. False when Windows refused.
    virtual bool SetScreenSaverActive(bool active) = 0;
    // The folder holding the screen savers of this program's build that Windows' own
    // screen-saver setting lists (the system folder; SysWOW64 for a 32-bit build on
    // 64-bit Windows). No trailing backslash.
    virtual std::string ScreenSaverFolder() = 0;
    virtual std::optional<PowerCapabilities> Capabilities() = 0;
    // The active plan's timeouts as the plan stores them; nullopt when the plan cannot be
    // read at all. A policy's values are read by the caller.
    virtual std::optional<PowerPlanTimeouts> ActivePlan() = 0;
};
