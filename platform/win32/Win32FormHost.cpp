#include "platform/win32/Win32FormHost.h"

#include <windows.h>
// After <windows.h>, which they need.
#include <commctrl.h>
#include <objbase.h>
#include <wincodec.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>
#include <vector>

#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32Platform.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace {

const wchar_t kFormClass[] = L"SomnivexForm";
const wchar_t kPageClass[] = L"SomnivexPage";
// Clear of IDOK and IDCANCEL, which IsDialogMessage sends for Enter and Escape.
constexpr int kFirstControlId = 100;
// The link colour when the form does not set one: dark blue.
constexpr COLORREF kLinkColor = RGB(0, 0, 192);

// ---- functions newer than Windows 7, looked up at run time

template <class F>
F Lookup(const wchar_t* module, const char* name) {
    HMODULE handle = GetModuleHandleW(module);
    if (!handle) handle = LoadLibraryW(module);
    if (!handle) return nullptr;
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(handle, name)));
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
using LoadIconWithScaleDownFn = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);

UINT ScreenDpi() {
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

// Forms open on the primary monitor, so its DPI is the one to plan and measure with.
UINT PrimaryDpi() {
    static const auto getDpiForMonitor =
        Lookup<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
    if (getDpiForMonitor) {
        UINT x = 0, y = 0;
        HMONITOR primary = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
        if (SUCCEEDED(getDpiForMonitor(primary, 0 /* effective DPI */, &x, &y)) && y > 0) return y;
    }
    return ScreenDpi();
}

UINT WindowDpi(HWND window) {
    static const auto getDpiForWindow = Lookup<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
    if (getDpiForWindow && window) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi > 0) return dpi;
    }
    return ScreenDpi();
}

void AdjustForDpi(RECT& rect, DWORD style, DWORD exStyle, UINT dpi) {
    static const auto adjust =
        Lookup<AdjustWindowRectExForDpiFn>(L"user32.dll", "AdjustWindowRectExForDpi");
    if (adjust && adjust(&rect, style, FALSE, exStyle, dpi)) return;
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

int Px(int twips, UINT dpi) {
    return MulDiv(twips, static_cast<int>(dpi), 1440);
}
int Twips(int pixels, UINT dpi) {
    return MulDiv(pixels, 1440, static_cast<int>(dpi));
}

COLORREF ToColorRef(std::uint32_t rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

COLORREF BackColorOf(const Form& form) {
    return form.BackColor == kColorDefault ? GetSysColor(COLOR_BTNFACE)
                                           : ToColorRef(form.BackColor);
}

// Pages lie on a tab strip's body, which visual styles paint in the window colour and
// the classic look in the dialog colour.
COLORREF PageBackColor() {
    static const COLORREF color = [] {
        using IsAppThemedFn = BOOL(WINAPI*)();
        HMODULE uxtheme = LoadLibraryW(L"uxtheme.dll");
        auto isThemed = uxtheme ? reinterpret_cast<IsAppThemedFn>(reinterpret_cast<void*>(
                                      GetProcAddress(uxtheme, "IsAppThemed")))
                                : nullptr;
        return isThemed && isThemed() ? GetSysColor(COLOR_WINDOW) : GetSysColor(COLOR_BTNFACE);
    }();
    return color;
}

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

// UTF-8 offset in `text` to a UTF-16 offset, for the edit control's selection.
int Utf16Offset(const std::string& text, int byteOffset) {
    byteOffset = std::clamp(byteOffset, 0, static_cast<int>(text.size()));
    return static_cast<int>(Widen(text.substr(0, static_cast<std::size_t>(byteOffset))).size());
}

std::string WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(0, got)));
    return Narrow(text);
}

template <class T>
struct ComReleaser {
    void operator()(T* p) const {
        if (p) p->Release();
    }
};
template <class T>
using ComPtr = std::unique_ptr<T, ComReleaser<T>>;

// Decodes a picture file (GIF, BMP, JPEG, PNG, ICO) with WIC and flattens it onto
// `background`, so transparent parts show the form behind them. Null when it cannot.
HBITMAP DecodePicture(const std::wstring& path, COLORREF background, SIZE& size) {
    IWICImagingFactory* rawFactory = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, reinterpret_cast<void**>(&rawFactory))))
        return nullptr;
    ComPtr<IWICImagingFactory> factory(rawFactory);
    IWICBitmapDecoder* rawDecoder = nullptr;
    if (FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                  WICDecodeMetadataCacheOnDemand, &rawDecoder)))
        return nullptr;
    ComPtr<IWICBitmapDecoder> decoder(rawDecoder);
    // Icons hold several sizes: take the largest.
    UINT frames = 0, best = 0, bestArea = 0;
    decoder->GetFrameCount(&frames);
    for (UINT i = 0; i < frames && frames > 1; ++i) {
        IWICBitmapFrameDecode* candidate = nullptr;
        if (FAILED(decoder->GetFrame(i, &candidate))) continue;
        UINT w = 0, h = 0;
        candidate->GetSize(&w, &h);
        candidate->Release();
        if (w * h > bestArea) bestArea = w * h, best = i;
    }
    IWICBitmapFrameDecode* rawFrame = nullptr;
    if (FAILED(decoder->GetFrame(best, &rawFrame))) return nullptr;
    ComPtr<IWICBitmapFrameDecode> frame(rawFrame);
    IWICFormatConverter* rawConverter = nullptr;
    if (FAILED(factory->CreateFormatConverter(&rawConverter))) return nullptr;
    ComPtr<IWICFormatConverter> converter(rawConverter);
    if (FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA,
                                     WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return nullptr;
    UINT width = 0, height = 0;
    if (FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0 || width > 16384 ||
        height > 16384)
        return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    info.bmiHeader.biHeight = -static_cast<LONG>(height);  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;
    const UINT stride = width * 4;
    if (FAILED(converter->CopyPixels(nullptr, stride, stride * height, static_cast<BYTE*>(bits)))) {
        DeleteObject(bitmap);
        return nullptr;
    }
    // Premultiplied: colour + background * (1 - alpha).
    const BYTE backB = GetBValue(background), backG = GetGValue(background),
               backR = GetRValue(background);
    BYTE* p = static_cast<BYTE*>(bits);
    for (UINT i = 0; i < width * height; ++i, p += 4) {
        const int rest = 255 - p[3];
        p[0] = static_cast<BYTE>(p[0] + backB * rest / 255);
        p[1] = static_cast<BYTE>(p[1] + backG * rest / 255);
        p[2] = static_cast<BYTE>(p[2] + backR * rest / 255);
        p[3] = 255;
    }
    GdiFlush();
    size = SIZE{static_cast<LONG>(width), static_cast<LONG>(height)};
    return bitmap;
}

const wchar_t* StockIconId(StockIcon icon) {
    switch (icon) {
        case StockIcon::Stop:
            return IDI_HAND;
        case StockIcon::Question:
            return IDI_QUESTION;
        case StockIcon::Exclamation:
            return IDI_EXCLAMATION;
        case StockIcon::Information:
            return IDI_ASTERISK;
        case StockIcon::None:
            break;
    }
    return nullptr;
}

struct DisableContext {
    HWND self;
    std::vector<HWND>* disabled;
};

// For a modal form: every other window of the program that can take input now.
BOOL CALLBACK DisableOthers(HWND window, LPARAM param) {
    auto* context = reinterpret_cast<DisableContext*>(param);
    if (window != context->self && IsWindowVisible(window) && IsWindowEnabled(window)) {
        EnableWindow(window, FALSE);
        context->disabled->push_back(window);
    }
    return TRUE;
}

}  // namespace

// What the host keeps per control (Control::hostData).
struct ControlData {
    HWND hwnd = nullptr;
    int id = 0;
    HBITMAP bitmap = nullptr;
    SIZE bitmapSize{};
    // The entries the native list holds, so an added entry is one insertion.
    std::vector<std::pair<std::string, std::int32_t>> items;

    ~ControlData() {
        if (bitmap) DeleteObject(bitmap);
    }
};

// What the host keeps per form (Form::hostData).
struct FormWindow {
    Win32FormHost::Impl* host = nullptr;
    Form* form = nullptr;
    HWND hwnd = nullptr;
    UINT dpi = 96;
    HWND savedFocus = nullptr;
    // Above zero while the host itself changes controls: their notifications are echoes.
    int updating = 0;
};

struct Win32FormHost::Impl {
    Win32EventLoop& loop;
    HINSTANCE instance;
    HWND hiddenOwner = nullptr;
    std::vector<FormWindow*> forms;
    std::map<std::tuple<std::wstring, int, bool, bool, UINT>, HFONT> fonts;
    std::map<COLORREF, HBRUSH> brushes;
    std::map<std::tuple<StockIcon, int, int>, HICON> icons;
    struct Modal {
        Form* form;
        std::vector<HWND> disabled;
        bool restored = false;
    };
    std::vector<Modal> modals;

    Impl(Win32EventLoop& eventLoop, HINSTANCE module) : loop(eventLoop), instance(module) {}

    // ---- lookups

    FormWindow* WindowOf(const Form& form) const { return static_cast<FormWindow*>(form.hostData); }
    static ControlData* DataOf(const Control& control) {
        return static_cast<ControlData*>(control.hostData);
    }
    FormWindow* FormOfWindow(HWND window) const {
        for (FormWindow* fw : forms)
            if (fw->hwnd == window) return fw;
        return nullptr;
    }
    static Control* ControlById(const FormWindow& fw, int id) {
        const auto& controls = fw.form->Controls();
        const int index = id - kFirstControlId;
        if (index < 0 || index >= static_cast<int>(controls.size())) return nullptr;
        return controls[static_cast<std::size_t>(index)].get();
    }
    static Control* ControlOfWindow(const FormWindow& fw, HWND window) {
        Control* control = ControlById(fw, GetDlgCtrlID(window));
        return control && DataOf(*control) && DataOf(*control)->hwnd == window ? control : nullptr;
    }
    // The page a control sits on, or "" for the form itself.
    static std::string PageOf(const Control& control) {
        if (control.Parent().empty()) return {};
        const Control* page = control.Owner().Find(control.Parent());
        return page && page->Kind() == ControlKind::Page ? control.Parent() : std::string();
    }
    HWND ParentWindow(FormWindow& fw, const Control& control) {
        const std::string page = PageOf(control);
        if (page.empty()) return fw.hwnd;
        Control& pageControl = (*fw.form)[page];
        EnsureCreated(fw, pageControl);
        return DataOf(pageControl) ? DataOf(pageControl)->hwnd : fw.hwnd;
    }
    // Siblings in tab order, which is also their Z order: the order Tab walks. Pages
    // that come after a tab strip lie below it; ClipTabStrips lets them show through.
    static std::vector<Control*> Siblings(const Form& form, const std::string& page) {
        std::vector<Control*> list;
        for (const auto& c : form.Controls())
            if (c->Kind() != ControlKind::Line && PageOf(*c) == page) list.push_back(c.get());
        std::stable_sort(list.begin(), list.end(), [](const Control* a, const Control* b) {
            return a->TabIndex() < b->TabIndex();
        });
        return list;
    }

    // ---- drawing resources

    HFONT Font(const FontSpec& font, UINT dpi, bool underline = false) {
        const std::wstring face = font.face.empty() ? L"MS Shell Dlg" : Widen(font.face);
        const double points = font.points > 0 ? font.points : 8.0;
        const int height = static_cast<int>(std::lround(points * dpi / 72.0));
        const auto key = std::make_tuple(face, height, font.bold, font.underline || underline, dpi);
        if (auto it = fonts.find(key); it != fonts.end()) return it->second;
        LOGFONTW lf{};
        lf.lfHeight = -height;
        lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
        lf.lfUnderline = font.underline || underline;
        lf.lfCharSet = DEFAULT_CHARSET;
        lf.lfQuality = DEFAULT_QUALITY;
        lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
        HFONT created = CreateFontIndirectW(&lf);
        if (!created) created = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        fonts[key] = created;
        return created;
    }

    HFONT FontOf(const FormWindow& fw, const Control& control) {
        return Font(control.Font(), fw.dpi, control.Kind() == ControlKind::LinkLabel);
    }

    HBRUSH Brush(COLORREF color) {
        if (color == GetSysColor(COLOR_BTNFACE)) return GetSysColorBrush(COLOR_BTNFACE);
        if (auto it = brushes.find(color); it != brushes.end()) return it->second;
        return brushes[color] = CreateSolidBrush(color);
    }

    HICON Icon(StockIcon which, int width, int height) {
        const wchar_t* id = StockIconId(which);
        if (!id) return nullptr;
        const auto key = std::make_tuple(which, width, height);
        if (auto it = icons.find(key); it != icons.end()) return it->second;
        // Comctl32 6 scales the system's large icon down cleanly to any size.
        static const auto scaleDown =
            Lookup<LoadIconWithScaleDownFn>(L"comctl32.dll", "LoadIconWithScaleDown");
        HICON icon = nullptr;
        if (scaleDown && SUCCEEDED(scaleDown(nullptr, id, width, height, &icon)) && icon)
            return icons[key] = icon;
        return LoadIconW(nullptr, id);  // shared; DrawIconEx stretches it
    }

    // ---- geometry

    RECT PixelRect(const FormWindow& fw, const Control& control) const {
        const TwipRect& r = control.Rect();
        RECT rect{Px(r.left, fw.dpi), Px(r.top, fw.dpi), Px(r.left + r.width, fw.dpi),
                  Px(r.top + r.height, fw.dpi)};
        return rect;
    }

    SIZE OuterPixels(const FormWindow& fw) const {
        const Form& form = *fw.form;
        RECT rect{0, 0, Px(form.ClientSize().width, fw.dpi), Px(form.ClientSize().height, fw.dpi)};
        AdjustForDpi(rect, FormStyle(form), FormExStyle(form), fw.dpi);
        return SIZE{rect.right - rect.left, rect.bottom - rect.top};
    }

    void PlaceWindow(FormWindow& fw, bool center) {
        const SIZE size = OuterPixels(fw);
        RECT now{};
        GetWindowRect(fw.hwnd, &now);
        int x = now.left, y = now.top;
        if (center) {
            RECT work{};
            SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
            x = work.left + std::max(0L, (work.right - work.left - size.cx) / 2);
            y = work.top + std::max(0L, (work.bottom - work.top - size.cy) / 2);
        }
        SetWindowPos(fw.hwnd, nullptr, x, y, size.cx, size.cy,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    }

    void Layout(FormWindow& fw, Control& control) {
        ControlData* data = DataOf(control);
        if (control.Kind() == ControlKind::Line) {
            InvalidateRect(ParentWindow(fw, control), nullptr, TRUE);
            return;
        }
        if (!data || !data->hwnd) return;
        RECT rect = PixelRect(fw, control);
        int height = rect.bottom - rect.top;
        // A drop-down list's window height is the height of its open list.
        if (control.Kind() == ControlKind::ComboList) height += Px(2700, fw.dpi);
        SetWindowPos(data->hwnd, nullptr, rect.left, rect.top, rect.right - rect.left, height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if (control.Kind() == ControlKind::ComboList) {
            // The closed box: as tall as the layout says, whatever the font.
            const int field = (rect.bottom - rect.top) - 6;
            if (field > 0)
                SendMessageW(data->hwnd, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
        }
        if (control.Kind() == ControlKind::TabStrip || control.Kind() == ControlKind::Page)
            ClipTabStrips(fw);
    }

    // A page lies over a tab strip's body, yet may come after the strip in the tab order
    // and so lie below it in the Z order. Each strip's window region leaves out the pages
    // shown over it: they are seen, and clicked, through the strip.
    void ClipTabStrips(FormWindow& fw) {
        for (const auto& strip : fw.form->Controls()) {
            const ControlData* data = DataOf(*strip);
            if (strip->Kind() != ControlKind::TabStrip || !data || !data->hwnd) continue;
            const RECT outer = PixelRect(fw, *strip);
            HRGN region = CreateRectRgn(0, 0, outer.right - outer.left, outer.bottom - outer.top);
            bool holed = false;
            for (const auto& page : fw.form->Controls()) {
                if (page->Kind() != ControlKind::Page || !page->Visible() ||
                    PageOf(*page) != PageOf(*strip))
                    continue;
                const RECT pageRect = PixelRect(fw, *page);
                RECT overlap{};
                if (!IntersectRect(&overlap, &pageRect, &outer)) continue;
                OffsetRect(&overlap, -outer.left, -outer.top);
                HRGN hole = CreateRectRgnIndirect(&overlap);
                CombineRgn(region, region, hole, RGN_DIFF);
                DeleteObject(hole);
                holed = true;
            }
            if (!holed) {
                DeleteObject(region);
                region = nullptr;
            }
            // The window owns the region once it is set.
            if (!SetWindowRgn(data->hwnd, region, TRUE) && region) DeleteObject(region);
        }
    }

    // ---- creating controls

    void EnsureCreated(FormWindow& fw, Control& control) {
        ControlData* data = DataOf(control);
        if (data && (data->hwnd || control.Kind() == ControlKind::Line)) return;
        if (!data) {
            data = new ControlData;
            control.hostData = data;
        }
        const auto& controls = fw.form->Controls();
        for (std::size_t i = 0; i < controls.size(); ++i)
            if (controls[i].get() == &control) data->id = kFirstControlId + static_cast<int>(i);
        if (control.Kind() == ControlKind::Line) {
            InvalidateRect(ParentWindow(fw, control), nullptr, TRUE);
            return;
        }
        HWND parent = ParentWindow(fw, control);
        const wchar_t* windowClass = L"STATIC";
        DWORD style = WS_CHILD;
        DWORD exStyle = 0;
        switch (control.Kind()) {
            case ControlKind::Label:
                style |= SS_NOPREFIX | (control.WordWrap() ? SS_LEFT : SS_LEFTNOWORDWRAP);
                break;
            case ControlKind::LinkLabel:
                style |=
                    SS_NOPREFIX | SS_NOTIFY | (control.WordWrap() ? SS_LEFT : SS_LEFTNOWORDWRAP);
                break;
            case ControlKind::Button:
                windowClass = L"BUTTON";
                style |= WS_TABSTOP | BS_NOTIFY |
                         (control.IsDefault() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
                break;
            case ControlKind::CheckBox:
                // Not an automatic box: the model takes the new state before OnClick.
                windowClass = L"BUTTON";
                style |= WS_TABSTOP | BS_NOTIFY | BS_3STATE | BS_MULTILINE;
                break;
            case ControlKind::ComboList:
                windowClass = WC_COMBOBOXW;
                style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
                break;
            case ControlKind::TextBox:
                windowClass = WC_EDITW;
                style |= WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT;
                exStyle |= WS_EX_CLIENTEDGE;
                break;
            case ControlKind::Picture:
                style |= SS_OWNERDRAW | SS_NOTIFY;
                break;
            case ControlKind::TabStrip:
                windowClass = WC_TABCONTROLW;
                style |= WS_TABSTOP | WS_CLIPSIBLINGS;
                break;
            case ControlKind::Page:
                windowClass = kPageClass;
                style |= WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
                exStyle |= WS_EX_CONTROLPARENT;
                break;
            case ControlKind::Line:
                break;
        }
        if (control.Visible()) style |= WS_VISIBLE;
        const RECT rect = PixelRect(fw, control);
        const bool textual = control.Kind() != ControlKind::TabStrip &&
                             control.Kind() != ControlKind::Page &&
                             control.Kind() != ControlKind::ComboList;
        ++fw.updating;
        data->hwnd = CreateWindowExW(
            exStyle, windowClass, textual ? Widen(control.Text()).c_str() : L"", style, rect.left,
            rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(data->id)), instance, &fw);
        if (data->hwnd) {
            if (!control.Enabled()) EnableWindow(data->hwnd, FALSE);
            SendMessageW(data->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(fw, control)),
                         FALSE);
            Layout(fw, control);
            SyncState(fw, control);
        }
        --fw.updating;
    }

    // Copies the model's state of a kind-specific kind into a fresh window.
    void SyncState(FormWindow& fw, Control& control) {
        switch (control.Kind()) {
            case ControlKind::Button:
                if (control.Shield()) Apply(fw, control, ControlChange::Shield);
                break;
            case ControlKind::CheckBox:
                Apply(fw, control, ControlChange::Value);
                break;
            case ControlKind::ComboList:
            case ControlKind::TabStrip:
                Apply(fw, control, ControlChange::Items);
                break;
            case ControlKind::TextBox:
                Apply(fw, control, ControlChange::Selection);
                break;
            case ControlKind::Picture:
                if (!control.PicturePath().empty() && !DataOf(control)->bitmap)
                    LoadInto(fw, control, control.PicturePath());
                break;
            default:
                break;
        }
    }

    void CreateAll(FormWindow& fw) {
        for (Control* c : Siblings(*fw.form, "")) EnsureCreated(fw, *c);
        for (const auto& c : fw.form->Controls())
            if (c->Kind() == ControlKind::Page)
                for (Control* child : Siblings(*fw.form, c->Name())) EnsureCreated(fw, *child);
        for (const auto& c : fw.form->Controls())
            if (c->Kind() == ControlKind::Line) EnsureCreated(fw, *c);
        Reorder(fw, "");
    }

    void Reorder(FormWindow& fw, const std::string& page) {
        HWND after = HWND_TOP;
        for (Control* c : Siblings(*fw.form, page)) {
            ControlData* data = DataOf(*c);
            if (!data || !data->hwnd) continue;
            SetWindowPos(data->hwnd, after, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
            after = data->hwnd;
        }
    }

    // ---- model -> window

    void Apply(FormWindow& fw, Control& control, ControlChange what) {
        ControlData* data = DataOf(control);
        HWND hwnd = data ? data->hwnd : nullptr;
        if (control.Kind() == ControlKind::Line) {
            InvalidateRect(ParentWindow(fw, control), nullptr, TRUE);
            return;
        }
        if (!hwnd) return;
        ++fw.updating;
        switch (what) {
            case ControlChange::Text:
                if (control.Kind() != ControlKind::TabStrip &&
                    control.Kind() != ControlKind::Page && control.Kind() != ControlKind::ComboList)
                    SetWindowTextW(hwnd, Widen(control.Text()).c_str());
                if (control.Kind() == ControlKind::Label ||
                    control.Kind() == ControlKind::LinkLabel)
                    InvalidateRect(hwnd, nullptr, TRUE);
                break;
            case ControlChange::Visible:
                ShowWindow(hwnd, control.Visible() ? SW_SHOWNA : SW_HIDE);
                if (control.Kind() == ControlKind::Page) ClipTabStrips(fw);
                RescueFocus(fw);
                break;
            case ControlChange::Enabled:
                EnableWindow(hwnd, control.Enabled());
                RescueFocus(fw);
                break;
            case ControlChange::Rect:
                Layout(fw, control);
                break;
            case ControlChange::Value: {
                const int value = control.Value();
                SendMessageW(hwnd, BM_SETCHECK,
                             value == 1   ? BST_CHECKED
                             : value == 2 ? BST_INDETERMINATE
                                          : BST_UNCHECKED,
                             0);
                break;
            }
            case ControlChange::Items:
                if (control.Kind() == ControlKind::ComboList) SyncComboItems(control, *data);
                if (control.Kind() == ControlKind::TabStrip) SyncTabs(control, hwnd);
                [[fallthrough]];
            case ControlChange::ListIndex:
                if (control.Kind() == ControlKind::ComboList)
                    SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(control.ListIndex()), 0);
                if (control.Kind() == ControlKind::TabStrip)
                    SendMessageW(hwnd, TCM_SETCURSEL, static_cast<WPARAM>(control.ListIndex()), 0);
                break;
            case ControlChange::Picture:
                InvalidateRect(hwnd, nullptr, TRUE);
                break;
            case ControlChange::Font:
                SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(fw, control)), TRUE);
                if (control.Kind() == ControlKind::ComboList) Layout(fw, control);
                break;
            case ControlChange::Color:
                InvalidateRect(hwnd, nullptr, TRUE);
                break;
            case ControlChange::Default:
                SetButtonType(control, control.IsDefault());
                break;
            case ControlChange::TabIndex:
                Reorder(fw, PageOf(control));
                break;
            case ControlChange::Selection:
                if (control.Kind() == ControlKind::TextBox) {
                    const int start = Utf16Offset(control.Text(), control.SelStart());
                    const int end =
                        Utf16Offset(control.Text(), control.SelStart() + control.SelLength());
                    SendMessageW(hwnd, EM_SETSEL, static_cast<WPARAM>(start), end);
                }
                break;
            case ControlChange::WordWrap:
                if (control.Kind() == ControlKind::Label ||
                    control.Kind() == ControlKind::LinkLabel) {
                    LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE) & ~SS_TYPEMASK;
                    style |= control.WordWrap() ? SS_LEFT : SS_LEFTNOWORDWRAP;
                    SetWindowLongPtrW(hwnd, GWL_STYLE, style);
                    InvalidateRect(hwnd, nullptr, TRUE);
                }
                break;
            case ControlChange::Shield:
                // Drawn by the version 6 common controls the manifest asks for.
                if (control.Kind() == ControlKind::Button)
                    SendMessageW(hwnd, BCM_SETSHIELD, 0, control.Shield() ? TRUE : FALSE);
                break;
        }
        --fw.updating;
    }

    static void SetButtonType(const Control& control, bool isDefault) {
        ControlData* data = DataOf(control);
        if (!data || !data->hwnd || control.Kind() != ControlKind::Button) return;
        const LONG_PTR style = GetWindowLongPtrW(data->hwnd, GWL_STYLE) & 0xFFFF & ~BS_TYPEMASK;
        SendMessageW(data->hwnd, BM_SETSTYLE,
                     static_cast<WPARAM>(style | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON)),
                     TRUE);
    }

    static void SyncComboItems(const Control& control, ControlData& data) {
        HWND hwnd = data.hwnd;
        const int count = control.ListCount();
        const auto same = [&](int model, int native) {
            const ListItem& item = control.Item(model);
            const auto& held = data.items[static_cast<std::size_t>(native)];
            return item.text == held.first && item.tag == held.second;
        };
        // The usual change is one added entry: insert it where the model put it.
        if (count == static_cast<int>(data.items.size()) + 1) {
            int at = 0;
            while (at < count - 1 && same(at, at)) ++at;
            bool rest = true;
            for (int i = at + 1; i < count && rest; ++i) rest = same(i, i - 1);
            if (rest) {
                const ListItem& item = control.Item(at);
                const LRESULT index =
                    SendMessageW(hwnd, CB_INSERTSTRING, static_cast<WPARAM>(at),
                                 reinterpret_cast<LPARAM>(Widen(item.text).c_str()));
                if (index >= 0)
                    SendMessageW(hwnd, CB_SETITEMDATA, static_cast<WPARAM>(index), item.tag);
                data.items.insert(data.items.begin() + at, {item.text, item.tag});
                return;
            }
        }
        SendMessageW(hwnd, CB_RESETCONTENT, 0, 0);
        data.items.clear();
        SendMessageW(hwnd, CB_INITSTORAGE, static_cast<WPARAM>(count), count * 64);
        for (int i = 0; i < count; ++i) {
            const ListItem& item = control.Item(i);
            const LRESULT index = SendMessageW(hwnd, CB_INSERTSTRING, static_cast<WPARAM>(-1),
                                               reinterpret_cast<LPARAM>(Widen(item.text).c_str()));
            if (index >= 0)
                SendMessageW(hwnd, CB_SETITEMDATA, static_cast<WPARAM>(index), item.tag);
            data.items.emplace_back(item.text, item.tag);
        }
    }

    static void SyncTabs(const Control& control, HWND hwnd) {
        SendMessageW(hwnd, TCM_DELETEALLITEMS, 0, 0);
        for (int i = 0; i < control.ListCount(); ++i) {
            std::wstring text = Widen(control.Item(i).text);
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = text.data();
            SendMessageW(hwnd, TCM_INSERTITEMW, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(&item));
        }
    }

    // A hidden or disabled window that held the focus passes it on, as in a dialog.
    static void RescueFocus(FormWindow& fw) {
        HWND focus = GetFocus();
        if (!focus || !IsChild(fw.hwnd, focus)) return;
        if (IsWindowVisible(focus) && IsWindowEnabled(focus)) return;
        if (HWND next = GetNextDlgTabItem(fw.hwnd, nullptr, FALSE)) ::SetFocus(next);
    }

    bool LoadInto(FormWindow& fw, Control& control, const std::string& path) {
        SIZE size{};
        HBITMAP bitmap = DecodePicture(Widen(path), BackColorOf(*fw.form), size);
        if (!bitmap) return false;
        ControlData* data = DataOf(control);
        if (data->bitmap) DeleteObject(data->bitmap);
        data->bitmap = bitmap;
        data->bitmapSize = size;
        if (data->hwnd) InvalidateRect(data->hwnd, nullptr, TRUE);
        return true;
    }

    // ---- painting

    void PaintLines(FormWindow& fw, HWND window, HDC dc) {
        const std::string page = window == fw.hwnd ? std::string() : PageNameOf(fw, window);
        for (const auto& c : fw.form->Controls()) {
            if (c->Kind() != ControlKind::Line || !c->Visible() || PageOf(*c) != page) continue;
            const COLORREF color = c->ForeColor() == kColorDefault ? GetSysColor(COLOR_WINDOWTEXT)
                                                                   : ToColorRef(c->ForeColor());
            HPEN pen = CreatePen(PS_SOLID, 1, color);
            HGDIOBJ old = SelectObject(dc, pen);
            const TwipRect& r = c->Rect();
            const int x1 = Px(r.left, fw.dpi), y1 = Px(r.top, fw.dpi);
            const int x2 = Px(r.left + r.width, fw.dpi), y2 = Px(r.top + r.height, fw.dpi);
            MoveToEx(dc, x1, y1, nullptr);
            LineTo(dc, x2, y2);
            SetPixel(dc, x2, y2, color);  // LineTo leaves out the last point
            SelectObject(dc, old);
            DeleteObject(pen);
        }
    }

    static std::string PageNameOf(const FormWindow& fw, HWND window) {
        for (const auto& c : fw.form->Controls())
            if (c->Kind() == ControlKind::Page && DataOf(*c) && DataOf(*c)->hwnd == window)
                return c->Name();
        return "\x01";  // no page: matches no control
    }

    void DrawPicture(FormWindow& fw, const DRAWITEMSTRUCT& item) {
        Control* control = ControlOfWindow(fw, item.hwndItem);
        if (!control) return;
        const RECT& rc = item.rcItem;
        FillRect(item.hDC, &rc, Brush(BackColorOf(*fw.form)));
        const int width = rc.right - rc.left, height = rc.bottom - rc.top;
        ControlData* data = DataOf(*control);
        if (control->Icon() != StockIcon::None) {
            if (HICON icon = Icon(control->Icon(), width, height))
                DrawIconEx(item.hDC, rc.left, rc.top, icon, width, height, 0, nullptr, DI_NORMAL);
        } else if (data->bitmap && !control->PicturePath().empty()) {
            HDC memory = CreateCompatibleDC(item.hDC);
            HGDIOBJ old = SelectObject(memory, data->bitmap);
            SetStretchBltMode(item.hDC, HALFTONE);
            SetBrushOrgEx(item.hDC, 0, 0, nullptr);
            StretchBlt(item.hDC, rc.left, rc.top, width, height, memory, 0, 0, data->bitmapSize.cx,
                       data->bitmapSize.cy, SRCCOPY);
            SelectObject(memory, old);
            DeleteDC(memory);
        }
    }

    // ---- window -> model

    LRESULT OnCommand(FormWindow& fw, WPARAM wParam, LPARAM lParam) {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        if (id == IDCANCEL && (lParam == 0 || code == BN_CLICKED)) {
            // Escape: the form's Cancel button, when it has one that can act.
            Control* cancel = fw.form->Find("cmdCancel");
            if (cancel && cancel->Kind() == ControlKind::Button && DataOf(*cancel) &&
                IsWindowVisible(DataOf(*cancel)->hwnd) && IsWindowEnabled(DataOf(*cancel)->hwnd))
                loop.Guarded([&] { fw.form->OnClick(*cancel); });
            return 0;
        }
        Control* found = ControlById(fw, id);
        // Echoes of the host's own changes, and the last messages of an unloading form.
        if (!found || fw.updating > 0 || !fw.form->IsLoaded()) return 0;
        Control& control = *found;
        Form& form = *fw.form;
        switch (control.Kind()) {
            case ControlKind::Button:
                if (code == BN_CLICKED || code == BN_DOUBLECLICKED)
                    loop.Guarded([&] { form.OnClick(control); });
                else if (code == BN_SETFOCUS)
                    FocusChanged(fw, control, true);
                else if (code == BN_KILLFOCUS)
                    FocusChanged(fw, control, false);
                break;
            case ControlKind::CheckBox:
                if (code == BN_CLICKED || code == BN_DOUBLECLICKED) {
                    const int value = control.Value() == 1 ? 0 : 1;
                    control.UserSetValue(value);
                    SendMessageW(DataOf(control)->hwnd, BM_SETCHECK,
                                 value ? BST_CHECKED : BST_UNCHECKED, 0);
                    loop.Guarded([&] { form.OnClick(control); });
                } else if (code == BN_SETFOCUS || code == BN_KILLFOCUS) {
                    FocusChanged(fw, control, code == BN_SETFOCUS);
                }
                break;
            case ControlKind::ComboList:
                if (code == CBN_SELCHANGE) {
                    const LRESULT index = SendMessageW(DataOf(control)->hwnd, CB_GETCURSEL, 0, 0);
                    control.UserSetListIndex(static_cast<int>(index));
                    loop.Guarded([&] { form.OnChange(control); });
                } else if (code == CBN_SETFOCUS || code == CBN_KILLFOCUS) {
                    FocusChanged(fw, control, code == CBN_SETFOCUS);
                }
                break;
            case ControlKind::TextBox:
                if (code == EN_CHANGE) {
                    control.UserSetText(WindowText(DataOf(control)->hwnd));
                    loop.Guarded([&] { form.OnChange(control); });
                } else if (code == EN_SETFOCUS || code == EN_KILLFOCUS) {
                    FocusChanged(fw, control, code == EN_SETFOCUS);
                }
                break;
            case ControlKind::LinkLabel:
            case ControlKind::Picture:
                if (code == STN_CLICKED) loop.Guarded([&] { form.OnClick(control); });
                break;
            default:
                break;
        }
        return 0;
    }

    void FocusChanged(FormWindow& fw, Control& control, bool gained) {
        // As in a dialog, a push button with the focus is the one Enter presses.
        if (control.Kind() == ControlKind::Button && !control.IsDefault()) {
            SetButtonType(control, gained);
            for (const auto& c : fw.form->Controls())
                if (c->Kind() == ControlKind::Button && c->IsDefault()) SetButtonType(*c, !gained);
        }
        if (gained) fw.savedFocus = DataOf(control)->hwnd;
        Form& form = *fw.form;
        loop.Guarded([&] {
            if (gained)
                form.OnGotFocus(control);
            else
                form.OnLostFocus(control);
        });
    }

    LRESULT OnNotify(FormWindow& fw, const NMHDR& header) {
        Control* control = ControlById(fw, static_cast<int>(header.idFrom));
        if (!control || control->Kind() != ControlKind::TabStrip || fw.updating > 0 ||
            !fw.form->IsLoaded())
            return 0;
        if (header.code == TCN_SELCHANGE) {
            const LRESULT index = SendMessageW(header.hwndFrom, TCM_GETCURSEL, 0, 0);
            control->UserSetListIndex(static_cast<int>(index));
            Form& form = *fw.form;
            loop.Guarded([&] { form.OnClick(*control); });
        }
        return 0;
    }

    LRESULT OnDpiChanged(FormWindow& fw, UINT dpi, const RECT& suggested) {
        fw.dpi = dpi;
        ++fw.updating;
        for (const auto& c : fw.form->Controls()) {
            ControlData* data = DataOf(*c);
            if (!data || !data->hwnd) continue;
            SendMessageW(data->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(fw, *c)), FALSE);
            Layout(fw, *c);
        }
        --fw.updating;
        const SIZE size = OuterPixels(fw);
        SetWindowPos(fw.hwnd, nullptr, suggested.left, suggested.top, size.cx, size.cy,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(fw.hwnd, nullptr, TRUE);
        return 0;
    }

    LRESULT Handle(FormWindow& fw, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        const bool isForm = hwnd == fw.hwnd;
        switch (message) {
            case WM_COMMAND:
                return OnCommand(fw, wParam, lParam);
            case WM_NOTIFY:
                return OnNotify(fw, *reinterpret_cast<const NMHDR*>(lParam));
            case WM_CTLCOLORSTATIC:
            case WM_CTLCOLORBTN: {
                Control* control = ControlOfWindow(fw, reinterpret_cast<HWND>(lParam));
                if (!control || control->Kind() == ControlKind::TextBox ||
                    control->Kind() == ControlKind::ComboList)
                    break;
                HDC dc = reinterpret_cast<HDC>(wParam);
                // Labels and boxes lie "transparent" over the form's colour.
                SetBkMode(dc, TRANSPARENT);
                COLORREF text = GetSysColor(COLOR_BTNTEXT);
                if (control->ForeColor() != kColorDefault)
                    text = ToColorRef(control->ForeColor());
                else if (control->Kind() == ControlKind::LinkLabel)
                    text = kLinkColor;
                SetTextColor(dc, text);
                return reinterpret_cast<LRESULT>(
                    Brush(control->Parent().empty() ? BackColorOf(*fw.form) : PageBackColor()));
            }
            case WM_DRAWITEM: {
                const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
                if (item.CtlType == ODT_STATIC) {
                    DrawPicture(fw, item);
                    return TRUE;
                }
                break;
            }
            case WM_SETCURSOR: {
                Control* control = ControlOfWindow(fw, reinterpret_cast<HWND>(wParam));
                if (control && control->Kind() == ControlKind::LinkLabel &&
                    LOWORD(lParam) == HTCLIENT) {
                    SetCursor(LoadCursorW(nullptr, IDC_HAND));
                    return TRUE;
                }
                break;
            }
            case WM_ERASEBKGND: {
                RECT rc;
                GetClientRect(hwnd, &rc);
                FillRect(reinterpret_cast<HDC>(wParam), &rc,
                         Brush(isForm ? BackColorOf(*fw.form) : PageBackColor()));
                return 1;
            }
            case WM_PAINT: {
                PAINTSTRUCT ps;
                HDC dc = BeginPaint(hwnd, &ps);
                PaintLines(fw, hwnd, dc);
                EndPaint(hwnd, &ps);
                return 0;
            }
            default:
                break;
        }
        if (isForm) {
            switch (message) {
                case WM_CLOSE: {
                    // The form decides; Unload comes back here as Destroy.
                    Form& form = *fw.form;
                    loop.Guarded([&] { form.OnCloseBox(); });
                    return 0;
                }
                case WM_ACTIVATE:
                    // Give the focus back to the control that had it, as a dialog does.
                    if (LOWORD(wParam) == WA_INACTIVE) {
                        HWND focus = GetFocus();
                        if (focus && IsChild(hwnd, focus)) fw.savedFocus = focus;
                    } else if (fw.savedFocus && IsWindow(fw.savedFocus) &&
                               IsWindowVisible(fw.savedFocus)) {
                        ::SetFocus(fw.savedFocus);
                        return 0;
                    }
                    break;
                case DM_GETDEFID:
                    for (const auto& c : fw.form->Controls())
                        if (c->Kind() == ControlKind::Button && c->IsDefault() && DataOf(*c) &&
                            DataOf(*c)->hwnd)
                            return MAKELRESULT(DataOf(*c)->id, DC_HASDEFID);
                    return 0;
                case DM_SETDEFID:
                    return TRUE;
                case WM_DPICHANGED:
                    return OnDpiChanged(fw, HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
                default:
                    break;
            }
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        FormWindow* fw = nullptr;
        if (message == WM_NCCREATE) {
            fw = static_cast<FormWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(fw));
            if (fw && !fw->hwnd) fw->hwnd = hwnd;
        } else {
            fw = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        }
        if (message == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        if (!fw || !fw->form) return DefWindowProcW(hwnd, message, wParam, lParam);
        return fw->host->Handle(*fw, hwnd, message, wParam, lParam);
    }

    // Runs IsDialogMessage for keyboard input to our forms: Tab, Enter on the default
    // button, Escape, and access keys.
    bool DialogFilter(MSG& msg) {
        if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST || !msg.hwnd) return false;
        HWND root = GetAncestor(msg.hwnd, GA_ROOT);
        if (!root || !FormOfWindow(root)) return false;
        return IsDialogMessageW(root, &msg) != FALSE;
    }

    void RestoreModal(Modal& modal) {
        if (modal.restored) return;
        modal.restored = true;
        for (HWND window : modal.disabled)
            if (IsWindow(window)) EnableWindow(window, TRUE);
    }
};

Win32FormHost::Win32FormHost(Win32EventLoop& loop, void* instance)
    : impl_(std::make_unique<Impl>(
          loop, instance ? static_cast<HINSTANCE>(instance) : GetModuleHandleW(nullptr))) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Impl::WindowProc;
    wc.hInstance = impl_->instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(impl_->instance, MAKEINTRESOURCEW(1));
    if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.lpszClassName = kFormClass;
    RegisterClassExW(&wc);
    wc.hIcon = nullptr;
    wc.lpszClassName = kPageClass;
    RegisterClassExW(&wc);
    // Forms that stay out of the taskbar are owned by this window, which is never shown.
    impl_->hiddenOwner = CreateWindowExW(0, kFormClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                         impl_->instance, nullptr);
    Impl* impl = impl_.get();
    loop.SetMessageFilter(
        [impl](void* msg) { return impl->DialogFilter(*static_cast<MSG*>(msg)); });
}

Win32FormHost::~Win32FormHost() {
    impl_->loop.SetMessageFilter(nullptr);
    while (!impl_->forms.empty()) Destroy(*impl_->forms.back()->form);
    if (impl_->hiddenOwner) DestroyWindow(impl_->hiddenOwner);
    for (auto& [key, font] : impl_->fonts) DeleteObject(font);
    for (auto& [key, brush] : impl_->brushes) DeleteObject(brush);
    for (auto& [key, icon] : impl_->icons) DestroyIcon(icon);
}

IEventLoop& Win32FormHost::Loop() {
    return impl_->loop;
}

void Win32FormHost::Create(Form& form) {
    if (form.hostData) return;
    auto* fw = new FormWindow;
    fw->host = impl_.get();
    fw->form = &form;
    form.hostData = fw;
    impl_->forms.push_back(fw);
    // Made on the primary monitor, hidden, so its DPI is known before the layout.
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    HWND owner = form.ShowInTaskbar ? nullptr : impl_->hiddenOwner;
    CreateWindowExW(FormExStyle(form), kFormClass, Widen(form.Caption()).c_str(), FormStyle(form),
                    work.left, work.top, 100, 100, owner, nullptr, impl_->instance, fw);
    if (!fw->hwnd) return;
    if (!form.HasCloseBox && form.HasMinimizeBox)
        EnableMenuItem(GetSystemMenu(fw->hwnd, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    fw->dpi = WindowDpi(fw->hwnd);
    impl_->CreateAll(*fw);
    impl_->PlaceWindow(*fw, form.CenterOnScreen);
}

void Win32FormHost::Destroy(Form& form) {
    FormWindow* fw = impl_->WindowOf(form);
    if (!fw) return;
    // Enable the other windows first, so Windows hands the activation back to them and
    // not to another program.
    for (auto& modal : impl_->modals)
        if (modal.form == &form) impl_->RestoreModal(modal);
    if (fw->hwnd) {
        HWND hwnd = fw->hwnd;
        DestroyWindow(hwnd);
    }
    for (const auto& c : form.Controls()) {
        delete Impl::DataOf(*c);
        c->hostData = nullptr;
    }
    auto& forms = impl_->forms;
    forms.erase(std::remove(forms.begin(), forms.end(), fw), forms.end());
    form.hostData = nullptr;
    delete fw;
}

void Win32FormHost::SetVisible(Form& form, bool visible) {
    FormWindow* fw = impl_->WindowOf(form);
    if (!fw || !fw->hwnd) return;
    if (!visible) {
        ShowWindow(fw->hwnd, SW_HIDE);
        return;
    }
    // Controls added after the window was made (a message box's extra buttons).
    for (const auto& c : form.Controls()) impl_->EnsureCreated(*fw, *c);
    if (!fw->savedFocus || !IsWindow(fw->savedFocus))
        fw->savedFocus = GetNextDlgTabItem(fw->hwnd, nullptr, FALSE);
    ShowWindow(fw->hwnd, SW_SHOW);
    // Painted now, controls included: whatever the form does next (decoding pictures)
    // happens with the window already on screen.
    RedrawWindow(fw->hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    if (GetActiveWindow() == fw->hwnd && fw->savedFocus && IsWindowVisible(fw->savedFocus))
        ::SetFocus(fw->savedFocus);
}

void Win32FormHost::RunModal(Form& form) {
    FormWindow* fw = impl_->WindowOf(form);
    if (!fw) return;
    Impl::Modal modal{&form, {}};
    DisableContext context{fw->hwnd, &modal.disabled};
    EnumThreadWindows(GetCurrentThreadId(), &DisableOthers, reinterpret_cast<LPARAM>(&context));
    impl_->modals.push_back(std::move(modal));
    const std::size_t depth = impl_->modals.size();
    struct Restore {
        Impl& impl;
        std::size_t depth;
        ~Restore() {
            if (impl.modals.size() >= depth) {
                impl.RestoreModal(impl.modals[depth - 1]);
                impl.modals.resize(depth - 1);
            }
        }
    } restore{*impl_, depth};
    impl_->loop.RunUntil([&form] { return !form.IsLoaded(); });
}

void Win32FormHost::BringToFront(Form& form) {
    FormWindow* fw = impl_->WindowOf(form);
    if (!fw || !fw->hwnd) return;
    HWND hwnd = fw->hwnd;
    SetWindowPos(hwnd, form.Topmost() ? HWND_TOPMOST : HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    ShowWindow(hwnd, SW_SHOWNORMAL);
    if (SetForegroundWindow(hwnd) && GetForegroundWindow() == hwnd) return;
    // The foreground lock refuses a background process. Joining the input of the
    // foreground window's thread lets the request through.
    HWND foreground = GetForegroundWindow();
    const DWORD theirs = foreground ? GetWindowThreadProcessId(foreground, nullptr) : 0;
    const DWORD ours = GetCurrentThreadId();
    if (theirs && theirs != ours && AttachThreadInput(ours, theirs, TRUE)) {
        BringWindowToTop(hwnd);
        SetForegroundWindow(hwnd);
        AttachThreadInput(ours, theirs, FALSE);
    }
    if (GetForegroundWindow() != hwnd) {
        // Last resort: a key press counts as user input and lifts the lock.
        INPUT keys[2]{};
        keys[0].type = keys[1].type = INPUT_KEYBOARD;
        keys[0].ki.wVk = keys[1].ki.wVk = VK_MENU;
        keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, keys, sizeof(INPUT));
        SetForegroundWindow(hwnd);
    }
}

void Win32FormHost::FormChanged(Form& form, FormChange what) {
    FormWindow* fw = impl_->WindowOf(form);
    if (!fw || !fw->hwnd) return;
    switch (what) {
        case FormChange::Caption:
            SetWindowTextW(fw->hwnd, Widen(form.Caption()).c_str());
            break;
        case FormChange::Size:
            impl_->PlaceWindow(*fw, form.CenterOnScreen && !IsWindowVisible(fw->hwnd));
            break;
        case FormChange::Topmost:
            SetWindowPos(fw->hwnd, form.Topmost() ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            break;
    }
}

void Win32FormHost::ControlChanged(Control& control, ControlChange what) {
    FormWindow* fw = impl_->WindowOf(control.Owner());
    if (!fw || !fw->hwnd) return;
    ControlData* data = Impl::DataOf(control);
    if (!data || (!data->hwnd && control.Kind() != ControlKind::Line)) {
        // A control added after the window was made: its window comes now, whole.
        impl_->EnsureCreated(*fw, control);
        impl_->Reorder(*fw, Impl::PageOf(control));
        return;
    }
    impl_->Apply(*fw, control, what);
}

void Win32FormHost::SetFocus(Control& control) {
    FormWindow* fw = impl_->WindowOf(control.Owner());
    if (!fw || !fw->hwnd) return;
    impl_->EnsureCreated(*fw, control);
    ControlData* data = Impl::DataOf(control);
    if (!data || !data->hwnd) return;
    fw->savedFocus = data->hwnd;
    if (IsWindowVisible(fw->hwnd) && GetActiveWindow() == fw->hwnd) ::SetFocus(data->hwnd);
}

bool Win32FormHost::LoadPicture(Control& control, const std::string& path) {
    FormWindow* fw = impl_->WindowOf(control.Owner());
    if (!fw) {
        // Not loaded: only say whether it can be read; Create reads it again.
        SIZE size{};
        HBITMAP bitmap = DecodePicture(Widen(path), GetSysColor(COLOR_BTNFACE), size);
        if (!bitmap) return false;
        DeleteObject(bitmap);
        return true;
    }
    if (!control.hostData) control.hostData = new ControlData;
    return impl_->LoadInto(*fw, control, path);
}

TwipSize Win32FormHost::MeasureText(const FontSpec& font, const std::string& text, int wrapWidth) {
    const UINT dpi = PrimaryDpi();
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, impl_->Font(font, dpi));
    RECT rect{0, 0, wrapWidth > 0 ? Px(wrapWidth, dpi) : 0, 0};
    UINT format = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | DT_LEFT;
    if (wrapWidth > 0) format |= DT_WORDBREAK;
    const std::wstring wide = Widen(text);
    DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &rect, format);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return {Twips(rect.right - rect.left, dpi), Twips(rect.bottom - rect.top, dpi)};
}

TwipSize Win32FormHost::FrameSize(const Form& form) {
    const FormWindow* fw = impl_->WindowOf(form);
    const UINT dpi = fw ? fw->dpi : PrimaryDpi();
    RECT rect{0, 0, 0, 0};
    AdjustForDpi(rect, FormStyle(form), FormExStyle(form), dpi);
    return {Twips(rect.right - rect.left, dpi), Twips(rect.bottom - rect.top, dpi)};
}

int Win32FormHost::CompareText(const std::string& a, const std::string& b) {
    // What a sorted list box asks the system when it places an entry.
    const std::wstring wa = Widen(a), wb = Widen(b);
    const int order = CompareStringEx(LOCALE_NAME_USER_DEFAULT, NORM_IGNORECASE, wa.c_str(), -1,
                                      wb.c_str(), -1, nullptr, nullptr, 0);
    if (order != 0) return order - CSTR_EQUAL;
    return wa < wb ? -1 : wb < wa ? 1 : 0;  // refused: at least a stable order
}

void* Win32FormHost::WindowOf(const Form& form) const {
    const FormWindow* fw = impl_->WindowOf(form);
    return fw ? fw->hwnd : nullptr;
}

bool Win32FormHost::ScreenRect(const Control& control, int& left, int& top, int& width,
                               int& height) const {
    FormWindow* fw = impl_->WindowOf(control.Owner());
    const ControlData* data = Impl::DataOf(control);
    if (!fw || !fw->hwnd || !data) return false;
    RECT rect{};
    if (data->hwnd && control.Kind() != ControlKind::ComboList) {
        GetWindowRect(data->hwnd, &rect);
    } else {
        // Lines have no window; a drop-down list's window includes its open list.
        rect = impl_->PixelRect(*fw, control);
        MapWindowPoints(impl_->ParentWindow(*fw, const_cast<Control&>(control)), nullptr,
                        reinterpret_cast<POINT*>(&rect), 2);
    }
    left = rect.left;
    top = rect.top;
    width = rect.right - rect.left;
    height = rect.bottom - rect.top;
    return true;
}
