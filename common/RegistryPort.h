// The registry as the programs see it: a handful of calls with Windows' own return
// codes and value types. The Win32 port passes them to advapi32; the in-memory port
// in platform/fake imitates them for the unit tests. Text crosses this seam as UTF-8:
// string data is UTF-8 bytes with the terminating NUL counted in sizes, exactly as the
// "A" registry functions count ANSI bytes.
//
// Nothing here may share a name with a <windows.h> macro (RegOpenKey, REG_SZ, ...),
// because the Win32 port includes both.
#pragma once

#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

// A key handle. Handles are 32-bit values; the predefined hives are the sign-extended
// constants 0x80000000 to 0x80000003, as on 64-bit Windows.
using RegKey = std::int64_t;

// A Windows error code (LONG) as the registry functions return it.
using RegStatus = std::int32_t;

namespace reg {

constexpr RegKey kClassesRoot = static_cast<std::int32_t>(0x80000000u);
constexpr RegKey kCurrentUser = static_cast<std::int32_t>(0x80000001u);
constexpr RegKey kLocalMachine = static_cast<std::int32_t>(0x80000002u);
constexpr RegKey kUsers = static_cast<std::int32_t>(0x80000003u);

constexpr RegStatus kSuccess = 0;
constexpr RegStatus kFileNotFound = 2;
constexpr RegStatus kAccessDenied = 5;
constexpr RegStatus kInvalidHandle = 6;
constexpr RegStatus kInvalidParameter = 87;
constexpr RegStatus kMoreData = 234;
constexpr RegStatus kNoMoreItems = 259;
constexpr RegStatus kKeyDeleted = 1018;

constexpr std::uint32_t kTypeNone = 0;
constexpr std::uint32_t kTypeSz = 1;
constexpr std::uint32_t kTypeExpandSz = 2;
constexpr std::uint32_t kTypeBinary = 3;
constexpr std::uint32_t kTypeDword = 4;
constexpr std::uint32_t kTypeMultiSz = 7;
constexpr std::uint32_t kTypeQword = 11;

// Hands a value's data to the caller as RegQueryValueEx does: with `data` null only the
// size in bytes; a buffer of `*size` bytes too small for the data gets kMoreData and the
// size it needs, and no data. Both ports keep to this over the data they hold.
inline RegStatus Deliver(const std::vector<std::uint8_t>& bytes, std::uint8_t* data,
                         std::uint32_t* size) {
    const auto needed = static_cast<std::uint32_t>(bytes.size());
    if (data) {
        if (*size < needed) {
            *size = needed;
            return kMoreData;
        }
        if (needed) std::memcpy(data, bytes.data(), needed);
    }
    if (size) *size = needed;
    return kSuccess;
}

// Reads a value whole through `query`, one call of RegQueryValueEx or RegEnumValue that
// takes a buffer with its size and gives back the status and the size of the data. The
// buffer is always a real one, never a size query's null: a value that another program
// writes between two calls is then read with its bytes, or reported as grown, and read
// again with the size it asked for. Gives kMoreData when it keeps growing.
template <typename Query>
RegStatus ReadWhole(Query query, std::vector<std::uint8_t>& bytes) {
    // Enough for every value the programs read in one call.
    std::uint32_t capacity = 512;
    RegStatus status = kMoreData;
    for (int attempt = 0; attempt < 8 && status == kMoreData; ++attempt) {
        bytes.assign(capacity, 0);
        std::uint32_t got = capacity;
        status = query(bytes.data(), &got);
        if (status == kSuccess && got <= capacity) {
            bytes.resize(got);
            return kSuccess;
        }
        if (status == kSuccess) status = kMoreData;
        if (capacity > 0x7FFFFFFFu) break;
        capacity = got > capacity ? got : capacity * 2;
    }
    bytes.clear();
    return status;
}

// The name of a value type as administrators know it ("REG_DWORD"), or "type N" for a
// number Windows gives no name.
inline std::string TypeName(std::uint32_t type) {
    static const char* const kNames[] = {"REG_NONE",
                                         "REG_SZ",
                                         "REG_EXPAND_SZ",
                                         "REG_BINARY",
                                         "REG_DWORD",
                                         "REG_DWORD_BIG_ENDIAN",
                                         "REG_LINK",
                                         "REG_MULTI_SZ",
                                         "REG_RESOURCE_LIST",
                                         "REG_FULL_RESOURCE_DESCRIPTOR",
                                         "REG_RESOURCE_REQUIREMENTS_LIST",
                                         "REG_QWORD"};
    if (type < std::size(kNames)) return kNames[type];
    return "type " + std::to_string(type);
}

}  // namespace reg

// The two views of HKEY_LOCAL_MACHINE\Software on 64-bit Windows. The programs keep their
// settings in the 32-bit view, so that both builds share them. kNative is the 64-bit view
// (the only one on 32-bit Windows): it holds the keys Windows shares between the views,
// Software\Policies among them, as the 64-bit Group Policy client writes them.
enum class RegView { kWow32, kNative };

class IRegistryPort {
  public:
    virtual ~IRegistryPort() = default;

    // Opens an existing key below `parent`; `result` is written only on success.
    virtual RegStatus OpenKey(RegKey parent, const std::string& subKey, RegKey& result) = 0;
    // Opens an existing key below `parent` in `view`, for reading only: values can be
    // queried and enumerated, but nothing can be written through the handle.
    virtual RegStatus OpenKeyToRead(RegKey parent, const std::string& subKey, RegView view,
                                    RegKey& result) = 0;
    // Opens or creates (with every missing parent) the key below `parent`.
    virtual RegStatus CreateKey(RegKey parent, const std::string& subKey, RegKey& result) = 0;
    virtual RegStatus CloseKey(RegKey key) = 0;

    // RegQueryValueEx: `type` and `size` may be null. With `data` null, reports the
    // type and the size in bytes. With `data` set, `*size` is the buffer's capacity; a
    // value that does not fit gives kMoreData and the size it needs, and no data.
    virtual RegStatus QueryValue(RegKey key, const std::string& name, std::uint32_t* type,
                                 std::uint8_t* data, std::uint32_t* size) = 0;
    // RegSetValueEx: stores `size` bytes of `data` with the given type.
    virtual RegStatus SetValue(RegKey key, const std::string& name, std::uint32_t type,
                               const std::uint8_t* data, std::uint32_t size) = 0;

    // RegEnumKey: the name of subkey `index`. `nameCapacity` counts characters with the
    // NUL, as the Windows buffer size does: a longer name gives kMoreData.
    virtual RegStatus EnumKey(RegKey key, std::uint32_t index, std::uint32_t nameCapacity,
                              std::string& name) = 0;
    // RegEnumValue: name, type and data of value `index`. `dataCapacity` is the size of
    // the data buffer offered; a value with more data gives kMoreData. `data` may be null
    // when only the name is wanted (then the data size is not checked).
    virtual RegStatus EnumValue(RegKey key, std::uint32_t index, std::uint32_t nameCapacity,
                                std::string& name, std::uint32_t* type, std::uint8_t* data,
                                std::uint32_t* dataSize) = 0;

    // RegDeleteKey: deletes a subkey that has no subkeys of its own.
    virtual RegStatus DeleteKey(RegKey key, const std::string& subKey) = 0;
    virtual RegStatus DeleteValue(RegKey key, const std::string& name) = 0;

    // What RegGetValue does to REG_EXPAND_SZ data (ExpandEnvironmentStrings): every
    // %NAME% of a variable the process environment sets is replaced by its value; the
    // rest stays as it is. A text that cannot be expanded comes back unchanged.
    virtual std::string ExpandEnvironmentText(const std::string& text) = 0;
};
