#include "platform/win32/Win32Program.h"

#include "platform/win32/ScopedWin32.h"

struct Win32Program::Mutex {
    win::UniqueHandle handle;
};

Win32Program::Win32Program(void* instance, const wchar_t* mutexName, std::string title)
    : strings_(instance),
      forms_(NewWin32FormHost(*loop_, instance)),
      services{*registry_,
               strings_,
               clock_,
               files_,
               messageBox_,
               facts_,
               *loop_,
               *launcher_,
               *forms_,
               events_,
               Win32ProgramFolder(),
               std::move(title),
               Win32ModuleVersionString("ProductName")} {
    // The mutex lives as long as the program, so a later start sees it.
    if (!mutexName) return;
    mutex_ = std::make_unique<Mutex>();
    mutex_->handle.Reset(CreateMutexW(nullptr, FALSE, mutexName));
    anotherInstance_ = mutex_->handle && GetLastError() == ERROR_ALREADY_EXISTS;
}

Win32Program::~Win32Program() = default;
