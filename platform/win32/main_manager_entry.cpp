// Somniconf.exe after WinMain, kept apart from the Win32 library because it reaches the
// manager's own code: the real program and the end-to-end tests' stand-in share it.
#include <string>
#include <vector>

#include "manager/Entry.h"
#include "manager/SaveRequest.h"
#include "platform/win32/Win32Manager.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32PowerFacts.h"
#include "platform/win32/Win32Program.h"

int Win32ManagerMain(void* instance, mgr::IElevation& elevation) {
    const std::vector<std::string> arguments = mgr::SplitArguments(Win32CommandLineArguments());
    // A save request runs beside the window that asked for it, so the one-copy rule
    // leaves it alone.
    const bool saveRequest = mgr::IsSaveRequest(arguments);
    Win32Program program(instance, saveRequest ? nullptr : L"Local\\Somnivex.Manager",
                         "Somnivex Manager");
    const auto power = NewWin32PowerFacts();
    if (saveRequest)
        return static_cast<int>(
            mgr::RunSaveRequest(program.services, arguments, power->Capabilities()));

    Win32FileFinder finder;
    Win32VersionReader versions;
    Win32OpenFileDialog openDialog;
    mgr::ManagerServices manager{finder, versions, openDialog, elevation, Win32ManagerProgramInfo(),
                                 *power};
    return mgr::RunProgram(program.services, manager, program.AnotherInstance());
}
