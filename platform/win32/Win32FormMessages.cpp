// The window procedure of forms and pages: notifications of the controls become the
// form's events (the model takes the user's change first), colours and owner-drawn
// parts are painted from the model. It decides nothing itself.
#include "platform/win32/Win32FormWindow.h"

// After <windows.h>, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "platform/win32/Win32Accessibility.h"
#include "platform/win32/Win32Dpi.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32Platform.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace {

std::string WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(0, got)));
    return Narrow(text);
}

// The notifications a kind of control sends when it gets and loses the focus; none for
// the kinds that take no focus.
std::pair<int, int> FocusCodes(ControlKind kind) {
    switch (kind) {
        case ControlKind::Button:
        case ControlKind::CheckBox:
            return {BN_SETFOCUS, BN_KILLFOCUS};
        case ControlKind::ComboList:
            return {CBN_SETFOCUS, CBN_KILLFOCUS};
        case ControlKind::TextBox:
            return {EN_SETFOCUS, EN_KILLFOCUS};
        default:
            return {0, 0};
    }
}

}  // namespace

// An event of the portable form, from inside Windows' frames: what it throws is kept by
// the loop and thrown again once the message has been dispatched.
template <class F>
void FormWindow::Raise(F&& event) {
    host.loop.Guarded(std::forward<F>(event));
}

LRESULT CALLBACK FormWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    FormWindow* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<FormWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        // A form's own window; a page gets the form's FormWindow as well.
        if (self && !self->hwnd) self->hwnd = hwnd;
    } else {
        self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (message == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->Handle(hwnd, message, wParam, lParam);
}

LRESULT FormWindow::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const bool isForm = window == hwnd;
    switch (message) {
        case WM_COMMAND:
            return OnCommand(wParam, lParam);
        case WM_NOTIFY:
            return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            if (const LRESULT brush =
                    OnColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)))
                return brush;
            break;
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item.CtlType == ODT_STATIC) {
                DrawPicture(item);
                return TRUE;
            }
            break;
        }
        case WM_SETCURSOR: {
            const Control* control = ControlOfWindow(reinterpret_cast<HWND>(wParam));
            if (control && control->Kind() == ControlKind::LinkLabel &&
                LOWORD(lParam) == HTCLIENT) {
                SetCursor(LoadCursorW(nullptr, IDC_HAND));
                return TRUE;
            }
            break;
        }
        case WM_ERASEBKGND: {
            RECT rc;
            GetClientRect(window, &rc);
            FillRect(reinterpret_cast<HDC>(wParam), &rc,
                     host.gdi.Brush(isForm ? BackColorOf(form) : PageBackColor()));
            return 1;
        }
        case WM_PAINT: {
            const win::ScopedPaint paint(window);
            PaintLines(window, paint);
            return 0;
        }
        default:
            if (isForm) return HandleFormOnly(message, wParam, lParam);
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT FormWindow::HandleFormOnly(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            // The form decides; Unload comes back to the host as Destroy.
            Raise([this] { form.OnCloseBox(); });
            return 0;
        case WM_ACTIVATE:
            // Give the focus back to the control that had it, as a dialog does.
            if (LOWORD(wParam) == WA_INACTIVE) {
                const HWND focus = GetFocus();
                if (focus && IsChild(hwnd, focus)) savedFocus = focus;
            } else if (savedFocus && IsWindow(savedFocus) && IsWindowVisible(savedFocus)) {
                ::SetFocus(savedFocus);
                return 0;
            }
            break;
        case DM_GETDEFID:
            for (const auto& c : form.Controls()) {
                const ControlWindow* data = Find(*c);
                if (c->Kind() == ControlKind::Button && c->IsDefault() && data && data->hwnd)
                    return MAKELRESULT(data->id, DC_HASDEFID);
            }
            return 0;
        case DM_SETDEFID:
            return TRUE;
        case WM_DPICHANGED:
            return OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        case WM_SYSCOLORCHANGE:
        case WM_SETTINGCHANGE:
            // A high-contrast theme switched on or off: every colour is asked for again.
            if (message == WM_SYSCOLORCHANGE || wParam == SPI_SETHIGHCONTRAST)
                RedrawWindow(hwnd, nullptr, nullptr,
                             RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
            break;
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// ---- window -> model

bool FormWindow::TakeAccessKey(wchar_t key) {
    // Captions mark plain letters and digits.
    if (key == 0 || key > 0x7F) return false;
    const AccessKeyTarget target = FindAccessKey(form, static_cast<char>(key));
    Control* control = target.control;
    const HWND window = control ? WindowOf(*control) : nullptr;
    if (!window) return false;
    if (target.tab >= 0) {
        ::SetFocus(window);
        if (control->ListIndex() != target.tab) {
            SendMessageW(window, TCM_SETCURSEL, static_cast<WPARAM>(target.tab), 0);
            control->UserSetListIndex(target.tab);
            Raise([&] { form.OnClick(*control); });
        }
        return true;
    }
    // Buttons and boxes: the dialog manager presses them itself.
    if (control->Kind() == ControlKind::Button || control->Kind() == ControlKind::CheckBox)
        return false;
    ::SetFocus(window);
    if (control->Kind() == ControlKind::TextBox) SendMessageW(window, EM_SETSEL, 0, -1);
    return true;
}

LRESULT FormWindow::OnCommand(WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if (id == IDCANCEL && (lParam == 0 || code == BN_CLICKED)) {
        OnEscape();
        return 0;
    }
    Control* found = ControlById(id);
    // Echoes of the host's own changes, and the last messages of an unloading form.
    if (!found || IsUpdating() || !form.IsLoaded()) return 0;
    Control& control = *found;
    const HWND window = WindowOf(control);
    const auto [setFocus, killFocus] = FocusCodes(control.Kind());
    if (setFocus != 0 && (code == setFocus || code == killFocus)) {
        FocusChanged(control, code == setFocus);
        return 0;
    }
    switch (control.Kind()) {
        case ControlKind::Button:
            if (code == BN_CLICKED || code == BN_DOUBLECLICKED)
                Raise([&] { form.OnClick(control); });
            break;
        case ControlKind::CheckBox:
            if (code == BN_CLICKED || code == BN_DOUBLECLICKED) {
                const int value = control.Value() == 1 ? 0 : 1;
                control.UserSetValue(value);
                SendMessageW(window, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
                Raise([&] { form.OnClick(control); });
            }
            break;
        case ControlKind::ComboList:
            if (code == CBN_SELCHANGE) {
                const LRESULT index = SendMessageW(window, CB_GETCURSEL, 0, 0);
                control.UserSetListIndex(static_cast<int>(index));
                Raise([&] { form.OnChange(control); });
            }
            break;
        case ControlKind::TextBox:
            if (code == EN_CHANGE) {
                control.UserSetText(WindowText(window));
                Raise([&] { form.OnChange(control); });
            }
            break;
        case ControlKind::LinkLabel:
        case ControlKind::Picture:
            if (code == STN_CLICKED) Raise([&] { form.OnClick(control); });
            break;
        default:
            break;
    }
    return 0;
}

// Escape: the form's Cancel button, when it can be pressed; on a form without one, what
// the close box does, on a form that has a close box.
void FormWindow::OnEscape() {
    if (Control* cancel = form.CancelButton()) {
        const HWND window = WindowOf(*cancel);
        if (cancel->Kind() == ControlKind::Button && IsWindowVisible(window) &&
            IsWindowEnabled(window))
            Raise([this, cancel] { form.OnClick(*cancel); });
        return;
    }
    if (form.HasCloseBox) SendMessageW(hwnd, WM_CLOSE, 0, 0);
}

void FormWindow::FocusChanged(Control& control, bool gained) {
    // As in a dialog, a push button with the focus is the one Enter presses.
    if (control.Kind() == ControlKind::Button && !control.IsDefault()) {
        SetButtonLook(control, gained);
        for (const auto& c : form.Controls())
            if (c->Kind() == ControlKind::Button && c->IsDefault()) SetButtonLook(*c, !gained);
    }
    if (gained) savedFocus = WindowOf(control);
    Raise([&] {
        if (gained)
            form.OnGotFocus(control);
        else
            form.OnLostFocus(control);
    });
}

LRESULT FormWindow::OnNotify(const NMHDR& header) {
    Control* control = ControlById(static_cast<int>(header.idFrom));
    if (!control || IsUpdating() || !form.IsLoaded()) return 0;
    if (control->Kind() == ControlKind::LinkLabel) {
        // A click on the link, or Enter while it has the focus.
        if (header.code == NM_CLICK || header.code == NM_RETURN)
            Raise([&] { form.OnClick(*control); });
        return 0;
    }
    if (control->Kind() != ControlKind::TabStrip) return 0;
    if (header.code == TCN_SELCHANGE) {
        const LRESULT index = SendMessageW(header.hwndFrom, TCM_GETCURSEL, 0, 0);
        control->UserSetListIndex(static_cast<int>(index));
        Raise([&] { form.OnClick(*control); });
    }
    return 0;
}

// Labels and boxes lie "transparent" over the form's colour (or the page's). Zero for
// the controls that keep the system's colours.
LRESULT FormWindow::OnColor(HDC dc, HWND child) {
    const Control* control = ControlOfWindow(child);
    if (!control || control->Kind() == ControlKind::TextBox ||
        control->Kind() == ControlKind::ComboList)
        return 0;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ColorOf(TextPaint(*control, HighContrastOn())));
    const COLORREF back = control->Parent().empty() ? BackColorOf(form) : PageBackColor();
    // Wine's link control deletes the brush it is given, which would leave the cache a dead
    // one; a system colour's brush outlives that.
    if (control->Kind() == ControlKind::LinkLabel)
        for (const int index : {COLOR_WINDOW, COLOR_BTNFACE})
            if (GetSysColor(index) == back)
                return reinterpret_cast<LRESULT>(GetSysColorBrush(index));
    return reinterpret_cast<LRESULT>(host.gdi.Brush(back));
}

LRESULT FormWindow::OnDpiChanged(UINT newDpi, const RECT& suggested) {
    dpi = newDpi;
    {
        const Updating updating(*this);
        for (const auto& c : form.Controls()) {
            const HWND window = WindowOf(*c);
            if (!window) continue;
            SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(*c)), FALSE);
            Layout(*c);
        }
    }
    const SIZE size = OuterPixels();
    SetWindowPos(hwnd, nullptr, suggested.left, suggested.top, size.cx, size.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd, nullptr, TRUE);
    return 0;
}

// ---- painting

// Lines have no window: the form or the page they lie on draws them.
void FormWindow::PaintLines(HWND window, HDC dc) {
    const Control* page = nullptr;
    if (window != hwnd) {
        for (const auto& c : form.Controls())
            if (c->Kind() == ControlKind::Page && WindowOf(*c) == window) page = c.get();
        if (!page) return;
    }
    const std::string pageName = page ? page->Name() : std::string();
    for (const auto& c : form.Controls()) {
        if (c->Kind() != ControlKind::Line || !c->Visible() || PageOf(*c) != pageName) continue;
        const COLORREF color = ColorOf(LinePaint(*c, HighContrastOn()));
        const win::ScopedPen pen(CreatePen(PS_SOLID, 1, color));
        const win::ScopedSelect selected(dc, pen);
        const TwipRect& r = c->Rect();
        const int x1 = Px(r.left, dpi), y1 = Px(r.top, dpi);
        const int x2 = Px(r.left + r.width, dpi), y2 = Px(r.top + r.height, dpi);
        MoveToEx(dc, x1, y1, nullptr);
        LineTo(dc, x2, y2);
        SetPixel(dc, x2, y2, color);  // LineTo leaves out the last point
    }
}

void FormWindow::DrawPicture(const DRAWITEMSTRUCT& item) {
    const Control* control = ControlOfWindow(item.hwndItem);
    if (!control) return;
    const RECT& rc = item.rcItem;
    FillRect(item.hDC, &rc, host.gdi.Brush(BackColorOf(form)));
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;
    const ControlWindow& data = *Find(*control);
    if (control->Icon() != StockIcon::None) {
        if (HICON icon = host.gdi.Icon(control->Icon(), width, height))
            DrawIconEx(item.hDC, rc.left, rc.top, icon, width, height, 0, nullptr, DI_NORMAL);
    } else if (data.bitmap && !control->PicturePath().empty()) {
        const win::ScopedMemoryDC memory(CreateCompatibleDC(item.hDC));
        const win::ScopedSelect selected(memory, data.bitmap);
        SetStretchBltMode(item.hDC, HALFTONE);
        SetBrushOrgEx(item.hDC, 0, 0, nullptr);
        StretchBlt(item.hDC, rc.left, rc.top, width, height, memory, 0, 0, data.bitmapSize.cx,
                   data.bitmapSize.cy, SRCCOPY);
    }
}
