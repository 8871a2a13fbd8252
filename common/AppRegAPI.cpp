#include "common/AppRegAPI.h"

namespace {

std::string HiveName(std::int32_t hive) {
    switch (hive) {
        case cAppRegAPI::HKEY_CLASSES_ROOT:
            return "HKEY_CLASSES_ROOT";
        case cAppRegAPI::HKEY_CURRENT_USER:
            return "HKEY_CURRENT_USER";
        case cAppRegAPI::HKEY_LOCAL_MACHINE:
            return "HKEY_LOCAL_MACHINE";
        case cAppRegAPI::HKEY_USERS:
            return "HKEY_USERS";
        default:
            return "key " + std::to_string(hive);
    }
}

// "a REG_SZ value", "a REG_DWORD value of 2 bytes".
std::string ShapeText(const cRegistryAPI::ValueShape& shape) {
    const std::string name = reg::TypeName(shape.type);
    const std::string type =
        name.starts_with("REG_") ? "a " + name + " value" : "a value of " + name;
    return shape.type == reg::kTypeDword ? type + " of " + std::to_string(shape.size) + " bytes"
                                         : type;
}

}  // namespace

void cAppRegAPI::ReportReplaced(std::int32_t lHKey, const std::string& strSubkey,
                                const std::string& strProgramsKey, const std::string& found,
                                const std::string& replacement) const {
    if (OnReplaced)
        OnReplaced(
            {HiveName(lHKey) + "\\" + FullKey(strSubkey), strProgramsKey, found, replacement});
}

std::string cAppRegAPI::FullKey(const std::string& strSubkey) const {
    return ParentKey() + "\\" + strSubkey;
}

std::string cAppRegAPI::ParentKey() const {
    return "Software\\" + SoftwareKey;
}

// Opens the full key and tries `read`; when the value is missing or of another type,
// `write` stores the default over it. When the key does not open it is created and the
// default written. Returns whether `read` delivered a stored value.
template <typename Read, typename Write>
bool cAppRegAPI::ReadOrCreate(std::int32_t lHKey, const std::string& strSubkey, Read read,
                              Write write) {
    RegKey key = 0;
    if (api_.RegOpenKey(lHKey, FullKey(strSubkey), key)) {
        const bool found = read(key);
        if (!found) write(key);
        api_.RegCloseKey(key);
        return found;
    }
    if (api_.RegCreateKey(lHKey, ParentKey(), strSubkey, key)) {
        write(key);
        api_.RegCloseKey(key);
    }
    return false;
}

std::string cAppRegAPI::GetStringSetting(std::int32_t lHKey, const std::string& strSubkey,
                                         const std::string& strProgramsKey,
                                         const std::string& szDefault) {
    std::string result;
    bool keyReached = false;
    bool unreadable = false;
    const bool found = ReadOrCreate(
        lHKey, strSubkey,
        [&](RegKey key) {
            keyReached = true;
            const auto read = api_.QueryStringValue(key, strProgramsKey, result);
            unreadable = read == cRegistryAPI::TextRead::kFailed;
            return read == cRegistryAPI::TextRead::kRead;
        },
        [&](RegKey key) {
            keyReached = true;
            // A value that is there but could not be read this time is kept; only a
            // missing value or one of another type makes way for the default.
            if (unreadable) {
                ReportReplaced(lHKey, strSubkey, strProgramsKey, "a value that could not be read",
                               "\"" + szDefault + "\"");
                return;
            }
            if (const auto shape = api_.QueryValueShape(key, strProgramsKey))
                ReportReplaced(lHKey, strSubkey, strProgramsKey, ShapeText(*shape),
                               "\"" + szDefault + "\"");
            api_.RegSetStringValue(key, strProgramsKey, szDefault);
        });
    // The default stands whether or not it could be written; only a key that could be
    // neither opened nor created leaves the result empty.
    if (!found && keyReached) result = szDefault;
    return result;
}

std::int32_t cAppRegAPI::GetNumericSetting(std::int32_t lHKey, const std::string& strSubkey,
                                           const std::string& strProgramsKey, std::int32_t lDefault,
                                           std::int32_t lLowRange, std::int32_t lHighRange) {
    std::int32_t value = lDefault;
    ReadOrCreate(
        lHKey, strSubkey,
        [&](RegKey key) { return api_.RegQueryNumericValue(key, strProgramsKey, value); },
        [&](RegKey key) {
            if (const auto shape = api_.QueryValueShape(key, strProgramsKey))
                ReportReplaced(lHKey, strSubkey, strProgramsKey, ShapeText(*shape),
                               std::to_string(lDefault));
            api_.RegSetNumericValue(key, strProgramsKey, lDefault);
        });

    bool outOfRange = false;
    if (lLowRange >= 0 && lHighRange >= 0)
        outOfRange = value < lLowRange || value > lHighRange;
    else if (lLowRange >= 0)
        outOfRange = value < lLowRange;
    else if (lHighRange >= 0)
        outOfRange = value > lHighRange;

    if (outOfRange) {
        ReportReplaced(lHKey, strSubkey, strProgramsKey, std::to_string(value),
                       std::to_string(lDefault));
        value = lDefault;
        // The write is tried whatever the reopening reported; a handle that did not open
        // stays 0 and the write fails quietly.
        RegKey key = 0;
        api_.RegOpenKey(lHKey, FullKey(strSubkey), key);
        if (key != 0) {
            api_.RegSetNumericValue(key, strProgramsKey, lDefault);
            api_.RegCloseKey(key);
        }
    }
    return value;
}

template <typename Write>
bool cAppRegAPI::WriteSetting(std::int32_t lHKey, const std::string& strSubkey, Write write) {
    RegKey key = 0;
    if (!api_.RegOpenKey(lHKey, FullKey(strSubkey), key) &&
        !api_.RegCreateKey(lHKey, ParentKey(), strSubkey, key)) {
        WriteRefusal = api_.LastWriteStatus();
        return false;
    }
    const bool result = write(key);
    if (!result) WriteRefusal = api_.LastWriteStatus();
    api_.RegCloseKey(key);
    return result;
}

bool cAppRegAPI::SetStringSetting(std::int32_t lHKey, const std::string& strSubkey,
                                  const std::string& strProgramsKey, const std::string& strValue) {
    return WriteSetting(lHKey, strSubkey, [&](RegKey key) {
        return api_.RegSetStringValue(key, strProgramsKey, strValue);
    });
}

bool cAppRegAPI::SetNumericSetting(std::int32_t lHKey, const std::string& strSubkey,
                                   const std::string& strProgramsKey, std::int32_t lValue) {
    return WriteSetting(lHKey, strSubkey, [&](RegKey key) {
        return api_.RegSetNumericValue(key, strProgramsKey, lValue);
    });
}
