#include "platform/win32/ScopedWin32.h"
// After <windows.h>, which they need; for the functions' types only, nothing is imported.
#include <ntsecapi.h>
#include <powrprof.h>
#include <wtsapi32.h>

#include <cwchar>

#include "platform/win32/Win32HoldFacts.h"
#include "platform/win32/Win32Launcher.h"
#include "platform/win32/Win32Platform.h"

namespace {

// Neither DLL is imported. Each is loaded from the system folder alone when the hold is
// first checked: a copy in the program's folder is never used, and a run that ends
// before its wait runs out loads nothing more than before. A system without one of the
// functions gets a failed reading, not a program that cannot start.
HMODULE SystemDll(win::ScopedLibrary& module, const wchar_t* name) {
    if (!module) module.Reset(LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    return module;
}

template <typename Function>
Function Find(HMODULE module, const char* name) {
    if (!module) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

ErrorInfo Failure(const char* call, DWORD code) {
    return {static_cast<std::int32_t>(code), call, std::string(call) + ": " + Win32ErrorText(code)};
}

// Memory the session functions hand out, given back with WTSFreeMemory as found in the
// loaded DLL.
template <class T>
class WtsMemory {
  public:
    explicit WtsMemory(decltype(&WTSFreeMemory) release) : release_(release) {}
    ~WtsMemory() {
        if (memory_) release_(memory_);
    }
    WtsMemory(const WtsMemory&) = delete;
    WtsMemory& operator=(const WtsMemory&) = delete;
    T** Put() { return &memory_; }
    T* Get() const { return memory_; }

  private:
    decltype(&WTSFreeMemory) release_;
    T* memory_ = nullptr;
};

}  // namespace

// The documented reading that needs no privilege: every request of every process and
// driver summed up by the power manager. The list of requests with their owners
// (powercfg /requests) is for administrators only.

namespace {

class Win32HoldFacts : public IHoldFacts {
  public:
    SystemReading<std::uint32_t> ExecutionState() override {
        const auto call = Find<decltype(&CallNtPowerInformation)>(
            SystemDll(powrprof_, L"powrprof.dll"), "CallNtPowerInformation");
        if (!call) return {std::nullopt, Failure("CallNtPowerInformation", GetLastError())};
        ULONG state = 0;
        const NTSTATUS status = call(SystemExecutionState, nullptr, 0, &state, sizeof state);
        if (status < 0)
            return {std::nullopt, Failure("CallNtPowerInformation", LsaNtStatusToWinError(status))};
        return {static_cast<std::uint32_t>(state), {}};
    }

    SystemReading<std::vector<SessionRecord>> Sessions() override {
        const HMODULE dll = SystemDll(wtsapi_, L"wtsapi32.dll");
        const auto enumerate = Find<decltype(&WTSEnumerateSessionsW)>(dll, "WTSEnumerateSessionsW");
        const auto query =
            Find<decltype(&WTSQuerySessionInformationW)>(dll, "WTSQuerySessionInformationW");
        const auto release = Find<decltype(&WTSFreeMemory)>(dll, "WTSFreeMemory");
        if (!enumerate || !query || !release)
            return {std::nullopt, Failure("WTSEnumerateSessionsW", GetLastError())};

        WtsMemory<WTS_SESSION_INFOW> list(release);
        DWORD count = 0;
        if (!enumerate(WTS_CURRENT_SERVER_HANDLE, 0, 1, list.Put(), &count))
            return {std::nullopt, Failure("WTSEnumerateSessionsW", GetLastError())};
        std::vector<SessionRecord> sessions;
        for (DWORD i = 0; list.Get() && i < count; ++i) {
            const WTS_SESSION_INFOW& info = list.Get()[i];
            SessionRecord record{info.SessionId, static_cast<int>(info.State),
                                 info.pWinStationName ? Narrow(info.pWinStationName) : "",
                                 std::nullopt};
            WtsMemory<wchar_t> name(release);
            DWORD bytes = 0;
            // The name ends at its NUL or at the byte count, whichever comes first; a refused
            // query (another user's session without the right to ask) leaves it unknown.
            if (query(WTS_CURRENT_SERVER_HANDLE, info.SessionId, WTSUserName, name.Put(), &bytes) &&
                name.Get() && bytes >= sizeof(wchar_t))
                record.user = Narrow(name.Get(), wcsnlen(name.Get(), bytes / sizeof(wchar_t)));
            sessions.push_back(std::move(record));
        }
        return {std::move(sessions), {}};
    }

    std::optional<std::uint32_t> OwnSession() override {
        DWORD session = 0;
        if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) return std::nullopt;
        return session;
    }

  private:
    // The two DLLs, each loaded on first use and kept for the run's later checks.
    win::ScopedLibrary powrprof_;
    win::ScopedLibrary wtsapi_;
};

}  // namespace

std::unique_ptr<IHoldFacts> NewWin32HoldFacts() {
    return std::make_unique<Win32HoldFacts>();
}
