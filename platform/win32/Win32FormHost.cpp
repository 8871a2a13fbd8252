// The form host's side that the portable forms call: making and destroying a form's
// window, showing it, modal runs, and the measures the forms ask for.
#include "platform/win32/Win32FormHost.h"

#include "platform/win32/Win32FormWindow.h"
// After <windows.h>, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "platform/win32/Win32Accessibility.h"
#include "platform/win32/Win32Dpi.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32Picture.h"
#include "platform/win32/Win32Platform.h"

namespace {

void RegisterWindowClasses(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &FormWindow::WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.lpszClassName = kFormClass;
    RegisterClassExW(&wc);
    wc.hIcon = nullptr;
    wc.lpszClassName = kPageClass;
    RegisterClassExW(&wc);
}

// For a modal form: every other window of the program that can take input now.
BOOL CALLBACK DisableOthers(HWND window, LPARAM param) {
    auto& run = *reinterpret_cast<std::pair<HWND, ModalRun*>*>(param);
    if (window != run.first && IsWindowVisible(window) && IsWindowEnabled(window)) {
        EnableWindow(window, FALSE);
        run.second->disabled.push_back(window);
    }
    return TRUE;
}

// A modal run from its start to its end, however it ends: the other windows are enabled
// again on the way out, unless the form's Destroy did it first.
class ModalScope {
  public:
    ModalScope(FormHostState& host, const FormWindow& window) : host_(host) {
        ModalRun run{&window.form, {}};
        std::pair<HWND, ModalRun*> param{window.hwnd, &run};
        EnumThreadWindows(GetCurrentThreadId(), &DisableOthers, reinterpret_cast<LPARAM>(&param));
        host_.modals.push_back(std::move(run));
        depth_ = host_.modals.size();
    }
    ~ModalScope() {
        if (host_.modals.size() < depth_) return;
        host_.modals[depth_ - 1].Restore();
        host_.modals.resize(depth_ - 1);
    }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

  private:
    FormHostState& host_;
    std::size_t depth_ = 0;
};

}  // namespace

void ModalRun::Restore() {
    if (restored) return;
    restored = true;
    for (HWND window : disabled)
        if (IsWindow(window)) EnableWindow(window, TRUE);
}

FormHostState::FormHostState(IWin32EventLoop& eventLoop, HINSTANCE module)
    : loop(eventLoop), instance(module) {}

FormWindow* FormHostState::WindowOf(const Form& form) const {
    for (const auto& fw : forms)
        if (&fw->form == &form) return fw.get();
    return nullptr;
}

FormWindow* FormHostState::FormOfWindow(HWND window) const {
    for (const auto& fw : forms)
        if (fw->hwnd == window) return fw.get();
    return nullptr;
}

bool FormHostState::DialogFilter(MSG& msg) {
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST || !msg.hwnd) return false;
    const HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    FormWindow* fw = root ? FormOfWindow(root) : nullptr;
    if (!fw) return false;
    // Alt with a letter, or the letter alone where the focus takes no typing, as the
    // dialog manager reads access keys.
    const bool typed =
        msg.message == WM_CHAR &&
        (SendMessageW(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg)) &
         (DLGC_WANTCHARS | DLGC_WANTALLKEYS | DLGC_HASSETSEL)) == 0;
    if ((msg.message == WM_SYSCHAR || typed) && fw->TakeAccessKey(static_cast<wchar_t>(msg.wParam)))
        return true;
    return IsDialogMessageW(root, &msg) != FALSE;
}

namespace {

class Win32FormHost final : public IWin32FormHost {
  public:
    Win32FormHost(IWin32EventLoop& loop, HINSTANCE instance) : host_(loop, instance) {
        INITCOMMONCONTROLSEX controls{sizeof controls,
                                      ICC_TAB_CLASSES | ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
        InitCommonControlsEx(&controls);
        RegisterWindowClasses(host_.instance);
        host_.hiddenOwner.Reset(CreateWindowExW(0, kFormClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                                nullptr, host_.instance, nullptr));
        FormHostState* host = &host_;
        loop.SetMessageFilter(
            [host](void* msg) { return host->DialogFilter(*static_cast<MSG*>(msg)); });
    }

    ~Win32FormHost() override {
        host_.loop.SetMessageFilter(nullptr);
        while (!host_.forms.empty()) Destroy(host_.forms.back()->form);
    }

    Win32FormHost(const Win32FormHost&) = delete;
    Win32FormHost& operator=(const Win32FormHost&) = delete;

    IEventLoop& Loop() override { return host_.loop; }

    void Create(Form& form) override {
        if (host_.WindowOf(form)) return;
        FormWindow& fw = *host_.forms.emplace_back(std::make_unique<FormWindow>(host_, form));
        // Made on the primary monitor, hidden, so its DPI is known before the layout.
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        const HWND owner = form.ShowInTaskbar ? nullptr : host_.hiddenOwner.Get();
        CreateWindowExW(FormExStyle(form), kFormClass, Widen(form.Caption()).c_str(),
                        FormStyle(form), work.left, work.top, 100, 100, owner, nullptr,
                        host_.instance, &fw);
        if (!fw.hwnd) return;
        if (!form.HasCloseBox && form.HasMinimizeBox)
            EnableMenuItem(GetSystemMenu(fw.hwnd, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
        fw.dpi = WindowDpi(fw.hwnd);
        fw.CreateAll();
        fw.Place(form.CenterOnScreen);
    }

    void Destroy(Form& form) override {
        FormWindow* fw = host_.WindowOf(form);
        if (!fw) return;
        // Enable the other windows first, so Windows hands the activation back to them and
        // not to another program.
        for (auto& modal : host_.modals)
            if (modal.form == &form) modal.Restore();
        // The window procedure still answers while the window goes; what it runs may open or
        // close other forms meanwhile, so the entry is looked up again afterwards.
        if (fw->hwnd) {
            DestroyWindow(fw->hwnd);
            fw->hwnd = nullptr;
        }
        auto& forms = host_.forms;
        forms.erase(std::remove_if(forms.begin(), forms.end(),
                                   [fw](const auto& held) { return held.get() == fw; }),
                    forms.end());
    }

    void SetVisible(Form& form, bool visible) override {
        FormWindow* fw = host_.WindowOf(form);
        if (!fw || !fw->hwnd) return;
        if (!visible) {
            ShowWindow(fw->hwnd, SW_HIDE);
            return;
        }
        // Controls added after the window was made (a message box's extra buttons).
        for (const auto& c : form.Controls()) fw->EnsureCreated(*c);
        if (!fw->savedFocus || !IsWindow(fw->savedFocus))
            fw->savedFocus = GetNextDlgTabItem(fw->hwnd, nullptr, FALSE);
        ShowWindow(fw->hwnd, SW_SHOW);
        // Painted now, controls included: whatever the form does next (decoding pictures)
        // happens with the window already on screen.
        RedrawWindow(fw->hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        if (GetActiveWindow() == fw->hwnd && fw->savedFocus && IsWindowVisible(fw->savedFocus))
            ::SetFocus(fw->savedFocus);
    }

    void RunModal(Form& form) override {
        FormWindow* fw = host_.WindowOf(form);
        if (!fw) return;
        const ModalScope modal(host_, *fw);
        host_.loop.RunUntil([&form] { return !form.IsLoaded(); });
    }

    void BringToFront(Form& form) override {
        FormWindow* fw = host_.WindowOf(form);
        if (!fw || !fw->hwnd) return;
        const HWND hwnd = fw->hwnd;
        SetWindowPos(hwnd, form.Topmost() ? HWND_TOPMOST : HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
        ShowWindow(hwnd, SW_SHOWNORMAL);
        // Windows lets a background program take the foreground once nobody has touched the
        // keyboard or mouse for the foreground lock time-out, which a running screen saver
        // has long passed. When it refuses all the same, the window still lies above every
        // other and its taskbar button flashes until it is activated; no input is faked to
        // get round the lock, as a key press would end the screen saver or reach another
        // program, and no other program's input is joined.
        if (SetForegroundWindow(hwnd) && GetForegroundWindow() == hwnd) return;
        FLASHWINFO flash{};
        flash.cbSize = sizeof flash;
        flash.hwnd = hwnd;
        flash.dwFlags = FLASHW_ALL | FLASHW_TIMERNOFG;
        FlashWindowEx(&flash);
    }

    void FormChanged(Form& form, FormChange what) override {
        FormWindow* fw = host_.WindowOf(form);
        if (!fw || !fw->hwnd) return;
        switch (what) {
            case FormChange::Caption:
                SetWindowTextW(fw->hwnd, Widen(form.Caption()).c_str());
                break;
            case FormChange::Size:
                fw->Place(form.CenterOnScreen && !IsWindowVisible(fw->hwnd));
                break;
            case FormChange::Topmost:
                SetWindowPos(fw->hwnd, form.Topmost() ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                             SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
                break;
        }
    }

    void ControlChanged(Control& control, ControlChange what) override {
        FormWindow* fw = host_.WindowOf(control.Owner());
        if (!fw || !fw->hwnd) return;
        const ControlWindow* data = fw->Find(control);
        if (!data || (!data->hwnd && control.Kind() != ControlKind::Line)) {
            // A control added after the window was made: its window comes now, whole.
            fw->EnsureCreated(control);
            fw->Reorder(PageOf(control));
            return;
        }
        fw->Apply(control, what);
    }

    void Announce(Control& control, const std::string& text) override {
        FormWindow* fw = host_.WindowOf(control.Owner());
        if (!fw || !fw->hwnd) return;
        const HWND window = fw->WindowOf(control);
        AnnounceToScreenReaders(window ? window : fw->hwnd, Widen(text));
    }

    void SetFocus(Control& control) override {
        FormWindow* fw = host_.WindowOf(control.Owner());
        if (!fw || !fw->hwnd) return;
        fw->EnsureCreated(control);
        const HWND window = fw->WindowOf(control);
        if (!window) return;
        fw->savedFocus = window;
        if (IsWindowVisible(fw->hwnd) && GetActiveWindow() == fw->hwnd) ::SetFocus(window);
    }

    bool LoadPicture(Control& control, const std::string& path) override {
        FormWindow* fw = host_.WindowOf(control.Owner());
        // Not loaded: only say whether it can be read; the window reads it again when made.
        if (!fw) return DecodePicture(Widen(path), GetSysColor(COLOR_BTNFACE)).has_value();
        return fw->LoadPicture(control, path);
    }

    TwipSize MeasureText(const FontSpec& font, const std::string& text, int wrapWidth) override {
        const UINT dpi = PrimaryDpi();
        const win::ScopedGetDC screen(nullptr);
        const win::ScopedSelect selected(screen, host_.gdi.Font(font, dpi));
        RECT rect{0, 0, wrapWidth > 0 ? Px(wrapWidth, dpi) : 0, 0};
        UINT format = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | DT_LEFT;
        if (wrapWidth > 0) format |= DT_WORDBREAK;
        const std::wstring wide = Widen(text);
        DrawTextW(screen, wide.c_str(), static_cast<int>(wide.size()), &rect, format);
        // A label sized to the sum of the advances can clip its last glyph: hinted at a
        // small size, text may be drawn a pixel or two wider than it measures (a "?" at
        // 100 % lost its right half). A few pixels more cost nothing.
        const int slack = MulDiv(3, static_cast<int>(dpi), 96);
        return {Twips(rect.right - rect.left + slack, dpi), Twips(rect.bottom - rect.top, dpi)};
    }

    TwipSize FrameSize(const Form& form) override {
        const FormWindow* fw = host_.WindowOf(form);
        const UINT dpi = fw ? fw->dpi : PrimaryDpi();
        RECT rect{0, 0, 0, 0};
        AdjustForDpi(rect, FormStyle(form), FormExStyle(form), dpi);
        return {Twips(rect.right - rect.left, dpi), Twips(rect.bottom - rect.top, dpi)};
    }

    int CompareText(const std::string& a, const std::string& b) override {
        // What a sorted list box asks the system when it places an entry.
        const std::wstring wa = Widen(a), wb = Widen(b);
        const int order = CompareStringEx(LOCALE_NAME_USER_DEFAULT, NORM_IGNORECASE, wa.c_str(), -1,
                                          wb.c_str(), -1, nullptr, nullptr, 0);
        if (order != 0) return order - CSTR_EQUAL;
        return wa < wb ? -1 : wb < wa ? 1 : 0;  // refused: at least a stable order
    }

    void* WindowOf(const Form& form) const override {
        const FormWindow* fw = host_.WindowOf(form);
        return fw ? fw->hwnd : nullptr;
    }

    bool ScreenRect(const Control& control, int& left, int& top, int& width,
                    int& height) const override {
        FormWindow* fw = host_.WindowOf(control.Owner());
        if (!fw || !fw->hwnd || !fw->Find(control)) return false;
        RECT rect{};
        const HWND window = fw->WindowOf(control);
        if (window && control.Kind() != ControlKind::ComboList) {
            GetWindowRect(window, &rect);
        } else {
            // Lines have no window; a drop-down list's window includes its open list.
            rect = fw->PixelRect(control);
            MapWindowPoints(fw->ParentWindow(control), nullptr, reinterpret_cast<POINT*>(&rect), 2);
        }
        left = rect.left;
        top = rect.top;
        width = rect.right - rect.left;
        height = rect.bottom - rect.top;
        return true;
    }

  private:
    FormHostState host_;
};

}  // namespace

std::unique_ptr<IWin32FormHost> NewWin32FormHost(IWin32EventLoop& loop, void* instance) {
    return std::make_unique<Win32FormHost>(
        loop, instance ? static_cast<HINSTANCE>(instance) : GetModuleHandleW(nullptr));
}
