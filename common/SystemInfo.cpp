#include "common/SystemInfo.h"

#include <limits>
#include <optional>

#include "common/RaisedError.h"

namespace {

constexpr const char* kSource = "cSystemInfo";
constexpr const char* kUnknownUser = "[Unknown]";

const std::string kShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const std::string kExplorerKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
const std::string kShutdownValue = "Shutdown setting";
const std::string kIdConfigKey = "System\\CurrentControlSet\\Control\\IDConfigDB";
const std::string kProfilesKey = kIdConfigKey + "\\Hardware Profiles";

// Blanks only: that is what a padded text buffer leaves behind.
std::string TrimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A whole number with optional blanks around it and an optional sign; nullopt otherwise.
std::optional<std::int64_t> ParseWhole(const std::string& text) {
    const std::string t = TrimBlanks(text);
    std::size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    if (i == t.size()) return std::nullopt;
    std::int64_t value = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9') return std::nullopt;
        value = value * 10 + (t[i] - '0');
        if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    }
    return negative ? -value : value;
}

bool FitsInt16(std::int64_t value) {
    return value >= std::numeric_limits<std::int16_t>::min() &&
           value <= std::numeric_limits<std::int16_t>::max();
}

// A profile number as it stands in a key or value name ("0001" is 1).
std::int16_t ProfileNumber(const std::string& text) {
    const auto value = ParseWhole(text);
    if (!value) throw RaisedError({13, kSource, "Type mismatch"});
    if (!FitsInt16(*value)) throw RaisedError({6, kSource, "Overflow"});
    return static_cast<std::int16_t>(*value);
}

std::string LowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Closes a key it holds on every way out, errors included.
class ScopedKey {
  public:
    explicit ScopedKey(cRegistryAPI& api) : api_(api) {}
    ~ScopedKey() {
        if (open_) api_.RegCloseKey(key_);
    }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;

    bool Open(RegKey parent, const std::string& subKey) {
        open_ = api_.RegOpenKey(parent, subKey, key_);
        return open_;
    }
    RegKey get() const { return key_; }

  private:
    cRegistryAPI& api_;
    RegKey key_ = 0;
    bool open_ = false;
};

}  // namespace

cSystemInfo::cSystemInfo(ISystemFacts& facts, IRegistryPort& registry, const cOSInfo& osInfo,
                         cLogger& logger)
    : facts_(facts), registry_(registry), osInfo_(osInfo), logger_(logger) {
    // A refused call and a blank answer both mean the name is not known.
    const auto user = facts_.UserName();
    logonName_ = user && !TrimBlanks(*user).empty() ? *user : kUnknownUser;

    windowsDir_ = facts_.WindowsDirectory();
    systemDir_ = facts_.SystemDirectory();
    tempPath_ = facts_.TempPath();

    if (osInfo_.isWinNT4()) {
        multiUsers_ = true;
    } else {
        // Windows 95/98 with user profiles, or anyone who logged on by name.
        std::string profiles;
        ReadString(reg::kLocalMachine, "Network\\Logon", "UserProfiles", profiles);
        multiUsers_ = !TrimBlanks(profiles).empty() || logonName_ != kUnknownUser;
    }

    ReadShellFolders();

    std::int32_t setting = 0;
    lastShutdownSetting_ = ReadNumber(reg::kCurrentUser, kExplorerKey, kShutdownValue, setting)
                               ? static_cast<std::int16_t>(setting)
                               : 1;

    const std::uint32_t locale = facts_.SystemDefaultLocale();
    currentLanguageID_ = GetLocaleString(locale, LOCALE_ILANGUAGE);
    localNameOfLang_ = GetLocaleString(locale, LOCALE_SLANGUAGE);
    englishNameOfLang_ = GetLocaleString(locale, LOCALE_SENGLANGUAGE);

    ReadCurrentHardwareConfig();
}

void cSystemInfo::ReadShellFolders() {
    startMenuDir_ = ShellFolder(reg::kCurrentUser, "Programs", KnownFolder::Programs);
    startupFolder_ = ShellFolder(reg::kCurrentUser, "Startup", KnownFolder::Startup);
    commonStartupFolder_ =
        ShellFolder(reg::kLocalMachine, "Common Startup", KnownFolder::CommonStartup);
    if (TrimBlanks(startMenuDir_).empty() || TrimBlanks(startupFolder_).empty())
        throw RaisedError({kLibraryErrorNumber, kSource, "Unable to locate Startup directory"});
}

std::string cSystemInfo::ShellFolder(RegKey hive, const std::string& value, KnownFolder folder) {
    // Current Windows no longer keeps every folder under "Shell Folders"; the shell
    // itself always knows them.
    std::string path;
    if (ReadString(hive, kShellFoldersKey, value, path) && !TrimBlanks(path).empty()) return path;
    return facts_.KnownFolderPath(folder).value_or(std::string());
}

void cSystemInfo::ReadCurrentHardwareConfig() {
    currentHardwareConfig_ = 0;
    ScopedKey key(registry_);
    if (!key.Open(reg::kLocalMachine, kIdConfigKey)) return;
    // Profiles count from 1 in the registry. A number that does not fit reads as unknown.
    std::int64_t current = 0;
    if (osInfo_.isWinNT4()) {
        std::int32_t number = 0;
        if (!registry_.RegQueryNumericValue(key.get(), "CurrentConfig", number)) return;
        current = number;
    } else {
        std::string text;
        if (!registry_.RegQueryStringValue(key.get(), "CurrentConfig", text)) return;
        const auto number = ParseWhole(text);
        if (!number) return;
        current = *number;
    }
    if (FitsInt16(current - 1)) currentHardwareConfig_ = static_cast<std::int16_t>(current - 1);
}

void cSystemInfo::LastShutdownSetting(std::int16_t iSetting) {
    lastShutdownSetting_ = iSetting;
    ScopedKey key(registry_);
    if (key.Open(reg::kCurrentUser, kExplorerKey))
        registry_.RegSetNumericValue(key.get(), kShutdownValue, iSetting);
}

bool cSystemInfo::GetDriveList(std::int16_t iDriveType, std::vector<std::string>& sArrDriveList) {
    sArrDriveList.assign(27, std::string());
    if (iDriveType < DRIVE_REMOVABLE || iDriveType > DRIVE_RAMDISK) return false;
    std::size_t found = 0;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        if (facts_.DriveType(std::string(1, letter) + ":\\") == iDriveType)
            sArrDriveList[found++] = std::string(1, letter) + ":";
    }
    if (found == 0) return false;
    sArrDriveList.resize(found);
    return true;
}

void cSystemInfo::AppendProfile(std::vector<std::string>& names, std::vector<std::int16_t>& numbers,
                                std::size_t& count, const std::string& name, std::int16_t number) {
    // Room for this profile and one spare slot behind it, as callers expect.
    names.resize(count + 2);
    numbers.resize(count + 2);
    names[count] = name;
    numbers[count] = number;
    ++count;
}

bool cSystemInfo::GetHardwareConfigList(std::vector<std::string>& szArrConfigList,
                                        std::vector<std::int16_t>& iArrConfigNumber) {
    szArrConfigList.clear();
    iArrConfigNumber.clear();
    std::size_t count = 0;
    try {
        if (osInfo_.isWinNT4()) {
            ScopedKey profiles(registry_);
            if (!profiles.Open(reg::kLocalMachine, kProfilesKey)) return false;
            std::string subKey;
            for (std::int32_t i = 0; registry_.RegEnumKey(profiles.get(), i, subKey); ++i) {
                ScopedKey profile(registry_);
                if (!profile.Open(reg::kLocalMachine, kProfilesKey + "\\" + subKey)) continue;
                std::string name;
                if (!registry_.RegQueryStringValue(profile.get(), "FriendlyName", name)) break;
                AppendProfile(szArrConfigList, iArrConfigNumber, count, name,
                              ProfileNumber(subKey));
            }
        } else {
            ScopedKey idConfig(registry_);
            if (!idConfig.Open(reg::kLocalMachine, kIdConfigKey)) return false;
            std::string valueName;
            for (std::int32_t i = 0; registry_.RegEnumValue(idConfig.get(), i, valueName); ++i) {
                if (LowerAscii(valueName.substr(0, 12)) != "friendlyname") continue;
                std::string name;
                if (!registry_.RegQueryStringValue(idConfig.get(), valueName, name)) break;
                // The name has at least 12 characters; its last four number the profile.
                AppendProfile(szArrConfigList, iArrConfigNumber, count, name,
                              ProfileNumber(valueName.substr(valueName.size() - 4)));
            }
        }
    } catch (const RaisedError& error) {
        logger_.LogError("", true, error.info);
        return false;
    }
    return count > 0;
}

std::string cSystemInfo::GetLocaleString(std::uint32_t locale, std::uint32_t kind) {
    std::string text;
    const int needed = facts_.LocaleInfo(locale, kind, text, 0);
    if (needed <= 0) return {};
    text.assign(static_cast<std::size_t>(needed), ' ');
    const int count = facts_.LocaleInfo(locale, kind, text, needed);
    if (count <= 0) return {};
    // The count includes the terminating NUL.
    return text.substr(0, static_cast<std::size_t>(count - 1));
}

bool cSystemInfo::ReadString(RegKey hive, const std::string& key, const std::string& value,
                             std::string& data) {
    ScopedKey open(registry_);
    return open.Open(hive, key) && registry_.RegQueryStringValue(open.get(), value, data);
}

bool cSystemInfo::ReadNumber(RegKey hive, const std::string& key, const std::string& value,
                             std::int32_t& data) {
    ScopedKey open(registry_);
    return open.Open(hive, key) && registry_.RegQueryNumericValue(open.get(), value, data);
}
