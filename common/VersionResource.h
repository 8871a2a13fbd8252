// The version resource of any file, read by our own bounded walk: from the file's bytes
// through the DOS and PE headers, the section table and the resource directory to the
// VS_VERSIONINFO block, and inside that block by sub-block path, as VerQueryValue reads
// it. Files are untrusted input: every structure must lie inside the one that holds it
// and every value inside its node, and sizes are compared by subtraction against what is
// left, never by adding to an offset from the file, so nothing wraps on either word size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ver {

// Random access to a file's bytes. The reader decides which ranges it reads, and asks
// for each range once, whole, inside the file.
class IByteSource {
  public:
    virtual ~IByteSource() = default;
    // The file's length in bytes.
    virtual std::uint64_t Size() = 0;
    // Copies up to `size` bytes from `offset` into `out`; returns how many it copied
    // (fewer at the end of the file or when the read fails).
    virtual std::size_t ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) = 0;
};

// A byte source over memory the caller keeps.
class MemoryBytes : public IByteSource {
  public:
    MemoryBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint64_t Size() override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) override;

  private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// Nothing beyond the first 64 MiB of a file is read.
constexpr std::uint64_t kMaxFileBytes = 64ull << 20;
// The walk asks for many small parts lying close together: the headers at the start of
// the file, the directories, entries and block inside the resource section. A part that
// no earlier read holds is read with what follows it inside the same structure, up to
// this much, so a usual file takes two reads: its headers and its resources.
constexpr std::size_t kReadAheadBytes = 16 << 10;

// A VS_VERSIONINFO block: nodes of length, value length, (type,) key, value and children,
// each part on a 32-bit boundary. Both layouts are understood: the 32-bit one with UTF-16
// keys and texts, and the old 16-bit one with 8-bit keys and texts (read as Windows-1252,
// the code page of the Western 16-bit programs that carry it).
class VersionBlock {
  public:
    // The block at the start of `bytes`; nothing when its root node does not fit the bytes
    // or is malformed.
    static std::optional<VersionBlock> Parse(std::vector<std::uint8_t> bytes);

    bool IsOldLayout() const { return !wide_; }
    // The bytes of a value ("\VarFileInfo\Translation", "\" for the fixed part): nullopt
    // when the node is missing, its value is empty or does not fit inside its node.
    std::optional<std::vector<std::uint8_t>> Value(std::string_view subBlock) const;
    // A text value as UTF-8, up to its first NUL and never past its node: nullopt when
    // the node is missing or its value length is 0.
    std::optional<std::string> Text(std::string_view subBlock) const;

  private:
    struct Node {
        std::size_t end = 0;            // one past the node
        std::string key;                // UTF-8
        std::size_t declared = 0;       // the stored value length
        std::size_t valueStart = 0;     // within the node
        std::size_t valueBytes = 0;     // what the declared length covers
        std::size_t childrenStart = 0;  // within the node
    };
    VersionBlock(std::vector<std::uint8_t> bytes, bool wide)
        : bytes_(std::move(bytes)), wide_(wide) {}
    std::optional<Node> ReadNode(std::size_t at, std::size_t limit) const;
    std::optional<Node> Find(std::string_view subBlock) const;
    std::uint16_t Word(std::size_t at) const;

    std::vector<std::uint8_t> bytes_;
    bool wide_;
};

// What the walk of an image found.
struct ImageVersion {
    // False only when the bytes are certainly no PE image (no "MZ", or another header
    // than "PE\0\0" where it points, as in a 16-bit program): only then may a caller ask
    // the system instead. A PE image is answered here alone, block or none, and so is a
    // file whose PE header lies beyond what this reader reads.
    bool isImage = false;
    // The version block: below RT_VERSION the first name and its first language.
    std::optional<VersionBlock> block;
};
ImageVersion ReadImageVersion(IByteSource& file);

// "\StringFileInfo\040904B0\<name>" for the first language and code page of a
// Translation value (language b1b0, code page b3b2, little-endian); nullopt when the value
// holds no whole pair.
std::optional<std::string> StringSubBlock(const std::vector<std::uint8_t>& translation,
                                          std::string_view name);

// The FileDescription of a version resource in the first language and code page that it
// lists, without falling back to another; "" when there is none. For any type with
// VerQueryValue's two reads, Value and Text.
template <typename Resource>
std::string DescriptionOf(const Resource& resource) {
    const auto translation = resource.Value("\\VarFileInfo\\Translation");
    if (!translation) return {};
    const auto subBlock = StringSubBlock(*translation, "FileDescription");
    if (!subBlock) return {};
    return resource.Text(*subBlock).value_or("");
}

// Bytes in, description out: the FileDescription of an image, "" when it has none or its
// resources do not parse.
std::string FileDescription(IByteSource& file);

}  // namespace ver
