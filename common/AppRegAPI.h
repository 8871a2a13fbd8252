// cAppRegAPI: the per-application settings store. Values live under
// "Software\" + SoftwareKey + "\" + subkey of a hive the caller names. Reading a
// missing value creates its key and stores the caller's default, so after the first run
// every setting stands in the registry.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "common/RegistryAPI.h"

// What a settings read found where a value should be, and what it uses instead.
struct tReplacedSetting {
    std::string key;          // "HKEY_LOCAL_MACHINE\Software\Brellcor\Somnivex"
    std::string name;         // the value's name
    std::string found;        // "a REG_SZ value", "70000"
    std::string replacement;  // the default, as text
};

class cAppRegAPI {
  public:
    // `productName` is the running program's product name; it is the company key until
    // start-up replaces it.
    cAppRegAPI(IRegistryPort& port, std::string productName)
        : api_(port), SoftwareKey(std::move(productName)) {}

    static constexpr std::int32_t HKEY_CLASSES_ROOT = cRegistryAPI::HKEY_CLASSES_ROOT;
    static constexpr std::int32_t HKEY_CURRENT_USER = cRegistryAPI::HKEY_CURRENT_USER;
    static constexpr std::int32_t HKEY_LOCAL_MACHINE = cRegistryAPI::HKEY_LOCAL_MACHINE;
    static constexpr std::int32_t HKEY_USERS = cRegistryAPI::HKEY_USERS;

    std::string GetStringSetting(std::int32_t lHKey, const std::string& strSubkey,
                                 const std::string& strProgramsKey, const std::string& szDefault);
    // A negative bound means no bound on that side; both bounds are inclusive. A value out
    // of range is replaced by `lDefault`, in the result and in the registry.
    std::int32_t GetNumericSetting(std::int32_t lHKey, const std::string& strSubkey,
                                   const std::string& strProgramsKey, std::int32_t lDefault,
                                   std::int32_t lLowRange = -1, std::int32_t lHighRange = -1);
    bool SetStringSetting(std::int32_t lHKey, const std::string& strSubkey,
                          const std::string& strProgramsKey, const std::string& strValue);
    bool SetNumericSetting(std::int32_t lHKey, const std::string& strSubkey,
                           const std::string& strProgramsKey, std::int32_t lValue);

    // Told whenever a read uses the default in place of a value that is there but cannot
    // be used: another type, a number out of range, a text that could not be read. A
    // missing value is not reported: every first start has them.
    std::function<void(const tReplacedSetting&)> OnReplaced;
    // The registry's status for the last write refused by a Set...Setting call; kept
    // until the caller clears it.
    RegStatus WriteRefusal = 0;
    // Tells OnReplaced, when it is set.
    void ReportReplaced(std::int32_t lHKey, const std::string& strSubkey,
                        const std::string& strProgramsKey, const std::string& found,
                        const std::string& replacement) const;

    IRegistryPort& Port() const { return api_.Port(); }

  private:
    cRegistryAPI api_;

  public:
    // The part of the key path between "Software\" and the subkey; may hold backslashes.
    std::string SoftwareKey;

  private:
    std::string FullKey(const std::string& strSubkey) const;
    std::string ParentKey() const;
    template <typename Read, typename Write>
    bool ReadOrCreate(std::int32_t lHKey, const std::string& strSubkey, Read read, Write write);
    template <typename Write>
    bool WriteSetting(std::int32_t lHKey, const std::string& strSubkey, Write write);
};
