#include "platform/win32/Win32Accessibility.h"

// After <windows.h>, which they need; for the interfaces only, nothing is imported.
#include <oleacc.h>
#include <uiautomationcore.h>

#include "platform/win32/Win32DynamicCalls.h"

namespace {

// oleacc's dynamic annotation, found through COM, so that oleacc.dll is no import.
constexpr CLSID kAccPropServices = {
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr IID kIAccPropServices = {
    0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
constexpr GUID kPropName = {
    0x608d3df8, 0x8128, 0x4aa7, {0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91}};

// NotificationKind_Other and NotificationProcessing_ImportantMostRecent.
constexpr int kNotificationOther = 4;
constexpr int kImportantMostRecent = 1;

// The smallest UI Automation provider: it stands for a native window, whose own
// provider supplies every property, and exists only to raise notifications from.
class NotificationSource final : public IRawElementProviderSimple {
  public:
    explicit NotificationSource(HWND window) : window_(window) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, __uuidof(IUnknown)) ||
            IsEqualIID(riid, __uuidof(IRawElementProviderSimple))) {
            *out = static_cast<IRawElementProviderSimple*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE get_ProviderOptions(ProviderOptions* options) override {
        if (!options) return E_POINTER;
        *options = static_cast<ProviderOptions>(ProviderOptions_ServerSideProvider |
                                                ProviderOptions_UseComThreading);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPatternProvider(PATTERNID, IUnknown** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPropertyValue(PROPERTYID, VARIANT* out) override {
        if (!out) return E_POINTER;
        out->vt = VT_EMPTY;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_HostRawElementProvider(IRawElementProviderSimple** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        const auto host = UiaDyn().hostProviderFromHwnd;
        return host ? host(window_, out) : E_NOTIMPL;
    }

  private:
    ~NotificationSource() = default;

    HWND window_;
    LONG references_ = 1;
};

}  // namespace

bool HighContrastOn() {
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof contrast;
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

void SetAccessibleName(HWND control, const std::wstring& name) {
    if (!control) return;
    IAccPropServices* services = nullptr;
    if (FAILED(CoCreateInstance(kAccPropServices, nullptr, CLSCTX_INPROC_SERVER, kIAccPropServices,
                                reinterpret_cast<void**>(&services))) ||
        !services)
        return;
    services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, kPropName,
                             name.c_str());
    services->Release();
}

void AnnounceToScreenReaders(HWND source, const std::wstring& text) {
    const UiaCalls& uia = UiaDyn();
    if (!source || !uia.raiseNotificationEvent || !uia.hostProviderFromHwnd) return;
    if (uia.clientsAreListening && !uia.clientsAreListening()) return;
    BSTR spoken = SysAllocString(text.c_str());
    BSTR activity = SysAllocString(L"Somnivex");
    auto* provider = new NotificationSource(source);
    if (spoken && activity)
        uia.raiseNotificationEvent(provider, kNotificationOther, kImportantMostRecent, spoken,
                                   activity);
    provider->Release();
    SysFreeString(spoken);
    SysFreeString(activity);
}
