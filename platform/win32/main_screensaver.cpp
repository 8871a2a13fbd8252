// WinMain of Somnivex.scr: builds the Win32 side of every seam and runs the program.
#include <windows.h>

#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32HoldFacts.h"
#include "platform/win32/Win32PreviewPane.h"
#include "platform/win32/Win32ProcessJob.h"
#include "platform/win32/Win32Program.h"
#include "screensaver/Entry.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Before anything can load a DLL: only from the system folder, never from the
    // program's folder or the current one, where someone may have put one.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    try {
        const std::string arguments = Win32CommandLineArguments();
        // One copy per session: Windows may start the screen saver again while a run waits.
        // A preview takes no part: it must neither stop a run nor be stopped by one.
        const bool preview = scr::IsPreview(arguments);
        Win32Program program(instance, preview ? nullptr : L"Local\\Somnivex.ScreenSaver",
                             "SCRNSAVE:Somnivex");
        const auto shutdownApi = NewWin32ShutdownApi();
        const auto desktop = NewWin32Desktop();
        const auto holdFacts = NewWin32HoldFacts();
        const auto previewWindows = NewWin32PreviewWindows(instance);
        const auto tie = NewWin32ProcessTie();
        const scr::PreviewServices previewServices{*previewWindows, *tie, Win32ProgramFile()};
        scr::ShutdownServices shutdown{*shutdownApi, *desktop, *holdFacts, &previewServices};
        const int code =
            scr::RunProgram(program.services, shutdown, arguments, program.AnotherInstance());
        // The user may just have come back: nothing is left to do but end, at once. (A
        // preview's programs are ended already; the system would end them now anyway.)
        program.End(code);
    } catch (...) {
        return Win32ReportUnhandledError("SCRNSAVE:Somnivex");
    }
}
