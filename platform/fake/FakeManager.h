// In-memory stand-ins for the settings manager's own seams: a scripted file tree to
// search, version resources by path, and an Open dialog that answers from a script.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "manager/ManagerSeams.h"
#include "platform/fake/FakePlatform.h"

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

// The manager's seams wired together, with the facts of its own version resource.
struct FakeManagerSeams {
    explicit FakeManagerSeams(FakeFileSystem& files) : finder(&files) {}

    FakeFileFinder finder;
    FakeVersionReader versions;
    FakeOpenFileDialog openDialog;
    mgr::ManagerServices services{finder,
                                  versions,
                                  openDialog,
                                  {1, 0, 0, "Brellcor", "© 2026 Brellcor", "support@example.com"}};
};
