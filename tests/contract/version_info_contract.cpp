// The settings manager's file seams: listing a folder and reading the description from a
// version resource. On Linux against the fakes; under Wine against the real files, which
// the tests write themselves as minimal PE files carrying exactly the resource a case
// needs (no language or code page of the machine leaks in).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "contract/Backend.h"
#include "manager/ManagerSeams.h"

#ifdef _WIN32
#include "platform/win32/Win32Manager.h"
#else
#include "platform/fake/FakeManager.h"
#endif

namespace {

// What a test file's version resource holds: its translations in order, and a
// FileDescription per string table (key "040904B0").
struct VersionContent {
    std::vector<std::pair<std::uint16_t, std::uint16_t>> translations;
    std::vector<std::pair<std::string, std::string>> descriptions;
};

#ifdef _WIN32
// ---- Writing real files ----

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}
void Put32(Bytes& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}
void Set16(Bytes& out, std::size_t at, std::uint32_t value) {
    out[at] = static_cast<std::uint8_t>(value);
    out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}
void Set32(Bytes& out, std::size_t at, std::uint32_t value) {
    Set16(out, at, value & 0xFFFF);
    Set16(out, at + 2, value >> 16);
}
void Align(Bytes& out, std::size_t to) {
    while (out.size() % to) out.push_back(0);
}

// UTF-8 to UTF-16 code units, enough for the texts below (the Basic Multilingual Plane).
std::u16string Utf16(const std::string& text) {
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

void PutText(Bytes& out, const std::u16string& text) {
    for (char16_t c : text) Put16(out, c);
    Put16(out, 0);
}

// One block of a version resource: length, value length, type, key, value, children,
// each part starting on a 32-bit boundary.
struct Block {
    std::string key;
    bool text = true;
    Bytes value;
    std::uint16_t valueLength = 0;  // characters for text, bytes for binary
    std::vector<Block> children;

    void Write(Bytes& out) const {
        Align(out, 4);
        const std::size_t start = out.size();
        Put16(out, 0);
        Put16(out, valueLength);
        Put16(out, text ? 1 : 0);
        PutText(out, Utf16(key));
        Align(out, 4);
        out.insert(out.end(), value.begin(), value.end());
        for (const Block& child : children) child.Write(out);
        Set16(out, start, static_cast<std::uint32_t>(out.size() - start));
    }
};

Bytes VersionResource(const VersionContent& content) {
    Block root{"VS_VERSION_INFO", false, {}, 52, {}};
    for (std::uint32_t v : {0xFEEF04BDu, 0x00010000u, 0x00010000u, 0u, 0x00010000u, 0u, 0x3Fu, 0u,
                            0x00040004u, 1u, 0u, 0u, 0u})
        Put32(root.value, v);
    Block strings{"StringFileInfo", true, {}, 0, {}};
    for (const auto& [key, description] : content.descriptions) {
        Block text{"FileDescription", true, {}, 0, {}};
        const std::u16string wide = Utf16(description);
        PutText(text.value, wide);
        text.valueLength = static_cast<std::uint16_t>(wide.size() + 1);
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
    Bytes out;
    root.Write(out);
    return out;
}

// A PE image with one resource section holding one resource: what the version API
// reads without running anything.
Bytes PeWithResource(std::uint16_t type, std::uint16_t language, const Bytes& data) {
    constexpr std::uint32_t kSectionRva = 0x1000, kFileAlign = 0x200;
    Bytes rsrc;
    // Three directory levels (type, name, language), one entry each, then the data entry.
    auto directory = [&](std::uint32_t id, std::uint32_t target) {
        for (int i = 0; i < 3; ++i) Put32(rsrc, 0);  // characteristics, time, version
        Put16(rsrc, 0);                              // named entries
        Put16(rsrc, 1);                              // id entries
        Put32(rsrc, id);
        Put32(rsrc, target);
    };
    directory(type, 0x80000000u | 24);
    directory(1, 0x80000000u | 48);
    directory(language, 72);
    Put32(rsrc, kSectionRva + 88);
    Put32(rsrc, static_cast<std::uint32_t>(data.size()));
    Put32(rsrc, 0);
    Put32(rsrc, 0);
    rsrc.insert(rsrc.end(), data.begin(), data.end());
    const auto rsrcSize = static_cast<std::uint32_t>(rsrc.size());
    Align(rsrc, kFileAlign);

    Bytes pe(0x40, 0);
    pe[0] = 'M', pe[1] = 'Z';
    Set32(pe, 0x3C, 0x40);
    for (char c : {'P', 'E', '\0', '\0'}) pe.push_back(static_cast<std::uint8_t>(c));
    Put16(pe, 0x14C);  // i386
    Put16(pe, 1);      // one section
    Put32(pe, 0);      // time stamp
    Put32(pe, 0);      // symbols
    Put32(pe, 0);
    Put16(pe, 224);     // optional header
    Put16(pe, 0x2102);  // executable image, 32-bit, DLL
    const std::size_t optional = pe.size();
    Put16(pe, 0x10B);
    Put16(pe, 0);
    Put32(pe, 0);  // code
    Put32(pe, static_cast<std::uint32_t>(rsrc.size()));
    Put32(pe, 0);
    Put32(pe, 0);  // entry point
    Put32(pe, 0);  // base of code
    Put32(pe, kSectionRva);
    Put32(pe, 0x10000000);  // image base
    Put32(pe, 0x1000);      // section alignment
    Put32(pe, kFileAlign);
    for (int v : {4, 0, 0, 0, 4, 0}) Put16(pe, static_cast<std::uint32_t>(v));
    Put32(pe, 0);
    Put32(pe, kSectionRva + ((rsrcSize + 0xFFF) & ~0xFFFu));  // size of image
    Put32(pe, kFileAlign);                                    // size of headers
    Put32(pe, 0);                                             // checksum
    Put16(pe, 2);                                             // GUI
    Put16(pe, 0);
    for (std::uint32_t v : {0x100000u, 0x1000u, 0x100000u, 0x1000u, 0u, 16u}) Put32(pe, v);
    for (int i = 0; i < 16; ++i) {
        Put32(pe, i == 2 ? kSectionRva : 0);  // the resource directory
        Put32(pe, i == 2 ? rsrcSize : 0);
    }
    EXPECT_EQ(pe.size() - optional, 224u);
    for (char c : {'.', 'r', 's', 'r', 'c', '\0', '\0', '\0'})
        pe.push_back(static_cast<std::uint8_t>(c));
    Put32(pe, rsrcSize);
    Put32(pe, kSectionRva);
    Put32(pe, static_cast<std::uint32_t>(rsrc.size()));
    Put32(pe, kFileAlign);
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
#endif

class ManagerFilesContract : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) const { return folder_ + "\\" + name; }

    // A file with a version resource (or, for empty content, with another resource only).
    std::string MakeVersioned(const std::string& name, const VersionContent& content) {
        const std::string path = Path(name);
#ifdef _WIN32
        const bool none = content.translations.empty() && content.descriptions.empty();
        const std::uint16_t language =
            content.translations.empty() ? 0x0409 : content.translations[0].first;
        Write(path, none ? PeWithResource(kRtRcData, 0x0409, Bytes{1, 2, 3, 4})
                         : PeWithResource(kRtVersion, language, VersionResource(content)));
#else
        finder_.AddFile(path);
        if (!content.translations.empty() || !content.descriptions.empty()) {
            FakeVersionReader::Resource resource;
            if (!content.translations.empty())
                resource.values["\\VarFileInfo\\Translation"] =
                    FakeVersionReader::TranslationBytes(content.translations);
            for (const auto& [key, description] : content.descriptions)
                resource.texts["\\StringFileInfo\\" + key + "\\FileDescription"] = description;
            versions_.AddResource(path, resource);
        }
#endif
        return path;
    }
    std::string MakePlain(const std::string& name) {
        const std::string path = Path(name);
#ifdef _WIN32
        Write(path, Bytes{'n', 'o', 't', ' ', 'a', 'n', ' ', 'e', 'x', 'e'});
#else
        finder_.AddFile(path);
#endif
        return path;
    }
    void MakeFolder(const std::string& name) {
#ifdef _WIN32
        std::filesystem::create_directory(Native(Path(name)));
#else
        finder_.AddFolder(Path(name));
#endif
    }
    std::string Description(const std::string& path) {
        return mgr::GetFileDescription(versions_, path);
    }

#ifdef _WIN32
    static std::filesystem::path Native(const std::string& utf8) {
        return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
    }
    static void Write(const std::string& path, const Bytes& bytes) {
        std::ofstream out(Native(path), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(out.good()) << path;
    }
    Win32FileFinder finder_;
    Win32VersionReader versions_;
#else
    FakeFileFinder finder_;
    FakeVersionReader versions_;
#endif
    std::unique_ptr<ContractBackend> backend_ = MakeContractBackend();
    std::string folder_ = backend_->ScratchFolder();
};

// ---- Descriptions ----

TEST_F(ManagerFilesContract, DescriptionOfTheFirstTranslation) {
    const auto english =
        MakeVersioned("English.scr", {{{0x0409, 1200}}, {{"040904B0", "Demo Saver"}}});
    EXPECT_EQ(Description(english), "Demo Saver");

    // French first, English second: the French table is the one read.
    const auto french = MakeVersioned(
        "Français.scr", {{{0x040C, 1200}, {0x0409, 1200}},
                         {{"040904B0", "Screen saver"}, {"040C04B0", "Économiseur d'écran"}}});
    EXPECT_EQ(Description(french), "Économiseur d'écran");

    // A code page other than Unicode gives its own key: 0407 and 04E4.
    const auto german =
        MakeVersioned("German.scr", {{{0x0407, 1252}}, {{"040704E4", "Bildschirmschoner"}}});
    EXPECT_EQ(Description(german), "Bildschirmschoner");
}

TEST_F(ManagerFilesContract, NoFallbackToAnotherTranslation) {
    const auto path = MakeVersioned(
        "Second only.scr", {{{0x0407, 1200}, {0x0409, 1200}}, {{"040904B0", "English only"}}});
    EXPECT_EQ(Description(path), "");
}

TEST_F(ManagerFilesContract, FilesWithoutADescriptionGiveAnEmptyText) {
    EXPECT_EQ(Description(""), "");
    EXPECT_EQ(Description(Path("missing.scr")), "");
    EXPECT_EQ(Description(MakePlain("text.scr")), "");
    EXPECT_EQ(Description(MakeVersioned("no version.scr", {})), "");
    EXPECT_EQ(Description(MakeVersioned("no translation.scr", {{}, {{"040904B0", "Lost"}}})), "");
}

// ---- Listing a folder ----

std::vector<std::string> Names(const std::vector<mgr::FoundFile>& found, bool folders) {
    std::vector<std::string> names;
    for (const auto& f : found)
        if (f.isFolder == folders) names.push_back(f.name);
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(ManagerFilesContract, FindListsMatchingFilesAndFolders) {
    MakePlain("a.scr");
    MakePlain("B.SCR");
    MakePlain("c.exe");
    MakePlain("Ünïcode.scr");
    MakeFolder("Folder.scr");
    const auto found = finder_.Find(folder_ + "\\", "*.scr");
    EXPECT_EQ(Names(found, false), (std::vector<std::string>{"B.SCR", "a.scr", "Ünïcode.scr"}));
    EXPECT_EQ(Names(found, true), std::vector<std::string>{"Folder.scr"});

    // Every folder but a drive's root lists itself and its parent.
    const auto all = finder_.Find(folder_ + "\\", "*.*");
    EXPECT_EQ(Names(all, true), (std::vector<std::string>{".", "..", "Folder.scr"}));
    EXPECT_EQ(Names(all, false).size(), 4u);
}

TEST_F(ManagerFilesContract, FindInAMissingFolderOrWithoutMatchIsEmpty) {
    MakePlain("a.exe");
    EXPECT_TRUE(finder_.Find(folder_ + "\\", "*.scr").empty());
    EXPECT_TRUE(finder_.Find(folder_ + "\\no such folder\\", "*.*").empty());
}

}  // namespace
