// WinMain of Somnivex.scr: builds the Win32 side of every seam and runs the program.
#include <windows.h>

#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32FormHost.h"
#include "platform/win32/Win32Launcher.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Registry.h"
#include "screensaver/Entry.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // One copy per session: Windows may start the screen saver again while a run waits.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Local\\Somnivex.ScreenSaver");
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
    Services services{registry,    strings,  clock, files, messageBox, facts, loop, launcher,
                      forms,       folder,   "SCRNSAVE:Somnivex",
                      Win32ModuleVersionString("ProductName")};

    Win32ShutdownApi shutdownApi;
    Win32Desktop desktop;
    scr::ShutdownServices shutdown{shutdownApi, desktop};

    const int exitCode =
        scr::RunProgram(services, shutdown, Win32CommandLineArguments(), anotherInstance);
    if (mutex) CloseHandle(mutex);
    return exitCode;
}
