#include "common/Policy.h"

#include <array>

#include "common/SSOptions.h"

namespace policy {

namespace {

constexpr std::array<std::int16_t, 5> kShutdownTypes = {
    shutdown_code::kShutDown, shutdown_code::kRestart, shutdown_code::kLogOff,
    shutdown_code::kSleep, shutdown_code::kHibernate};

}  // namespace

std::span<const std::int16_t> ShutdownTypes() {
    return kShutdownTypes;
}

}  // namespace policy

namespace {

using policy::Kind;
using Problem = PolicyProblem::Kind;

// A text of at most this many characters fits in this many UTF-8 bytes and its NUL: a
// longer value is too long without being read.
constexpr std::uint32_t kMaxTextBytes = 3 * policy::kMaxTextChars + 1;

// UTF-16 units of a UTF-8 text: one per character, two for one beyond the 16-bit range.
std::size_t Utf16Length(const std::string& text) {
    std::size_t units = 0;
    for (const unsigned char c : text) {
        if ((c & 0xC0) != 0x80) ++units;
        if (c >= 0xF0) ++units;
    }
    return units;
}

std::string ChoicesText() {
    std::string text;
    const auto choices = policy::ShutdownTypes();
    for (std::size_t i = 0; i < choices.size(); ++i) {
        if (i > 0) text += i + 1 == choices.size() ? " or " : ", ";
        text += std::to_string(choices[i]);
    }
    return text;
}

class Reader {
  public:
    Reader(IRegistryPort& port, RegKey key, PolicyValues& out)
        : port_(port), key_(key), out_(out) {}

    void Read(const policy::ValueRule& rule) {
        std::uint32_t type = reg::kTypeNone, size = 0;
        RegStatus status = port_.QueryValue(key_, rule.name, &type, nullptr, &size);
        if (status == reg::kFileNotFound) return;
        if (status != reg::kSuccess) return Unreadable(rule, status);
        if (rule.kind == Kind::kText)
            ReadText(rule, type, size);
        else
            ReadNumber(rule, type, size);
    }

  private:
    void ReadNumber(const policy::ValueRule& rule, std::uint32_t type, std::uint32_t size) {
        if (type != reg::kTypeDword || size != 4) {
            const std::string found = type == reg::kTypeDword
                                          ? "REG_DWORD of " + std::to_string(size) + " bytes"
                                          : reg::TypeName(type);
            return Report(rule, Problem::kWrongType, found, "REG_DWORD");
        }
        std::uint8_t bytes[4] = {};
        std::uint32_t got = sizeof bytes;
        const RegStatus status = port_.QueryValue(key_, rule.name, &type, bytes, &got);
        if (status == reg::kFileNotFound) return;
        if (status != reg::kSuccess || type != reg::kTypeDword || got != 4)
            return Unreadable(rule, status);
        const std::uint32_t number =
            bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;

        if (rule.kind == Kind::kFlag) {
            out_.*std::get<std::optional<bool> PolicyValues::*>(rule.field) = number != 0;
            return;
        }
        bool valid = false;
        std::string accepted;
        if (rule.kind == Kind::kNumber) {
            valid = number >= rule.min && number <= rule.max;
            accepted = std::to_string(rule.min) + " to " + std::to_string(rule.max);
        } else {
            for (const std::int16_t code : policy::ShutdownTypes())
                valid |= number == static_cast<std::uint32_t>(code);
            accepted = ChoicesText();
        }
        if (!valid) return Report(rule, Problem::kOutOfRange, std::to_string(number), accepted);
        // Both kinds lie within 16 bits.
        out_.*std::get<std::optional<std::int16_t> PolicyValues::*>(rule.field) =
            static_cast<std::int16_t>(number);
    }

    void ReadText(const policy::ValueRule& rule, std::uint32_t type, std::uint32_t size) {
        if (type != reg::kTypeSz && type != reg::kTypeExpandSz)
            return Report(rule, Problem::kWrongType, reg::TypeName(type),
                          "REG_SZ or REG_EXPAND_SZ");
        const std::string limit =
            "at most " + std::to_string(policy::kMaxTextChars) + " characters";
        if (size > kMaxTextBytes)
            return Report(rule, Problem::kTooLong,
                          "more than " + std::to_string(policy::kMaxTextChars) + " characters",
                          limit);
        std::string data(size, '\0');
        std::uint32_t got = size;
        const RegStatus status = port_.QueryValue(
            key_, rule.name, &type, reinterpret_cast<std::uint8_t*>(data.data()), &got);
        if (status == reg::kFileNotFound) return;
        if (status != reg::kSuccess || (type != reg::kTypeSz && type != reg::kTypeExpandSz))
            return Unreadable(rule, status);
        data.resize(got);
        // A text ends at its first NUL, as every registry text the programs read does.
        data.resize(std::min(data.size(), data.find('\0')));
        const std::size_t length = Utf16Length(data);
        if (length > policy::kMaxTextChars)
            return Report(rule, Problem::kTooLong, std::to_string(length) + " characters", limit);
        // An empty text is what the policy editor stores for an empty box: no path set.
        if (data.empty()) return;
        if (type == reg::kTypeExpandSz) data = port_.ExpandEnvironmentText(data);
        out_.*std::get<std::optional<std::string> PolicyValues::*>(rule.field) = std::move(data);
    }

    void Unreadable(const policy::ValueRule& rule, RegStatus status) {
        Report(rule, Problem::kUnreadable, "error " + std::to_string(status), "");
    }

    void Report(const policy::ValueRule& rule, Problem kind, std::string found,
                std::string accepted) {
        out_.Invalid.push_back({rule.name, kind, std::move(found), std::move(accepted)});
    }

    IRegistryPort& port_;
    RegKey key_;
    PolicyValues& out_;
};

}  // namespace

bool PolicyValues::Manages(std::string_view name) const {
    for (const auto& rule : policy::kValues) {
        if (name != rule.name) continue;
        return std::visit([this](auto member) { return (this->*member).has_value(); }, rule.field);
    }
    return false;
}

bool PolicyValues::ManagesAnySetting() const {
    return RunKelvane || KelvanePath || ConfirmShutdown || DefaultConfirmYes ||
           SelectedScreenSaver || ShutdownType || WaitMinutes || InstallUpdates;
}

tHoldSwitches PolicyValues::Hold() const {
    return {HoldForPowerRequests.value_or(true), HoldForOtherSessions.value_or(true),
            MaxHoldMinutes ? static_cast<std::uint32_t>(*MaxHoldMinutes)
                           : policy::kDefaultMaxHoldMinutes};
}

PolicyValues ReadPolicy(IRegistryPort& port, const std::string& key) {
    PolicyValues values;
    RegKey handle = 0;
    const RegStatus status = port.OpenKeyToRead(reg::kLocalMachine, key, RegView::kNative, handle);
    if (status == reg::kFileNotFound) return values;
    if (status != reg::kSuccess) {
        values.Invalid.push_back(
            {"", PolicyProblem::Kind::kUnreadable, "error " + std::to_string(status), ""});
        return values;
    }
    Reader reader(port, handle, values);
    for (const auto& rule : policy::kValues) reader.Read(rule);
    port.CloseKey(handle);
    return values;
}

void ApplyPolicy(tSSOptions& record, const PolicyValues& policy) {
    if (policy.RunKelvane) record.RunKelvane = *policy.RunKelvane;
    if (policy.KelvanePath) record.KelvanePath = *policy.KelvanePath;
    if (policy.ConfirmShutdown) record.ConfirmShutdown = *policy.ConfirmShutdown;
    if (policy.DefaultConfirmYes) record.DefaultConfirmYes = *policy.DefaultConfirmYes;
    if (policy.SelectedScreenSaver) record.SelectedScreenSaver = *policy.SelectedScreenSaver;
    if (policy.ShutdownType) record.ShutdownType = *policy.ShutdownType;
    if (policy.WaitMinutes) record.WaitMinutes = *policy.WaitMinutes;
    if (policy.InstallUpdates) record.InstallUpdates = *policy.InstallUpdates;
}
