// The Win32 side of the settings manager's own seams. Declarations only: <windows.h>
// stays in the .cpp file.
#pragma once

#include "manager/ManagerSeams.h"

// FindFirstFileW and FindNextFileW over one folder.
class Win32FileFinder : public mgr::IFileFinder {
  public:
    std::vector<mgr::FoundFile> Find(const std::string& folder,
                                     const std::string& pattern) override;
};

// Reads a file's version resource with our own bounded reader; the system's version
// functions only for files that are no image with resources, and their copy read the same way.
class Win32VersionReader : public mgr::IVersionReader {
  public:
    std::unique_ptr<mgr::IVersionResource> Read(const std::string& path) override;
};

// GetOpenFileNameW, owned by the active window of the program.
class Win32OpenFileDialog : public mgr::IOpenFileDialog {
  public:
    std::optional<std::string> Show(const std::string& filterDescription,
                                    const std::string& pattern,
                                    const std::string& fileName) override;
};

// Version numbers, company, legal notice and comments of the running program.
mgr::ProgramInfo Win32ManagerProgramInfo();
