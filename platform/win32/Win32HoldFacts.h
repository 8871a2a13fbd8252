// The Win32 side of the hold's facts: the system's execution state from powrprof.dll
// and the session list from wtsapi32.dll. No <windows.h> here.
#pragma once

#include "screensaver/HoldFacts.h"

class Win32HoldFacts : public IHoldFacts {
  public:
    Win32HoldFacts() = default;
    ~Win32HoldFacts() override;
    Win32HoldFacts(const Win32HoldFacts&) = delete;
    Win32HoldFacts& operator=(const Win32HoldFacts&) = delete;

    SystemReading<std::uint32_t> ExecutionState() override;
    SystemReading<std::vector<SessionRecord>> Sessions() override;
    std::optional<std::uint32_t> OwnSession() override;

  private:
    // HMODULEs, loaded on first use and kept for the run's later checks.
    void* powrprof_ = nullptr;
    void* wtsapi_ = nullptr;
};
