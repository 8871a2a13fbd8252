// The event loop and the program launcher: the seams every wait of the programs goes
// through. Each program has one user-interface thread; timers tick only while some
// wait processes events, exactly as window timers do.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/RaisedError.h"

using TimerId = std::uint32_t;
// An opaque process handle; 0 is none.
using ProcessHandle = std::uintptr_t;

// Windows' word that the computer goes to sleep or hibernates, or has woken up again. The
// steady clock stands still in between, so time asleep is no time waited: a timer due in
// ten minutes when the computer went to sleep is due ten minutes after it woke.
struct PowerChange {
    enum class Kind { Suspending, Resumed };
    Kind kind = Kind::Suspending;
    std::uint64_t asleepMs = 0;  // Resumed: how long the computer was away
};

class IEventLoop {
  public:
    virtual ~IEventLoop() = default;

    // Handles every event already waiting (messages, due timers) and returns.
    virtual void ProcessPendingEvents() = 0;
    // A periodic timer. Ticks are due at start + n * interval, so they do not drift
    // when one is handled late. Returns 0 when no timer could be made.
    virtual TimerId StartTimer(std::uint32_t intervalMs, std::function<void()> tick) = 0;
    // A one-shot timer due at `dueMs` on the steady clock (IClock::SteadyMilliseconds).
    // It runs once, never before that moment, and is gone afterwards; a moment already
    // past runs at the next handling of events. A long wait costs one wake-up, not one
    // per interval. Returns 0 when no timer could be made.
    virtual TimerId StartTimerAt(std::uint64_t dueMs, std::function<void()> tick) = 0;
    // Stops a periodic or a one-shot timer; an id that has run or was stopped is ignored.
    virtual void StopTimer(TimerId id) = 0;
    // Handles events, sleeping between them, until `done()` holds. `done` is asked
    // before the first wait and after every event.
    virtual void RunUntil(const std::function<bool()>& done) = 0;
    // Handles events until the process has ended (true) or `stop()` holds (false).
    // The end of the process is seen at once, not at the next poll. A handle that cannot
    // be waited on (0, or one the system refuses) gives false at once: a caller that
    // must tell that from a stop asks `stop()` itself.
    virtual bool WaitForProcess(ProcessHandle process, const std::function<bool()>& stop) = 0;
    // Tells `handler` of each suspend and each resume, once each, from inside whatever
    // wait is going on. An empty handler stops the telling.
    virtual void OnPowerChange(std::function<void(const PowerChange&)> handler) = 0;
};

// A timer that is stopped when its owner goes out of scope, however the scope is left.
class ScopedTimer {
  public:
    explicit ScopedTimer(IEventLoop& loop, TimerId id = 0) : loop_(loop), id_(id) {}
    ~ScopedTimer() { Stop(); }
    ScopedTimer(const ScopedTimer&) = delete;
    ScopedTimer& operator=(const ScopedTimer&) = delete;

    // Takes over `id`, stopping the timer held so far.
    void Reset(TimerId id = 0) {
        Stop();
        id_ = id;
    }
    void Stop() {
        if (id_ != 0) loop_.StopTimer(id_);
        id_ = 0;
    }
    // Whether it holds a timer; a one-shot that ran must be Reset() by its callback.
    bool Active() const { return id_ != 0; }

  private:
    IEventLoop& loop_;
    TimerId id_;
};

// Windows' show states, as the starts pass them.
namespace show_state {
constexpr int kHide = 0;
constexpr int kNormal = 1;
constexpr int kMinimized = 2;  // SW_SHOWMINIMIZED: minimized, with the focus
}  // namespace show_state

struct StartResult {
    bool started = false;
    ErrorInfo error;  // why not, when not started
};

// Windows' errors that a start answers with and the programs act on.
namespace win_error {
// CreateProcess of a program whose manifest asks for administrator rights.
constexpr std::int32_t kElevationRequired = 740;
// The user declined the elevation prompt.
constexpr std::int32_t kCancelled = 1223;
}  // namespace win_error

class ILauncher {
  public:
    virtual ~ILauncher() = default;
    // The shell's "Open" of `file` with `parameters`, asking for no error dialog and
    // keeping the process handle. nullopt when nothing was started; 0 when the start
    // succeeded but the shell gave no process handle (it handed the file to a program
    // that was already running, for example).
    virtual std::optional<ProcessHandle> ShellStart(const std::string& file,
                                                    const std::string& parameters,
                                                    int showState) = 0;
    // Starts a command line without waiting for it.
    virtual StartResult StartCommandLine(const std::string& commandLine, int showState) = 0;
    // The shell's "Open" of a program, without waiting for it. Unlike a command-line
    // start, the shell raises the elevation prompt for a program that asks for
    // administrator rights.
    virtual StartResult StartWithShell(const std::string& file, const std::string& parameters,
                                       int showState) = 0;
    // The exit code of a started process; false when it cannot be read.
    virtual bool ExitCode(ProcessHandle process, std::uint32_t& code) = 0;
    virtual void CloseProcess(ProcessHandle process) = 0;
    // The shell's default verb on a document, folder, URL or "mailto:" address.
    virtual bool ShellOpen(const std::string& target, int showState) = 0;
};

constexpr std::uint32_t kStillActive = 259;

// Quotes a program path for a command line, so a path with blanks names one program.
inline std::string QuotePath(const std::string& path) {
    return "\"" + path + "\"";
}
