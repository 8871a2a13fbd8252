// WinMain of Somniconf.exe: builds the Win32 side of every seam and runs the program.
#include <windows.h>

#include "manager/Entry.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32FormHost.h"
#include "platform/win32/Win32Launcher.h"
#include "platform/win32/Win32Manager.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Registry.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // One copy per session; the command line is ignored.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Local\\Somnivex.Manager");
    const bool anotherInstance = mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;

    Win32RegistryPort registry;
    Win32StringSource strings(instance);
    Win32Clock clock;
    Win32FileSystem files;
    Win32MessageBoxUi messageBox;
    Win32SystemFacts facts;
    Win32EventLoop loop;
    Win32Launcher launcher;
    Win32FormHost forms(loop, instance);
    const std::string folder = Win32ProgramFolder();
    Services services{registry,
                      strings,
                      clock,
                      files,
                      messageBox,
                      facts,
                      loop,
                      launcher,
                      forms,
                      folder,
                      "Somnivex Manager",
                      Win32ModuleVersionString("ProductName")};

    Win32FileFinder finder;
    Win32VersionReader versions;
    Win32OpenFileDialog openDialog;
    mgr::ManagerServices manager{finder, versions, openDialog, Win32ManagerProgramInfo()};

    const int exitCode = mgr::RunProgram(services, manager, anotherInstance);
    if (mutex) CloseHandle(mutex);
    return exitCode;
}
