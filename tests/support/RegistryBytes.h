// Registry value data as Windows stores it: numbers little-endian in the value's width,
// texts as their bytes with the terminating NUL. Used by the unit and contract tests and
// by the fuzzers' model of what a read must give.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace regbytes {

using Bytes = std::vector<std::uint8_t>;

// The low `width` bytes of `value`, least significant first. A width other than 4 (or 8)
// makes the REG_DWORD (or REG_QWORD) of a wrong size that a careful reader refuses.
inline Bytes LittleEndian(std::uint64_t value, std::size_t width) {
    Bytes bytes;
    for (std::size_t i = 0; i < width; ++i)
        bytes.push_back(static_cast<std::uint8_t>(i < 8 ? value >> (8 * i) : 0));
    return bytes;
}

// A REG_DWORD's four bytes; -1 gives FF FF FF FF as a Boolean true is stored.
inline Bytes Dword(std::int64_t value) {
    return LittleEndian(static_cast<std::uint32_t>(value), 4);
}

inline Bytes Qword(std::uint64_t value) {
    return LittleEndian(value, 8);
}

// A REG_SZ's bytes: the text and one NUL.
inline Bytes Sz(const std::string& text) {
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

// The number of a REG_DWORD's data, when it is exactly four bytes.
inline std::optional<std::uint32_t> ReadDword(const Bytes& bytes) {
    if (bytes.size() != 4) return std::nullopt;
    return static_cast<std::uint32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16) |
           static_cast<std::uint32_t>(bytes[3]) << 24;
}

// A string value's text as the programs read it: up to the first NUL.
inline std::string TextBeforeNul(const Bytes& bytes) {
    const std::string text(bytes.begin(), bytes.end());
    return text.substr(0, text.find('\0'));
}

}  // namespace regbytes
