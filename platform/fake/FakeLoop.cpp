#include "platform/fake/FakeLoop.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

void FakeEventLoop::ProcessPendingEvents() {
    // Each due tick runs once; a callback may start or stop timers, or wait itself.
    for (;;) {
        const std::uint64_t now = clock_.SteadyMilliseconds();
        auto due = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it)
            if (it->second.Due() <= now &&
                (due == timers_.end() || it->second.Due() < due->second.Due()))
                due = it;
        if (due == timers_.end()) return;
        // Like WM_TIMER, ticks missed while nobody handled events come as one.
        Timer& timer = due->second;
        timer.ticks = timer.periodic ? (now - timer.start) / timer.interval : timer.ticks + 1;
        auto tick = timer.tick;  // the callback may stop (erase) its own timer
        if (!timer.periodic) timers_.erase(due);
        tick();
    }
}

TimerId FakeEventLoop::StartTimer(std::uint32_t intervalMs, std::function<void()> tick) {
    const TimerId id = nextId_++;
    timers_[id] = Timer{clock_.SteadyMilliseconds(), std::max<std::uint32_t>(intervalMs, 1), 0,
                        true, std::move(tick)};
    return id;
}

void FakeEventLoop::StopTimer(TimerId id) {
    timers_.erase(id);
}

TimerId FakeEventLoop::StartTimerAt(std::uint64_t dueMs, std::function<void()> tick) {
    const TimerId id = nextId_++;
    // A one-shot is due at its start: interval 0 makes Due() == start.
    timers_[id] = Timer{dueMs, 0, 0, false, std::move(tick)};
    return id;
}

void FakeEventLoop::At(std::uint64_t ms, std::function<void()> action) {
    StartTimerAt(clock_.SteadyMilliseconds() + ms, std::move(action));
}

void FakeEventLoop::SleepAt(std::uint64_t ms, std::uint64_t asleepMs) {
    At(ms, [this, asleepMs] {
        if (powerHandler_) powerHandler_({PowerChange::Kind::Suspending, 0});
        if (powerHandler_) powerHandler_({PowerChange::Kind::Resumed, asleepMs});
    });
}

std::optional<std::uint64_t> FakeEventLoop::NextDue() const {
    std::optional<std::uint64_t> next;
    for (const auto& [id, timer] : timers_)
        if (!next || timer.Due() < *next) next = timer.Due();
    return next;
}

void FakeEventLoop::AdvanceToNext(std::uint64_t waitStart, std::optional<std::uint64_t> also) {
    auto next = NextDue();
    if (also && (!next || *also < *next)) next = also;
    if (!next) throw std::logic_error("a wait with nothing that could end it");
    if (*next - std::min(*next, waitStart) > limitMs)
        throw std::logic_error("a wait ran past the virtual time limit");
    const std::uint64_t now = clock_.SteadyMilliseconds();
    if (*next > now) clock_.Advance(*next - now);
    ++wakeups_;
}

void FakeEventLoop::RunUntil(const std::function<bool()>& done) {
    const std::uint64_t start = clock_.SteadyMilliseconds();
    if (done()) return;
    for (;;) {
        ProcessPendingEvents();
        if (done() || quit_) return;
        AdvanceToNext(start, std::nullopt);
    }
}

bool FakeEventLoop::WaitForProcess(ProcessHandle process, const std::function<bool()>& stop) {
    const std::uint64_t start = clock_.SteadyMilliseconds();
    for (;;) {
        if (stop()) return false;
        if (!launcher_) return true;
        if (!launcher_->CanWaitOn(process)) return false;
        if (launcher_->HasEnded(process)) return true;
        ProcessPendingEvents();
        if (quit_) return !stop();
        if (stop()) return false;
        if (launcher_->HasEnded(process)) return true;
        AdvanceToNext(start, launcher_->EndTime(process));
    }
}

std::string FakeLauncher::Key(const std::string& path) {
    std::string key = path;
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return key;
}

ProcessHandle FakeLauncher::Start(FakeProcess process) {
    process.startedAt = clock_.SteadyMilliseconds();
    const auto it = runFor_.find(Key(process.file));
    if (it != runFor_.end()) process.endsAt = process.startedAt + it->second;
    started.push_back(std::move(process));
    if (onStart) onStart(started.back());
    return started.size();
}

std::optional<ProcessHandle> FakeLauncher::ShellStart(const std::string& file,
                                                      const std::string& parameters,
                                                      int showState) {
    if (!files_.FileExists(file)) return std::nullopt;
    const ProcessHandle h =
        Start(FakeProcess{file, parameters, "", showState, 0, std::nullopt, false});
    if (!startWithoutHandle.count(Key(file))) return h;
    Find(h)->handleClosed = true;
    return ProcessHandle{0};
}

std::string ProgramOfCommandLine(const std::string& commandLine) {
    if (!commandLine.empty() && commandLine.front() == '"') {
        const auto close = commandLine.find('"', 1);
        return commandLine.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    return commandLine.substr(0, commandLine.find(' '));
}

StartResult FakeLauncher::StartCommandLine(const std::string& commandLine, int showState) {
    const std::string program = ProgramOfCommandLine(commandLine);
    if (!files_.FileExists(program))
        return {false, ErrorInfo{2, "Somnivex", "The system cannot find the file specified."}};
    if (asksForAdministrator.count(Key(program)))
        return {false, ErrorInfo{win_error::kElevationRequired, "Somnivex",
                                 "The requested operation requires elevation."}};
    const ProcessHandle h =
        Start(FakeProcess{program, "", commandLine, showState, 0, std::nullopt, false});
    Find(h)->handleClosed = true;  // a command-line start keeps no handle
    return {true, {}};
}

StartResult FakeLauncher::StartWithShell(const std::string& file, const std::string& parameters,
                                         int showState) {
    if (!files_.FileExists(file))
        return {false, ErrorInfo{2, "Somnivex", "The system cannot find the file specified."}};
    if (asksForAdministrator.count(Key(file)) && declineElevation)
        return {false, ErrorInfo{win_error::kCancelled, "Somnivex",
                                 "The operation was canceled by the user."}};
    if (shellError != 0) return {false, ErrorInfo{shellError, "Somnivex", "Access is denied."}};
    FakeProcess process{file, parameters, "", showState, 0, std::nullopt, false};
    process.viaShell = true;
    const ProcessHandle h = Start(std::move(process));
    Find(h)->handleClosed = true;  // the shell's start keeps no handle here
    return {true, {}};
}

FakeProcess* FakeLauncher::Find(ProcessHandle process) {
    return process >= 1 && process <= started.size() ? &started[process - 1] : nullptr;
}

const FakeProcess* FakeLauncher::Find(ProcessHandle process) const {
    return process >= 1 && process <= started.size() ? &started[process - 1] : nullptr;
}

std::optional<std::uint64_t> FakeLauncher::EndTime(ProcessHandle process) const {
    const FakeProcess* p = Find(process);
    return p ? p->endsAt : std::nullopt;
}

bool FakeLauncher::HasEnded(ProcessHandle process) const {
    const FakeProcess* p = Find(process);
    return !p || (p->endsAt && *p->endsAt <= clock_.SteadyMilliseconds());
}

void FakeLauncher::End(ProcessHandle process) {
    if (FakeProcess* p = Find(process); p && !HasEnded(process))
        p->endsAt = clock_.SteadyMilliseconds();
}

bool FakeLauncher::CanWaitOn(ProcessHandle process) const {
    const FakeProcess* p = Find(process);
    return p && !p->handleClosed && !refuseWait.count(Key(p->file));
}

bool FakeLauncher::ExitCode(ProcessHandle process, std::uint32_t& code) {
    const FakeProcess* p = Find(process);
    if (!p || p->handleClosed || refuseExitCode.count(Key(p->file))) return false;
    code = HasEnded(process) ? p->exitCode : kStillActive;
    return true;
}

void FakeLauncher::CloseProcess(ProcessHandle process) {
    if (FakeProcess* p = Find(process)) p->handleClosed = true;
}

bool FakeLauncher::ShellOpen(const std::string& target, int) {
    if (refuseOpen.count(target)) return false;
    opened.push_back(target);
    return true;
}

int FakeLauncher::OpenHandles() const {
    return static_cast<int>(std::count_if(started.begin(), started.end(),
                                          [](const FakeProcess& p) { return !p.handleClosed; }));
}
