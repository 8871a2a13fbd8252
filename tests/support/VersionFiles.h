// Minimal program files with exactly the version resource a test needs: a version block
// in either layout, and a PE image whose one resource section holds one resource. Tests
// write these to disk for the system to read, or hand them to our own reader, and spoil
// single fields of them to see what a reader makes of hostile files.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace version_files {

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}
inline void Put32(Bytes& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}
inline void Set16(Bytes& out, std::size_t at, std::uint32_t value) {
    out[at] = static_cast<std::uint8_t>(value);
    out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}
inline void Set32(Bytes& out, std::size_t at, std::uint32_t value) {
    Set16(out, at, value & 0xFFFF);
    Set16(out, at + 2, value >> 16);
}
inline std::uint32_t Get32(const Bytes& in, std::size_t at) {
    return static_cast<std::uint32_t>(in[at] | in[at + 1] << 8 | in[at + 2] << 16) |
           static_cast<std::uint32_t>(in[at + 3]) << 24;
}
inline void Align(Bytes& out, std::size_t to) {
    while (out.size() % to) out.push_back(0);
}

// UTF-8 to UTF-16 code units, enough for the texts of the tests (the Basic Multilingual
// Plane).
inline std::u16string Utf16(const std::string& text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::uint32_t cp = c;
        int extra = 0;
        if (c >= 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if (c >= 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        }
        for (int k = 1; k <= extra; ++k)
            cp = cp << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        out.push_back(static_cast<char16_t>(cp));
        i += 1 + extra;
    }
    return out;
}

// One node of a version block: length, value length, (type,) key, value, children, each
// part starting on a 32-bit boundary. `oldLayout` writes the 16-bit form: no type, and
// 8-bit keys and texts (the test texts are ASCII or Windows-1252 bytes already).
struct Block {
    std::string key;
    bool text = true;
    Bytes value;
    std::uint16_t valueLength = 0;  // 32-bit layout: characters for text, bytes for binary
    std::vector<Block> children;

    void Write(Bytes& out, bool oldLayout = false) const {
        Align(out, 4);
        const std::size_t start = out.size();
        Put16(out, 0);
        Put16(out, valueLength);
        if (oldLayout) {
            out.insert(out.end(), key.begin(), key.end());
            out.push_back(0);
        } else {
            Put16(out, text ? 1 : 0);
            for (char16_t c : Utf16(key)) Put16(out, c);
            Put16(out, 0);
        }
        Align(out, 4);
        out.insert(out.end(), value.begin(), value.end());
        for (const Block& child : children) child.Write(out, oldLayout);
        Set16(out, start, static_cast<std::uint32_t>(out.size() - start));
    }
};

// What a version resource holds: its translations in order, and a FileDescription per
// string table (key "040904B0").
struct VersionContent {
    std::vector<std::pair<std::uint16_t, std::uint16_t>> translations;
    std::vector<std::pair<std::string, std::string>> descriptions;
};

inline Bytes TextValue(const std::string& text, bool oldLayout) {
    Bytes value;
    if (oldLayout) {
        value.assign(text.begin(), text.end());
        value.push_back(0);
    } else {
        for (char16_t c : Utf16(text)) Put16(value, c);
        Put16(value, 0);
    }
    return value;
}

inline Block VersionTree(const VersionContent& content, bool oldLayout = false) {
    Block root{"VS_VERSION_INFO", false, {}, 52, {}};
    for (std::uint32_t v : {0xFEEF04BDu, 0x00010000u, 0x00010000u, 0u, 0x00010000u, 0u, 0x3Fu, 0u,
                            0x00040004u, 1u, 0u, 0u, 0u})
        Put32(root.value, v);
    Block strings{"StringFileInfo", true, {}, 0, {}};
    for (const auto& [key, description] : content.descriptions) {
        Block text{"FileDescription", true, TextValue(description, oldLayout), 0, {}};
        text.valueLength =
            static_cast<std::uint16_t>(oldLayout ? text.value.size() : text.value.size() / 2);
        strings.children.push_back({key, true, {}, 0, {text}});
    }
    if (!strings.children.empty()) root.children.push_back(strings);
    if (!content.translations.empty()) {
        Block var{"Translation", false, {}, 0, {}};
        for (const auto& [language, codePage] : content.translations) {
            Put16(var.value, language);
            Put16(var.value, codePage);
        }
        var.valueLength = static_cast<std::uint16_t>(var.value.size());
        root.children.push_back({"VarFileInfo", true, {}, 0, {var}});
    }
    return root;
}

inline Bytes VersionResource(const VersionContent& content, bool oldLayout = false) {
    Bytes out;
    VersionTree(content, oldLayout).Write(out, oldLayout);
    return out;
}

// Where the parts of an image made by PeWithResource lie, for tests that spoil them.
namespace pe_layout {
constexpr std::size_t kHeader = 0x40;                                    // "PE\0\0"
constexpr std::size_t kOptional = kHeader + 24;                          // the optional header
constexpr std::size_t kSectionTable = kOptional + 224;                   // of a 32-bit image
constexpr std::size_t kResourceDirectoryEntry = kOptional + 96 + 2 * 8;  // of a 32-bit image
constexpr std::size_t kResources = 0x200;  // the resource section's raw data
constexpr std::uint32_t kSectionRva = 0x1000;
// Inside the resource section: the three directories (type, name, language) of one entry
// each, the data entry, then the data.
constexpr std::size_t kTypeDirectory = 0, kNameDirectory = 24, kLanguageDirectory = 48;
constexpr std::size_t kDataEntry = 72, kData = 88;
}  // namespace pe_layout

// A PE image with one resource section holding one resource: what the version API reads
// without running anything. A 32-bit image, or with `image64` a 64-bit one (PE32+, whose
// optional header is 16 bytes longer).
inline Bytes PeWithResource(std::uint16_t type, std::uint16_t language, const Bytes& data,
                            bool image64 = false) {
    using namespace pe_layout;
    constexpr std::uint32_t kFileAlign = 0x200;
    Bytes rsrc;
    auto directory = [&](std::uint32_t id, std::uint32_t target) {
        for (int i = 0; i < 3; ++i) Put32(rsrc, 0);  // characteristics, time, version
        Put16(rsrc, 0);                              // named entries
        Put16(rsrc, 1);                              // id entries
        Put32(rsrc, id);
        Put32(rsrc, target);
    };
    directory(type, 0x80000000u | kNameDirectory);
    directory(1, 0x80000000u | kLanguageDirectory);
    directory(language, kDataEntry);
    Put32(rsrc, kSectionRva + kData);
    Put32(rsrc, static_cast<std::uint32_t>(data.size()));
    Put32(rsrc, 0);
    Put32(rsrc, 0);
    rsrc.insert(rsrc.end(), data.begin(), data.end());
    const auto rsrcSize = static_cast<std::uint32_t>(rsrc.size());
    Align(rsrc, kFileAlign);

    Bytes pe(kHeader, 0);
    pe[0] = 'M', pe[1] = 'Z';
    Set32(pe, 0x3C, kHeader);
    for (char c : {'P', 'E', '\0', '\0'}) pe.push_back(static_cast<std::uint8_t>(c));
    Put16(pe, image64 ? 0x8664 : 0x14C);
    Put16(pe, 1);  // one section
    Put32(pe, 0);  // time stamp
    Put32(pe, 0);  // symbols
    Put32(pe, 0);
    Put16(pe, image64 ? 240 : 224);        // optional header
    Put16(pe, image64 ? 0x2022 : 0x2102);  // executable image, DLL (32-bit machine)
    Put16(pe, image64 ? 0x20B : 0x10B);
    Put16(pe, 0);
    Put32(pe, 0);  // code
    Put32(pe, static_cast<std::uint32_t>(rsrc.size()));
    Put32(pe, 0);
    Put32(pe, 0);  // entry point
    Put32(pe, 0);  // base of code
    if (image64) {
        Put32(pe, 0x10000000);  // image base, 64 bits
        Put32(pe, 0x1);
    } else {
        Put32(pe, kSectionRva);  // base of data
        Put32(pe, 0x10000000);   // image base
    }
    Put32(pe, 0x1000);  // section alignment
    Put32(pe, kFileAlign);
    for (int v : {4, 0, 0, 0, 4, 0}) Put16(pe, static_cast<std::uint32_t>(v));
    Put32(pe, 0);
    Put32(pe, kSectionRva + ((rsrcSize + 0xFFF) & ~0xFFFu));  // size of image
    Put32(pe, kFileAlign);                                    // size of headers
    Put32(pe, 0);                                             // checksum
    Put16(pe, 2);                                             // GUI
    Put16(pe, 0);
    // Stack and heap sizes (64 bits each in a 64-bit image), loader flags, 16 directories.
    for (std::uint32_t v : {0x100000u, 0x1000u, 0x100000u, 0x1000u}) {
        Put32(pe, v);
        if (image64) Put32(pe, 0);
    }
    Put32(pe, 0);
    Put32(pe, 16);
    for (int i = 0; i < 16; ++i) {
        Put32(pe, i == 2 ? kSectionRva : 0);  // the resource directory
        Put32(pe, i == 2 ? rsrcSize : 0);
    }
    for (char c : {'.', 'r', 's', 'r', 'c', '\0', '\0', '\0'})
        pe.push_back(static_cast<std::uint8_t>(c));
    Put32(pe, rsrcSize);
    Put32(pe, kSectionRva);
    Put32(pe, static_cast<std::uint32_t>(rsrc.size()));
    Put32(pe, kResources);
    Put32(pe, 0);
    Put32(pe, 0);
    Put32(pe, 0);
    Put32(pe, 0x40000040);  // initialised data, readable
    Align(pe, kFileAlign);
    pe.insert(pe.end(), rsrc.begin(), rsrc.end());
    return pe;
}

constexpr std::uint16_t kRtVersion = 16;
constexpr std::uint16_t kRtRcData = 10;

}  // namespace version_files
