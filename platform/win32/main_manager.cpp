// WinMain of Somniconf.exe: the settings window, or a save request it started.
#include <windows.h>

#include "platform/win32/Win32Manager.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    Win32Elevation elevation;
    return Win32ManagerMain(instance, elevation);
}
