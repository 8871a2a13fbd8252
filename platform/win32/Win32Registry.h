// The registry port over advapi32's wide functions. Text crosses as UTF-8 (names, and the
// data of the string types) and is stored as UTF-16; sizes seen through the port are
// UTF-8 byte counts, as if the "A" functions ran with a UTF-8 code page. Keys are opened
// in the 32-bit view, so the x86 and x64 builds share one set of values; only a key opened
// to read may ask for the native view.
// No <windows.h> here: the port's callers include this beside portable headers.
#pragma once

#include "common/RegistryPort.h"

class Win32RegistryPort : public IRegistryPort {
  public:
    RegStatus OpenKey(RegKey parent, const std::string& subKey, RegKey& result) override;
    RegStatus OpenKeyToRead(RegKey parent, const std::string& subKey, RegView view,
                            RegKey& result) override;
    RegStatus CreateKey(RegKey parent, const std::string& subKey, RegKey& result) override;
    RegStatus CloseKey(RegKey key) override;
    RegStatus QueryValue(RegKey key, const std::string& name, std::uint32_t* type,
                         std::uint8_t* data, std::uint32_t* size) override;
    RegStatus SetValue(RegKey key, const std::string& name, std::uint32_t type,
                       const std::uint8_t* data, std::uint32_t size) override;
    RegStatus EnumKey(RegKey key, std::uint32_t index, std::uint32_t nameCapacity,
                      std::string& name) override;
    RegStatus EnumValue(RegKey key, std::uint32_t index, std::uint32_t nameCapacity,
                        std::string& name, std::uint32_t* type, std::uint8_t* data,
                        std::uint32_t* dataSize) override;
    RegStatus DeleteKey(RegKey key, const std::string& subKey) override;
    RegStatus DeleteValue(RegKey key, const std::string& name) override;
    std::string ExpandEnvironmentText(const std::string& text) override;
};
