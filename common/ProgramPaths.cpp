#include "common/ProgramPaths.h"

#include <algorithm>
#include <cctype>

namespace {

using refusal::kBadName;
using refusal::kNotFound;
using refusal::kOutside;

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Final paths spell each folder as it is stored, so only the drive letter and the way a
// path was typed can differ in letter case; the names compare as Windows compares them.
std::string Fold(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool StartsWithFolded(const std::string& text, const std::string& head) {
    return text.size() >= head.size() && Fold(text.substr(0, head.size())) == Fold(head);
}

std::string WithBackslash(const std::string& folder) {
    return !folder.empty() && folder.back() == '\\' ? folder : folder + "\\";
}

// The folder a file lies in, with its backslash ("C:\Windows\" of "C:\Windows\x.scr").
std::string FolderOf(const std::string& path) {
    return path.substr(0, path.rfind('\\') + 1);
}

bool HasDotFolder(const std::string& path) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find('\\', start);
        const std::string part = path.substr(start, end - start);
        if (part == "." || part == "..") return true;
        if (end == std::string::npos) return false;
        start = end + 1;
    }
}

// Right in a folder of `direct`, or anywhere below one of `below`, by whole folder names:
// "C:\Program Files Evil\x.exe" does not lie below "C:\Program Files".
bool InAllowedFolder(const std::string& finalPath, const ProgramRoots& roots) {
    const std::string folder = Fold(FolderOf(finalPath));
    for (const std::string& root : roots.direct)
        if (folder == Fold(WithBackslash(root))) return true;
    for (const std::string& root : roots.below)
        if (StartsWithFolded(folder, WithBackslash(root))) return true;
    return false;
}

ProgramVerdict Refused(std::int32_t number, std::string why) {
    return {std::nullopt, {number, "Somnivex", std::move(why)}};
}

}  // namespace

bool IsFullPath(const std::string& path) {
    if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
        IsSeparator(path[2]))
        return true;
    // "\\server\share\..." and "\\?\C:\..."; not "\\.\", which names devices.
    return path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
           !IsSeparator(path[2]) && path[2] != '.';
}

std::string OrdinaryPath(const std::string& finalPath) {
    const std::string unc = "\\\\?\\UNC\\";
    if (StartsWithFolded(finalPath, unc)) return "\\\\" + finalPath.substr(unc.size());
    const std::string local = "\\\\?\\";
    const std::string rest =
        finalPath.rfind(local, 0) == 0 ? finalPath.substr(local.size()) : std::string();
    // Only a drive path loses the prefix: a volume without a drive letter has no other form.
    if (rest.size() >= 2 && std::isalpha(static_cast<unsigned char>(rest[0])) && rest[1] == ':')
        return rest;
    return finalPath;
}

ProgramRoots FindProgramRoots(ISystemFacts& facts, IFileSystem& files) {
    ProgramRoots roots;
    const auto add = [&files](std::vector<std::string>& to, const std::string& folder) {
        // A folder the system cannot name in full would be looked for in the current one.
        if (!IsFullPath(folder)) return;
        const auto final = files.Resolve(folder);
        if (final && final->isFolder && std::find(to.begin(), to.end(), final->path) == to.end())
            to.push_back(final->path);
    };
    add(roots.direct, facts.WindowsDirectory());
    add(roots.direct, facts.SystemDirectory());
    add(roots.direct, facts.SystemWow64Directory());
    for (const KnownFolder folder : {KnownFolder::ProgramFiles, KnownFolder::ProgramFilesX86})
        add(roots.below, facts.KnownFolderPath(folder).value_or(""));
    return roots;
}

ProgramVerdict ProgramCheck::operator()(const std::string& path, PathOrigin origin,
                                        std::string_view extension) const {
    if (path.find('"') != std::string::npos)
        return Refused(kBadName,
                       "It holds a quotation mark (\"), which would end the program's name on "
                       "its command line.");
    if (!IsFullPath(path))
        return Refused(kNotFound,
                       "It is no full path with a drive or a network share, so the system would "
                       "search for it.");
    const bool fromSettings = origin == PathOrigin::kSettings;
    if (fromSettings && (path.find('/') != std::string::npos || HasDotFolder(path)))
        return Refused(kBadName,
                       "It holds a \".\" or \"..\" folder or a \"/\": only a plain path is taken.");
    const std::optional<FinalPath> final = files.Resolve(path);
    if (!final) return Refused(kNotFound, "The system cannot find the file specified.");
    if (final->isFolder) return Refused(kNotFound, "It is a folder, not a program.");
    const std::string& reached = final->path;
    if (!extension.empty() &&
        (reached.size() < extension.size() ||
         Fold(reached.substr(reached.size() - extension.size())) != Fold(std::string(extension))))
        return Refused(kNotFound, "It is no \"*" + std::string(extension) + "\" file.");
    if (fromSettings && !InAllowedFolder(reached, roots)) {
        std::string folder = FolderOf(reached);
        if (folder.size() > 3) folder.pop_back();  // "C:\" keeps its backslash
        const std::string where = Fold(reached) == Fold(path)
                                      ? "It lies in " + folder
                                      : "It leads to " + reached + ", in " + folder;
        return Refused(kOutside,
                       where +
                           ". Programs that run for every user must lie directly in the Windows "
                           "or system folder, or in Program Files, where only administrators "
                           "can change them.");
    }
    return {CheckedProgram(reached), {}};
}
