#include "common/VersionResource.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace ver {

namespace {

using Bytes = std::vector<std::uint8_t>;

// Little-endian fields of bytes already read; 0 for a field that would not fit, which no
// caller relies on (each checks the size first), so a slip reads 0 rather than memory.
std::uint16_t Read16(const Bytes& bytes, std::size_t at) {
    if (at > bytes.size() || bytes.size() - at < 2) return 0;
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}
std::uint32_t Read32(const Bytes& bytes, std::size_t at) {
    if (at > bytes.size() || bytes.size() - at < 4) return 0;
    return static_cast<std::uint32_t>(Read16(bytes, at)) |
           static_cast<std::uint32_t>(Read16(bytes, at + 2)) << 16;
}

// Offsets inside a block are below 64 KiB, so rounding up cannot wrap.
std::size_t Align4(std::size_t offset) {
    return (offset + 3) & ~static_cast<std::size_t>(3);
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-16 code units to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string FromUtf16(const std::vector<std::uint16_t>& units) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::uint32_t u = units[i];
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000) {
            AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u < 0xE000) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

// Windows-1252 to UTF-8. Its five unassigned bytes map to the C1 controls, as Windows'
// own conversion maps them.
std::string FromWindows1252(const std::uint8_t* text, std::size_t length) {
    static const std::uint16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t c = text[i];
        AppendUtf8(out, c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : c);
    }
    return out;
}

bool SameKey(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto fold = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
        if (fold(static_cast<unsigned char>(a[i])) != fold(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// The file as the walk reads it: no further than its end or its first kMaxFileBytes,
// in pieces of kReadAheadBytes or more, each part served from a piece read before when
// one holds it.
class FileReader {
  public:
    explicit FileReader(IByteSource& file)
        : file_(file), size_(file.Size()), end_(std::min(size_, kMaxFileBytes)) {}

    std::uint64_t Size() const { return size_; }
    std::uint64_t End() const { return end_; }

    // `size` bytes at `offset`, which must lie before `limit` (the end of the structure
    // that holds them); a read fetches what follows them up to `limit` as well. Nothing
    // when they lie beyond it or beyond End(), or the read fails.
    std::optional<Bytes> Fetch(std::uint64_t offset, std::uint64_t size, std::uint64_t limit) {
        limit = std::min(limit, end_);
        if (offset > limit || size > limit - offset) return std::nullopt;
        const auto part = [size](const Bytes& piece, std::uint64_t from) {
            const auto first = piece.begin() + static_cast<std::ptrdiff_t>(from);
            return Bytes(first, first + static_cast<std::ptrdiff_t>(size));
        };
        for (const Piece& piece : pieces_) {
            if (offset < piece.offset) continue;
            const std::uint64_t into = offset - piece.offset;
            if (into <= piece.bytes.size() && size <= piece.bytes.size() - into)
                return part(piece.bytes, into);
        }
        // Below limit - offset, which is at most kMaxFileBytes: fits a size_t.
        const auto length = static_cast<std::size_t>(std::max<std::uint64_t>(
            size, std::min<std::uint64_t>(kReadAheadBytes, limit - offset)));
        Bytes bytes(length);
        if (length != 0 && file_.ReadAt(offset, bytes.data(), length) != length)
            return std::nullopt;
        pieces_.push_back({offset, std::move(bytes)});
        return part(pieces_.back().bytes, 0);
    }

  private:
    struct Piece {
        std::uint64_t offset;
        Bytes bytes;
    };
    IByteSource& file_;
    std::uint64_t size_;
    std::uint64_t end_;
    std::vector<Piece> pieces_;
};

struct Section {
    std::uint32_t virtualAddress;
    std::uint32_t rawSize;
    std::uint32_t rawOffset;
};

// Where a relative virtual address lies in the file: inside one section's raw data, and
// how many of that section's bytes follow it.
struct Located {
    std::uint64_t offset;
    std::uint64_t room;
};
std::optional<Located> Locate(const std::vector<Section>& sections, std::uint32_t rva) {
    for (const Section& s : sections) {
        if (rva < s.virtualAddress) continue;
        const std::uint32_t into = rva - s.virtualAddress;
        if (into >= s.rawSize) continue;
        return Located{std::uint64_t{s.rawOffset} + into, std::uint64_t{s.rawSize} - into};
    }
    return std::nullopt;
}

struct DirectoryEntry {
    std::uint32_t name;    // an id, or a string's offset with the top bit set
    std::uint32_t target;  // a subdirectory's offset with the top bit set, or a data entry's
};
constexpr std::uint32_t kHighBit = 0x80000000u;

// The entries of the resource directory at `at`, which must lie whole inside the region
// of `regionSize` bytes at `region` in the file.
std::optional<std::vector<DirectoryEntry>> ReadDirectory(FileReader& file, std::uint64_t region,
                                                         std::uint64_t regionSize,
                                                         std::uint64_t at) {
    constexpr std::uint64_t kHeader = 16, kEntry = 8;
    if (at > regionSize || regionSize - at < kHeader) return std::nullopt;
    // Offsets of 32 bits and sizes of 32 bits: their sum cannot wrap 64 bits.
    const std::uint64_t regionEnd = region + regionSize;
    const auto header = file.Fetch(region + at, kHeader, regionEnd);
    if (!header) return std::nullopt;
    const std::uint64_t count = std::uint64_t{Read16(*header, 12)} + Read16(*header, 14);
    if (count > (regionSize - at - kHeader) / kEntry) return std::nullopt;
    const auto raw = file.Fetch(region + at + kHeader, count * kEntry, regionEnd);
    if (!raw) return std::nullopt;
    std::vector<DirectoryEntry> entries;
    for (std::size_t i = 0; i < count; ++i)
        entries.push_back({Read32(*raw, i * 8), Read32(*raw, i * 8 + 4)});
    return entries;
}

constexpr std::uint32_t kRtVersion = 16;

}  // namespace

std::size_t MemoryBytes::ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) {
    if (offset >= size_) return 0;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(size, size_ - offset));
    if (n) std::memcpy(out, data_ + offset, n);
    return n;
}

// ---- the version block

std::optional<VersionBlock> VersionBlock::Parse(std::vector<std::uint8_t> bytes) {
    if (bytes.size() < 6) return std::nullopt;
    const std::size_t length = Read16(bytes, 0);
    // The block lies inside the data that holds it; what follows it is not its own.
    if (length > bytes.size()) return std::nullopt;
    bytes.resize(length);
    // In the 32-bit layout the fifth byte is the low byte of the type (0 or 1); in the
    // 16-bit one it is the first character of the key, "VS_VERSION_INFO".
    const bool wide = bytes.size() > 4 && bytes[4] < 0x20;
    VersionBlock block(std::move(bytes), wide);
    if (!block.ReadNode(0, block.bytes_.size())) return std::nullopt;
    return block;
}

std::uint16_t VersionBlock::Word(std::size_t at) const {
    return Read16(bytes_, at);
}

std::optional<VersionBlock::Node> VersionBlock::ReadNode(std::size_t at, std::size_t limit) const {
    const std::size_t header = wide_ ? 6 : 4;
    const std::size_t terminator = wide_ ? 2 : 1;
    if (at >= limit || limit - at < header + terminator) return std::nullopt;
    const std::size_t length = Word(at);
    // Long enough for its own header and key, and inside its parent.
    if (length < header + terminator || length > limit - at) return std::nullopt;
    Node node;
    node.end = at + length;
    node.declared = Word(at + 2);

    // The key ends with a NUL inside the node.
    std::size_t p = at + header;
    if (wide_) {
        std::vector<std::uint16_t> units;
        for (;;) {
            if (node.end - p < 2) return std::nullopt;
            const std::uint16_t unit = Word(p);
            p += 2;
            if (unit == 0) break;
            units.push_back(unit);
        }
        node.key = FromUtf16(units);
    } else {
        const std::size_t start = p;
        for (;;) {
            if (p >= node.end) return std::nullopt;
            if (bytes_[p++] == 0) break;
        }
        node.key = FromWindows1252(bytes_.data() + start, p - 1 - start);
    }

    node.valueStart = std::min(Align4(p), node.end);
    // A 32-bit text counts characters, anything else bytes.
    const bool wideText = wide_ && Word(at + 4) == 1;
    node.valueBytes = wideText ? node.declared * 2 : node.declared;
    const std::size_t room = node.end - node.valueStart;
    node.childrenStart = node.valueBytes <= room
                             ? std::min(Align4(node.valueStart + node.valueBytes), node.end)
                             : node.end;
    return node;
}

std::optional<VersionBlock::Node> VersionBlock::Find(std::string_view subBlock) const {
    std::optional<Node> node = ReadNode(0, bytes_.size());
    std::size_t start = 0;
    while (node && start < subBlock.size()) {
        std::size_t stop = subBlock.find('\\', start);
        if (stop == std::string_view::npos) stop = subBlock.size();
        const std::string_view part = subBlock.substr(start, stop - start);
        start = stop + 1;
        if (part.empty()) continue;
        std::optional<Node> found;
        // Each child begins where the one before it ends, on a 32-bit boundary. A child
        // that does not fit ends the search: nothing after it can be trusted.
        for (std::size_t at = node->childrenStart; at < node->end;) {
            const std::optional<Node> child = ReadNode(at, node->end);
            if (!child) break;
            if (SameKey(child->key, part)) {
                found = child;
                break;
            }
            at = Align4(child->end);
        }
        node = found;
    }
    return node;
}

std::optional<std::vector<std::uint8_t>> VersionBlock::Value(std::string_view subBlock) const {
    const std::optional<Node> node = Find(subBlock);
    if (!node || node->valueBytes == 0) return std::nullopt;
    if (node->valueBytes > node->end - node->valueStart) return std::nullopt;
    const auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(node->valueStart);
    return std::vector<std::uint8_t>(first, first + static_cast<std::ptrdiff_t>(node->valueBytes));
}

std::optional<std::string> VersionBlock::Text(std::string_view subBlock) const {
    const std::optional<Node> node = Find(subBlock);
    if (!node || node->declared == 0) return std::nullopt;
    // A length that claims more than the node holds is cut at the node's end: some
    // resource compilers count bytes where characters belong.
    const std::size_t room = node->end - node->valueStart;
    if (wide_) {
        const std::size_t count = std::min(node->declared, room / 2);
        std::vector<std::uint16_t> units;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint16_t unit = Word(node->valueStart + i * 2);
            if (unit == 0) break;
            units.push_back(unit);
        }
        return FromUtf16(units);
    }
    const std::size_t count = std::min(node->declared, room);
    const std::uint8_t* text = bytes_.data() + node->valueStart;
    return FromWindows1252(text, std::find(text, text + count, 0) - text);
}

// ---- the image

ImageVersion ReadImageVersion(IByteSource& source) {
    const ImageVersion noImage{false, std::nullopt};
    // An image, or what may be one to the system, without a block we can read.
    const ImageVersion none{true, std::nullopt};
    FileReader file(source);

    constexpr std::uint64_t kDosHeader = 64, kFileHeader = 24;
    if (file.Size() < kDosHeader) return noImage;
    const auto dos = file.Fetch(0, kDosHeader, file.End());
    if (!dos) return none;
    if (Read16(*dos, 0) != 0x5A4D) return noImage;  // "MZ"
    const std::uint64_t pe = Read32(*dos, 0x3C);
    // A header we do not read may still be one to the system: such a file is no file
    // of ours to hand on. One beyond the end of the file is no header at all.
    if (pe > kMaxFileBytes - kFileHeader) return none;
    if (pe > file.Size() - kFileHeader) return noImage;
    const auto fileHeader = file.Fetch(pe, kFileHeader, file.End());
    if (!fileHeader) return none;
    if (Read32(*fileHeader, 0) != 0x00004550) return noImage;  // "PE\0\0"

    // From here on the file says it is an image: what does not parse is refused.
    const std::uint16_t sectionCount = Read16(*fileHeader, 6);
    const std::uint16_t optionalSize = Read16(*fileHeader, 20);
    const auto optional = file.Fetch(pe + kFileHeader, optionalSize, file.End());
    if (!optional || optionalSize < 2) return none;
    std::size_t countAt = 0, directoriesAt = 0;
    switch (Read16(*optional, 0)) {
        case 0x10B:  // 32-bit image
            countAt = 92, directoriesAt = 96;
            break;
        case 0x20B:  // 64-bit image
            countAt = 108, directoriesAt = 112;
            break;
        default:
            return none;
    }
    // The resource directory is the third data directory.
    constexpr std::size_t kResourceDirectory = 2 * 8;
    if (optional->size() < directoriesAt + kResourceDirectory + 8 || Read32(*optional, countAt) < 3)
        return none;
    const std::uint32_t resourceRva = Read32(*optional, directoriesAt + kResourceDirectory);
    const std::uint32_t resourceSize = Read32(*optional, directoriesAt + kResourceDirectory + 4);
    if (resourceRva == 0 || resourceSize == 0) return none;

    const auto table =
        file.Fetch(pe + kFileHeader + optionalSize, std::uint64_t{sectionCount} * 40, file.End());
    if (!table) return none;
    std::vector<Section> sections;
    for (std::size_t i = 0; i < sectionCount; ++i)
        sections.push_back({Read32(*table, i * 40 + 12), Read32(*table, i * 40 + 16),
                            Read32(*table, i * 40 + 20)});

    // The directory tree lies inside the resource section's declared size and inside the
    // raw data of the section that holds it.
    const auto resources = Locate(sections, resourceRva);
    if (!resources) return none;
    const std::uint64_t region = resources->offset;
    const std::uint64_t regionSize = std::min<std::uint64_t>(resourceSize, resources->room);

    // Three levels, each a fixed step, so an entry pointing back at a directory above it
    // cannot make the walk go round: the type RT_VERSION, then its first name, then that
    // name's first language, which must be a data entry.
    const auto types = ReadDirectory(file, region, regionSize, 0);
    if (!types) return none;
    const auto version = std::find_if(types->begin(), types->end(),
                                      [](const DirectoryEntry& e) { return e.name == kRtVersion; });
    if (version == types->end() || !(version->target & kHighBit)) return none;
    const auto names = ReadDirectory(file, region, regionSize, version->target & ~kHighBit);
    if (!names || names->empty() || !(names->front().target & kHighBit)) return none;
    const auto languages =
        ReadDirectory(file, region, regionSize, names->front().target & ~kHighBit);
    if (!languages || languages->empty() || (languages->front().target & kHighBit)) return none;
    const std::uint64_t dataEntry = languages->front().target;
    if (dataEntry > regionSize || regionSize - dataEntry < 16) return none;
    const auto entry = file.Fetch(region + dataEntry, 16, region + regionSize);
    if (!entry) return none;

    // The data lies inside the raw data of one section. A root node's length is 16 bits,
    // so no block is longer than 64 KiB whatever its entry claims.
    const std::uint32_t dataRva = Read32(*entry, 0);
    const std::uint32_t dataSize = Read32(*entry, 4);
    const auto data = Locate(sections, dataRva);
    if (!data || dataSize > data->room) return none;
    const std::uint32_t blockSize = std::min<std::uint32_t>(dataSize, 0xFFFF);
    const auto bytes = file.Fetch(data->offset, blockSize, data->offset + blockSize);
    if (!bytes) return none;
    return {true, VersionBlock::Parse(*bytes)};
}

std::optional<std::string> StringSubBlock(const std::vector<std::uint8_t>& translation,
                                          std::string_view name) {
    if (translation.size() < 4) return std::nullopt;
    const std::vector<std::uint8_t>& b = translation;
    char key[9];
    std::snprintf(key, sizeof key, "%02X%02X%02X%02X", b[1], b[0], b[3], b[2]);
    return "\\StringFileInfo\\" + std::string(key) + "\\" + std::string(name);
}

std::string FileDescription(IByteSource& file) {
    const ImageVersion image = ReadImageVersion(file);
    return image.block ? DescriptionOf(*image.block) : std::string();
}

}  // namespace ver
