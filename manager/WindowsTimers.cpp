#include "manager/WindowsTimers.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <vector>

namespace mgr {

namespace {

// Texts longer than this are no path or number Windows would use; they are not read.
constexpr std::uint32_t kMaxTextBytes = 4096;
constexpr std::uint32_t kCountdownSeconds = 60;

// The power settings by the GUIDs that name their policy keys.
constexpr const char* kSleepSetting = "29F6C1DB-86DA-48C5-9FDB-F2B67B1F44DA";
constexpr const char* kDisplaySetting = "3C0BC021-C8A8-4E07-A973-6B14CBCB2B7E";
constexpr const char* kHibernateSetting = "9D7815A6-7EE4-497E-8888-515A05F02364";

// One key opened for reading and closed again.
class ReadKey {
  public:
    ReadKey(IRegistryPort& port, RegKey hive, const std::string& path) : port_(port) {
        if (port.OpenKeyToRead(hive, path, RegView::kNative, key_) != reg::kSuccess) key_ = 0;
    }
    ~ReadKey() {
        if (key_) port_.CloseKey(key_);
    }
    ReadKey(const ReadKey&) = delete;
    ReadKey& operator=(const ReadKey&) = delete;

    // A REG_SZ or REG_EXPAND_SZ text up to its first NUL; nullopt when missing, of
    // another type, too long or unreadable.
    std::optional<std::string> Text(const std::string& name) const {
        std::uint32_t type = 0, size = 0;
        if (!key_ || port_.QueryValue(key_, name, &type, nullptr, &size) != reg::kSuccess)
            return std::nullopt;
        if ((type != reg::kTypeSz && type != reg::kTypeExpandSz) || size > kMaxTextBytes)
            return std::nullopt;
        std::string data(size, '\0');
        if (port_.QueryValue(key_, name, &type, reinterpret_cast<std::uint8_t*>(data.data()),
                             &size) != reg::kSuccess ||
            (type != reg::kTypeSz && type != reg::kTypeExpandSz))
            return std::nullopt;
        data.resize(std::min<std::size_t>(size, data.find('\0')));
        return type == reg::kTypeExpandSz ? port_.ExpandEnvironmentText(data) : data;
    }

    // A REG_DWORD, or a text of decimal digits as the desktop policies store numbers.
    std::optional<std::uint32_t> Number(const std::string& name) const {
        std::uint32_t type = 0, size = 4;
        std::uint8_t bytes[4] = {};
        if (!key_) return std::nullopt;
        if (port_.QueryValue(key_, name, &type, bytes, &size) == reg::kSuccess &&
            type == reg::kTypeDword && size == 4)
            return bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                   static_cast<std::uint32_t>(bytes[3]) << 24;
        const auto text = Text(name);
        if (!text || text->empty() || text->size() > 10) return std::nullopt;
        std::uint64_t number = 0;
        for (const char c : *text) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
            number = number * 10 + static_cast<std::uint64_t>(c - '0');
        }
        if (number > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
        return static_cast<std::uint32_t>(number);
    }

  private:
    IRegistryPort& port_;
    RegKey key_ = 0;
};

// A plan value replaced by the policy's, where there is one.
void ApplyPowerPolicy(IRegistryPort& registry, const char* setting, AcDcSeconds& value, bool& any) {
    const ReadKey key(registry, reg::kLocalMachine, std::string(kPowerPolicyKey) + "\\" + setting);
    if (const auto ac = key.Number("ACSettingIndex")) value.ac = *ac;
    if (const auto dc = key.Number("DCSettingIndex")) value.dc = *dc;
    any |= value.ac.has_value() || value.dc.has_value();
}

// The earliest stop on one power source; nullopt when nothing stops the PC.
std::optional<EarlyStop> EarliestOn(const PowerPlanTimeouts& plan, const PowerCapabilities& can,
                                    bool battery) {
    const auto pick = [battery](const AcDcSeconds& value) { return battery ? value.dc : value.ac; };
    std::optional<EarlyStop> first;
    const auto consider = [&](EarlyStop::Kind kind, std::optional<std::uint32_t> seconds,
                              bool applies) {
        if (!applies || !seconds || *seconds == 0) return;
        if (!first || *seconds < first->afterSeconds) first = EarlyStop{kind, *seconds, battery};
    };
    // On a Modern Standby PC the display going off is standby: desktop programs are
    // suspended soon after, whatever the sleep timeout says.
    consider(EarlyStop::Kind::DisplayOff, pick(plan.display), can.aoAc);
    consider(EarlyStop::Kind::Sleep, pick(plan.sleep), can.CanSleep() || can.aoAc);
    consider(EarlyStop::Kind::Hibernate, pick(plan.hibernate), can.CanHibernate());
    return first;
}

}  // namespace

std::string FillIn(const std::string& text, std::initializer_list<std::string> values) {
    std::string filled;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t n =
            i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) - '1' : 9;
        if (text[i] == '%' && n < values.size()) {
            filled += values.begin()[n];
            ++i;
            continue;
        }
        filled.push_back(text[i]);
    }
    return filled;
}

UserScreenSaver ReadUserScreenSaver(IRegistryPort& registry, IPowerFacts& power) {
    UserScreenSaver saver;
    const ReadKey policy(registry, reg::kCurrentUser, kDesktopPolicyKey);
    // An empty text leaves the choice to the user, as the policy editor stores it.
    if (auto file = policy.Text(kScreenSaverValue); file && !file->empty()) {
        saver.file = *file;
        saver.fileByPolicy = true;
    } else {
        saver.file =
            ReadKey(registry, reg::kCurrentUser, kDesktopKey).Text(kScreenSaverValue).value_or("");
    }
    if (const auto active = policy.Number(kScreenSaveActiveValue)) {
        saver.active = *active != 0;
        saver.activeByPolicy = true;
    } else {
        saver.active = power.ScreenSaverActive();
    }
    if (const auto wait = policy.Number(kScreenSaveTimeOutValue)) {
        saver.waitSeconds = *wait;
        saver.waitByPolicy = true;
    } else {
        saver.waitSeconds = power.ScreenSaverTimeout();
    }
    return saver;
}

std::optional<PowerPlanTimeouts> ReadPlanTimeouts(IRegistryPort& registry, IPowerFacts& power) {
    const std::optional<PowerPlanTimeouts> plan = power.ActivePlan();
    PowerPlanTimeouts timeouts = plan.value_or(PowerPlanTimeouts{});
    bool byPolicy = false;
    ApplyPowerPolicy(registry, kSleepSetting, timeouts.sleep, byPolicy);
    ApplyPowerPolicy(registry, kDisplaySetting, timeouts.display, byPolicy);
    ApplyPowerPolicy(registry, kHibernateSetting, timeouts.hibernate, byPolicy);
    if (!plan && !byPolicy) return std::nullopt;
    return timeouts;
}

bool IsSomnivexFile(const std::string& file) {
    const auto slash = file.find_last_of("\\/");
    std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    // A path may come quoted or with blanks around it.
    name.erase(std::remove(name.begin(), name.end(), '"'), name.end());
    while (!name.empty() && name.back() == ' ') name.pop_back();
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name == "somnivex.scr";
}

std::uint32_t SecondsToShutdown(std::optional<std::uint32_t> screenSaverWait, int waitMinutes) {
    const std::uint64_t total = std::uint64_t{screenSaverWait.value_or(0)} +
                                std::uint64_t(std::max(1, waitMinutes)) * 60 + kCountdownSeconds;
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(total, std::numeric_limits<std::uint32_t>::max()));
}

std::optional<EarlyStop> StopBeforeShutdown(const PowerPlanTimeouts& plan,
                                            const std::optional<PowerCapabilities>& capabilities,
                                            std::uint32_t secondsToShutdown) {
    PowerCapabilities can;
    if (capabilities) {
        can = *capabilities;
    } else {
        can.systemS3 = can.systemS4 = can.hiberFilePresent = can.systemBatteriesPresent = true;
    }
    const auto early = [&](const std::optional<EarlyStop>& stop) {
        return stop && stop->afterSeconds <= secondsToShutdown;
    };
    if (auto mains = EarliestOn(plan, can, false); early(mains)) return mains;
    if (!can.systemBatteriesPresent) return std::nullopt;
    if (auto battery = EarliestOn(plan, can, true); early(battery)) {
        battery->onBatteryOnly = true;
        return battery;
    }
    return std::nullopt;
}

bool MakeUserScreenSaver(IRegistryPort& registry, IPowerFacts& power, const std::string& file) {
    RegKey key = 0;
    if (registry.CreateKey(reg::kCurrentUser, kDesktopKey, key) != reg::kSuccess) return false;
    const RegStatus status = registry.SetValue(key, kScreenSaverValue, reg::kTypeSz,
                                               reinterpret_cast<const std::uint8_t*>(file.c_str()),
                                               static_cast<std::uint32_t>(file.size() + 1));
    registry.CloseKey(key);
    return status == reg::kSuccess && power.SetScreenSaverActive(true);
}

}  // namespace mgr
