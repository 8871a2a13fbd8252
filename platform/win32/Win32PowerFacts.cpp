#include <windows.h>

#include <cstddef>

#include "platform/win32/Win32DynamicCalls.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32PowerFacts.h"

namespace {

// The power settings and their subgroups, as powrprof names them (winnt.h's GUID_...).
constexpr GUID kSleepSubgroup = {
    0x238c9fa8, 0x0aad, 0x41ed, {0x83, 0xf4, 0x97, 0xbe, 0x24, 0x2c, 0x8f, 0x20}};
constexpr GUID kStandbyTimeout = {
    0x29f6c1db, 0x86da, 0x48c5, {0x9f, 0xdb, 0xf2, 0xb6, 0x7b, 0x1f, 0x44, 0xda}};
constexpr GUID kHibernateTimeout = {
    0x9d7815a6, 0x7ee4, 0x497e, {0x88, 0x88, 0x51, 0x5a, 0x05, 0xf0, 0x23, 0x64}};
constexpr GUID kVideoSubgroup = {
    0x7516b95f, 0xf776, 0x4464, {0x8c, 0x53, 0x06, 0x16, 0x7f, 0x40, 0xcc, 0x99}};
constexpr GUID kVideoPowerDownTimeout = {
    0x3c0bc021, 0xc8a8, 0x4e07, {0xa9, 0x73, 0x6b, 0x14, 0xcb, 0xcb, 0x2b, 0x7e}};

class Win32PowerFacts : public IPowerFacts {
  public:
    std::optional<std::uint32_t> ScreenSaverTimeout() override {
        UINT seconds = 0;
        if (!SystemParametersInfoW(SPI_GETSCREENSAVETIMEOUT, 0, &seconds, 0)) return std::nullopt;
        return seconds;
    }

    std::optional<bool> ScreenSaverActive() override {
        BOOL active = FALSE;
        if (!SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0)) return std::nullopt;
        return active != FALSE;
    }

    bool SetScreenSaverActive(bool active) override {
        // Written to the user's profile and announced, so that the change holds at once
        // and after the next sign-in, as the screen-saver settings of Windows make it.
        return SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, active ? TRUE : FALSE, nullptr,
                                     SPIF_UPDATEINIFILE | SPIF_SENDCHANGE) != FALSE;
    }

    std::string ScreenSaverFolder() override {
        // A 32-bit build on 64-bit Windows is listed from SysWOW64, its own system folder
        // as Windows' 64-bit screen-saver setting sees it.
        wchar_t path[MAX_PATH + 1] = {};
        BOOL wow64 = FALSE;
        UINT length = 0;
        if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64)
            length = GetSystemWow64DirectoryW(path, MAX_PATH);
        if (length == 0 || length > MAX_PATH) length = GetSystemDirectoryW(path, MAX_PATH);
        if (length == 0 || length > MAX_PATH) return {};
        return Narrow(path, length);
    }

    std::optional<PowerCapabilities> Capabilities() override {
        const auto get = PowerDyn().getPwrCapabilities;
        SYSTEM_POWER_CAPABILITIES raw{};
        if (!get || !get(&raw)) return std::nullopt;
        PowerCapabilities can;
        can.systemS1 = raw.SystemS1 != 0;
        can.systemS2 = raw.SystemS2 != 0;
        can.systemS3 = raw.SystemS3 != 0;
        can.systemS4 = raw.SystemS4 != 0;
        can.hiberFilePresent = raw.HiberFilePresent != 0;
        // AoAc is the third byte after FastSystemS4 (after Hiberboot and WakeAlarmPresent),
        // which MinGW's header still calls spare2; read by place, so that every SDK builds.
        can.aoAc = reinterpret_cast<const BYTE*>(
                       &raw)[offsetof(SYSTEM_POWER_CAPABILITIES, FastSystemS4) + 3] != 0;
        can.systemBatteriesPresent = raw.SystemBatteriesPresent != 0;
        return can;
    }

    std::optional<PowerPlanTimeouts> ActivePlan() override {
        const PowerCalls& calls = PowerDyn();
        if (!calls.powerGetActiveScheme || !calls.powerReadACValueIndex ||
            !calls.powerReadDCValueIndex)
            return std::nullopt;
        GUID* scheme = nullptr;
        if (calls.powerGetActiveScheme(nullptr, &scheme) != ERROR_SUCCESS || !scheme)
            return std::nullopt;
        const auto read = [&](const GUID& subgroup, const GUID& setting) {
            AcDcSeconds value;
            DWORD index = 0;
            if (calls.powerReadACValueIndex(nullptr, scheme, &subgroup, &setting, &index) ==
                ERROR_SUCCESS)
                value.ac = index;
            if (calls.powerReadDCValueIndex(nullptr, scheme, &subgroup, &setting, &index) ==
                ERROR_SUCCESS)
                value.dc = index;
            return value;
        };
        PowerPlanTimeouts plan;
        plan.sleep = read(kSleepSubgroup, kStandbyTimeout);
        plan.hibernate = read(kSleepSubgroup, kHibernateTimeout);
        plan.display = read(kVideoSubgroup, kVideoPowerDownTimeout);
        // The scheme's GUID was allocated for us with LocalAlloc.
        LocalFree(scheme);
        return plan;
    }
};

}  // namespace

std::unique_ptr<IPowerFacts> NewWin32PowerFacts() {
    return std::make_unique<Win32PowerFacts>();
}
