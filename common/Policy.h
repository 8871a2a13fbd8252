// Settings an administrator fixes for the whole computer, with Group Policy or a
// device-management service that writes the same values, under
// HKEY_LOCAL_MACHINE\Software\Policies\Brellcor\Somnivex. A present and valid value wins
// over the stored setting and is never written into the stored settings; an invalid one
// (wrong type, out of range, too long) is ignored, the stored value counts, and the value
// is reported. The key is only read: nothing here creates it or fills in defaults, and a
// missing key or value is simply no policy.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/RegistryPort.h"

struct tSSOptions;

namespace policy {
// How long a hold may keep a run's shutdown back when no policy says: four hours.
constexpr std::uint32_t kDefaultMaxHoldMinutes = 240;
}  // namespace policy

// The checks that hold a run's shutdown back, each on unless a policy turns it off, and
// the minutes after which a run goes ahead whatever holds it (0: no limit).
struct tHoldSwitches {
    bool PowerRequests = true;
    bool OtherSessions = true;
    std::uint32_t MaxMinutes = policy::kDefaultMaxHoldMinutes;
};

// A policy value that was there but could not be used.
struct PolicyProblem {
    enum class Kind { kWrongType, kOutOfRange, kTooLong, kUnreadable };
    std::string name;  // the value's name; empty when the key itself could not be read
    Kind kind = Kind::kWrongType;
    std::string found;     // what it holds: "REG_SZ", "40000", "1100 characters", "error 5"
    std::string accepted;  // what it may hold: "REG_DWORD", "1 to 32767"
    bool operator==(const PolicyProblem&) const = default;
};

// What the policy key says. A field holds a value only when the policy sets it validly.
struct PolicyValues {
    std::optional<bool> RunKelvane;
    std::optional<std::string> KelvanePath;
    std::optional<bool> ConfirmShutdown;
    std::optional<bool> DefaultConfirmYes;
    std::optional<std::string> SelectedScreenSaver;
    std::optional<std::int16_t> ShutdownType;
    std::optional<std::int16_t> WaitMinutes;
    std::optional<bool> InstallUpdates;
    std::optional<bool> HoldForPowerRequests;
    std::optional<bool> HoldForOtherSessions;
    std::optional<std::int16_t> MaxHoldMinutes;
    // Values present but ignored, in the order they were read.
    std::vector<PolicyProblem> Invalid;

    // Whether the policy sets the value of this name (a setting of the options record
    // or one of the hold's).
    bool Manages(std::string_view name) const;
    // Whether the policy sets any of the options record's settings.
    bool ManagesAnySetting() const;
    tHoldSwitches Hold() const;
    bool operator==(const PolicyValues&) const = default;
};

namespace policy {

inline constexpr char kKey[] = "Software\\Policies\\Brellcor\\Somnivex";

// The bounds the templates offer administrators. WaitMinutes ends at the largest number
// the stored 16-bit field holds; texts at the templates' limit, in UTF-16 units.
constexpr std::uint32_t kMinMinutes = 1;
constexpr std::uint32_t kMaxMinutes = 32767;
// A hold may be limited to at most a week; beyond that, 0 lifts the limit.
constexpr std::uint32_t kMaxHoldMinutes = 7 * 24 * 60;
constexpr std::size_t kMaxTextChars = 1023;

enum class Kind {
    kFlag,    // REG_DWORD: 0 is off, any other number on
    kNumber,  // REG_DWORD from `min` to `max`
    kChoice,  // REG_DWORD, one of ShutdownTypes()
    kText,    // REG_SZ or REG_EXPAND_SZ of at most kMaxTextChars; empty is no policy
};

using Field =
    std::variant<std::optional<bool> PolicyValues::*, std::optional<std::int16_t> PolicyValues::*,
                 std::optional<std::string> PolicyValues::*>;

struct ValueRule {
    const char* name;
    Kind kind;
    Field field;
    std::uint32_t min = 0;
    std::uint32_t max = 0;
};

// Every value the programs read from the policy key, in the order they are read: the
// one list the reader, the templates' check and the tests go by.
inline constexpr ValueRule kValues[] = {
    {"RunKelvane", Kind::kFlag, &PolicyValues::RunKelvane},
    {"KelvanePath", Kind::kText, &PolicyValues::KelvanePath},
    {"ConfirmShutdown", Kind::kFlag, &PolicyValues::ConfirmShutdown},
    {"DefaultConfirmYes", Kind::kFlag, &PolicyValues::DefaultConfirmYes},
    {"SelectedScreenSaver", Kind::kText, &PolicyValues::SelectedScreenSaver},
    {"ShutdownType", Kind::kChoice, &PolicyValues::ShutdownType},
    {"WaitMinutes", Kind::kNumber, &PolicyValues::WaitMinutes, kMinMinutes, kMaxMinutes},
    {"InstallUpdates", Kind::kFlag, &PolicyValues::InstallUpdates},
    {"HoldForPowerRequests", Kind::kFlag, &PolicyValues::HoldForPowerRequests},
    {"HoldForOtherSessions", Kind::kFlag, &PolicyValues::HoldForOtherSessions},
    {"MaxHoldMinutes", Kind::kNumber, &PolicyValues::MaxHoldMinutes, 0, kMaxHoldMinutes},
};

// The kinds of shutdown current Windows offers (shut down, restart, log off, sleep,
// hibernate). MS-DOS mode is not one of them.
std::span<const std::int16_t> ShutdownTypes();

}  // namespace policy

// Reads the policy key (in the native view, where Windows keeps it for both builds).
PolicyValues ReadPolicy(IRegistryPort& port, const std::string& key = policy::kKey);

// Gives every setting the policy manages the policy's value.
void ApplyPolicy(tSSOptions& record, const PolicyValues& policy);
