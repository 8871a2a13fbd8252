// The Win32 side of the hold's facts: the system's execution state from powrprof.dll
// and the session list from wtsapi32.dll. No <windows.h> here.
#pragma once

#include <memory>

#include "screensaver/HoldFacts.h"

class Win32HoldFacts : public IHoldFacts {
  public:
    Win32HoldFacts();
    ~Win32HoldFacts() override;
    Win32HoldFacts(const Win32HoldFacts&) = delete;
    Win32HoldFacts& operator=(const Win32HoldFacts&) = delete;

    SystemReading<std::uint32_t> ExecutionState() override;
    SystemReading<std::vector<SessionRecord>> Sessions() override;
    std::optional<std::uint32_t> OwnSession() override;

  private:
    // The two DLLs, each loaded on first use and kept for the run's later checks.
    struct Modules;
    std::unique_ptr<Modules> modules_;
};
