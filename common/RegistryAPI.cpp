#include "common/RegistryAPI.h"

#include <vector>

bool cRegistryAPI::RegCloseKey(RegKey hKey) {
    return port_.CloseKey(hKey) == reg::kSuccess;
}

bool cRegistryAPI::RegCreateKey(RegKey hKey, const std::string& lpszSubKeyPermanent,
                                const std::string& lpszSubKeyRemovable, RegKey& phkResult) {
    if (lpszSubKeyPermanent.empty()) return false;
    std::string key = lpszSubKeyPermanent;
    if (key.back() != '\\') key += '\\';
    std::string removable = lpszSubKeyRemovable;
    if (!removable.empty() && removable.front() == '\\') removable.erase(0, 1);
    key += removable;
    lastWrite_ = port_.CreateKey(hKey, key, phkResult);
    return lastWrite_ == reg::kSuccess;
}

bool cRegistryAPI::RegDeleteKey(RegKey hKey, const std::string& lpszSubKey) {
    return port_.DeleteKey(hKey, lpszSubKey) == reg::kSuccess;
}

bool cRegistryAPI::RegDeleteValue(RegKey hKey, const std::string& lpszValue) {
    return port_.DeleteValue(hKey, lpszValue) == reg::kSuccess;
}

bool cRegistryAPI::RegEnumKey(RegKey hKey, std::int32_t i, std::string& strKeyName) {
    if (i < 0) return false;
    std::string name;
    if (port_.EnumKey(hKey, static_cast<std::uint32_t>(i), kNameBufferChars, name) != reg::kSuccess)
        return false;
    strKeyName = TrimNull(name);
    return true;
}

bool cRegistryAPI::RegEnumValue(RegKey hKey, std::int32_t i, std::string& strKeyName) {
    if (i < 0) return false;
    std::string name;
    std::uint32_t type = 0;
    // The data is read into scratch space and dropped; only the name is kept. Two spare
    // bytes stand behind the 500 offered to Windows.
    std::vector<std::uint8_t> scratch(kEnumDataBytes + 2);
    std::uint32_t dataSize = kEnumDataBytes;
    if (port_.EnumValue(hKey, static_cast<std::uint32_t>(i), kNameBufferChars, name, &type,
                        scratch.data(), &dataSize) != reg::kSuccess)
        return false;
    strKeyName = TrimNull(name);
    return true;
}

bool cRegistryAPI::RegOpenKey(RegKey hKey, const std::string& lpszSubKey, RegKey& phkResult) {
    return port_.OpenKey(hKey, lpszSubKey, phkResult) == reg::kSuccess;
}

bool cRegistryAPI::RegQueryNumericValue(RegKey hKey, const std::string& strValueName,
                                        std::int32_t& lData) {
    std::uint32_t type = 0;
    std::uint8_t buffer[4] = {};
    std::uint32_t size = sizeof buffer;
    if (port_.QueryValue(hKey, strValueName, &type, buffer, &size) != reg::kSuccess) return false;
    if (type != reg::kTypeDword || size != 4) return false;
    lData = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(buffer[0]) | static_cast<std::uint32_t>(buffer[1]) << 8 |
        static_cast<std::uint32_t>(buffer[2]) << 16 | static_cast<std::uint32_t>(buffer[3]) << 24);
    return true;
}

bool cRegistryAPI::RegQueryStringValue(RegKey hKey, const std::string& strValueName,
                                       std::string& strData) {
    return QueryStringValue(hKey, strValueName, strData) == TextRead::kRead;
}

cRegistryAPI::TextRead cRegistryAPI::QueryStringValue(RegKey hKey, const std::string& strValueName,
                                                      std::string& strData) {
    const auto isText = [](std::uint32_t type) {
        return type == reg::kTypeSz || type == reg::kTypeExpandSz;
    };
    constexpr int kAttempts = 4;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::uint32_t type = 0;
        std::uint32_t size = 0;
        RegStatus status = port_.QueryValue(hKey, strValueName, &type, nullptr, &size);
        if (status == reg::kFileNotFound) return TextRead::kMissingOrOtherType;
        if (status != reg::kSuccess) return TextRead::kFailed;
        if (!isText(type)) return TextRead::kMissingOrOtherType;
        // Blanks fill the buffer, so data shorter than announced leaves blanks, not garbage.
        std::string buffer(size, ' ');
        std::uint32_t got = size;
        status = port_.QueryValue(hKey, strValueName, &type,
                                  reinterpret_cast<std::uint8_t*>(buffer.data()), &got);
        // Written longer between the two calls: ask for its size again.
        if (status == reg::kMoreData) continue;
        if (status == reg::kFileNotFound) return TextRead::kMissingOrOtherType;
        if (status != reg::kSuccess) return TextRead::kFailed;
        // The value may have changed type between the two calls.
        if (!isText(type)) return TextRead::kMissingOrOtherType;
        strData = TrimNull(buffer);
        if (type == reg::kTypeExpandSz) strData = port_.ExpandEnvironmentText(strData);
        return TextRead::kRead;
    }
    return TextRead::kFailed;
}

std::optional<cRegistryAPI::ValueShape> cRegistryAPI::QueryValueShape(
    RegKey hKey, const std::string& strValueName) {
    ValueShape shape{};
    if (port_.QueryValue(hKey, strValueName, &shape.type, nullptr, &shape.size) != reg::kSuccess)
        return std::nullopt;
    return shape;
}

bool cRegistryAPI::RegSetNumericValue(RegKey hKey, const std::string& strValueName,
                                      std::int32_t lData) {
    const auto u = static_cast<std::uint32_t>(lData);
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
                                   static_cast<std::uint8_t>(u >> 16),
                                   static_cast<std::uint8_t>(u >> 24)};
    lastWrite_ = port_.SetValue(hKey, strValueName, reg::kTypeDword, bytes, 4);
    return lastWrite_ == reg::kSuccess;
}

bool cRegistryAPI::RegSetStringValue(RegKey hKey, const std::string& strValueName,
                                     const std::string& strData) {
    if (hKey == 0) return false;
    // The text and its terminating NUL; std::string keeps one behind its data.
    lastWrite_ = port_.SetValue(hKey, strValueName, reg::kTypeSz,
                                reinterpret_cast<const std::uint8_t*>(strData.c_str()),
                                static_cast<std::uint32_t>(strData.size() + 1));
    return lastWrite_ == reg::kSuccess;
}

std::string cRegistryAPI::TrimNull(const std::string& text) {
    const auto nul = text.find('\0');
    return nul == std::string::npos ? text : text.substr(0, nul);
}
