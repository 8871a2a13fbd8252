// Short ways for tests to put typed values into the fake registry and read them back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/fake/FakeRegistry.h"
#include "support/RegistryBytes.h"

inline const char* const kOptionsKey = "Software\\Brellcor\\Somnivex";

inline void PutString(FakeRegistry& r, const std::string& key, const std::string& name,
                      const std::string& value, RegKey hive = reg::kLocalMachine) {
    r.PutValue(hive, key, name, reg::kTypeSz, regbytes::Sz(value));
}

inline void PutDword(FakeRegistry& r, const std::string& key, const std::string& name,
                     std::int32_t value, RegKey hive = reg::kLocalMachine) {
    r.PutValue(hive, key, name, reg::kTypeDword, regbytes::Dword(value));
}

inline std::optional<std::int32_t> GetDword(const FakeRegistry& r, const std::string& key,
                                            const std::string& name,
                                            RegKey hive = reg::kLocalMachine) {
    const auto v = r.Value(hive, key, name);
    if (!v || v->type != reg::kTypeDword) return std::nullopt;
    const auto number = regbytes::ReadDword(v->bytes);
    if (!number) return std::nullopt;
    return static_cast<std::int32_t>(*number);
}

inline std::optional<std::string> GetString(const FakeRegistry& r, const std::string& key,
                                            const std::string& name,
                                            RegKey hive = reg::kLocalMachine) {
    const auto v = r.Value(hive, key, name);
    if (!v || v->type != reg::kTypeSz) return std::nullopt;
    return regbytes::TextBeforeNul(v->bytes);
}
