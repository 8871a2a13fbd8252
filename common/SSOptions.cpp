#include "common/SSOptions.h"

#include <limits>

namespace {

constexpr auto kHive = cAppRegAPI::HKEY_LOCAL_MACHINE;
const char* const kSection = "Somnivex";

// Restores the company key however the caller leaves.
class SoftwareKeyScope {
  public:
    SoftwareKeyScope(cAppRegAPI& reg, std::string key) : reg_(reg), saved_(reg.SoftwareKey) {
        reg_.SoftwareKey = std::move(key);
    }
    ~SoftwareKeyScope() { reg_.SoftwareKey = saved_; }
    SoftwareKeyScope(const SoftwareKeyScope&) = delete;
    SoftwareKeyScope& operator=(const SoftwareKeyScope&) = delete;

  private:
    cAppRegAPI& reg_;
    std::string saved_;
};

// The record holds 16 bits; a stored number that does not fit loads as the default
// rather than wrapping into some other code or minute count.
std::int16_t ToInt16OrDefault(std::int32_t value, std::int16_t fallback) {
    if (value < std::numeric_limits<std::int16_t>::min() ||
        value > std::numeric_limits<std::int16_t>::max())
        return fallback;
    return static_cast<std::int16_t>(value);
}

// A folder recorded with a trailing backslash, as Windows Installer writes its folder
// properties, names the same folder; the programs append "\file" to it. A drive's root
// keeps its backslash.
std::string WithoutTrailingBackslash(std::string folder) {
    while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    return folder;
}

}  // namespace

void cSSOptions::LoadOptions(tSSOptions& record) {
    const tSSOptions defaults;
    // `on` is the number a true default is stored as.
    auto flag = [&](const char* name, bool fallback, std::int32_t on = -1) {
        return appReg_.GetNumericSetting(kHive, kSection, name, fallback ? on : 0, -1, -1) != 0;
    };
    auto number = [&](const char* name, std::int16_t fallback) {
        const std::int32_t stored =
            appReg_.GetNumericSetting(kHive, kSection, name, fallback, -1, -1);
        const std::int16_t value = ToInt16OrDefault(stored, fallback);
        if (value != stored)
            appReg_.ReportReplaced(kHive, kSection, name, std::to_string(stored),
                                   std::to_string(fallback));
        return value;
    };
    auto text = [&](const char* name, const std::string& fallback = {}) {
        return appReg_.GetStringSetting(kHive, kSection, name, fallback);
    };

    record.RunKelvane = flag("RunKelvane", defaults.RunKelvane);
    record.ConfirmShutdown = flag("ConfirmShutdown", defaults.ConfirmShutdown);
    record.DefaultConfirmYes = flag("DefaultConfirmYes", defaults.DefaultConfirmYes);
    record.LogDebug = flag("LogDebug", defaults.LogDebug);
    record.ShutdownType = number("ShutdownType", defaults.ShutdownType);
    record.WaitMinutes = number("WaitMinutes", defaults.WaitMinutes);
    record.InstallUpdates = flag("InstallUpdates", defaults.InstallUpdates, 1);
    record.LogDir = text("LogDir");
    record.AppPath = WithoutTrailingBackslash(text("AppPath"));
    record.KelvanePath = text("KelvanePath");
    record.SelectedScreenSaver = text("SelectedScreenSaver", defaultScreenSaver_);

    stored_ = record;
    policy_ = ReadPolicy(appReg_.Port());
    ApplyPolicy(record, policy_);
}

const PolicyValues& cSSOptions::RefreshPolicy() {
    policy_ = ReadPolicy(appReg_.Port());
    return policy_;
}

bool cSSOptions::SaveOptions(const tSSOptions& record) {
    // The record holds the policy's value of a managed setting, which must never become
    // the computer's own. A policy dropped since the load still had its value loaded.
    const PolicyValues now = ReadPolicy(appReg_.Port());
    auto managed = [&](const char* name) { return policy_.Manages(name) || now.Manages(name); };

    bool all = true;
    auto flag = [&](const char* name, bool value, std::int32_t on = -1) {
        if (!managed(name)) all &= appReg_.SetNumericSetting(kHive, kSection, name, value ? on : 0);
    };
    auto number = [&](const char* name, std::int16_t value) {
        if (!managed(name)) all &= appReg_.SetNumericSetting(kHive, kSection, name, value);
    };
    auto text = [&](const char* name, const std::string& value) {
        if (!managed(name)) all &= appReg_.SetStringSetting(kHive, kSection, name, value);
    };

    flag("RunKelvane", record.RunKelvane);
    flag("ConfirmShutdown", record.ConfirmShutdown);
    flag("DefaultConfirmYes", record.DefaultConfirmYes);
    flag("LogDebug", record.LogDebug);
    number("ShutdownType", record.ShutdownType);
    number("WaitMinutes", record.WaitMinutes);
    // A value added later, stored as the policy templates store a switch.
    flag("InstallUpdates", record.InstallUpdates, 1);
    text("LogDir", record.LogDir);
    text("AppPath", record.AppPath);
    text("KelvanePath", record.KelvanePath);
    text("SelectedScreenSaver", record.SelectedScreenSaver);
    return all;
}

std::int32_t cSSOptions::ShutdownHandle() {
    SoftwareKeyScope scope(appReg_, "Brellcor");
    return appReg_.GetNumericSetting(kHive, "Window Handles", "ShutdownHwnd", -1, -1, -1);
}

std::string cSSOptions::FindKelvanePathInReg() {
    std::string path;
    {
        SoftwareKeyScope scope(appReg_, "Brellcor\\Pemrose");
        path = appReg_.GetStringSetting(kHive, "Kelvane", "AppPath", "");
    }
    if (path.empty()) {
        SoftwareKeyScope scope(appReg_, "Brellcor\\Kelvane");
        path = appReg_.GetStringSetting(kHive, "Kelvane", "AppPath", "");
    }
    return path;
}

bool shutdown_code::IsKnown(std::int16_t code) {
    return code == kShutDown || Slot(code) != Slot(kShutDown);
}

bool shutdown_code::IsSuspend(std::int16_t code) {
    return code == kSleep || code == kHibernate;
}

std::string BlankScreenSaver(const std::string& systemFolder, IFileSystem& files) {
    if (systemFolder.empty()) return {};
    const std::string path =
        systemFolder + (systemFolder.back() == '\\' ? "" : "\\") + "scrnsave.scr";
    return files.FileExists(path) ? path : std::string{};
}

std::size_t shutdown_code::Slot(std::int16_t code) {
    switch (code) {
        case kLogOff:
            return 0;
        case kRestart:
            return 2;
        case kRestartInMsDos:
            return 3;
        case kSleep:
            return 4;
        case kHibernate:
            return 5;
        default:
            return 1;
    }
}
