// Our reader of version resources, on images built here and then spoiled one field at a
// time: what a file from anywhere can make of it. Every read the walk makes is watched.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "common/VersionResource.h"
#include "support/VersionFiles.h"

namespace {

using namespace version_files;
namespace layout = version_files::pe_layout;

// A file of `size` bytes that holds `head` and zeros after it, without the memory: any
// size can be claimed. Remembers the furthest byte asked for and how many were read.
class SparseFile : public ver::IByteSource {
  public:
    SparseFile(Bytes head, std::uint64_t size) : head_(std::move(head)), size_(size) {}
    std::uint64_t Size() override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) override {
        ++reads;
        if (offset >= size_) return 0;
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(size, size_ - offset));
        for (std::size_t i = 0; i < n; ++i)
            out[i] = offset + i < head_.size() ? head_[static_cast<std::size_t>(offset + i)] : 0;
        furthest = std::max(furthest, offset + n);
        bytesRead += n;
        return n;
    }
    int reads = 0;
    std::uint64_t furthest = 0;
    std::uint64_t bytesRead = 0;

  private:
    Bytes head_;
    std::uint64_t size_;
};

std::string Describe(const Bytes& file) {
    ver::MemoryBytes bytes(file.data(), file.size());
    return ver::FileDescription(bytes);
}

const VersionContent kEnglish{{{0x0409, 1200}}, {{"040904B0", "Demo Saver"}}};

Bytes GoodImage(bool image64 = false) {
    return PeWithResource(kRtVersion, 0x0409, VersionResource(kEnglish), image64);
}

// Where the node with this key starts in an image's 32-bit version block.
std::size_t NodeAt(const Bytes& file, const std::string& key) {
    Bytes pattern;
    for (char16_t c : Utf16(key)) Put16(pattern, c);
    Put16(pattern, 0);
    const auto at = std::search(file.begin(), file.end(), pattern.begin(), pattern.end());
    EXPECT_NE(at, file.end()) << key;
    return static_cast<std::size_t>(at - file.begin()) - 6;
}

// ---- well-formed files

TEST(VersionResource, DescriptionOfTheFirstTranslation) {
    const struct {
        const char* what;
        VersionContent content;
        std::string description;
    } cases[] = {
        {"English", kEnglish, "Demo Saver"},
        {"French first",
         {{{0x040C, 1200}, {0x0409, 1200}},
          {{"040904B0", "Screen saver"}, {"040C04B0", "Économiseur d'écran"}}},
         "Économiseur d'écran"},
        {"code page 1252",
         {{{0x0407, 1252}}, {{"040704E4", "Bildschirmschoner"}}},
         "Bildschirmschoner"},
        {"a key in lower case", {{{0x0409, 1200}}, {{"040904b0", "Lower"}}}, "Lower"},
        {"no fall-back to another table",
         {{{0x0407, 1200}, {0x0409, 1200}}, {{"040904B0", "English only"}}},
         ""},
        {"no translation", {{}, {{"040904B0", "Lost"}}}, ""},
        {"an empty description", {{{0x0409, 1200}}, {{"040904B0", ""}}}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool image64 : {false, true})
            EXPECT_EQ(
                Describe(PeWithResource(kRtVersion, 0x0409, VersionResource(c.content), image64)),
                c.description);
    }
    // Another resource only, a plain file, nothing at all.
    EXPECT_EQ(Describe(PeWithResource(kRtRcData, 0x0409, {1, 2, 3, 4})), "");
    const Bytes plain = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'e', 'x', 'e'};
    EXPECT_EQ(Describe(plain), "");
    EXPECT_EQ(Describe({}), "");
}

TEST(VersionResource, QueriesReadTheBlockAsVerQueryValueDoes) {
    auto block = ver::VersionBlock::Parse(VersionResource(kEnglish));
    ASSERT_TRUE(block);
    EXPECT_FALSE(block->IsOldLayout());
    const auto fixed = block->Value("\\");
    ASSERT_TRUE(fixed);
    ASSERT_EQ(fixed->size(), 52u);
    EXPECT_EQ(Get32(*fixed, 0), 0xFEEF04BDu);
    EXPECT_EQ(block->Value("\\VarFileInfo\\Translation"), (Bytes{0x09, 0x04, 0xB0, 0x04}));
    // Names without regard to case, and empty parts of a path skipped.
    EXPECT_EQ(block->Text("\\stringfileinfo\\040904b0\\FILEDESCRIPTION"), "Demo Saver");
    EXPECT_EQ(block->Text("StringFileInfo\\\\040904B0\\FileDescription\\"), "Demo Saver");
    EXPECT_FALSE(block->Text("\\StringFileInfo\\040904B0\\ProductName"));
    EXPECT_FALSE(block->Value("\\VarFileInfo"));  // a node without a value
    EXPECT_FALSE(block->Text("\\StringFileInfo\\FileDescription"));
}

TEST(VersionResource, OldLayoutBlocksAreUnderstood) {
    const VersionContent old{{{0x0409, 1252}}, {{"040904E4", "Old Saver"}}};
    EXPECT_EQ(Describe(PeWithResource(kRtVersion, 0x0409, VersionResource(old, true))),
              "Old Saver");
    // 8-bit texts are Windows-1252: "Économiseur", with a euro sign and a curly quote.
    const VersionContent accents{{{0x040C, 1252}},
                                 {{"040C04E4", std::string("\xC9"
                                                           "conomiseur \x80\x92s")}}};
    auto block = ver::VersionBlock::Parse(VersionResource(accents, true));
    ASSERT_TRUE(block);
    EXPECT_TRUE(block->IsOldLayout());
    EXPECT_EQ(ver::DescriptionOf(*block), "Économiseur €’s");
}

// ---- hostile files

// The spoiled files of the fuzz corpus (an oversize Translation, offsets near 4 GiB,
// lengths outside their parents, zero-length and self-referencing entries) are checked
// by its replay; these are the others.
TEST(VersionResource, SpoiledFieldsAreRefusedOrKeptInsideTheirParts) {
    const Bytes good = GoodImage();
    const std::size_t resources = layout::kResources;
    const std::size_t translation = NodeAt(good, "Translation");
    const std::size_t description = NodeAt(good, "FileDescription");
    const struct {
        const char* what;
        std::function<void(Bytes&)> spoil;
        std::string description;
    } cases[] = {
        {"a Translation value of half a pair", [&](Bytes& f) { Set16(f, translation + 2, 2); }, ""},
        {"a header offset past the end", [](Bytes& f) { Set32(f, 0x3C, 0x10000); }, ""},
        {"65,535 sections", [](Bytes& f) { Set16(f, layout::kHeader + 6, 0xFFFF); }, ""},
        {"an optional header of 64 KiB", [](Bytes& f) { Set16(f, layout::kHeader + 20, 0xFFFF); },
         ""},
        {"an unknown optional header", [](Bytes& f) { Set16(f, layout::kOptional, 0x107); }, ""},
        {"resources outside every section",
         [](Bytes& f) { Set32(f, layout::kResourceDirectoryEntry, 0x9000); }, ""},
        {"a type entry pointing outside the section",
         [&](Bytes& f) { Set32(f, resources + 20, 0xFFFFFFF0u); }, ""},
        {"a language entry leading to a directory",
         [&](Bytes& f) { Set32(f, resources + layout::kLanguageDirectory + 20, 0x80000000u); }, ""},
        {"data of 4 GiB", [&](Bytes& f) { Set32(f, resources + layout::kDataEntry + 4, ~0u); }, ""},
        {"a key without its end",
         [&](Bytes& f) {
             const std::size_t key = translation + 6;
             std::fill(f.begin() + key, f.begin() + translation + Get32(f, translation) % 0x10000,
                       'x');
         },
         ""},
        {"a text claiming 65,535 characters, cut at its node",
         [&](Bytes& f) { Set16(f, description + 2, 0xFFFF); }, "Demo Saver"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes file = good;
        c.spoil(file);
        EXPECT_EQ(Describe(file), c.description);
    }
}

TEST(VersionResource, EveryTruncationIsRefused) {
    const Bytes good = GoodImage(true);
    const std::size_t end = layout::kResources + layout::kData + VersionResource(kEnglish).size();
    for (std::size_t size = 0; size < end; ++size) {
        const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
        ASSERT_EQ(Describe(cut), "") << size;
    }
    EXPECT_EQ(Describe(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(end))),
              "Demo Saver");
}

TEST(VersionResource, NothingBeyondTheFirst64MiBIsRead) {
    // Offsets a 32-bit build would wrap, in a file large enough to hold them.
    constexpr std::uint64_t kHuge = 5ull << 30;
    // A header there is one we do not read, but the system would: the file is not ours
    // to hand on.
    for (std::uint32_t header : {0x03FFFFF0u, 0x04000000u, 0x7FFFFFF0u, 0xFFFFFFF0u}) {
        SCOPED_TRACE(header);
        Bytes head = GoodImage();
        Set32(head, 0x3C, header);
        SparseFile file(head, kHuge);
        const ver::ImageVersion image = ver::ReadImageVersion(file);
        EXPECT_TRUE(image.isImage);
        EXPECT_FALSE(image.block);
        EXPECT_LE(file.furthest, ver::kMaxFileBytes);
    }
    // A section that claims 4 GiB of raw data holding a directory of 65,536 entries: the
    // walk reads the directories it goes through, not the section.
    Bytes head = GoodImage();
    Set32(head, layout::kSectionTable + 16, 0xFFFFF000u);
    Set32(head, layout::kResourceDirectoryEntry + 4, 0xFFFFFFFFu);
    Set16(head, layout::kResources + 12, 0xFFFF);
    SparseFile file(head, kHuge);
    const auto found = ver::ReadImageVersion(file);
    ASSERT_TRUE(found.block);
    EXPECT_EQ(ver::DescriptionOf(*found.block), "Demo Saver");
    EXPECT_LE(file.bytesRead, 1u << 20);
}

TEST(VersionResource, OnlyAFileThatIsNoImageMayBeHandedToTheSystem) {
    auto isImage = [](const Bytes& file) {
        ver::MemoryBytes bytes(file.data(), file.size());
        return ver::ReadImageVersion(bytes).isImage;
    };
    EXPECT_FALSE(isImage({'M', 'Z'}));
    Bytes ne = GoodImage();
    ne[layout::kHeader] = 'N', ne[layout::kHeader + 1] = 'E';  // a 16-bit program
    EXPECT_FALSE(isImage(ne));
    Bytes pastTheEnd = GoodImage();
    Set32(pastTheEnd, 0x3C, static_cast<std::uint32_t>(pastTheEnd.size()) - 23);
    EXPECT_FALSE(isImage(pastTheEnd));
    // An image is never handed on, whatever its resources.
    Bytes none = GoodImage();
    Set32(none, layout::kResourceDirectoryEntry, 0);
    EXPECT_TRUE(isImage(none));
    EXPECT_TRUE(isImage(GoodImage()));
    EXPECT_TRUE(isImage(PeWithResource(kRtRcData, 0x0409, {1, 2, 3, 4})));
    Bytes broken = GoodImage();
    Set16(broken, layout::kResources + 14, 0xFFFF);
    EXPECT_TRUE(isImage(broken));
}

TEST(VersionResource, AnImageIsReadInTwoPiecesItsHeadersAndItsResources) {
    constexpr std::size_t kCode = 200 << 10;  // before the resource section, as in programs
    Bytes image = GoodImage();
    const std::size_t resources = image.size() - layout::kResources;
    image.insert(image.begin() + layout::kResources, kCode, 0);
    Set32(image, layout::kSectionTable + 20, layout::kResources + kCode);
    SparseFile file(image, image.size());
    const auto found = ver::ReadImageVersion(file);
    ASSERT_TRUE(found.block);
    EXPECT_EQ(ver::DescriptionOf(*found.block), "Demo Saver");
    EXPECT_EQ(file.reads, 2);
    EXPECT_LE(file.bytesRead, ver::kReadAheadBytes + resources);
}

}  // namespace
