// Short ways for tests to put typed values into the fake registry and read them back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/fake/FakeRegistry.h"

inline const char* const kOptionsKey = "Software\\Brellcor\\Somnivex";

inline void PutString(FakeRegistry& r, const std::string& key, const std::string& name,
                      const std::string& value, RegKey hive = reg::kLocalMachine) {
    std::vector<std::uint8_t> bytes(value.begin(), value.end());
    bytes.push_back(0);
    r.PutValue(hive, key, name, reg::kTypeSz, bytes);
}

inline void PutDword(FakeRegistry& r, const std::string& key, const std::string& name,
                     std::int32_t value, RegKey hive = reg::kLocalMachine) {
    const auto u = static_cast<std::uint32_t>(value);
    r.PutValue(hive, key, name, reg::kTypeDword,
               {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
                static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)});
}

inline std::optional<std::int32_t> GetDword(const FakeRegistry& r, const std::string& key,
                                            const std::string& name,
                                            RegKey hive = reg::kLocalMachine) {
    const auto v = r.Value(hive, key, name);
    if (!v || v->type != reg::kTypeDword || v->bytes.size() != 4) return std::nullopt;
    return static_cast<std::int32_t>(v->bytes[0] | v->bytes[1] << 8 | v->bytes[2] << 16 |
                                     static_cast<std::uint32_t>(v->bytes[3]) << 24);
}

inline std::optional<std::string> GetString(const FakeRegistry& r, const std::string& key,
                                            const std::string& name,
                                            RegKey hive = reg::kLocalMachine) {
    const auto v = r.Value(hive, key, name);
    if (!v || v->type != reg::kTypeSz) return std::nullopt;
    std::string text(v->bytes.begin(), v->bytes.end());
    return text.substr(0, text.find('\0'));
}
