// Making a form's controls as native windows, and where they go: pixels from twips at
// the window's DPI, Z order from the tab order, pages seen through their tab strip.
#include "platform/win32/Win32FormWindow.h"

// After <windows.h>, which it needs.
#include <commctrl.h>

#include <algorithm>

#include "platform/win32/Win32Accessibility.h"
#include "platform/win32/Win32Dpi.h"
#include "platform/win32/Win32Picture.h"
#include "platform/win32/Win32Platform.h"

namespace {

// The native window of one kind of control.
struct NativeKind {
    const wchar_t* windowClass;
    DWORD style;  // beyond WS_CHILD and WS_VISIBLE
    DWORD exStyle;
    bool captioned;  // the control's text is the window's text
};

NativeKind NativeKindOf(const Control& control) {
    const DWORD wrap = control.WordWrap() ? SS_LEFT : SS_LEFTNOWORDWRAP;
    switch (control.Kind()) {
        case ControlKind::Label: {
            // Only a label that names a control shows its "&" as an access key.
            const bool names = static_cast<const Label&>(control).For() != nullptr;
            return {L"STATIC", (names ? 0 : SS_NOPREFIX) | wrap, 0, true};
        }
        case ControlKind::LinkLabel:
            // The common controls' link: a tab stop, opened by Enter as by a click, and
            // announced as a link by screen readers.
            return {WC_LINK, WS_TABSTOP, 0, true};
        case ControlKind::Button:
            return {L"BUTTON",
                    WS_TABSTOP | BS_NOTIFY |
                        static_cast<DWORD>(control.IsDefault() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
                    0, true};
        case ControlKind::CheckBox:
            // Not an automatic box: the model takes the new state before OnClick.
            return {L"BUTTON", WS_TABSTOP | BS_NOTIFY | BS_3STATE | BS_MULTILINE, 0, true};
        case ControlKind::ComboList:
            return {WC_COMBOBOXW, WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0, false};
        case ControlKind::TextBox:
            return {WC_EDITW, WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT, WS_EX_CLIENTEDGE, true};
        case ControlKind::Picture:
            return {L"STATIC", SS_OWNERDRAW | SS_NOTIFY, 0, true};
        case ControlKind::TabStrip:
            return {WC_TABCONTROLW, WS_TABSTOP | WS_CLIPSIBLINGS, 0, false};
        case ControlKind::Page:
            return {kPageClass, WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT, false};
        case ControlKind::Line:
            break;  // drawn by its parent
    }
    return {L"STATIC", 0, 0, false};
}

}  // namespace

DWORD FormStyle(const Form& form) {
    // A splash is a bare rectangle with a thin line around it.
    if (form.BorderStyle == Form::Border::None) return WS_POPUP | WS_BORDER | WS_CLIPCHILDREN;
    DWORD style = WS_CAPTION | WS_CLIPCHILDREN;
    if (form.HasCloseBox || form.HasMinimizeBox) style |= WS_SYSMENU;
    if (form.HasMinimizeBox) style |= WS_MINIMIZEBOX;
    return style;
}

DWORD FormExStyle(const Form& form) {
    DWORD exStyle = WS_EX_CONTROLPARENT;
    if (form.Topmost()) exStyle |= WS_EX_TOPMOST;
    if (form.ShowInTaskbar) exStyle |= WS_EX_APPWINDOW;
    return exStyle;
}

COLORREF ColorOf(const Paint& paint) {
    return paint.systemIndex >= 0 ? GetSysColor(paint.systemIndex) : ToColorRef(paint.rgb);
}

COLORREF BackColorOf(const Form& form) {
    return ColorOf(BackPaint(form, HighContrastOn()));
}

std::wstring WindowTextOf(const Control& control) {
    if (control.Kind() != ControlKind::LinkLabel) return Widen(control.Text());
    // The whole caption is the link.
    return L"<a>" + Widen(control.Text()) + L"</a>";
}

std::string PageOf(const Control& control) {
    if (control.Parent().empty()) return {};
    const Control* page = control.Owner().Find(control.Parent());
    return page && page->Kind() == ControlKind::Page ? control.Parent() : std::string();
}

// Pages that come after a tab strip lie below it; ClipTabStrips lets them show through.
std::vector<Control*> Siblings(const Form& form, const std::string& page) {
    std::vector<Control*> list;
    for (const auto& c : form.Controls())
        if (c->Kind() != ControlKind::Line && PageOf(*c) == page) list.push_back(c.get());
    std::stable_sort(list.begin(), list.end(), [](const Control* a, const Control* b) {
        return a->TabIndex() < b->TabIndex();
    });
    return list;
}

FormWindow::~FormWindow() {
    // Normally gone already (the host destroys it while this still answers its messages);
    // otherwise it must not call back into a FormWindow that no longer exists.
    if (hwnd && IsWindow(hwnd)) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        DestroyWindow(hwnd);
    }
}

// ---- controls

ControlWindow* FormWindow::Find(const Control& control) {
    const auto found = controls_.find(&control);
    return found == controls_.end() ? nullptr : &found->second;
}

const ControlWindow* FormWindow::Find(const Control& control) const {
    const auto found = controls_.find(&control);
    return found == controls_.end() ? nullptr : &found->second;
}

ControlWindow& FormWindow::Data(const Control& control) {
    return controls_[&control];
}

HWND FormWindow::WindowOf(const Control& control) const {
    const ControlWindow* data = Find(control);
    return data ? data->hwnd : nullptr;
}

Control* FormWindow::ControlById(int id) const {
    const auto& controls = form.Controls();
    const int index = id - kFirstControlId;
    if (index < 0 || index >= static_cast<int>(controls.size())) return nullptr;
    return controls[static_cast<std::size_t>(index)].get();
}

Control* FormWindow::ControlOfWindow(HWND window) const {
    Control* control = ControlById(GetDlgCtrlID(window));
    return control && window && WindowOf(*control) == window ? control : nullptr;
}

HFONT FormWindow::FontOf(const Control& control) {
    // Links are underlined whatever their font says.
    return host.gdi.Font(control.Font(), dpi, control.Kind() == ControlKind::LinkLabel);
}

HWND FormWindow::ParentWindow(const Control& control) {
    const std::string page = PageOf(control);
    if (page.empty()) return hwnd;
    Control* pageControl = form.Find(page);
    EnsureCreated(*pageControl);
    const HWND pageWindow = WindowOf(*pageControl);
    return pageWindow ? pageWindow : hwnd;
}

// ---- making windows

void FormWindow::EnsureCreated(Control& control) {
    ControlWindow& data = Data(control);
    if (data.hwnd || (data.id != 0 && control.Kind() == ControlKind::Line)) return;
    const auto& controls = form.Controls();
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (controls[i].get() == &control) data.id = kFirstControlId + static_cast<int>(i);
    if (control.Kind() == ControlKind::Line) {
        InvalidateRect(ParentWindow(control), nullptr, TRUE);
        return;
    }
    const HWND parent = ParentWindow(control);
    const NativeKind kind = NativeKindOf(control);
    const DWORD style = WS_CHILD | kind.style | (control.Visible() ? WS_VISIBLE : 0);
    const RECT rect = PixelRect(control);
    const Updating updating(*this);
    data.hwnd = CreateWindowExW(
        kind.exStyle, kind.windowClass, kind.captioned ? WindowTextOf(control).c_str() : L"", style,
        rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(data.id)), host.instance, this);
    if (!data.hwnd) return;
    if (!control.Enabled()) EnableWindow(data.hwnd, FALSE);
    SendMessageW(data.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(control)), FALSE);
    Layout(control);
    SyncNewWindow(control);
    NameForScreenReaders(control);
}

void FormWindow::NameForScreenReaders(const Control& control) {
    // A label names its control, whatever lies between them in the window order; the
    // name is given when both have their windows, made in either order.
    const auto name = [this](const Control& label) {
        const Control* named = static_cast<const Label&>(label).For();
        const HWND window = named ? WindowOf(*named) : nullptr;
        if (window) SetAccessibleName(window, Widen(WithoutAccessMarks(label.Text())));
    };
    if (control.Kind() == ControlKind::Label) {
        name(control);
        return;
    }
    for (const auto& c : form.Controls())
        if (c->Kind() == ControlKind::Label && static_cast<const Label&>(*c).For() == &control &&
            WindowOf(*c))
            name(*c);
}

void FormWindow::CreateAll() {
    for (Control* c : Siblings(form, "")) EnsureCreated(*c);
    for (const auto& c : form.Controls())
        if (c->Kind() == ControlKind::Page)
            for (Control* child : Siblings(form, c->Name())) EnsureCreated(*child);
    for (const auto& c : form.Controls())
        if (c->Kind() == ControlKind::Line) EnsureCreated(*c);
    Reorder("");
}

void FormWindow::Reorder(const std::string& page) {
    HWND after = HWND_TOP;
    for (Control* c : Siblings(form, page)) {
        const HWND window = WindowOf(*c);
        if (!window) continue;
        SetWindowPos(window, after, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
        after = window;
    }
}

bool FormWindow::LoadPicture(const Control& control, const std::string& path) {
    std::optional<DecodedPicture> picture = DecodePicture(Widen(path), BackColorOf(form));
    if (!picture) return false;
    ControlWindow& data = Data(control);
    data.bitmap = std::move(picture->bitmap);
    data.bitmapSize = picture->size;
    if (data.hwnd) InvalidateRect(data.hwnd, nullptr, TRUE);
    return true;
}

// ---- geometry

RECT FormWindow::PixelRect(const Control& control) const {
    const TwipRect& r = control.Rect();
    return RECT{Px(r.left, dpi), Px(r.top, dpi), Px(r.left + r.width, dpi),
                Px(r.top + r.height, dpi)};
}

SIZE FormWindow::OuterPixels() const {
    RECT rect{0, 0, Px(form.ClientSize().width, dpi), Px(form.ClientSize().height, dpi)};
    AdjustForDpi(rect, FormStyle(form), FormExStyle(form), dpi);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

void FormWindow::Place(bool center) {
    const SIZE size = OuterPixels();
    RECT now{};
    GetWindowRect(hwnd, &now);
    int x = now.left, y = now.top;
    if (center) {
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        x = work.left + std::max(0L, (work.right - work.left - size.cx) / 2);
        y = work.top + std::max(0L, (work.bottom - work.top - size.cy) / 2);
    }
    SetWindowPos(hwnd, nullptr, x, y, size.cx, size.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

void FormWindow::Layout(const Control& control) {
    if (control.Kind() == ControlKind::Line) {
        InvalidateRect(ParentWindow(control), nullptr, TRUE);
        return;
    }
    const HWND window = WindowOf(control);
    if (!window) return;
    const RECT rect = PixelRect(control);
    int height = rect.bottom - rect.top;
    // A drop-down list's window height is the height of its open list.
    if (control.Kind() == ControlKind::ComboList) height += Px(2700, dpi);
    SetWindowPos(window, nullptr, rect.left, rect.top, rect.right - rect.left, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (control.Kind() == ControlKind::ComboList) {
        // The closed box: as tall as the layout says, whatever the font.
        const int field = (rect.bottom - rect.top) - 6;
        if (field > 0) SendMessageW(window, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
    }
    if (control.Kind() == ControlKind::TabStrip || control.Kind() == ControlKind::Page)
        ClipTabStrips();
}

// A page lies over a tab strip's body, yet may come after the strip in the tab order and
// so lie below it in the Z order. Each strip's window region leaves out the pages shown
// over it: they are seen, and clicked, through the strip.
void FormWindow::ClipTabStrips() {
    for (const auto& strip : form.Controls()) {
        const HWND stripWindow = WindowOf(*strip);
        if (strip->Kind() != ControlKind::TabStrip || !stripWindow) continue;
        const RECT outer = PixelRect(*strip);
        win::ScopedRegion region(
            CreateRectRgn(0, 0, outer.right - outer.left, outer.bottom - outer.top));
        bool holed = false;
        for (const auto& page : form.Controls()) {
            if (page->Kind() != ControlKind::Page || !page->Visible() ||
                PageOf(*page) != PageOf(*strip))
                continue;
            const RECT pageRect = PixelRect(*page);
            RECT overlap{};
            if (!IntersectRect(&overlap, &pageRect, &outer)) continue;
            OffsetRect(&overlap, -outer.left, -outer.top);
            const win::ScopedRegion hole(CreateRectRgnIndirect(&overlap));
            CombineRgn(region, region, hole, RGN_DIFF);
            holed = true;
        }
        if (!holed) region.Reset();
        // The window owns the region once it is set.
        if (SetWindowRgn(stripWindow, region, TRUE)) region.Release();
    }
}
