#include "platform/win32/Win32DynamicCalls.h"

namespace {

// A module already loaded, or loaded from the system folder and kept for the program's
// life, as the functions found in it are.
HMODULE SystemModule(const wchar_t* name) {
    if (HMODULE loaded = GetModuleHandleW(name)) return loaded;
    return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

template <class F>
void Find(F& function, HMODULE module, const char* name) {
    function = module
                   ? reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)))
                   : nullptr;
}

DynamicCalls Load() {
    DynamicCalls calls;
    const HMODULE user32 = SystemModule(L"user32.dll");
    Find(calls.getDpiForWindow, user32, "GetDpiForWindow");
    Find(calls.adjustWindowRectExForDpi, user32, "AdjustWindowRectExForDpi");
    Find(calls.registerSuspendResumeNotification, user32, "RegisterSuspendResumeNotification");
    Find(calls.unregisterSuspendResumeNotification, user32, "UnregisterSuspendResumeNotification");
    Find(calls.getDpiForMonitor, SystemModule(L"shcore.dll"), "GetDpiForMonitor");
    Find(calls.loadIconWithScaleDown, SystemModule(L"comctl32.dll"), "LoadIconWithScaleDown");
    Find(calls.isAppThemed, SystemModule(L"uxtheme.dll"), "IsAppThemed");
    Find(calls.initiateShutdown, SystemModule(L"advapi32.dll"), "InitiateShutdownW");
    const HMODULE version = SystemModule(L"version.dll");
    Find(calls.getFileVersionInfoSize, version, "GetFileVersionInfoSizeW");
    Find(calls.getFileVersionInfo, version, "GetFileVersionInfoW");
    return calls;
}

}  // namespace

const DynamicCalls& Dyn() {
    static const DynamicCalls calls = Load();
    return calls;
}

const PowerCalls& PowerDyn() {
    static const PowerCalls calls = [] {
        PowerCalls found;
        const HMODULE powrprof = SystemModule(L"powrprof.dll");
        Find(found.getPwrCapabilities, powrprof, "GetPwrCapabilities");
        Find(found.setSuspendState, powrprof, "SetSuspendState");
        Find(found.powerGetActiveScheme, powrprof, "PowerGetActiveScheme");
        Find(found.powerReadACValueIndex, powrprof, "PowerReadACValueIndex");
        Find(found.powerReadDCValueIndex, powrprof, "PowerReadDCValueIndex");
        return found;
    }();
    return calls;
}

const UiaCalls& UiaDyn() {
    static const UiaCalls calls = [] {
        UiaCalls found;
        const HMODULE uia = SystemModule(L"uiautomationcore.dll");
        Find(found.hostProviderFromHwnd, uia, "UiaHostProviderFromHwnd");
        Find(found.raiseNotificationEvent, uia, "UiaRaiseNotificationEvent");
        Find(found.clientsAreListening, uia, "UiaClientsAreListening");
        return found;
    }();
    return calls;
}
