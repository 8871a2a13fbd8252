// Which programs a machine-wide setting may start. The chosen screen saver, the launcher
// and the settings manager are started in the session of every user of the computer
// from paths in the machine-wide key, so each must be a file that only administrators
// can change: one directly in the Windows folder or a system folder (never in a folder
// below them: some, such as Temp and Tasks, let users write), or anywhere below Program
// Files or Program Files (x86). Where a path lies is decided on the path the system
// reaches when it opens the file, so no "..", "/", junction or link leads from an
// allowed folder into another; that final path is also what gets started. A path that a
// Group Policy sets is the administrators' own word and may lie anywhere, a share
// included, but it must still exist. No program path may hold a quote: it would end the
// quoted path on a command line and hand the rest to the program as its arguments.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Platform.h"
#include "common/RaisedError.h"

// A path that names one place whatever the current folder and drive: a drive letter, a
// colon and a backslash ("C:\..."), or a network or long path ("\\server\...",
// "\\?\C:\..."). The system would look for anything else in the current folder or drive
// or along its search order.
bool IsFullPath(const std::string& path);

// A final path as the system gives it ("\\?\C:\...", "\\?\UNC\server\share\...") in
// the form people and the shell use ("C:\...", "\\server\share\...").
std::string OrdinaryPath(const std::string& finalPath);

// The folders that programs may lie in, as final paths.
struct ProgramRoots {
    std::vector<std::string> direct;  // a program right in one of these folders
    std::vector<std::string> below;   // a program anywhere below one of these
};
// This computer's: the Windows folder, the system folders, and both Program Files.
// A folder that does not exist, or cannot be opened, is left out.
ProgramRoots FindProgramRoots(ISystemFacts& facts, IFileSystem& files);

// Who set the path: the computer's settings, which an administrator may have been asked
// to save for a user, or a Group Policy.
enum class PathOrigin { kSettings, kPolicy };

// A program that passed the check; only the check makes one.
class CheckedProgram {
  public:
    // The final path, to be started.
    const std::string& Path() const { return path_; }

  private:
    friend struct ProgramCheck;
    explicit CheckedProgram(std::string path) : path_(std::move(path)) {}
    std::string path_;
};

// The numbers of a refusal, Windows' own for the same fault.
namespace refusal {
constexpr std::int32_t kNotFound = 2;   // no such file, or no full path: nothing to start
constexpr std::int32_t kOutside = 5;    // outside the allowed folders
constexpr std::int32_t kBadName = 123;  // a quote, a "." or ".." folder, or a "/"
}  // namespace refusal

struct ProgramVerdict {
    std::optional<CheckedProgram> program;  // set when it may be started
    ErrorInfo refusal;                      // why not, otherwise, in one sentence
};

struct ProgramCheck {
    IFileSystem& files;
    const ProgramRoots& roots;
    // The verdict on `path`; `extension` (".scr"), when given, is the only kind of file
    // taken, in any letter case.
    ProgramVerdict operator()(const std::string& path, PathOrigin origin,
                              std::string_view extension = {}) const;
};
