#include "platform/win32/Win32Program.h"

#include <windows.h>

Win32Program::Win32Program(void* instance, const wchar_t* mutexName, std::string title)
    : strings_(instance),
      forms_(loop_, instance),
      services{registry_,
               strings_,
               clock_,
               files_,
               messageBox_,
               facts_,
               loop_,
               launcher_,
               forms_,
               Win32ProgramFolder(),
               std::move(title),
               Win32ModuleVersionString("ProductName")} {
    // The mutex lives as long as the program, so a later start sees it.
    if (!mutexName) return;
    mutex_ = CreateMutexW(nullptr, FALSE, mutexName);
    anotherInstance_ = mutex_ != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
}

Win32Program::~Win32Program() {
    if (mutex_) CloseHandle(static_cast<HANDLE>(mutex_));
}
