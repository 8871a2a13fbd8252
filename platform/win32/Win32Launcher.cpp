#include "platform/win32/Win32Launcher.h"

#include <windows.h>

#include <algorithm>
// After <windows.h>, which they need.
#include <objbase.h>
#include <shellapi.h>

#include <string>

#include "platform/win32/ScopedWin32.h"
#include "platform/win32/Win32Platform.h"

// ShellExecute(Ex) may hand the work to COM objects (shell extensions); they need an
// apartment on the calling thread. It stays for the thread's life, not a call's: the
// shell may keep such objects past the call that made them.
void EnsureComOnThisThread() {
    thread_local bool done = false;
    if (done) return;
    done = true;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
}

namespace {

class Win32Launcher : public ILauncher {
  public:
    std::optional<ProcessHandle> ShellStart(const std::string& file, const std::string& parameters,
                                            int showState) override {
        const std::wstring wideFile = Widen(file);
        // Only files are started this way. A path that names none goes no further: the shell
        // would search for it, and some shells overrun a buffer on a very long one.
        const DWORD attributes = GetFileAttributesW(wideFile.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return std::nullopt;
        EnsureComOnThisThread();
        // The shell puts a blank between the file and its parameters itself.
        const std::wstring wideParameters = Widen(
            parameters.substr(std::min(parameters.size(), parameters.find_first_not_of(' '))));
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        // NOASYNC: the call may return before a DDE or COM start has finished otherwise.
        info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
        info.lpVerb = L"open";
        info.lpFile = wideFile.c_str();
        info.lpParameters = wideParameters.empty() ? nullptr : wideParameters.c_str();
        info.nShow = showState;
        if (!ShellExecuteExW(&info)) return std::nullopt;
        return reinterpret_cast<ProcessHandle>(info.hProcess);  // may be null: started all the same
    }

    StartResult StartCommandLine(const std::string& commandLine, int showState) override {
        std::wstring line = Widen(commandLine);
        line.push_back(L'\0');  // CreateProcessW may write into its command line
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(showState);
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process))
            return {false, Win32ErrorInfo(GetLastError())};
        // Started and left to run: neither handle is needed.
        const win::UniqueHandle thread(process.hThread), started(process.hProcess);
        return {true, {}};
    }

    StartResult StartWithShell(const std::string& file, const std::string& parameters,
                               int showState) override {
        EnsureComOnThisThread();
        const std::wstring wideFile = Widen(file);
        const std::wstring wideParameters = Widen(parameters);
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        // The caller reports a failure itself; the elevation prompt is no error and still shows.
        info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
        info.lpVerb = L"open";
        info.lpFile = wideFile.c_str();
        info.lpParameters = wideParameters.empty() ? nullptr : wideParameters.c_str();
        info.nShow = showState;
        if (!ShellExecuteExW(&info)) return {false, Win32ErrorInfo(GetLastError())};
        return {true, {}};
    }

    bool ExitCode(ProcessHandle process, std::uint32_t& code) override {
        DWORD exitCode = 0;
        if (!GetExitCodeProcess(reinterpret_cast<HANDLE>(process), &exitCode)) return false;
        code = exitCode;
        return true;
    }

    void CloseProcess(ProcessHandle process) override {
        if (process != 0) CloseHandle(reinterpret_cast<HANDLE>(process));
    }

    bool ShellOpen(const std::string& target, int showState) override {
        EnsureComOnThisThread();
        const HINSTANCE result =
            ShellExecuteW(nullptr, nullptr, Widen(target).c_str(), nullptr, nullptr, showState);
        return reinterpret_cast<INT_PTR>(result) > 32;
    }
};

}  // namespace

std::unique_ptr<ILauncher> NewWin32Launcher() {
    return std::make_unique<Win32Launcher>();
}
