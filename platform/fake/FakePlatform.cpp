#include "platform/fake/FakePlatform.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>

class FakeAppendFile : public IAppendFile {
  public:
    FakeAppendFile(FakeFileSystem& fs, std::string key) : fs_(fs), key_(std::move(key)) {
        ++fs_.openNow_;
    }
    ~FakeAppendFile() override { --fs_.openNow_; }
    bool WriteLine(const std::string& text) override {
        if (fs_.writesLeft_ == 0) return false;
        if (fs_.writesLeft_ > 0) --fs_.writesLeft_;
        fs_.files_[key_] += text + "\r\n";
        return true;
    }

  private:
    FakeFileSystem& fs_;
    std::string key_;
};

std::string FakeFileSystem::Key(const std::string& path) {
    std::string key = path;
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return key;
}

namespace {

// `path` lies below the folder `key`.
bool Below(const std::string& path, const std::string& key) {
    return path.size() > key.size() && path.compare(0, key.size(), key) == 0 &&
           path[key.size()] == '\\';
}

// The path as GetFullPathName makes it, or "" for one that names no drive or share.
std::string FullPath(std::string path) {
    if (path.rfind("\\\\?\\", 0) == 0) path.erase(0, 4);
    std::replace(path.begin(), path.end(), '/', '\\');
    // The root: "C:" of a drive path, "\\server\share" of a network one.
    const bool drive = path.size() >= 3 && path[1] == ':' && path[2] == '\\';
    const auto server = path.rfind("\\\\", 0) == 0 ? path.find('\\', 2) : std::string::npos;
    const auto root = drive                         ? 2
                      : server == std::string::npos ? server
                                                    : path.find('\\', server + 1);
    if (root == std::string::npos) return {};
    std::vector<std::string> parts;
    std::istringstream rest(path.substr(root));
    for (std::string part; std::getline(rest, part, '\\');) {
        if (part == ".." && !parts.empty()) parts.pop_back();
        if (!part.empty() && part != "." && part != "..") parts.push_back(part);
    }
    std::string full = path.substr(0, root);
    for (const std::string& part : parts) full += "\\" + part;
    return full;
}

}  // namespace

bool FakeFileSystem::FolderExists(const std::string& key) const {
    if (key.size() == 2 && key[1] == ':') return true;  // "c:" of "c:\x.log"
    if (folders_.count(key)) return true;
    for (const auto& [file, content] : files_)
        if (Below(file, key)) return true;
    for (const std::string& folder : folders_)
        if (Below(folder, key)) return true;
    return false;
}

void FakeFileSystem::AddLink(const std::string& from, const std::string& target) {
    links_[Key(FullPath(from))] = target;
}

std::optional<FinalPath> FakeFileSystem::Resolve(const std::string& path) {
    std::string full = FullPath(path);
    // The outermost link is followed first; the system gives up on a loop.
    for (int hops = 0; !full.empty() && hops < 32; ++hops) {
        const std::string key = Key(full);
        auto link = links_.end();
        for (auto it = links_.begin(); it != links_.end(); ++it)
            if ((key == it->first || Below(key, it->first)) &&
                (link == links_.end() || it->first.size() < link->first.size()))
                link = it;
        if (link == links_.end()) {
            if (files_.count(key)) return FinalPath{full, false};
            if (FolderExists(key)) return FinalPath{full, true};
            return std::nullopt;
        }
        full = FullPath(link->second + full.substr(link->first.size()));
    }
    return std::nullopt;
}

std::unique_ptr<IAppendFile> FakeFileSystem::OpenAppend(const std::string& path) {
    const std::string key = Key(path);
    if (path.empty() || denied_.count(key)) return nullptr;
    const auto slash = key.rfind('\\');
    if (!files_.count(key) && (slash == std::string::npos || !FolderExists(key.substr(0, slash))))
        return nullptr;
    ++opens_;
    files_.try_emplace(key);
    return std::make_unique<FakeAppendFile>(*this, key);
}

bool FakeFileSystem::FileExists(const std::string& path) {
    return files_.count(Key(path)) != 0;
}

void FakeFileSystem::AddFile(const std::string& path, const std::string& content) {
    files_[Key(path)] = content;
}

std::string FakeFileSystem::Content(const std::string& path) const {
    const auto it = files_.find(Key(path));
    return it == files_.end() ? std::string() : it->second;
}

std::vector<std::string> FakeFileSystem::Lines(const std::string& path) const {
    std::vector<std::string> lines;
    const std::string text = Content(path);
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

namespace {

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}
int DaysIn(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

}  // namespace

LocalTime FakeClock::Now() {
    // Whole seconds from the base time, carried through minutes, hours, days and months.
    std::int64_t seconds = wallMs_ >= 0 ? wallMs_ / 1000 : -((-wallMs_ + 999) / 1000);
    LocalTime t = base_;
    std::int64_t total = t.hour * 3600 + t.minute * 60 + t.second + seconds;
    std::int64_t dayShift = total >= 0 ? total / 86400 : -((-total + 86399) / 86400);
    total -= dayShift * 86400;
    t.hour = static_cast<int>(total / 3600);
    t.minute = static_cast<int>(total / 60 % 60);
    t.second = static_cast<int>(total % 60);
    for (; dayShift > 0; --dayShift)
        if (++t.day > DaysIn(t.year, t.month)) {
            t.day = 1;
            if (++t.month > 12) t.month = 1, ++t.year;
        }
    for (; dayShift < 0; ++dayShift)
        if (--t.day < 1) {
            if (--t.month < 1) t.month = 12, --t.year;
            t.day = DaysIn(t.year, t.month);
        }
    return t;
}

void FakeClock::SetWallClock(const LocalTime& time) {
    base_ = time;
    wallMs_ = 0;
}

std::string FakeClock::FormatGeneralDate(const LocalTime& t) {
    // US English, the format the examples use: 4/1/2000 10:41:49 PM.
    char buffer[64];
    const int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
    std::snprintf(buffer, sizeof buffer, "%d/%d/%d %d:%02d:%02d %s", t.month, t.day, t.year, hour12,
                  t.minute, t.second, t.hour < 12 ? "AM" : "PM");
    return buffer;
}

int FakeMessageBoxUi::Show(const std::string& text, const std::string& title, int style) {
    shown.push_back({text, title, style});
    if (whileShown) whileShown();
    if (answers.empty()) return mb::kResultOk;
    const int answer = answers.front();
    answers.erase(answers.begin());
    return answer;
}

int FakeSystemFacts::LocaleInfo(std::uint32_t loc, std::uint32_t kind, std::string& text,
                                int capacity) {
    const auto it = localeStrings.find({loc, kind});
    if (it == localeStrings.end()) return 0;
    const int needed = static_cast<int>(it->second.size()) + 1;
    if (capacity == 0) return needed;
    if (capacity < needed) return 0;  // ERROR_INSUFFICIENT_BUFFER
    text = it->second;
    return needed;
}

int FakeSystemFacts::DriveType(const std::string& root) {
    if (root.size() != 3 || root[1] != ':' || root[2] != '\\') return 1;
    const auto it =
        drives.find(static_cast<char>(std::toupper(static_cast<unsigned char>(root[0]))));
    return it == drives.end() ? 1 : it->second;
}

std::optional<std::string> FakeSystemFacts::KnownFolderPath(KnownFolder folder) {
    const auto it = knownFolders.find(folder);
    if (it == knownFolders.end()) return std::nullopt;
    return it->second;
}

std::optional<std::string> FakeSystemFacts::ReadNumber(const std::string& text, std::uint32_t loc) {
    const auto separator = decimalSeparators.find(loc == kUserDefaultLocale ? userLocale : loc);
    if (separator == decimalSeparators.end()) return std::nullopt;
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0, end = text.size();
    while (i < end && isBlank(text[i])) ++i;
    while (end > i && isBlank(text[end - 1])) --end;
    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::string digits;
    for (; i < end && isDigit(text[i]); ++i) digits += text[i];
    int exponent = 0;
    if (i < end && text.compare(i, separator->second.size(), separator->second) == 0)
        for (i += separator->second.size(); i < end && isDigit(text[i]); ++i, --exponent)
            digits += text[i];
    if (digits.empty() || i != end) return std::nullopt;
    return PlainDecimal(negative, digits, exponent);
}
