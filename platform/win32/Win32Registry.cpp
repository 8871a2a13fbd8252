#include "platform/win32/Win32Registry.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/win32/Win32Platform.h"

namespace {

// What the old RegOpenKey/RegCreateKey ask for, so a standard user still reads
// HKEY_LOCAL_MACHINE; always the 32-bit view.
constexpr REGSAM kAccess = MAXIMUM_ALLOWED | KEY_WOW64_32KEY;

// Value and key names are at most 16383 and 255 characters.
constexpr DWORD kValueNameChars = 16384;
constexpr DWORD kKeyNameChars = 256;

HKEY ToHkey(RegKey key) {
    switch (key) {
        case reg::kClassesRoot:
            return HKEY_CLASSES_ROOT;
        case reg::kCurrentUser:
            return HKEY_CURRENT_USER;
        case reg::kLocalMachine:
            return HKEY_LOCAL_MACHINE;
        case reg::kUsers:
            return HKEY_USERS;
        default:
            return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(key));
    }
}

RegKey FromHkey(HKEY key) {
    return static_cast<RegKey>(reinterpret_cast<LONG_PTR>(key));
}

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// UTF-16 data as stored (an odd last byte cannot be a character and is dropped) to UTF-8,
// embedded NULs included.
std::vector<std::uint8_t> WideBytesToUtf8(const std::vector<BYTE>& bytes) {
    std::wstring wide(bytes.size() / sizeof(wchar_t), L'\0');
    if (!wide.empty()) std::memcpy(wide.data(), bytes.data(), wide.size() * sizeof(wchar_t));
    const std::string narrow = Narrow(wide);
    return {narrow.begin(), narrow.end()};
}

// Reads a value whole, however large it is or grows between the calls.
LONG ReadWholeValue(HKEY key, const std::wstring& name, DWORD& type, std::vector<BYTE>& bytes) {
    return reg::ReadWhole(
        [&](BYTE* data, std::uint32_t* size) {
            DWORD got = *size;
            const LONG status = RegQueryValueExW(key, name.c_str(), nullptr, &type, data, &got);
            *size = got;
            return status;
        },
        bytes);
}

class Win32RegistryPort : public IRegistryPort {
  public:
    RegStatus OpenKey(RegKey parent, const std::string& subKey, RegKey& result) override {
        HKEY opened = nullptr;
        const LONG status =
            RegOpenKeyExW(ToHkey(parent), Widen(subKey).c_str(), 0, kAccess, &opened);
        if (status == ERROR_SUCCESS) result = FromHkey(opened);
        return status;
    }

    RegStatus OpenKeyToRead(RegKey parent, const std::string& subKey, RegView view,
                            RegKey& result) override {
        // KEY_WOW64_64KEY is ignored by 32-bit Windows, which has the one view.
        const REGSAM access =
            KEY_READ | (view == RegView::kNative ? KEY_WOW64_64KEY : KEY_WOW64_32KEY);
        HKEY opened = nullptr;
        const LONG status =
            RegOpenKeyExW(ToHkey(parent), Widen(subKey).c_str(), 0, access, &opened);
        if (status == ERROR_SUCCESS) result = FromHkey(opened);
        return status;
    }

    RegStatus CreateKey(RegKey parent, const std::string& subKey, RegKey& result) override {
        // Windows refuses a leading backslash; Wine quietly drops it. Refuse it here too, so
        // a path built wrongly fails the same way everywhere.
        if (!subKey.empty() && subKey.front() == '\\') return ERROR_BAD_PATHNAME;
        HKEY created = nullptr;
        const LONG status =
            RegCreateKeyExW(ToHkey(parent), Widen(subKey).c_str(), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, kAccess, nullptr, &created, nullptr);
        if (status == ERROR_SUCCESS) result = FromHkey(created);
        return status;
    }

    RegStatus CloseKey(RegKey key) override { return RegCloseKey(ToHkey(key)); }

    RegStatus QueryValue(RegKey key, const std::string& name, std::uint32_t* type,
                         std::uint8_t* data, std::uint32_t* size) override {
        if (data && !size) return reg::kInvalidParameter;
        DWORD storedType = REG_NONE;
        std::vector<BYTE> bytes;
        const LONG status = ReadWholeValue(ToHkey(key), Widen(name), storedType, bytes);
        if (status != ERROR_SUCCESS) return status;
        if (type) *type = storedType;
        if (IsStringType(storedType)) return reg::Deliver(WideBytesToUtf8(bytes), data, size);
        return reg::Deliver(bytes, data, size);
    }

    RegStatus SetValue(RegKey key, const std::string& name, std::uint32_t type,
                       const std::uint8_t* data, std::uint32_t size) override {
        if (!data && size) return ERROR_NOACCESS;
        const std::wstring wideName = Widen(name);
        if (IsStringType(type)) {
            // Exactly the bytes given, embedded NULs and all. Windows counts a terminator the
            // caller left out when a NUL happens to follow the data, so a non-NUL guard
            // stands behind it and the size stays as given.
            std::wstring wide = data ? Widen(std::string(reinterpret_cast<const char*>(data), size))
                                     : std::wstring();
            const auto bytes = static_cast<DWORD>(wide.size() * sizeof(wchar_t));
            wide.push_back(L'?');
            return RegSetValueExW(ToHkey(key), wideName.c_str(), 0, type,
                                  reinterpret_cast<const BYTE*>(wide.c_str()), bytes);
        }
        return RegSetValueExW(ToHkey(key), wideName.c_str(), 0, type, data, size);
    }

    RegStatus EnumKey(RegKey key, std::uint32_t index, std::uint32_t nameCapacity,
                      std::string& name) override {
        std::vector<wchar_t> buffer(kKeyNameChars);
        LONG status;
        for (;;) {
            DWORD length = static_cast<DWORD>(buffer.size());
            status = RegEnumKeyExW(ToHkey(key), index, buffer.data(), &length, nullptr, nullptr,
                                   nullptr, nullptr);
            if (status == ERROR_SUCCESS) {
                // The capacity counts UTF-8 bytes, as the "A" function counts ANSI ones.
                std::string found = Narrow(buffer.data(), length);
                if (found.size() + 1 > nameCapacity) return reg::kMoreData;
                name = std::move(found);
                return reg::kSuccess;
            }
            if (status != ERROR_MORE_DATA || buffer.size() >= kValueNameChars) return status;
            buffer.resize(kValueNameChars);
        }
    }

    RegStatus EnumValue(RegKey key, std::uint32_t index, std::uint32_t nameCapacity,
                        std::string& name, std::uint32_t* type, std::uint8_t* data,
                        std::uint32_t* dataSize) override {
        if (data && !dataSize) return reg::kInvalidParameter;
        const HKEY hkey = ToHkey(key);
        std::vector<wchar_t> nameBuffer(kValueNameChars);
        DWORD nameLength = kValueNameChars;
        DWORD storedType = REG_NONE;
        std::vector<BYTE> bytes;
        LONG status;
        if (data || dataSize) {
            // The data's size through the port is known only after reading (and converting) it.
            status = reg::ReadWhole(
                [&](BYTE* buffer, std::uint32_t* size) {
                    nameLength = kValueNameChars;
                    DWORD got = *size;
                    const LONG read = RegEnumValueW(hkey, index, nameBuffer.data(), &nameLength,
                                                    nullptr, &storedType, buffer, &got);
                    *size = got;
                    return read;
                },
                bytes);
        } else {
            status = RegEnumValueW(hkey, index, nameBuffer.data(), &nameLength, nullptr,
                                   &storedType, nullptr, nullptr);
        }
        if (status != ERROR_SUCCESS) return status;

        std::string found = Narrow(nameBuffer.data(), nameLength);
        if (found.size() + 1 > nameCapacity) return reg::kMoreData;
        if (type) *type = storedType;
        const RegStatus delivered =
            reg::Deliver(IsStringType(storedType) ? WideBytesToUtf8(bytes) : bytes, data, dataSize);
        if (delivered == reg::kSuccess) name = std::move(found);
        return delivered;
    }

    RegStatus DeleteKey(RegKey key, const std::string& subKey) override {
        return RegDeleteKeyExW(ToHkey(key), Widen(subKey).c_str(), KEY_WOW64_32KEY, 0);
    }

    std::string ExpandEnvironmentText(const std::string& text) override {
        const std::wstring wide = Widen(text);
        std::vector<wchar_t> buffer(wide.size() + 1);
        // The environment may change between the calls; a few tries are plenty.
        for (int attempt = 0; attempt < 4; ++attempt) {
            const DWORD needed = ExpandEnvironmentStringsW(wide.c_str(), buffer.data(),
                                                           static_cast<DWORD>(buffer.size()));
            if (needed == 0) return text;
            if (needed <= buffer.size())
                return Narrow(buffer.data(), wcsnlen(buffer.data(), needed));
            buffer.resize(needed);
        }
        return text;
    }

    RegStatus DeleteValue(RegKey key, const std::string& name) override {
        return RegDeleteValueW(ToHkey(key), Widen(name).c_str());
    }
};

}  // namespace

std::unique_ptr<IRegistryPort> NewWin32Registry() {
    return std::make_unique<Win32RegistryPort>();
}
