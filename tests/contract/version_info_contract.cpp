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
#include "support/VersionFiles.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/Win32Manager.h"
#else
#include "platform/fake/FakeManager.h"
#endif

namespace {

using version_files::VersionContent;
#ifdef _WIN32
using version_files::Bytes;
using version_files::kRtRcData;
using version_files::kRtVersion;
using version_files::PeWithResource;
using version_files::VersionResource;
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

#ifdef _WIN32
// ---- Our reading beside the system's (Win32 only) ----

// The description as the system's version functions read it: GetFileVersionInfoW, then
// VerQueryValueW on its copy. Asked of well-formed files only.
std::string SystemDescription(const std::string& path) {
    const std::wstring file = std::filesystem::path(std::u8string(path.begin(), path.end()));
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoW(file.c_str(), 0, size, data.data())) return {};
    const WORD* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(const_cast<WORD**>(&translation)), &length) ||
        length < 4)
        return {};
    wchar_t key[64];
    swprintf(key, 64, L"\\StringFileInfo\\%04X%04X\\FileDescription", translation[0],
             translation[1]);
    const wchar_t* text = nullptr;
    if (!VerQueryValueW(data.data(), key, reinterpret_cast<void**>(const_cast<wchar_t**>(&text)),
                        &length) ||
        length == 0 || text == nullptr)
        return {};
    const std::wstring wide(text, wcsnlen(text, length));
    const std::u8string utf8 = std::filesystem::path(wide).u8string();
    return std::string(utf8.begin(), utf8.end());
}

TEST_F(ManagerFilesContract, OwnReadingAgreesWithTheSystemOnWellFormedFiles) {
    const struct {
        const char* name;
        VersionContent content;
        bool image64;
        std::string description;
    } cases[] = {
        {"English.scr", {{{0x0409, 1200}}, {{"040904B0", "Demo Saver"}}}, false, "Demo Saver"},
        {"English64.scr", {{{0x0409, 1200}}, {{"040904B0", "Demo Saver"}}}, true, "Demo Saver"},
        {"Français.scr",
         {{{0x040C, 1200}, {0x0409, 1200}},
          {{"040904B0", "Screen saver"}, {"040C04B0", "Économiseur d'écran"}}},
         false,
         "Économiseur d'écran"},
        {"German.scr",
         {{{0x0407, 1252}}, {{"040704E4", "Bildschirmschoner"}}},
         false,
         "Bildschirmschoner"},
        {"Second only.scr",
         {{{0x0407, 1200}, {0x0409, 1200}}, {{"040904B0", "English"}}},
         true,
         ""},
        {"No translation.scr", {{}, {{"040904B0", "Lost"}}}, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Path(c.name);
        Write(path, PeWithResource(kRtVersion, 0x0409, VersionResource(c.content), c.image64));
        EXPECT_EQ(Description(path), c.description);
        EXPECT_EQ(SystemDescription(path), c.description);
    }
    // A real program of this build, read from disk: this test program.
    wchar_t self[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    ASSERT_GT(n, 0u);
    const std::u8string selfPath = std::filesystem::path(std::wstring(self, n)).u8string();
    const std::string own(selfPath.begin(), selfPath.end());
    EXPECT_EQ(Description(own), SystemDescription(own));
}

// Files the system's functions must not be given: our reader alone decides, and nothing
// runs past a buffer (a run under Wine with WINEDEBUG=warn+heap shows none).
TEST_F(ManagerFilesContract, HostileFilesAreReadSafely) {
    namespace layout = version_files::pe_layout;
    const Bytes good = PeWithResource(kRtVersion, 0x0409,
                                      VersionResource({{{0x0409, 1200}}, {{"040904B0", "Ok"}}}));
    Bytes oversize = good;
    // The Translation node's value length, 65,535 bytes: its key lies 6 bytes in.
    const std::u16string key = u"Translation";
    const Bytes needle(reinterpret_cast<const std::uint8_t*>(key.data()),
                       reinterpret_cast<const std::uint8_t*>(key.data() + key.size()));
    const auto at = std::search(oversize.begin(), oversize.end(), needle.begin(), needle.end());
    ASSERT_NE(at, oversize.end());
    version_files::Set16(oversize, static_cast<std::size_t>(at - oversize.begin()) - 4, 0xFFFF);
    Bytes nearFourGiB = good;
    version_files::Set32(nearFourGiB, 0x3C, 0xFFFFFFF0u);
    Bytes selfReferencing = good;
    version_files::Set32(selfReferencing, layout::kResources + layout::kNameDirectory + 20,
                         0x80000000u | layout::kNameDirectory);
    const struct {
        const char* name;
        Bytes bytes;
        std::string description;
    } cases[] = {
        {"oversize translation.scr", oversize, ""},
        {"old layout.scr",
         PeWithResource(kRtVersion, 0x0409,
                        VersionResource({{{0x0409, 1252}}, {{"040904E4", "Old Saver"}}}, true)),
         "Old Saver"},
        {"near 4 GiB.scr", nearFourGiB, ""},
        {"truncated.scr", Bytes(good.begin(), good.begin() + layout::kResources + 100), ""},
        {"self-referencing.scr", selfReferencing, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Write(Path(c.name), c.bytes);
        EXPECT_EQ(Description(Path(c.name)), c.description);
    }
}

// A PE header beyond the part of a file our reader reads: the system would read the
// image there, but is not asked, as nothing of it has been checked.
TEST_F(ManagerFilesContract, AnImageWhoseHeaderLiesBeyondOurReadingIsNotHandedOn) {
    Bytes image = PeWithResource(kRtVersion, 0x0409,
                                 VersionResource({{{0x0409, 1200}}, {{"040904B0", "Far"}}}));
    constexpr std::uint32_t kFar = 64u << 20;
    const std::string path = Path("far header.scr");
    Write(path, image);
    // Its headers again at 64 MiB; the resource section stays where its entry says.
    version_files::Set32(image, 0x3C, kFar);
    std::fstream file(Native(path), std::ios::binary | std::ios::in | std::ios::out);
    file.write(reinterpret_cast<const char*>(image.data()), 0x40);
    file.seekp(kFar).write(reinterpret_cast<const char*>(image.data()) + 0x40, 0x200 - 0x40);
    ASSERT_TRUE(file.good());
    file.close();
    EXPECT_EQ(SystemDescription(path), "Far");
    EXPECT_EQ(Description(path), "");
}

// A 16-bit program: no image with resources of our own to read, so the system's
// functions copy its block, and our reader reads the copy (never VerQueryValueW, whose
// conversion of such a block writes past the buffer).
TEST_F(ManagerFilesContract, SixteenBitProgramIsReadThroughTheSystemsCopy) {
    // Windows 10 and 11 on x64 have no 16-bit programs to read; Wine reads their
    // resources.
    if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
        GTEST_SKIP() << "only Wine reads the resources of 16-bit programs";
    const Bytes block = VersionResource({{{0x0409, 1252}}, {{"040904E4", "Old Saver"}}}, true);
    // MZ header, NE header at 0x40, its resource table at 0x80, the block at 0x100
    // (resource offsets and lengths in 16-byte units).
    Bytes ne(0x100, 0);
    ne[0] = 'M', ne[1] = 'Z';
    version_files::Set32(ne, 0x3C, 0x40);
    ne[0x40] = 'N', ne[0x41] = 'E';
    version_files::Set16(ne, 0x40 + 0x24, 0x40);  // resource table, from the NE header
    const std::uint16_t table[] = {4,      0x8010,
                                   1,      0,
                                   0,  // shift, RT_VERSION, count
                                   0x0010, static_cast<std::uint16_t>((block.size() + 15) / 16),
                                   0x0030, 0x8001,
                                   0,      0,
                                   0};  // the name entry; end
    std::size_t p = 0x80;
    for (std::uint16_t word : table) version_files::Set16(ne, p, word), p += 2;
    version_files::Set16(ne, 0x40 + 0x26, static_cast<std::uint32_t>(p - 0x40));  // names
    ne.insert(ne.end(), block.begin(), block.end());
    version_files::Align(ne, 16);
    Write(Path("sixteen.scr"), ne);
    EXPECT_EQ(Description(Path("sixteen.scr")), "Old Saver");
}
#endif

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
