// WinMain of Somniconf.exe: the settings window, or a save request it started.
#include <windows.h>

#include "platform/win32/Win32Manager.h"
#include "platform/win32/Win32Platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Before anything can load a DLL: only from the system folder, never from the
    // program's folder or the current one, where someone may have put one.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    try {
        Win32Elevation elevation;
        return Win32ManagerMain(instance, elevation);
    } catch (...) {
        return Win32ReportUnhandledError("Somnivex Manager");
    }
}
