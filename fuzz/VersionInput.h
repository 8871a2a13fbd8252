// Arbitrary bytes as a file whose version resource the settings manager reads, and the
// same bytes as a bare version block. Whatever the bytes, the reader must give a clean
// UTF-8 description without a NUL, the same one every time, and keep its reads inside
// the file and its first 64 MiB and within a few MiB in all.
//
// Shared by the libFuzzer target (fuzz/version_fuzzer.cpp) and the replay test that runs
// the corpus with every unit-test run (tests/unit/fuzz_replay_test.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/VersionResource.h"

namespace version_fuzz {

// The input as a file, watching every read the walk makes.
class WatchedBytes : public ver::IByteSource {
  public:
    WatchedBytes(const std::uint8_t* data, std::size_t size) : memory_(data, size) {}
    std::uint64_t Size() override { return memory_.Size(); }
    std::size_t ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) override {
        if (offset > ver::kMaxFileBytes || size > ver::kMaxFileBytes - offset) outside = true;
        if (offset > Size() || size > Size() - offset) pastTheEnd = true;
        requested += size;
        return memory_.ReadAt(offset, out, size);
    }
    bool outside = false;
    bool pastTheEnd = false;
    std::uint64_t requested = 0;

  private:
    ver::MemoryBytes memory_;
};

inline bool CleanUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int extra = c < 0x80 ? 0 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
        if (c == 0 || extra < 0 || c > 0xF4 || text.size() - i <= static_cast<std::size_t>(extra))
            return false;
        for (int k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += 1 + extra;
    }
    return true;
}

// Everything the manager asks of a block, and that each answer is clean.
inline void QueryBlock(const ver::VersionBlock& block, std::vector<std::string>& failures) {
    const auto translation = block.Value("\\VarFileInfo\\Translation");
    if (translation && translation->size() > 0xFFFF) failures.push_back("a value beyond 64 KiB");
    for (const char* name : {"FileDescription", "ProductName", "CompanyName"}) {
        const auto subBlock = translation ? ver::StringSubBlock(*translation, name) : std::nullopt;
        const auto text = block.Text(subBlock.value_or(std::string("\\StringFileInfo\\") + name));
        if (text && !CleanUtf8(*text)) failures.push_back(std::string(name) + " is no clean text");
    }
    const auto fixed = block.Value("\\");
    if (fixed && fixed->size() > 0xFFFF) failures.push_back("a fixed part beyond 64 KiB");
}

// Runs the reader on one input; returns what went wrong, nothing when all held.
inline std::vector<std::string> CheckVersionInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> failures;
    WatchedBytes file(data, size);
    const ver::ImageVersion image = ver::ReadImageVersion(file);
    if (file.outside) failures.push_back("a read beyond the first 64 MiB");
    if (file.pastTheEnd) failures.push_back("a read past the end of the file");
    // Headers, the section table, three directories and the block, at their largest.
    if (file.requested > (8u << 20)) failures.push_back("read " + std::to_string(file.requested));
    if (image.block && !image.isImage) failures.push_back("a block from no image");
    const std::string description = image.block ? ver::DescriptionOf(*image.block) : "";
    if (!description.empty() && !CleanUtf8(description))
        failures.push_back("the description is no clean text");
    ver::MemoryBytes again(data, size);
    if (ver::FileDescription(again) != description) failures.push_back("a second reading differs");
    if (image.block) QueryBlock(*image.block, failures);

    // The same bytes as a block, as the system's copy reaches the reader.
    if (const auto block = ver::VersionBlock::Parse({data, data + size}))
        QueryBlock(*block, failures);
    return failures;
}

}  // namespace version_fuzz
