// Virtual time for the event loop and started programs: a wait moves the fake clock
// straight to the next thing that can happen, so a 30-minute run takes milliseconds.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/EventLoop.h"
#include "platform/fake/FakePlatform.h"

class FakeLauncher;

class FakeEventLoop : public IEventLoop {
  public:
    explicit FakeEventLoop(FakeClock& clock) : clock_(clock) {}

    void ProcessPendingEvents() override;
    TimerId StartTimer(std::uint32_t intervalMs, std::function<void()> tick) override;
    TimerId StartTimerAt(std::uint64_t dueMs, std::function<void()> tick) override;
    void StopTimer(TimerId id) override;
    void RunUntil(const std::function<bool()>& done) override;
    bool WaitForProcess(ProcessHandle process, const std::function<bool()>& stop) override;
    void OnPowerChange(std::function<void(const PowerChange&)> handler) override {
        powerHandler_ = std::move(handler);
    }

    // Scripting: `action` runs once, `ms` from now, as if the user did something then.
    void At(std::uint64_t ms, std::function<void()> action);
    void SetLauncher(FakeLauncher* launcher) { launcher_ = launcher; }
    // The computer sleeps `asleepMs`, `ms` from now: Windows' two notices, one after the
    // other, at the same moment of the steady clock, which stands still while it sleeps.
    void SleepAt(std::uint64_t ms, std::uint64_t asleepMs);
    // A quit message, as WM_QUIT: from now on every wait returns once it has handled
    // what is due, as the program is being closed.
    void PostQuit() { quit_ = true; }
    std::size_t ActiveTimers() const { return timers_.size(); }
    // How often a wait woke up to handle something.
    int Wakeups() const { return wakeups_; }
    // A wait that would pass this much virtual time is a test that would hang.
    std::uint64_t limitMs = 7ull * 24 * 3600 * 1000;

  private:
    struct Timer {
        std::uint64_t start;
        std::uint32_t interval;
        std::uint64_t ticks;
        bool periodic;
        std::function<void()> tick;
        std::uint64_t Due() const { return start + (ticks + 1) * interval; }
    };
    std::optional<std::uint64_t> NextDue() const;
    // Moves time to the next due event (or `also`, if earlier); false when nothing is due.
    void AdvanceToNext(std::uint64_t waitStart, std::optional<std::uint64_t> also);

    FakeClock& clock_;
    FakeLauncher* launcher_ = nullptr;
    std::map<TimerId, Timer> timers_;
    TimerId nextId_ = 1;
    int wakeups_ = 0;
    bool quit_ = false;
    std::function<void(const PowerChange&)> powerHandler_;
};

struct FakeProcess {
    std::string file;
    std::string parameters;
    std::string commandLine;  // for command-line starts
    int showState = 0;
    std::uint64_t startedAt = 0;
    std::optional<std::uint64_t> endsAt;  // nullopt: runs until the test ends
    bool handleClosed = false;
    bool viaShell = false;       // started by the shell rather than CreateProcess
    std::uint32_t exitCode = 0;  // what the process returns when it has ended
};

// Starts "programs" that exist in the fake file system; each runs for the time the test
// gave for its path (by default: until the test ends).
class FakeLauncher : public ILauncher {
  public:
    FakeLauncher(FakeClock& clock, FakeFileSystem& files) : clock_(clock), files_(files) {}

    std::optional<ProcessHandle> ShellStart(const std::string& file, const std::string& parameters,
                                            int showState) override;
    StartResult StartCommandLine(const std::string& commandLine, int showState) override;
    StartResult StartWithShell(const std::string& file, const std::string& parameters,
                               int showState) override;
    bool ExitCode(ProcessHandle process, std::uint32_t& code) override;
    void CloseProcess(ProcessHandle process) override;
    bool ShellOpen(const std::string& target, int showState) override;

    // Scripting.
    void RunFor(const std::string& path, std::uint64_t ms) { runFor_[Key(path)] = ms; }
    std::set<std::string> refuseExitCode;  // paths whose exit code cannot be read
    // Programs whose manifest asks for administrator rights: CreateProcess refuses them
    // with 740; the shell asks the user, who may decline (1223). Paths in lower case.
    std::set<std::string> asksForAdministrator;
    bool declineElevation = false;
    // An error the shell answers with instead of starting (a policy, a broken file).
    std::int32_t shellError = 0;
    // Records a started process; its handle.
    ProcessHandle Start(FakeProcess process);
    std::set<std::string> refuseWait;          // paths whose handle cannot be waited on
    std::set<std::string> startWithoutHandle;  // paths the shell starts but gives no handle
    // False for no handle, a closed one, or one of `refuseWait`.
    bool CanWaitOn(ProcessHandle process) const;
    std::optional<std::uint64_t> EndTime(ProcessHandle process) const;
    bool HasEnded(ProcessHandle process) const;
    // Ends a running process now, as the user's return ends a screen saver.
    void End(ProcessHandle process);

    std::vector<FakeProcess> started;  // handle h is started[h - 1]
    // Called at every start, with the process as recorded.
    std::function<void(const FakeProcess&)> onStart;
    std::vector<std::string> opened;   // ShellOpen targets
    std::set<std::string> refuseOpen;  // targets no program will open (kept as given)
    int OpenHandles() const;

  private:
    static std::string Key(const std::string& path);
    FakeProcess* Find(ProcessHandle process);
    const FakeProcess* Find(ProcessHandle process) const;

    FakeClock& clock_;
    FakeFileSystem& files_;
    std::map<std::string, std::uint64_t> runFor_;
};

// The program named by a command line: the quoted first part, or everything up to the
// first blank.
std::string ProgramOfCommandLine(const std::string& commandLine);
