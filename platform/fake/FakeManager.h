// In-memory stand-ins for the settings manager's own seams: a scripted file tree to
// search, version resources by path, an Open dialog that answers from a script, and
// the rules of UAC for the machine-wide key.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "manager/ManagerSeams.h"
#include "platform/fake/FakePlatform.h"
#include "platform/fake/FakePowerFacts.h"
#include "platform/fake/FakeServices.h"

// Folders and files by full path; names compare without regard to case, as Windows
// compares them, and a search lists entries in the order they were added.
class FakeFileFinder : public mgr::IFileFinder {
  public:
    // Files added here are also added to `files`, so the rest of the program sees them.
    explicit FakeFileFinder(FakeFileSystem* files = nullptr) : files_(files) {}

    std::vector<mgr::FoundFile> Find(const std::string& folder,
                                     const std::string& pattern) override;

    // Adds the file and every folder above it.
    void AddFile(const std::string& path);
    void AddFolder(const std::string& path);
    // The folder exists but every search in it fails, as for a folder without rights.
    void DenyFolder(const std::string& path);
    int FindCount() const { return finds_; }

  private:
    struct Entry {
        std::string folderKey;  // lower case, with a trailing backslash
        std::string name;
        bool isFolder;
    };
    static std::string Lower(const std::string& text);
    static std::string FolderKey(const std::string& folder);
    bool FolderExists(const std::string& key) const;

    FakeFileSystem* files_;
    std::vector<Entry> entries_;
    std::vector<std::string> denied_;
    int finds_ = 0;
};

// Windows' file-name pattern match ("*" and "?"), ignoring case.
bool MatchesPattern(const std::string& name, const std::string& pattern);

// Version resources by path: the raw values and texts a resource holds, looked up by
// sub-block path without regard to case, as VerQueryValue does.
class FakeVersionReader : public mgr::IVersionReader {
  public:
    struct Resource {
        std::map<std::string, std::vector<std::uint8_t>> values;
        std::map<std::string, std::string> texts;
    };

    std::unique_ptr<mgr::IVersionResource> Read(const std::string& path) override;

    // A resource with one translation (language, code page) and the given texts in its
    // string table; the usual US English, Unicode one by default.
    void AddDescription(const std::string& path, const std::string& description,
                        std::uint16_t language = 0x0409, std::uint16_t codePage = 1200);
    // Any resource: translations in order, and texts by full sub-block path.
    void AddResource(const std::string& path, Resource resource);
    // Translation bytes for a list of (language, code page) pairs, little-endian.
    static std::vector<std::uint8_t> TranslationBytes(
        const std::vector<std::pair<std::uint16_t, std::uint16_t>>& pairs);
    int ReadCount() const { return reads_; }

  private:
    std::map<std::string, Resource> resources_;  // by lower-case path
    int reads_ = 0;
};

// Answers the Open dialog from a script: each entry is the path the user chooses, or
// nullopt for Cancel. An empty script cancels.
class FakeOpenFileDialog : public mgr::IOpenFileDialog {
  public:
    struct Shown {
        std::string filterDescription, pattern, fileName;
    };
    std::optional<std::string> Show(const std::string& filterDescription,
                                    const std::string& pattern,
                                    const std::string& fileName) override;

    std::vector<Shown> shown;
    std::vector<std::optional<std::string>> answers;  // consumed from the front
};

// Windows' rules for the machine-wide key under UAC. The registry's denials stand for the
// key's security: HKEY_LOCAL_MACHINE\Software lets a standard user's token and an
// administrator's filtered one read but not write, and an elevated token write. The
// "runas" start raises a prompt (an administrator's consent, or a standard user's
// request for an administrator's password, none for a token already elevated) and runs
// the program with an elevated token: `elevatedProgram` runs then, against the same
// registry, and its result is the process's exit code.
class FakeElevation : public mgr::IElevation {
  public:
    enum class Account { StandardUser, FilteredAdministrator, ElevatedAdministrator };
    enum class Prompt { Consent, Credentials };

    FakeElevation(FakeRegistry& registry, FakeLauncher& launcher, FakeFileSystem& files)
        : registry_(registry), launcher_(launcher), files_(files) {}

    bool CanWriteMachineKey(const std::string& subKey) override;
    mgr::ElevatedStart StartElevated(const std::string& program,
                                     const std::string& parameters) override;

    // The account this process runs as; it decides the token the registry sees.
    void SetAccount(Account account);
    // The user's answer to the prompt.
    bool declinePrompt = false;
    std::function<std::uint32_t(const std::string& parameters)> elevatedProgram;
    // How long the prompt and the elevated program take, in virtual time.
    std::uint64_t elevatedRunMs = 1500;

    std::vector<Prompt> prompts;  // every prompt shown
    std::vector<std::string> keysAsked;

  private:
    FakeRegistry& registry_;
    FakeLauncher& launcher_;
    FakeFileSystem& files_;
    Account account_ = Account::FilteredAdministrator;
};

// The manager's seams wired together, with the facts of its own version resource.
struct FakeManagerSeams {
    explicit FakeManagerSeams(FakeServices& fake)
        : finder(&fake.files),
          elevation(fake.registry, fake.launcher, fake.files),
          power(fake.registry) {
        fake.files.AddFile(kProgramFile);
    }

    static constexpr const char* kProgramFile = "C:\\Program Files\\Somnivex\\Somniconf.exe";

    FakeFileFinder finder;
    FakeVersionReader versions;
    FakeOpenFileDialog openDialog;
    FakeElevation elevation;
    FakePowerFacts power;
    mgr::ManagerServices services{
        finder,
        versions,
        openDialog,
        elevation,
        {1, 0, 0, "Brellcor", "© 2026 Brellcor", "support@example.com", kProgramFile},
        power};
};
