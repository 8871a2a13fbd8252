// Starting programs: the shell's Open with the process kept (to wait for it), a plain
// command line with a show state, and the shell's default verb for URLs and mail.
#pragma once

#include "common/EventLoop.h"

class Win32Launcher : public ILauncher {
  public:
    std::optional<ProcessHandle> ShellStart(const std::string& file, const std::string& parameters,
                                            int showState) override;
    StartResult StartCommandLine(const std::string& commandLine, int showState) override;
    StartResult StartWithShell(const std::string& file, const std::string& parameters,
                               int showState) override;
    bool ExitCode(ProcessHandle process, std::uint32_t& code) override;
    void CloseProcess(ProcessHandle process) override;
    bool ShellOpen(const std::string& target, int showState) override;
};

// Gives the calling thread the COM apartment the shell's starts need, once.
void EnsureComOnThisThread();
