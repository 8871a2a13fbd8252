// A job object that ends its processes when its last handle closes. Only we hold that
// handle, and the system closes it when this process ends, however it ends (Windows'
// dialog ends a preview with TerminateProcess), so nothing started here outlives us.
// Each program is created suspended and runs only once it is in the job: it cannot
// start anything outside the job first.
#include "platform/win32/Win32ProcessJob.h"

#include <windows.h>

#include "platform/win32/ScopedWin32.h"
#include "platform/win32/Win32Platform.h"

namespace {

class Win32ProcessTie : public scr::IProcessTie {
  public:
    ~Win32ProcessTie() override { EndAll(); }

    StartResult StartTied(const std::string& program, const std::string& commandLine) override {
        if (!job_ && !MakeJob()) return Failed();
        const std::wstring application = Widen(program);
        std::wstring line = Widen(commandLine);
        line.push_back(L'\0');  // CreateProcessW may write into its command line
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        // No handles inherited: the program gets nothing of ours but its window.
        if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE,
                            CREATE_SUSPENDED, nullptr, nullptr, &startup, &info))
            return Failed();
        win::UniqueHandle process(info.hProcess), thread(info.hThread);
        if (!AssignProcessToJobObject(job_, process)) {
            const StartResult failed = Failed();
            TerminateProcess(process, 1);
            return failed;
        }
        if (ResumeThread(thread) == static_cast<DWORD>(-1)) {
            const StartResult failed = Failed();
            TerminateJobObject(job_, 1);
            return failed;
        }
        return {true, {}};
    }

    void EndAll() override {
        if (!job_) return;
        TerminateJobObject(job_, 0);
        job_.Reset();
    }

  private:
    static StartResult Failed() { return {false, Win32ErrorInfo(GetLastError())}; }

    bool MakeJob() {
        win::UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
        if (!job) return false;
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                                     sizeof limits))
            return false;
        job_ = std::move(job);
        return true;
    }

    win::UniqueHandle job_;
};

}  // namespace

std::unique_ptr<scr::IProcessTie> NewWin32ProcessTie() {
    return std::make_unique<Win32ProcessTie>();
}
