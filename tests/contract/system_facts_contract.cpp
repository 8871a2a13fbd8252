// The system-facts seam: properties every implementation must have, checked against
// the in-memory facts on Linux and against the real system under Wine.
#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <optional>
#include <vector>

#include "common/Logger.h"
#include "common/OSInfo.h"
#include "common/Platform.h"
#include "common/StringTable.h"
#include "common/SystemInfo.h"
#include "contract/Backend.h"

#ifdef _WIN32
#include "platform/win32/Win32Platform.h"
#else
#include "platform/fake/FakePlatform.h"
#endif

namespace {

std::unique_ptr<ISystemFacts> MakeFacts() {
#ifdef _WIN32
    return std::make_unique<Win32SystemFacts>();
#else
    auto facts = std::make_unique<FakeSystemFacts>();
    // The shell always knows these two on a real system.
    facts->knownFolders[KnownFolder::Programs] = "C:\\Users\\anna\\Start Menu\\Programs";
    facts->knownFolders[KnownFolder::Startup] = "C:\\Users\\anna\\Start Menu\\Programs\\Startup";
    facts->knownFolders[KnownFolder::ProgramFiles] = "C:\\Program Files";
    facts->knownFolders[KnownFolder::ProgramFilesX86] = "C:\\Program Files (x86)";
    return facts;
#endif
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// "X:\..." or "\\server\...".
bool IsAbsolute(const std::string& path) {
    return (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
            path[1] == ':' && path[2] == '\\') ||
           path.rfind("\\\\", 0) == 0;
}

// Whatever the logger would show is kept for the test to look at.
class RecordingUi : public IMessageBoxUi {
  public:
    int Show(const std::string& text, const std::string&, int) override {
        shown.push_back(text);
        return mb::kResultOk;
    }
    std::vector<std::string> shown;
};

class StillClock : public IClock {
  public:
    std::uint64_t SteadyMilliseconds() override { return 0; }
    LocalTime Now() override { return {}; }
    std::string FormatGeneralDate(const LocalTime&) override { return "1/1/2000"; }
};

class SystemFactsContract : public ::testing::Test {
  protected:
    std::unique_ptr<ISystemFacts> facts = MakeFacts();
};

TEST_F(SystemFactsContract, SystemFolderLiesBelowTheWindowsFolder) {
    const std::string windows = facts->WindowsDirectory();
    const std::string system = facts->SystemDirectory();
    ASSERT_FALSE(windows.empty());
    ASSERT_FALSE(system.empty());
    EXPECT_TRUE(IsAbsolute(windows)) << windows;
    EXPECT_NE(windows.back(), '\0');
    EXPECT_EQ(Lower(system).rfind(Lower(windows), 0), 0u) << system << " vs " << windows;
}

TEST_F(SystemFactsContract, TempPathEndsWithABackslash) {
    const std::string temp = facts->TempPath();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), '\\') << temp;
    EXPECT_TRUE(IsAbsolute(temp)) << temp;
}

TEST_F(SystemFactsContract, LocaleStringsKeepTheTwoCallRule) {
    const std::uint32_t locale = facts->SystemDefaultLocale();
    for (std::uint32_t kind : {0x1u, 0x2u, 0x1001u}) {
        std::string probe;
        const int needed = facts->LocaleInfo(locale, kind, probe, 0);
        ASSERT_GT(needed, 1) << "kind " << kind;
        std::string text(static_cast<std::size_t>(needed), ' ');
        const int count = facts->LocaleInfo(locale, kind, text, needed);
        EXPECT_EQ(count, needed) << "kind " << kind;
        ASSERT_GT(count, 0);
        EXPECT_EQ(text.size(), static_cast<std::size_t>(count - 1)) << "kind " << kind;
        EXPECT_EQ(text.find('\0'), std::string::npos);
        // Too small a buffer is refused, not cut short.
        std::string small(static_cast<std::size_t>(needed - 1), ' ');
        EXPECT_EQ(facts->LocaleInfo(locale, kind, small, needed - 1), 0) << "kind " << kind;
    }
    // The language id is four hexadecimal digits ("0409").
    std::string id(5, ' ');
    ASSERT_EQ(facts->LocaleInfo(locale, 0x1, id, 5), 5);
    for (char c : id) EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(c))) << id;
}

TEST_F(SystemFactsContract, ShellKnowsTheStartMenuAndStartupFolders) {
    for (KnownFolder folder : {KnownFolder::Programs, KnownFolder::Startup}) {
        const auto path = facts->KnownFolderPath(folder);
        ASSERT_TRUE(path.has_value()) << static_cast<int>(folder);
        EXPECT_TRUE(IsAbsolute(*path)) << *path;
    }
}

// The folders a machine-wide setting may start programs from, on the 64-bit Windows these
// tests run on: the two Program Files are told apart whatever this program is built as,
// and SysWOW64 lies in the Windows folder.
TEST_F(SystemFactsContract, ProgramFoldersAreKnown) {
    const auto native = facts->KnownFolderPath(KnownFolder::ProgramFiles);
    const auto x86 = facts->KnownFolderPath(KnownFolder::ProgramFilesX86);
    ASSERT_TRUE(native && x86);
    EXPECT_TRUE(IsAbsolute(*native) && IsAbsolute(*x86)) << *native << ", " << *x86;
    const std::string wow64 = facts->SystemWow64Directory();
    EXPECT_EQ(Lower(wow64).rfind(Lower(facts->WindowsDirectory()) + "\\", 0), 0u) << wow64;
    EXPECT_NE(Lower(*native), Lower(*x86));
}

TEST_F(SystemFactsContract, DriveTypes) {
    EXPECT_EQ(facts->DriveType("C:\\"), 3);
    EXPECT_EQ(facts->DriveType("?:\\"), 1);
}

// Numbers as people write them in three locales: the decimal separator is the locale's,
// and a group separator, an exponent or anything else makes no number. The number comes
// back exactly.
TEST_F(SystemFactsContract, ReadsNumbersInTheLocalesFormat) {
    constexpr std::uint32_t kGerman = 0x0407, kFrench = 0x040C, kEnglish = 0x0409;
    const struct {
        std::uint32_t locale;
        const char* text;
        std::optional<std::string> number;
    } cases[] = {
        {kGerman, "2,5", "2.5"},
        {kGerman, "2.5", std::nullopt},
        {kGerman, " -0,40 ", "-0.4"},
        {kGerman, "+045", "45"},
        {kGerman, "1.234", std::nullopt},
        {kGerman, "2,50000000000000000000001", "2.50000000000000000000001"},
        {kFrench, "2,5", "2.5"},
        {kFrench, "2.5", std::nullopt},
        {kFrench, "\t12,75\t", "12.75"},
        {kEnglish, "2.5", "2.5"},
        {kEnglish, "2,5", std::nullopt},
        {kEnglish, "1,234", std::nullopt},
        {kEnglish, "0.04", "0.04"},
        {kEnglish, "45.", "45"},
        {kEnglish, ".5", "0.5"},
        {kEnglish, "5-", std::nullopt},
        {kEnglish, "(5)", std::nullopt},
        {kEnglish, "$5", std::nullopt},
        {kEnglish, "-0", "0"},
        {kEnglish, "100", "100"},
        {kEnglish, "99999999999999999999999", "99999999999999999999999"},
        {kEnglish, "1e3", std::nullopt},
        {kEnglish, "12abc", std::nullopt},
        {kEnglish, "1 2", std::nullopt},
        {kEnglish, "", std::nullopt},
        {kEnglish, "   ", std::nullopt},
        {kEnglish, "-", std::nullopt},
        {kEnglish, ".", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(facts->ReadNumber(c.text, c.locale), c.number)
            << std::hex << c.locale << " \"" << c.text << '"';
}

TEST_F(SystemFactsContract, UserNameIsKnown) {
    const auto name = facts->UserName();
    ASSERT_TRUE(name.has_value());
    EXPECT_FALSE(name->empty());
    EXPECT_EQ(name->find('\0'), std::string::npos);
}

// The whole object over this platform's facts and registry: the folders come from the
// registry or, where it has none (the in-memory one is empty), from the shell.
TEST_F(SystemFactsContract, SystemInfoStartsOnThisSystem) {
    auto backend = MakeContractBackend();
    BuiltInStringSource strings{ProgramKind::ScreenSaver};
    RecordingUi ui;
    StillClock clock;
    cLogger logger{
        LoggerDeps{strings, backend->Files(), ui, clock, backend->ScratchFolder(), "contract"}};
    const cOSInfo os(*facts);
    std::unique_ptr<cSystemInfo> info;
    try {
        info = std::make_unique<cSystemInfo>(*facts, backend->Registry(), os, logger);
    } catch (const RaisedError& e) {
        FAIL() << e.info.Number << " " << e.info.Description;
    }
    EXPECT_EQ(info->WindowsDir(), facts->WindowsDirectory());
    EXPECT_TRUE(IsAbsolute(info->StartMenuDir())) << info->StartMenuDir();
    EXPECT_TRUE(IsAbsolute(info->StartupFolder())) << info->StartupFolder();
    EXPECT_NE(info->logonName(), "[Unknown]");
    EXPECT_TRUE(info->MultiUsers());
    EXPECT_EQ(info->CurrentLanguageID().size(), 4u) << info->CurrentLanguageID();
    EXPECT_FALSE(info->EnglishNameOfLang().empty());

    std::vector<std::string> fixed;
    ASSERT_TRUE(info->GetDriveList(cSystemInfo::DRIVE_FIXED, fixed));
    EXPECT_EQ(fixed.front(), "C:");
    EXPECT_TRUE(ui.shown.empty());
}

}  // namespace
