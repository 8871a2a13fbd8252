// WinMain of Somniconf.exe: builds the Win32 side of every seam and runs the program.
#include <windows.h>

#include "manager/Entry.h"
#include "platform/win32/Win32Manager.h"
#include "platform/win32/Win32Program.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Before anything can load a DLL: only from the system folder, never from the
    // program's folder or the current one, where someone may have put one.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    try {
        // One copy per session; the command line is ignored.
        Win32Program program(instance, L"Local\\Somnivex.Manager", "Somnivex Manager");
        Win32FileFinder finder;
        Win32VersionReader versions;
        Win32OpenFileDialog openDialog;
        mgr::ManagerServices manager{finder, versions, openDialog, Win32ManagerProgramInfo()};
        return mgr::RunProgram(program.services, manager, program.AnotherInstance());
    } catch (...) {
        return Win32ReportUnhandledError("Somnivex Manager");
    }
}
