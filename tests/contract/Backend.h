// What a contract suite needs from the platform under test. backend_fake.cpp supplies
// the in-memory implementations (Linux), backend_win32.cpp the Win32 ones (Wine).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/EventLoop.h"
#include "common/Forms.h"
#include "common/Platform.h"
#include "common/RegistryPort.h"
#include "manager/ManagerSeams.h"

class ContractBackend {
  public:
    virtual ~ContractBackend() = default;
    virtual const char* Name() const = 0;
    virtual IRegistryPort& Registry() = 0;
    // A company key of its own for each test ("SomnivexContract\<unique>"), so tests never
    // meet each other's keys or a real installation's. Removed again by the backend.
    virtual std::string ScratchSoftwareKey() = 0;
    // Stores a value below HKEY_LOCAL_MACHINE\`path` as a tool of that view does
    // (`reg add ... /reg:32` or `/reg:64`), creating the key. The backend removes
    // "Software\Policies\" + ScratchSoftwareKey() again.
    virtual void PutMachineValue(RegView view, const std::string& path, const std::string& name,
                                 std::uint32_t type, const std::vector<std::uint8_t>& bytes) = 0;
    virtual IFileSystem& Files() = 0;
    // A folder the test may write into, without a trailing backslash.
    virtual std::string ScratchFolder() = 0;
    // The string table compiled into the test executable, when there is one.
    virtual const IStringSource* CompiledStrings() = 0;
    // Starting with administrator rights, waiting for the start and reading its end.
    virtual mgr::IElevation& Elevation() = 0;
    virtual IEventLoop& Loop() = 0;
    // The steady clock the loop's timers keep to.
    virtual IClock& Clock() = 0;
    virtual ILauncher& Launcher() = 0;
    // A program that ends at once with the exit code N that the parameters "/c exit N"
    // give it.
    virtual std::string ExitingProgram() = 0;
    // The form host of this platform (made on first use).
    virtual FormHost& Forms() = 0;
    // The texts in the order the platform's own sorted list control gives them, when
    // there is one.
    virtual std::optional<std::vector<std::string>> ListControlOrder(
        const std::vector<std::string>& texts) = 0;
    // Windows' notices of a sleep and a wake, as they reach the loop's listening window
    // (WM_POWERBROADCAST with PBT_APMSUSPEND, PBT_APMRESUMEAUTOMATIC, PBT_APMRESUMESUSPEND).
    // False when nothing listens.
    enum class PowerNotice { Suspend, ResumeAutomatic, ResumeSuspend };
    virtual bool HasPowerNotices() const { return false; }
    virtual bool SendPowerNotice(PowerNotice) { return false; }
    // Whether the platform has the built Somnivex.scr's message table, the texts Event
    // Viewer shows for its events.
    virtual bool HasEventMessages() = 0;
    // The message of event `id` as the platform formats it without inserting anything
    // (so "%1" stays "%1"); nullopt when the table has none.
    virtual std::optional<std::string> EventMessage(std::uint32_t id) = 0;
};

// One per test: a fresh backend.
std::unique_ptr<ContractBackend> MakeContractBackend();
