// Inside the Win32 form host: what it keeps per form (a FormWindow) and per control (a
// ControlWindow), shared by the host's files:
//
//   Win32FormHost.cpp        the FormHost calls, window classes, modal runs
//   Win32FormWindow.cpp      making a form's window and its controls' windows, layout
//   Win32ControlUpdates.cpp  model changes into the controls, per kind of control
//   Win32FormMessages.cpp    the window procedure: messages into the form's events, painting
//
// Only those files include this header.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/Forms.h"
#include "platform/win32/ScopedWin32.h"
#include "platform/win32/Win32FormHost.h"
#include "platform/win32/Win32GdiCache.h"

class FormWindow;

// What the host keeps per control.
struct ControlWindow {
    HWND hwnd = nullptr;  // a child of the form or of a page; destroyed with the form
    int id = 0;
    win::ScopedBitmap bitmap;  // a Picture's decoded file
    SIZE bitmapSize{};
    // The entries the native list holds, so an added entry is one insertion.
    std::vector<std::pair<std::string, std::int32_t>> items;
};

// A modal run: the program's other windows that took input, disabled until it ends.
struct ModalRun {
    const Form* form = nullptr;
    std::vector<HWND> disabled;
    bool restored = false;
    void Restore();
};

// What the host keeps for all its forms.
struct FormHostState {
    FormHostState(IWin32EventLoop& eventLoop, HINSTANCE module);
    FormHostState(const FormHostState&) = delete;
    FormHostState& operator=(const FormHostState&) = delete;

    FormWindow* WindowOf(const Form& form) const;
    FormWindow* FormOfWindow(HWND window) const;
    // IsDialogMessage for keyboard input to our forms: Tab, Enter, Escape, access keys.
    bool DialogFilter(MSG& msg);

    IWin32EventLoop& loop;
    HINSTANCE instance;
    win::ScopedCom com;  // WIC decodes pictures through COM
    GdiCache gdi;
    // Owns the forms that stay out of the taskbar; never shown.
    win::ScopedWindow hiddenOwner;
    std::vector<std::unique_ptr<FormWindow>> forms;  // in the order they were made
    std::vector<ModalRun> modals;
};

// One form's window and its controls' windows. The window procedure finds it through
// the window's user data and forwards to Handle; it translates, the form decides.
class FormWindow {
  public:
    FormWindow(FormHostState& host, Form& form) : host(host), form(form) {}
    ~FormWindow();
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    FormHostState& host;
    Form& form;
    HWND hwnd = nullptr;
    UINT dpi = 96;
    HWND savedFocus = nullptr;  // given back when the window is activated again

    // The host's own changes to controls, during which their notifications are echoes.
    class Updating {
      public:
        explicit Updating(FormWindow& window) : window_(window) { ++window_.updating_; }
        ~Updating() { --window_.updating_; }
        Updating(const Updating&) = delete;
        Updating& operator=(const Updating&) = delete;

      private:
        FormWindow& window_;
    };
    bool IsUpdating() const { return updating_ > 0; }

    // ---- controls (Win32FormWindow.cpp)
    ControlWindow* Find(const Control& control);
    const ControlWindow* Find(const Control& control) const;
    ControlWindow& Data(const Control& control);  // made when missing
    HWND WindowOf(const Control& control) const;  // null when it has none (yet)
    Control* ControlById(int id) const;
    Control* ControlOfWindow(HWND window) const;
    HWND ParentWindow(const Control& control);
    HFONT FontOf(const Control& control);

    // ---- making windows and placing them (Win32FormWindow.cpp)
    void CreateAll();
    // Makes the control's window (and its page's) unless it has one.
    void EnsureCreated(Control& control);
    // Sets the Z order of the controls on `page` ("" for the form) to their tab order.
    void Reorder(const std::string& page);
    void Layout(const Control& control);
    void ClipTabStrips();
    RECT PixelRect(const Control& control) const;
    SIZE OuterPixels() const;
    void Place(bool center);
    bool LoadPicture(const Control& control, const std::string& path);

    // ---- model into window (Win32ControlUpdates.cpp)
    void Apply(Control& control, ControlChange what);
    // The state a new window takes from the model beyond its text and style.
    void SyncNewWindow(Control& control);
    // Draws a push button as the default one or as a plain one.
    void SetButtonLook(const Control& control, bool isDefault);
    void RescueFocus();
    // The accessible name of the control a label names, from that label.
    void NameForScreenReaders(const Control& control);
    // An access key the dialog manager cannot see: a label's, which moves the focus to
    // the control it names, and a tab's. True when the key was taken.
    bool TakeAccessKey(wchar_t key);

    // ---- window procedure (Win32FormMessages.cpp)
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  private:
    LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleFormOnly(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam);
    void OnEscape();
    void FocusChanged(Control& control, bool gained);
    LRESULT OnNotify(const NMHDR& header);
    LRESULT OnColor(HDC dc, HWND child);
    LRESULT OnDpiChanged(UINT newDpi, const RECT& suggested);
    void PaintLines(HWND window, HDC dc);
    void DrawPicture(const DRAWITEMSTRUCT& item);
    template <class F>
    void Raise(F&& event);

    std::map<const Control*, ControlWindow> controls_;
    int updating_ = 0;
};

// ---- shared by the host's files (Win32FormWindow.cpp)

inline constexpr wchar_t kFormClass[] = L"SomnivexForm";
inline constexpr wchar_t kPageClass[] = L"SomnivexPage";
// Clear of IDOK and IDCANCEL, which IsDialogMessage sends for Enter and Escape.
constexpr int kFirstControlId = 100;

DWORD FormStyle(const Form& form);
DWORD FormExStyle(const Form& form);
COLORREF BackColorOf(const Form& form);
COLORREF ColorOf(const Paint& paint);
// The native window's text of a control: a link's caption as the link it is.
std::wstring WindowTextOf(const Control& control);
// The page a control sits on, or "" for the form itself.
std::string PageOf(const Control& control);
// Siblings in tab order, which is also their Z order: the order Tab walks.
std::vector<Control*> Siblings(const Form& form, const std::string& page);
