// The Win32 side of the screen saver's shutdown seams. No <windows.h> here.
#pragma once

#include "screensaver/ShutdownSeams.h"

class Win32ShutdownApi : public IShutdownApi {
  public:
    ErrorInfo AdjustShutdownPrivilege() override;
    ErrorInfo RequestExit(std::uint32_t flags, std::uint32_t reason) override;
};

class Win32Desktop : public IDesktop {
  public:
    std::vector<WindowRef> TopLevelWindows() override;
    std::uint32_t Style(WindowRef window) override;
    std::uint32_t ExStyle(WindowRef window) override;
    std::string ClassName(WindowRef window) override;
    std::uint32_t ProcessIdOf(WindowRef window) override;
    std::uint32_t CurrentProcessId() override;
    bool IsTopLevelWindow(WindowRef window) override;
    bool Post(WindowRef window, std::uint32_t message, std::uintptr_t wParam,
              std::intptr_t lParam) override;
    bool SendWithTimeout(WindowRef window, std::uint32_t message, std::uintptr_t wParam,
                         std::intptr_t lParam, std::uint32_t flags, std::uint32_t timeoutMs,
                         std::intptr_t& reply) override;
    ProcessRef OpenProcess(std::uint32_t access, std::uint32_t processId) override;
    bool TerminateProcess(ProcessRef process, std::uint32_t exitCode) override;
    void CloseProcess(ProcessRef process) override;
    std::string ExecutableName(std::uint32_t processId) override;
    std::uint32_t TickCount() override;
};
