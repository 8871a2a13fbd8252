#include "manager/SaveRequest.h"

#include <algorithm>
#include <charconv>
#include <variant>

#include "common/Logger.h"
#include "common/OSInfo.h"
#include "common/ProgramPaths.h"
#include "common/RunTrail.h"
#include "common/SSOptions.h"
#include "common/SystemInfo.h"
#include "manager/SettingsForm.h"

namespace mgr {

namespace {

constexpr std::int32_t kInvalidParameter = 87;  // ERROR_INVALID_PARAMETER

using Member = tOptionMember;
using Field = tOptionField;
const auto& kFields = kOptionFields;
constexpr std::size_t kFieldCount = std::tuple_size_v<decltype(kOptionFields)>;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Fold(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return text;
}

// File names compare without regard to letter case, as Windows compares them.
bool SamePath(const std::string& a, const std::string& b) {
    return Fold(a) == Fold(b);
}

// A number as the window writes it: plain decimal digits, nothing else.
std::optional<std::int16_t> ReadNumber(const std::string& text) {
    std::int16_t value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || at != end || std::to_string(value) != text) return std::nullopt;
    return value;
}

bool ReadValue(tSSOptions& options, const Member& member, const std::string& text) {
    if (auto flag = std::get_if<bool tSSOptions::*>(&member)) {
        if (text != "0" && text != "1") return false;
        options.*(*flag) = text == "1";
        return true;
    }
    if (auto string = std::get_if<std::string tSSOptions::*>(&member)) {
        options.*(*string) = text;
        return true;
    }
    const auto number = ReadNumber(text);
    if (!number) return false;
    options.*std::get<std::int16_t tSSOptions::*>(member) = *number;
    return true;
}

std::string WriteValue(const tSSOptions& options, const Member& member) {
    if (auto flag = std::get_if<bool tSSOptions::*>(&member)) return options.*(*flag) ? "1" : "0";
    if (auto string = std::get_if<std::string tSSOptions::*>(&member)) return options.*(*string);
    return std::to_string(options.*std::get<std::int16_t tSSOptions::*>(member));
}

// A file the window's list could hold: a "*.scr" right in the Windows or the system
// folder, other than this product's own.
bool IsListedScreenSaver(const std::string& path, const SaveContext& context) {
    const auto slash = path.rfind('\\');
    if (slash == std::string::npos) return false;
    const std::string folder = path.substr(0, slash + 1);
    const std::string name = path.substr(slash + 1);
    const std::string extension = ".scr";
    const bool listedFolder = SamePath(folder, AddBackslash(context.windowsDir)) ||
                              SamePath(folder, AddBackslash(context.systemDir));
    return listedFolder && name.size() >= extension.size() &&
           SamePath(name.substr(name.size() - extension.size()), extension) &&
           !SamePath(name, kOwnFileName);
}

// The elevated copy shows nothing, whatever a library object would like to report.
class NoMessages : public IMessageBoxUi {
  public:
    int Show(const std::string&, const std::string&, int) override { return mb::kResultOk; }
};

}  // namespace

std::string QuoteArgument(const std::string& argument) {
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only before a quote: there each stands for two.
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        quoted.push_back(c);
        backslashes = 0;
    }
    quoted.append(backslashes * 2, '\\');
    quoted.push_back('"');
    return quoted;
}

std::vector<std::string> SplitArguments(const std::string& arguments) {
    std::vector<std::string> result;
    const std::size_t n = arguments.size();
    std::size_t i = 0;
    for (;;) {
        while (i < n && IsBlank(arguments[i])) ++i;
        if (i == n) return result;
        std::string argument;
        bool quoted = false;
        while (i < n && (quoted || !IsBlank(arguments[i]))) {
            const char c = arguments[i];
            if (c == '\\') {
                std::size_t count = 0;
                for (; i < n && arguments[i] == '\\'; ++i) ++count;
                if (i < n && arguments[i] == '"') {
                    argument.append(count / 2, '\\');
                    // An odd count escapes the quote; an even one leaves it to the next turn.
                    if (count % 2 == 1) argument.push_back(arguments[i++]);
                } else {
                    argument.append(count, '\\');
                }
            } else if (c == '"') {
                if (quoted && i + 1 < n && arguments[i + 1] == '"') {
                    argument.push_back('"');
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                argument.push_back(c);
                ++i;
            }
        }
        result.push_back(std::move(argument));
    }
}

std::string SaveRequestParameters(const tSSOptions& options) {
    std::string parameters = kSaveSwitch;
    for (const Field& field : kFields)
        parameters +=
            " " + QuoteArgument(std::string(field.name) + "=" + WriteValue(options, field.member));
    return parameters;
}

bool IsSaveRequest(const std::vector<std::string>& arguments) {
    return !arguments.empty() && Fold(arguments.front()) == kSaveSwitch;
}

std::optional<tSSOptions> ParseSaveRequest(const std::vector<std::string>& arguments) {
    if (!IsSaveRequest(arguments) || arguments.size() != 1 + kFieldCount) return std::nullopt;
    tSSOptions options;
    bool seen[kFieldCount] = {};
    for (std::size_t a = 1; a < arguments.size(); ++a) {
        const std::string& argument = arguments[a];
        const auto equals = argument.find('=');
        if (equals == std::string::npos) return std::nullopt;
        const std::string name = argument.substr(0, equals);
        const auto field = std::find_if(std::begin(kFields), std::end(kFields),
                                        [&](const Field& f) { return name == f.name; });
        if (field == std::end(kFields)) return std::nullopt;
        const std::size_t index = static_cast<std::size_t>(field - std::begin(kFields));
        if (seen[index] || !ReadValue(options, field->member, argument.substr(equals + 1)))
            return std::nullopt;
        seen[index] = true;
    }
    return options;
}

bool WindowCouldSend(const tSSOptions& options, const SaveContext& context, IFileSystem& files) {
    const auto managed = [&](const char* name) {
        return context.policy && context.policy->Manages(name);
    };
    // Each program a run starts for every user, as the window checks it before it sends.
    const ProgramCheck check{files, context.roots};
    const auto startable = [&](const std::string& path, std::string_view extension = {}) {
        return check(path, PathOrigin::kSettings, extension).program.has_value();
    };
    // OK stores the program's own folder and its log file there.
    if (!SamePath(options.AppPath, context.programFolder) ||
        !SamePath(options.LogDir, context.programFolder + "\\" + kLogFileName) ||
        !startable(options.AppPath + "\\" + kManagerFileName))
        return false;
    const auto& offered = context.offeredShutdownTypes;
    if (!managed("ShutdownType") &&
        std::find(offered.begin(), offered.end(), options.ShutdownType) == offered.end())
        return false;
    // The minutes box holds 1 to 32767; the 16-bit field cannot hold more.
    if (!managed("WaitMinutes") && options.WaitMinutes < 1) return false;
    const std::string& saver = options.SelectedScreenSaver;
    if (!managed("SelectedScreenSaver") && !saver.empty() &&
        !(IsListedScreenSaver(saver, context) && startable(saver, ".scr")))
        return false;
    // The window trims the launcher's path and keeps only one that a run could start, and
    // uses the launcher only once it is found; with either fixed by policy it sends the
    // stored path.
    if (managed("KelvanePath")) return true;
    const std::string& launcher = options.KelvanePath;
    if (!launcher.empty() &&
        (launcher.front() == ' ' || launcher.back() == ' ' || !startable(launcher)))
        return false;
    return !options.RunKelvane || managed("RunKelvane") || !launcher.empty();
}

ErrorInfo RegistryRefusal(std::int32_t status) {
    switch (status) {
        case reg::kSuccess:
            return {0, "Somnivex", "The registry refused a write."};
        case reg::kAccessDenied:
            return {status, "Somnivex", "Access is denied."};
        case reg::kFileNotFound:
            return {status, "Somnivex", "The system cannot find the file specified."};
        default:
            return {status, "Somnivex", "The registry refused a write."};
    }
}

void ReportSave(Services& services, const tSSOptions& before, const tSSOptions& after,
                bool elevated, const std::optional<ErrorInfo>& refusal) {
    const std::string user = services.facts.UserName().value_or("(unknown user)");
    cRunTrail trail(services.events);
    if (refusal)
        trail.SettingsNotSaved(user, *refusal);
    else
        trail.SettingsSaved(user, before, after, elevated);
}

std::uint32_t RunSaveRequest(Services& services, const std::vector<std::string>& arguments,
                             const std::optional<PowerCapabilities>& power) {
    try {
        const auto options = ParseSaveRequest(arguments);
        const ErrorInfo refusedValues{kInvalidParameter, "Somnivex",
                                      "The save request holds values the settings window does "
                                      "not send."};
        if (!options) {
            ReportSave(services, {}, {}, true, refusedValues);
            return save_status::kRefusedValues;
        }

        NoMessages silent;
        cOSInfo os(services.facts);
        cLogger logger(LoggerDeps{services.strings, services.files, silent, services.clock,
                                  services.programFolder, services.programTitle});
        const cSystemInfo system(services.facts, services.registry, os, logger);
        cAppRegAPI appReg(services.registry, services.productName);
        cSSOptions store(appReg);
        appReg.SoftwareKey = store.RegSoftwareKey();
        // The settings checked as unmanaged are the ones the save may write: it skips
        // whatever the policy read here, or the one it reads again, manages.
        const PolicyValues checked = store.RefreshPolicy();
        const ProgramRoots roots = FindProgramRoots(services.facts, services.files);
        const auto couldSend = [&](const PolicyValues& policy) {
            const SaveContext context{services.programFolder,
                                      system.WindowsDir(),
                                      system.SystemDir(),
                                      OfferedShutdownTypes(os, system.MultiUsers(), power),
                                      &policy,
                                      roots};
            return WindowCouldSend(*options, context, services.files);
        };
        bool sendable = couldSend(checked);
        if (sendable) {
            // Loading reads the policy again; one changed in between is checked once more.
            tSSOptions loaded;
            store.LoadOptions(loaded);
            sendable = store.Policy() == checked || couldSend(store.Policy());
        }
        if (!sendable) {
            ReportSave(services, {}, {}, true, refusedValues);
            return save_status::kRefusedValues;
        }
        const bool saved = store.SaveOptions(*options);
        // What the key held before, as the trail tells it.
        ReportSave(services, store.Stored(), *options, true,
                   saved ? std::nullopt : std::optional(RegistryRefusal(appReg.WriteRefusal)));
        return saved ? save_status::kSaved : save_status::kRefusedWrite;
    } catch (...) {
        // Nobody is there to read a message: the status says it.
        return save_status::kFailed;
    }
}

}  // namespace mgr
