// cRegistryAPI: a stateless wrapper over the registry port. Every operation reports
// success as a bool (the port returned 0 and, for the readers, the value had the
// expected type) and never throws; out-parameters are written only on success, except a
// handle out-parameter, which holds whatever the port left in it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/RegistryPort.h"

class cRegistryAPI {
  public:
    explicit cRegistryAPI(IRegistryPort& port) : port_(port) {}

    // The registry below this wrapper, for readers with rules of their own (policies).
    IRegistryPort& Port() const { return port_; }

    static constexpr std::int32_t HKEY_CLASSES_ROOT = static_cast<std::int32_t>(reg::kClassesRoot);
    static constexpr std::int32_t HKEY_CURRENT_USER = static_cast<std::int32_t>(reg::kCurrentUser);
    static constexpr std::int32_t HKEY_LOCAL_MACHINE =
        static_cast<std::int32_t>(reg::kLocalMachine);
    static constexpr std::int32_t HKEY_USERS = static_cast<std::int32_t>(reg::kUsers);

    bool RegCloseKey(RegKey hKey);
    // Creates or opens `lpszSubKeyPermanent` joined with `lpszSubKeyRemovable` by one
    // backslash. An empty permanent part creates nothing.
    bool RegCreateKey(RegKey hKey, const std::string& lpszSubKeyPermanent,
                      const std::string& lpszSubKeyRemovable, RegKey& phkResult);
    bool RegDeleteKey(RegKey hKey, const std::string& lpszSubKey);
    bool RegDeleteValue(RegKey hKey, const std::string& lpszValue);
    bool RegEnumKey(RegKey hKey, std::int32_t i, std::string& strKeyName);
    // Value names only; a value with more than 500 bytes of data fails at its index.
    bool RegEnumValue(RegKey hKey, std::int32_t i, std::string& strKeyName);
    bool RegOpenKey(RegKey hKey, const std::string& lpszSubKey, RegKey& phkResult);
    bool RegQueryNumericValue(RegKey hKey, const std::string& strValueName, std::int32_t& lData);
    // A REG_SZ value, or a REG_EXPAND_SZ one with its variables expanded.
    bool RegQueryStringValue(RegKey hKey, const std::string& strValueName, std::string& strData);
    // RegQueryStringValue, telling why nothing was read: the value is missing or of
    // another type (a settings read then stores its default), or it exists and the read
    // failed (then it must be left alone). A value that grows between the size query and
    // the read is read again, a few times.
    enum class TextRead { kRead, kMissingOrOtherType, kFailed };
    TextRead QueryStringValue(RegKey hKey, const std::string& strValueName, std::string& strData);
    // The type and data size of a value that is there; nullopt when it is missing or
    // cannot be queried.
    struct ValueShape {
        std::uint32_t type;
        std::uint32_t size;
    };
    std::optional<ValueShape> QueryValueShape(RegKey hKey, const std::string& strValueName);
    bool RegSetNumericValue(RegKey hKey, const std::string& strValueName, std::int32_t lData);
    bool RegSetStringValue(RegKey hKey, const std::string& strValueName,
                           const std::string& strData);

    // Sizes of the scratch buffers, as the enumerations offer them to Windows.
    static constexpr std::uint32_t kNameBufferChars = 300;
    static constexpr std::uint32_t kEnumDataBytes = 500;

    // The port's status of the last key creation or value write: what a refused write
    // was refused with.
    RegStatus LastWriteStatus() const { return lastWrite_; }

  private:
    static std::string TrimNull(const std::string& text);

    IRegistryPort& port_;
    RegStatus lastWrite_ = reg::kSuccess;
};
