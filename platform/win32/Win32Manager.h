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
// functions only for files that are no PE image, and their copy read the same way.
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

// Version numbers, company, legal notice and comments of the running program, and its
// file.
mgr::ProgramInfo Win32ManagerProgramInfo();

// Windows' own answer to whether this process may write the key (an open for the access
// a save needs), and the shell's "runas" start.
class Win32Elevation : public mgr::IElevation {
  public:
    bool CanWriteMachineKey(const std::string& subKey) override;
    mgr::ElevatedStart StartElevated(const std::string& program,
                                     const std::string& parameters) override;
};

// The whole of Somniconf.exe after WinMain: a save request when the command line holds
// one, else the settings window. Returns the exit code. In main_manager_entry.cpp, which
// only the programs that link the manager's code compile.
int Win32ManagerMain(void* instance, mgr::IElevation& elevation);
