// In-memory stand-ins for the small seams of common/Platform.h, for the unit tests.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/Platform.h"

// Files as a map from path to content. Paths compare as Windows compares them: the
// letter case does not matter. A new file can only be made in a folder that exists: a
// drive root, a folder added, or a folder that holds something added. Links (junctions
// and symbolic links, to folders or files) lead from one path to another as the system
// follows them when it opens a file.
class FakeFileSystem : public IFileSystem {
  public:
    std::unique_ptr<IAppendFile> OpenAppend(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    // As GetFullPathName makes a path full ("/" is "\", "." goes, ".." takes the folder
    // before it away), then every link along it followed; spelled as given, not as stored.
    // Only drive and network paths: the fake has no current folder.
    std::optional<FinalPath> Resolve(const std::string& path) override;

    // Scripting.
    void AddFile(const std::string& path, const std::string& content = "");
    void AddFolder(const std::string& path) { folders_.insert(Key(path)); }
    // `from` leads to `target` from now on.
    void AddLink(const std::string& from, const std::string& target);
    void DenyOpen(const std::string& path) { denied_.insert(Key(path)); }
    // The n-th line written from now on (0-based) fails, and every later one too.
    void FailWritesAfter(int lines) { writesLeft_ = lines; }
    std::string Content(const std::string& path) const;
    std::vector<std::string> Lines(const std::string& path) const;
    int OpenCount() const { return opens_; }
    int OpenNow() const { return openNow_; }

  private:
    friend class FakeAppendFile;
    static std::string Key(const std::string& path);
    bool FolderExists(const std::string& key) const;
    std::map<std::string, std::string> files_;
    std::set<std::string> folders_;
    std::map<std::string, std::string> links_;  // key -> target
    std::set<std::string> denied_;
    int writesLeft_ = -1;
    int opens_ = 0;
    int openNow_ = 0;
};

// Virtual time: nothing moves until a test says so.
class FakeClock : public IClock {
  public:
    std::uint64_t SteadyMilliseconds() override { return steadyMs_; }
    LocalTime Now() override;
    std::string FormatGeneralDate(const LocalTime& time) override;

    void Advance(std::uint64_t ms) {
        steadyMs_ += ms;
        wallMs_ += static_cast<std::int64_t>(ms);
    }
    // Moves the wall clock only, as a daylight-saving change or the user would.
    void JumpWallClock(std::int64_t ms) { wallMs_ += ms; }
    void SetWallClock(const LocalTime& time);

  private:
    std::uint64_t steadyMs_ = 1'000'000;
    std::int64_t wallMs_ = 0;  // milliseconds since the base time below
    LocalTime base_{2000, 4, 1, 22, 41, 49};
};

// Records every message box and answers from a script (OK when the script is empty).
class FakeMessageBoxUi : public IMessageBoxUi {
  public:
    struct Shown {
        std::string text, title;
        int style;
    };
    int Show(const std::string& text, const std::string& title, int style) override;

    std::vector<Shown> shown;
    std::vector<int> answers;  // consumed from the front
    // Runs while the box is open: the time the user takes to answer, during which the
    // box's own message loop runs the program's due timers.
    std::function<void()> whileShown;
};

class FakeSystemFacts : public ISystemFacts {
  public:
    bool GetVersionRecord(OsVersionRecord& record) override {
        if (!versionAvailable) return false;
        record = version;
        return true;
    }
    std::optional<std::string> UserName() override { return userName; }
    std::string WindowsDirectory() override { return windowsDir; }
    std::string SystemDirectory() override { return systemDir; }
    std::string SystemWow64Directory() override { return wow64Dir; }
    std::string TempPath() override { return tempPath; }
    std::uint32_t SystemDefaultLocale() override { return locale; }
    int LocaleInfo(std::uint32_t locale, std::uint32_t kind, std::string& text,
                   int capacity) override;
    int DriveType(const std::string& root) override;
    std::optional<std::string> KnownFolderPath(KnownFolder folder) override;
    std::optional<std::string> ReadNumber(const std::string& text, std::uint32_t locale) override;

    bool versionAvailable = true;
    OsVersionRecord version{10, 0, 19045, 2, ""};
    std::optional<std::string> userName = "anna";
    std::string windowsDir = "C:\\Windows";
    std::string systemDir = "C:\\Windows\\system32";
    std::string wow64Dir = "C:\\Windows\\SysWOW64";
    std::string tempPath = "C:\\Users\\anna\\AppData\\Local\\Temp\\";
    std::uint32_t locale = 0x0409;
    // (locale, kind) -> text; a missing entry fails as GetLocaleInfo does.
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::string> localeStrings{
        {{0x0409, 1}, "0409"},
        {{0x0409, 2}, "English (United States)"},
        {{0x0409, 0x1001}, "English"}};
    // Drive letter -> type; letters not listed have no root directory (1).
    std::map<char, int> drives{{'C', 3}, {'D', 5}};
    std::map<KnownFolder, std::string> knownFolders;
    // The user's locale for numbers, and each known locale's decimal separator (their
    // group separators, "." or "," or a no-break space, make no number).
    std::uint32_t userLocale = 0x0409;
    std::map<std::uint32_t, std::string> decimalSeparators{
        {0x0409, "."}, {0x0407, ","}, {0x040C, ","}};
};
