// What both programs' WinMain build first: the single-instance test and the Win32 side
// of every common seam, bundled as Services. No <windows.h> here.
#pragma once

#include <memory>
#include <string>

#include "common/Services.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32EventSink.h"
#include "platform/win32/Win32FormHost.h"
#include "platform/win32/Win32Launcher.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Registry.h"

class Win32Program {
  public:
    // `mutexName` names the program's single-instance mutex ("Local\..." for one per
    // session; null for a start that takes no part in the rule); `title` titles its
    // plain message boxes.
    Win32Program(void* instance, const wchar_t* mutexName, std::string title);
    ~Win32Program();
    Win32Program(const Win32Program&) = delete;
    Win32Program& operator=(const Win32Program&) = delete;

    // Whether another copy of the program was already running at start.
    bool AnotherInstance() const { return anotherInstance_; }
    // Ends the process with `exitCode` once the events written so far have reached the
    // log, without tearing down what the program built (EndProcessOnceWritten).
    [[noreturn]] void End(int exitCode) { EndProcessOnceWritten(events_, exitCode); }

  private:
    struct Mutex;  // the single-instance mutex's handle, in the .cpp
    std::unique_ptr<Mutex> mutex_;
    bool anotherInstance_ = false;
    // First, so it is destroyed last: whatever the other parts write on their way out
    // still reaches the log.
    Win32EventSink events_;
    std::unique_ptr<IRegistryPort> registry_ = NewWin32Registry();
    Win32StringSource strings_;
    Win32Clock clock_;
    Win32FileSystem files_;
    Win32MessageBoxUi messageBox_;
    Win32SystemFacts facts_;
    std::unique_ptr<IWin32EventLoop> loop_ = NewWin32EventLoop();
    std::unique_ptr<ILauncher> launcher_ = NewWin32Launcher();
    std::unique_ptr<IWin32FormHost> forms_;

  public:
    Services services;
};
