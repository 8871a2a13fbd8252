// Windows' own timers as the settings window shows them: when Windows starts this user's
// screen saver, when the power plan puts the PC to sleep (or, on a Modern Standby PC,
// turns the display off, after which Windows suspends desktop programs), and whether
// that comes before Somnivex's shutdown. Somnivex counts its minutes from the start of
// the screen saver, so a PC that sleeps first is never shut down and leaves no trace.
//
// Where a policy fixes a value, the policy's value is the one Windows uses and the one
// shown. Also here: making Somnivex this user's screen saver, with the user's own rights.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>

#include "common/PowerFacts.h"
#include "common/RegistryPort.h"

namespace mgr {

// This user's screen-saver settings and the policies that replace them.
constexpr const char* kDesktopKey = "Control Panel\\Desktop";
constexpr const char* kDesktopPolicyKey =
    "Software\\Policies\\Microsoft\\Windows\\Control Panel\\Desktop";
constexpr const char* kScreenSaverValue = "SCRNSAVE.EXE";
constexpr const char* kScreenSaveActiveValue = "ScreenSaveActive";
constexpr const char* kScreenSaveTimeOutValue = "ScreenSaveTimeOut";
// Power settings fixed by Group Policy: a key per setting, named by its GUID.
constexpr const char* kPowerPolicyKey = "Software\\Policies\\Microsoft\\Power\\PowerSettings";

// The manager's texts of this section.
namespace timers_text {
constexpr int kHeading = 1140;
constexpr int kOnMains = 1141;
constexpr int kOnBattery = 1142;
constexpr int kSaverStarts = 1143;
constexpr int kSleeps = 1144;
constexpr int kStandby = 1145;
constexpr int kNever = 1146;
constexpr int kNotKnown = 1147;
constexpr int kByPolicy = 1148;
constexpr int kSeconds = 1149;
constexpr int kOneMinute = 1150;
constexpr int kMinutes = 1151;
constexpr int kOneHour = 1152;
constexpr int kHours = 1153;
constexpr int kSleepsFirst = 1154;
constexpr int kHibernatesFirst = 1155;
constexpr int kStandbyFirst = 1156;
constexpr int kOnBatteryOnly = 1157;
constexpr int kIsYours = 1158;
constexpr int kIsNotYours = 1159;
constexpr int kYoursButOff = 1160;
constexpr int kYoursByPolicy = 1161;
constexpr int kOtherByPolicy = 1162;
constexpr int kOffByPolicy = 1163;
constexpr int kNotInstalled = 1164;
constexpr int kMakeMine = 1165;
constexpr int kMakeMineRefused = 1166;
}  // namespace timers_text

// "%1", "%2", ... of `text` replaced by `values`, in order.
std::string FillIn(const std::string& text, std::initializer_list<std::string> values);

// This user's screen saver as Windows will run it.
struct UserScreenSaver {
    std::string file;                          // "" when none is chosen
    std::optional<bool> active;                // nullopt: Windows would not say
    std::optional<std::uint32_t> waitSeconds;  // likewise
    bool fileByPolicy = false;
    bool activeByPolicy = false;
    bool waitByPolicy = false;
};

UserScreenSaver ReadUserScreenSaver(IRegistryPort& registry, IPowerFacts& power);

// The active plan's timeouts, each replaced by a policy's value where one is set;
// nullopt when neither the plan nor a policy says anything.
std::optional<PowerPlanTimeouts> ReadPlanTimeouts(IRegistryPort& registry, IPowerFacts& power);

// Whether `file` (a path as SCRNSAVE.EXE holds it, short or long) names Somnivex.scr.
bool IsSomnivexFile(const std::string& file);

// What ends an unattended run before Somnivex's shutdown: the earliest of sleep,
// hibernation and, on a Modern Standby PC, the display turning off, when it comes no
// later than the shutdown would (the screen saver's wait, the minutes and the countdown).
struct EarlyStop {
    enum class Kind { Sleep, Hibernate, DisplayOff } kind = Kind::Sleep;
    std::uint32_t afterSeconds = 0;
    bool onBatteryOnly = false;  // on mains power it comes later, or never
};

// Seconds from the last input to the moment Somnivex asks Windows to shut down.
std::uint32_t SecondsToShutdown(std::optional<std::uint32_t> screenSaverWait, int waitMinutes);

// `capabilities` unknown counts as a PC that can sleep and hibernate, without Modern
// Standby; the battery timeouts count only where the PC has batteries (or may have).
std::optional<EarlyStop> StopBeforeShutdown(const PowerPlanTimeouts& plan,
                                            const std::optional<PowerCapabilities>& capabilities,
                                            std::uint32_t secondsToShutdown);

// Makes `file` this user's screen saver and switches screen saving on, as the screen
// saver settings of Windows do: the value in the user's own key, then the switch,
// stored and announced. False when either was refused.
bool MakeUserScreenSaver(IRegistryPort& registry, IPowerFacts& power, const std::string& file);

}  // namespace mgr
