// A scripted desktop of other programs' windows, and a Windows that records what it was
// asked to end, for the screen saver's shutdown tests.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/fake/FakePlatform.h"
#include "screensaver/ShutdownSeams.h"

class FakeDesktop : public IDesktop {
  public:
    explicit FakeDesktop(FakeClock& clock) : clock_(clock) {}

    struct Window {
        WindowRef handle;
        std::uint32_t style;
        std::uint32_t exStyle;
        std::string className;
        std::uint32_t processId;
        // The answer to WM_QUERYENDSESSION; nullopt: the window does not answer in time.
        std::optional<std::intptr_t> queryReply = 1;
    };
    struct Message {
        WindowRef window;
        std::uint32_t message;
        std::uintptr_t wParam;
        std::intptr_t lParam;
        bool sent;  // sent and answered, rather than posted
    };

    std::vector<WindowRef> TopLevelWindows() override;
    std::uint32_t Style(WindowRef window) override { return Find(window).style; }
    std::uint32_t ExStyle(WindowRef window) override { return Find(window).exStyle; }
    std::string ClassName(WindowRef window) override { return Find(window).className; }
    std::uint32_t ProcessIdOf(WindowRef window) override { return Find(window).processId; }
    std::uint32_t CurrentProcessId() override { return ownProcessId; }
    // A scripted window without WS_CHILD.
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
    std::uint32_t TickCount() override {
        return static_cast<std::uint32_t>(tickBase + clock_.SteadyMilliseconds());
    }

    // Scripting and inspection.
    void AddWindow(Window window) { windows_.push_back(std::move(window)); }
    std::map<std::uint32_t, std::string> executables;  // process id -> executable name
    std::set<std::uint32_t> refuseOpen;                // OpenProcess fails for these
    std::uint32_t ownProcessId = 100;
    std::uint64_t tickBase = 0;  // shifts GetTickCount, to test its wrap
    std::vector<Message> messages;
    std::vector<std::uint32_t> opened;      // process ids, in order of OpenProcess calls
    std::vector<std::uint32_t> terminated;  // process ids
    int openProcessHandles = 0;
    // Milliseconds of virtual time at which each message was posted or sent.
    std::vector<std::uint64_t> messageTimes;

  private:
    Window& Find(WindowRef window);
    FakeClock& clock_;
    std::vector<Window> windows_;
    std::map<ProcessRef, std::uint32_t> processes_;
    ProcessRef nextProcess_ = 0x40;
};

class FakeShutdownApi : public IShutdownApi {
  public:
    explicit FakeShutdownApi(FakeClock* clock = nullptr) : clock_(clock) {}
    ErrorInfo AdjustShutdownPrivilege() override {
        ++privilegeCalls;
        if (privilegeError == 0) return {};
        return {static_cast<std::int32_t>(privilegeError), "AdjustTokenPrivileges",
                privilegeError == 1300
                    ? "Not all privileges or groups referenced are assigned to the caller."
                    : "Error " + std::to_string(privilegeError)};
    }
    ErrorInfo RequestExit(std::uint32_t flags, std::uint32_t reason) override {
        calls.push_back({flags, reason, clock_ ? clock_->SteadyMilliseconds() : 0});
        return accept ? ErrorInfo{} : refusal;
    }
    // As Windows: missing before Vista (the default here, so that runs end through
    // ExitWindowsEx as under Wine), and refused while others are signed in unless their
    // sessions may be ended.
    ErrorInfo RequestShutdown(std::uint32_t flags, std::uint32_t reason) override {
        initiated.push_back({flags, reason, clock_ ? clock_->SteadyMilliseconds() : 0});
        if (initiateMissing)
            return {127, "InitiateShutdownW", "The specified procedure could not be found."};
        if (othersSignedIn && !(flags & 0x1))
            return {1191, "InitiateShutdownW", "Other users are logged on to the computer."};
        return initiateRefusal;
    }
    ErrorInfo Suspend(bool hibernate) override {
        suspended.push_back(hibernate);
        return suspendRefusal;
    }
    std::optional<bool> HiberFilePresent() override { return hiberFilePresent; }

    struct Call {
        std::uint32_t flags, reason;
        std::uint64_t at;  // virtual milliseconds of the request
    };
    bool initiateMissing = true;
    bool othersSignedIn = false;
    ErrorInfo initiateRefusal;  // number 0: accepted
    ErrorInfo suspendRefusal;
    std::optional<bool> hiberFilePresent = true;
    std::vector<Call> initiated;
    std::vector<bool> suspended;       // true: hibernate
    std::uint32_t privilegeError = 0;  // 1300: ERROR_NOT_ALL_ASSIGNED
    bool accept = true;
    // What Windows answers when it does not accept: a token without the privilege.
    ErrorInfo refusal{1314, "ExitWindowsEx", "A required privilege is not held by the client."};
    int privilegeCalls = 0;
    std::vector<Call> calls;

  private:
    FakeClock* clock_;
};
