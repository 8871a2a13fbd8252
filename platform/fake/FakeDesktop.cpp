#include "platform/fake/FakeDesktop.h"

#include <stdexcept>

std::vector<WindowRef> FakeDesktop::TopLevelWindows() {
    std::vector<WindowRef> handles;
    for (const auto& w : windows_) handles.push_back(w.handle);
    return handles;
}

FakeDesktop::Window& FakeDesktop::Find(WindowRef window) {
    for (auto& w : windows_)
        if (w.handle == window) return w;
    throw std::out_of_range("no such window");
}

bool FakeDesktop::IsTopLevelWindow(WindowRef window) {
    constexpr std::uint32_t kChild = 0x40000000u;
    for (const auto& w : windows_)
        if (w.handle == window) return (w.style & kChild) == 0;
    return false;
}

bool FakeDesktop::Post(WindowRef window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
    messages.push_back({window, message, wParam, lParam, false});
    messageTimes.push_back(clock_.SteadyMilliseconds());
    for (const auto& w : windows_)
        if (w.handle == window) return true;
    return false;  // a window that is not there takes no message
}

bool FakeDesktop::SendWithTimeout(WindowRef window, std::uint32_t message, std::uintptr_t wParam,
                                  std::intptr_t lParam, std::uint32_t, std::uint32_t timeoutMs,
                                  std::intptr_t& reply) {
    Window& w = Find(window);
    messages.push_back({window, message, wParam, lParam, true});
    messageTimes.push_back(clock_.SteadyMilliseconds());
    if (!w.queryReply) {
        clock_.Advance(timeoutMs);  // the caller is held up for the whole time-out
        return false;
    }
    reply = *w.queryReply;
    return true;
}

ProcessRef FakeDesktop::OpenProcess(std::uint32_t, std::uint32_t processId) {
    opened.push_back(processId);
    if (refuseOpen.count(processId)) return 0;
    const ProcessRef handle = nextProcess_++;
    processes_[handle] = processId;
    ++openProcessHandles;
    return handle;
}

bool FakeDesktop::TerminateProcess(ProcessRef process, std::uint32_t) {
    const auto it = processes_.find(process);
    if (it == processes_.end()) return false;
    terminated.push_back(it->second);
    return true;
}

void FakeDesktop::CloseProcess(ProcessRef process) {
    if (processes_.erase(process)) --openProcessHandles;
}

std::string FakeDesktop::ExecutableName(std::uint32_t processId) {
    const auto it = executables.find(processId);
    return it == executables.end() ? std::string() : it->second;
}
