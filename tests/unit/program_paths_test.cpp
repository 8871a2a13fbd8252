// Which programs a machine-wide setting may start: one table of paths, each accepted or
// refused once, on a computer with the usual folders, some links and a share.
#include <gtest/gtest.h>

#include "common/ProgramPaths.h"
#include "platform/fake/FakePlatform.h"

namespace {

class ProgramPaths : public ::testing::Test {
  protected:
    ProgramPaths() {
        facts.knownFolders[KnownFolder::ProgramFiles] = "C:\\Program Files";
        facts.knownFolders[KnownFolder::ProgramFilesX86] = "C:\\Program Files (x86)";
        for (const char* file :
             {"C:\\Windows\\Mystify.scr", "C:\\Windows\\system32\\scrnsave.scr",
              "C:\\Windows\\system32\\notes.txt", "C:\\Windows\\SysWOW64\\Old.scr",
              "C:\\Windows\\Temp\\x.scr", "C:\\Windows\\system32\\Tasks\\x.scr",
              "C:\\Program Files\\Brellcor\\Kelvane\\Kelvane.exe",
              "C:\\Program Files (x86)\\Vendor\\Ribbons.scr", "C:\\Program Files Evil\\x.exe",
              "C:\\Users\\Public\\x.scr", "\\\\corp\\apps\\Corporate.scr"})
            files.AddFile(file);
        // A junction out of Program Files, a link out of the system folder, and a
        // junction from a user's folder into Program Files.
        files.AddLink("C:\\Program Files\\Vendor\\Out", "C:\\Users\\Public");
        files.AddLink("C:\\Windows\\system32\\Linked.scr", "C:\\Users\\Public\\x.scr");
        files.AddLink("C:\\Users\\Public\\Into", "C:\\Program Files\\Brellcor");
    }

    FakeFileSystem files;
    FakeSystemFacts facts;
};

TEST_F(ProgramPaths, OnlyWhereAdministratorsAloneCouldHavePutIt) {
    constexpr auto kSettings = PathOrigin::kSettings;
    constexpr auto kPolicy = PathOrigin::kPolicy;
    // Paths ending in ".exe" are launchers; any other must be a screen saver ("*.scr").
    const struct {
        const char* path;
        PathOrigin origin;
        std::int32_t refused;           // 0: started
        const char* started = nullptr;  // when other than the path
    } cases[] = {
        {"C:\\Windows\\Mystify.scr", kSettings, 0},
        {"c:\\WINDOWS\\SYSTEM32\\SCRNSAVE.SCR", kSettings, 0},
        {"C:\\Windows\\SysWOW64\\Old.scr", kSettings, 0},
        {"C:\\Program Files\\Brellcor\\Kelvane\\Kelvane.exe", kSettings, 0},
        {"C:\\Program Files (x86)\\Vendor\\Ribbons.scr", kSettings, 0},
        {"C:\\Users\\Public\\Into\\Kelvane\\Kelvane.exe", kSettings, 0,
         "C:\\Program Files\\Brellcor\\Kelvane\\Kelvane.exe"},
        {"\\\\?\\C:\\Windows\\Mystify.scr", kSettings, 0, "C:\\Windows\\Mystify.scr"},
        {"C:\\Windows\\System32\\..\\..\\Users\\Public\\x.scr", kSettings, 123},
        {"C:\\Windows\\Temp/x.scr", kSettings, 123},
        {"C:\\Windows\\.\\Mystify.scr", kSettings, 123},
        {"C:\\Windows\\system32\\cmd.exe\" /c calc & rem ", kSettings, 123},
        {"C:\\Windows\\Temp\\x.scr", kSettings, 5},
        {"C:\\Windows\\system32\\Tasks\\x.scr", kSettings, 5},
        {"C:\\Program Files Evil\\x.exe", kSettings, 5},
        {"C:\\Program Files\\Vendor\\Out\\x.scr", kSettings, 5},
        {"C:\\Windows\\system32\\Linked.scr", kSettings, 5},
        {"C:\\Users\\Public\\x.scr", kSettings, 5},
        {"\\\\corp\\apps\\Corporate.scr", kSettings, 5},
        {"C:\\Windows\\Gone.scr", kSettings, 2},
        {"C:\\Program Files", kSettings, 2},
        {"C:\\Windows\\system32\\notes.txt", kSettings, 2},
        {"Mystify.scr", kSettings, 2},
        {"", kSettings, 2},
        // A policy's path is the administrators' own word: anywhere, as long as it exists.
        {"\\\\corp\\apps\\Corporate.scr", kPolicy, 0},
        {"C:\\Windows\\System32\\..\\..\\Users\\Public\\x.scr", kPolicy, 0,
         "C:\\Users\\Public\\x.scr"},
        {"\\\\corp\\apps\\Gone.scr", kPolicy, 2},
        {"\\\\corp\\apps\\Corporate.scr\" /x", kPolicy, 123},
    };
    const ProgramRoots roots = FindProgramRoots(facts, files);
    const ProgramCheck check{files, roots};
    for (const auto& c : cases) {
        const std::string path = c.path;
        const bool launcher = path.size() > 4 && path.substr(path.size() - 4) == ".exe";
        const ProgramVerdict verdict = check(path, c.origin, launcher ? "" : ".scr");
        EXPECT_EQ(verdict.refusal.Number, c.refused) << path;
        EXPECT_EQ(verdict.program ? verdict.program->Path() : "", c.refused   ? ""
                                                                  : c.started ? c.started
                                                                              : path)
            << path;
        EXPECT_EQ(verdict.refusal.Description.empty(), c.refused == 0) << path;
    }
    // A link is named for where it leads.
    EXPECT_EQ(check("C:\\Windows\\system32\\Linked.scr", kSettings)
                  .refusal.Description.rfind(
                      "It leads to C:\\Users\\Public\\x.scr, in C:\\Users\\Public. ", 0),
              0u);
}

TEST_F(ProgramPaths, TheFoldersAreTheSystemsOwnWhereTheyLead) {
    // 32-bit Windows has no SysWOW64; a Program Files moved elsewhere counts where it is.
    facts.wow64Dir = "";
    files.AddFolder("D:\\Apps (x86)");
    files.AddLink("C:\\Program Files (x86)", "D:\\Apps (x86)");
    const ProgramRoots roots = FindProgramRoots(facts, files);
    EXPECT_EQ(roots.direct, (std::vector<std::string>{"C:\\Windows", "C:\\Windows\\system32"}));
    EXPECT_EQ(roots.below, (std::vector<std::string>{"C:\\Program Files", "D:\\Apps (x86)"}));
}

TEST(FinalPaths, ComeBackInTheirOrdinaryForm) {
    const std::pair<const char*, const char*> cases[] = {
        {"\\\\?\\C:\\Windows\\Mystify.scr", "C:\\Windows\\Mystify.scr"},
        {"\\\\?\\UNC\\corp\\apps\\Corporate.scr", "\\\\corp\\apps\\Corporate.scr"},
        {"\\\\?\\unc\\corp\\apps", "\\\\corp\\apps"},
        // A volume without a drive letter has no other name.
        {"\\\\?\\Volume{0b1c}\\x.scr", "\\\\?\\Volume{0b1c}\\x.scr"},
        {"C:\\Windows", "C:\\Windows"},
    };
    for (const auto& [final, ordinary] : cases) EXPECT_EQ(OrdinaryPath(final), ordinary) << final;
}

}  // namespace
