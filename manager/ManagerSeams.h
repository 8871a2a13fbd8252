// What only the settings manager needs from the platform, beside the common services:
// listing a folder, reading version resources, the Open dialog, elevating the save, a
// few facts from its own version resource, and Windows' own idle timers. Clean of
// <windows.h> names, so the Win32 side can include it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/EventLoop.h"
#include "common/PowerFacts.h"
#include "common/VersionResource.h"

namespace mgr {

// One entry of a folder search, as FindFirstFile and FindNextFile report it.
struct FoundFile {
    std::string name;
    bool isFolder = false;  // attribute bit 16
};

class IFileFinder {
  public:
    virtual ~IFileFinder() = default;
    // The entries of `folder` (ending in "\") whose names match `pattern` ("*.scr"), in
    // the order the search delivers them. Empty when nothing matches or the folder
    // cannot be searched.
    virtual std::vector<FoundFile> Find(const std::string& folder, const std::string& pattern) = 0;
};

// A file's version resource, read once and queried by sub-block path.
class IVersionResource {
  public:
    virtual ~IVersionResource() = default;
    // The bytes of a binary value ("\VarFileInfo\Translation"); nullopt when the value
    // is missing or empty.
    virtual std::optional<std::vector<std::uint8_t>> Value(const std::string& subBlock) const = 0;
    // A text value ("\StringFileInfo\040904B0\FileDescription"), up to its first NUL;
    // nullopt when the value is missing or has length 0.
    virtual std::optional<std::string> Text(const std::string& subBlock) const = 0;
};

class IVersionReader {
  public:
    virtual ~IVersionReader() = default;
    // Null when the file has no version resource or cannot be read.
    virtual std::unique_ptr<IVersionResource> Read(const std::string& path) = 0;
};

class IOpenFileDialog {
  public:
    virtual ~IOpenFileDialog() = default;
    // The Open dialog with one filter entry, starting at `fileName`; the chosen path, or
    // nullopt when the user cancelled. Only existing files can be chosen.
    virtual std::optional<std::string> Show(const std::string& filterDescription,
                                            const std::string& pattern,
                                            const std::string& fileName) = 0;
};

// How the settings get written when this process may not write them itself: Windows'
// own rule for the machine-wide key, and the shell's start of a program with
// administrator rights.
struct ElevatedStart {
    std::optional<ProcessHandle> process;  // to wait for; nullopt when nothing started
    std::uint32_t error = 0;  // Windows' error when nothing started; 1223 for a cancelled prompt
};

class IElevation {
  public:
    virtual ~IElevation() = default;
    // Whether this process, with the token it runs with, may write the values of the
    // key `subKey` of HKEY_LOCAL_MACHINE (in the 32-bit view), or create that key.
    virtual bool CanWriteMachineKey(const std::string& subKey) = 0;
    // Starts `program` with `parameters` through the shell's "runas" verb: Windows asks
    // an administrator's consent, or a standard user for an administrator's password,
    // and runs the program with the full administrator token.
    virtual ElevatedStart StartElevated(const std::string& program,
                                        const std::string& parameters) = 0;
};

// Facts from the manager's own version resource.
struct ProgramInfo {
    int major = 0;
    int minor = 0;
    int revision = 0;
    std::string companyName;
    std::string legalCopyright;
    std::string comments;  // the support e-mail address
    std::string path;      // the running program's file
};

struct ManagerServices {
    IFileFinder& finder;
    IVersionReader& versions;
    IOpenFileDialog& openDialog;
    IElevation& elevation;
    ProgramInfo program;
    // Windows' screen-saver and power settings; last, so the earlier members keep their
    // places.
    IPowerFacts& power;
};

// The description of a file from its version resource, in the first language and code
// page that the resource lists; "" when there is none. Inline so that any layer can use
// it without the manager's library.
inline std::string GetFileDescription(IVersionReader& versions, const std::string& path) {
    if (path.empty()) return {};
    const std::unique_ptr<IVersionResource> resource = versions.Read(path);
    return resource ? ver::DescriptionOf(*resource) : std::string();
}

}  // namespace mgr
