// A view of the registry through which nothing can be changed, for a start that must
// leave no trace (the screen saver's preview). Reads pass through. A key that would be
// created reads as an empty key instead, so a missing value still takes its default as
// it would in a run; every write is refused, as for a user without the right.
#pragma once

#include <set>

#include "common/RegistryPort.h"

class ReadOnlyRegistryPort : public IRegistryPort {
  public:
    explicit ReadOnlyRegistryPort(IRegistryPort& port) : port_(port) {}

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

  private:
    // Handles of the empty keys that stand for keys a write would have created. They lie
    // in a range no real handle reaches, and never reach the real port.
    static constexpr RegKey kFirstEmpty = 0x7F000000;
    bool IsEmptyKey(RegKey key) const { return empty_.contains(key); }

    IRegistryPort& port_;
    std::set<RegKey> empty_;
    RegKey nextEmpty_ = kFirstEmpty;
};
