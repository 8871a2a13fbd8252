// System functions that not every supported Windows has, or that live in a DLL we load
// only from the system folder: one table, filled once on first use. Any entry may be
// null; check it before the call and fall back to what older systems offer.
#pragma once

#include <windows.h>

struct DynamicCalls {
    // user32, Windows 10 1607.
    UINT(WINAPI* getDpiForWindow)(HWND) = nullptr;
    BOOL(WINAPI* adjustWindowRectExForDpi)(LPRECT, DWORD, BOOL, DWORD, UINT) = nullptr;
    // user32, Windows 8.
    HPOWERNOTIFY(WINAPI* registerSuspendResumeNotification)(HANDLE, DWORD) = nullptr;
    BOOL(WINAPI* unregisterSuspendResumeNotification)(HPOWERNOTIFY) = nullptr;
    // shcore, Windows 8.1.
    HRESULT(WINAPI* getDpiForMonitor)(HMONITOR, int, UINT*, UINT*) = nullptr;
    // comctl32 version 6, Windows Vista.
    HRESULT(WINAPI* loadIconWithScaleDown)(HINSTANCE, PCWSTR, int, int, HICON*) = nullptr;
    // uxtheme.
    BOOL(WINAPI* isAppThemed)() = nullptr;
    // advapi32, Windows Vista; Wine's answers ERROR_CALL_NOT_IMPLEMENTED.
    DWORD(WINAPI* initiateShutdown)(LPWSTR, LPWSTR, DWORD, DWORD, DWORD) = nullptr;
    // version.dll, never resolved beside the program.
    DWORD(WINAPI* getFileVersionInfoSize)(LPCWSTR, LPDWORD) = nullptr;
    BOOL(WINAPI* getFileVersionInfo)(LPCWSTR, DWORD, DWORD, LPVOID) = nullptr;
};

const DynamicCalls& Dyn();

// powrprof, for the power plan and the power capabilities. Loaded the first time they are
// asked for, not with the table above: a screen-saver run that never asks loads nothing.
struct PowerCalls {
    BOOLEAN(WINAPI* getPwrCapabilities)(PSYSTEM_POWER_CAPABILITIES) = nullptr;
    BOOLEAN(WINAPI* setSuspendState)(BOOLEAN, BOOLEAN, BOOLEAN) = nullptr;
    DWORD(WINAPI* powerGetActiveScheme)(HKEY, GUID**) = nullptr;
    DWORD(WINAPI* powerReadACValueIndex)
    (HKEY, const GUID*, const GUID*, const GUID*, LPDWORD) = nullptr;
    DWORD(WINAPI* powerReadDCValueIndex)
    (HKEY, const GUID*, const GUID*, const GUID*, LPDWORD) = nullptr;
};

const PowerCalls& PowerDyn();

struct IRawElementProviderSimple;

// uiautomationcore, for what a program tells screen readers of its own accord. Loaded
// when first used; the notification needs Windows 10 1709.
struct UiaCalls {
    HRESULT(WINAPI* hostProviderFromHwnd)(HWND, IRawElementProviderSimple**) = nullptr;
    // The two texts are BSTRs.
    HRESULT(WINAPI* raiseNotificationEvent)
    (IRawElementProviderSimple*, int, int, wchar_t*, wchar_t*) = nullptr;
    BOOL(WINAPI* clientsAreListening)() = nullptr;
};

const UiaCalls& UiaDyn();
