#include "platform/fake/FakeManager.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

std::string FakeFileFinder::Lower(const std::string& text) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::string FakeFileFinder::FolderKey(const std::string& folder) {
    std::string key = Lower(folder);
    if (key.empty() || key.back() != '\\') key += '\\';
    return key;
}

bool FakeFileFinder::FolderExists(const std::string& key) const {
    return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) {
        return e.isFolder && e.folderKey + Lower(e.name) + "\\" == key;
    });
}

void FakeFileFinder::AddFolder(const std::string& path) {
    std::string folder = path;
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    const auto slash = folder.rfind('\\');
    if (slash == std::string::npos) {
        // A drive root: it has no entry of its own, only what lies in it.
        if (!FolderExists(FolderKey(folder))) entries_.push_back({"", folder, true});
        return;
    }
    if (FolderExists(FolderKey(folder))) return;
    AddFolder(folder.substr(0, slash));
    entries_.push_back({FolderKey(folder.substr(0, slash)), folder.substr(slash + 1), true});
}

void FakeFileFinder::AddFile(const std::string& path) {
    const auto slash = path.rfind('\\');
    AddFolder(path.substr(0, slash));
    entries_.push_back({FolderKey(path.substr(0, slash)), path.substr(slash + 1), false});
    if (files_) files_->AddFile(path);
}

void FakeFileFinder::DenyFolder(const std::string& path) {
    AddFolder(path);
    denied_.push_back(FolderKey(path));
}

std::vector<mgr::FoundFile> FakeFileFinder::Find(const std::string& folder,
                                                 const std::string& pattern) {
    ++finds_;
    const std::string key = FolderKey(folder);
    std::vector<mgr::FoundFile> found;
    if (!FolderExists(key) || std::find(denied_.begin(), denied_.end(), key) != denied_.end())
        return found;
    // Every folder but a drive root lists itself and its parent first.
    if (std::count(key.begin(), key.end(), '\\') > 1)
        for (const char* dots : {".", ".."})
            if (MatchesPattern(dots, pattern)) found.push_back({dots, true});
    for (const Entry& e : entries_)
        if (e.folderKey == key && MatchesPattern(e.name, pattern))
            found.push_back({e.name, e.isFolder});
    return found;
}

bool MatchesPattern(const std::string& name, const std::string& pattern) {
    // "*.*" is every name, with or without a dot, as on Windows.
    if (pattern == "*.*" || pattern == "*") return true;
    const auto fold = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
    std::size_t n = 0, p = 0, starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || fold(pattern[p]) == fold(name[n]))) {
            ++n, ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++, starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1, n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

namespace {

std::string LowerKey(const std::string& text) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

class FakeVersionResource : public mgr::IVersionResource {
  public:
    explicit FakeVersionResource(const FakeVersionReader::Resource& resource) {
        for (const auto& [key, bytes] : resource.values) values_[LowerKey(key)] = bytes;
        for (const auto& [key, text] : resource.texts) texts_[LowerKey(key)] = text;
    }
    std::optional<std::vector<std::uint8_t>> Value(const std::string& subBlock) const override {
        const auto it = values_.find(LowerKey(subBlock));
        if (it == values_.end() || it->second.empty()) return std::nullopt;
        return it->second;
    }
    std::optional<std::string> Text(const std::string& subBlock) const override {
        const auto it = texts_.find(LowerKey(subBlock));
        if (it == texts_.end()) return std::nullopt;
        return it->second.substr(0, it->second.find('\0'));
    }

  private:
    std::map<std::string, std::vector<std::uint8_t>> values_;
    std::map<std::string, std::string> texts_;
};

}  // namespace

std::unique_ptr<mgr::IVersionResource> FakeVersionReader::Read(const std::string& path) {
    ++reads_;
    const auto it = resources_.find(LowerKey(path));
    if (it == resources_.end()) return nullptr;
    return std::make_unique<FakeVersionResource>(it->second);
}

std::vector<std::uint8_t> FakeVersionReader::TranslationBytes(
    const std::vector<std::pair<std::uint16_t, std::uint16_t>>& pairs) {
    std::vector<std::uint8_t> bytes;
    for (const auto& [language, codePage] : pairs)
        for (std::uint16_t word : {language, codePage}) {
            bytes.push_back(static_cast<std::uint8_t>(word & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(word >> 8));
        }
    return bytes;
}

void FakeVersionReader::AddDescription(const std::string& path, const std::string& description,
                                       std::uint16_t language, std::uint16_t codePage) {
    char key[9];
    std::snprintf(key, sizeof key, "%04X%04X", language, codePage);
    Resource resource;
    resource.values["\\VarFileInfo\\Translation"] = TranslationBytes({{language, codePage}});
    resource.texts[std::string("\\StringFileInfo\\") + key + "\\FileDescription"] = description;
    AddResource(path, std::move(resource));
}

void FakeVersionReader::AddResource(const std::string& path, Resource resource) {
    resources_[LowerKey(path)] = std::move(resource);
}

std::optional<std::string> FakeOpenFileDialog::Show(const std::string& filterDescription,
                                                    const std::string& pattern,
                                                    const std::string& fileName) {
    shown.push_back({filterDescription, pattern, fileName});
    if (answers.empty()) return std::nullopt;
    auto answer = answers.front();
    answers.erase(answers.begin());
    return answer;
}

void FakeElevation::SetAccount(Account account) {
    account_ = account;
    registry_.callerElevated = account == Account::ElevatedAdministrator;
}

bool FakeElevation::CanWriteMachineKey(const std::string& subKey) {
    keysAsked.push_back(subKey);
    return !registry_.WritesDenied(reg::kLocalMachine, subKey);
}

mgr::ElevatedStart FakeElevation::StartElevated(const std::string& program,
                                                const std::string& parameters) {
    if (!files_.FileExists(program)) return {std::nullopt, 2};  // ERROR_FILE_NOT_FOUND
    // An elevated token starts elevated programs without asking.
    if (account_ != Account::ElevatedAdministrator) {
        prompts.push_back(account_ == Account::StandardUser ? Prompt::Credentials
                                                            : Prompt::Consent);
        if (declinePrompt) return {std::nullopt, static_cast<std::uint32_t>(win_error::kCancelled)};
    }
    const bool saved = registry_.callerElevated;
    registry_.callerElevated = true;
    const std::uint32_t exitCode = elevatedProgram ? elevatedProgram(parameters) : 0;
    registry_.callerElevated = saved;

    FakeProcess process{program, parameters, "", 0, 0, std::nullopt, false};
    process.exitCode = exitCode;
    launcher_.RunFor(program, elevatedRunMs);
    return {launcher_.Start(std::move(process)), 0};
}
