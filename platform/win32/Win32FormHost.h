// The Win32 form host: one top-level window per Form (class "SomnivexForm"), native
// controls for its Controls, laid out from twips at the window's DPI. The window
// procedure only translates messages into the form's events; the form decides.
#pragma once

#include <memory>

#include "common/Forms.h"

class IWin32EventLoop;

// What test drivers need of the host beyond the portable seam.
class IWin32FormHost : public FormHost {
  public:
    // The window (an HWND) of a loaded form, or null.
    virtual void* WindowOf(const Form& form) const = 0;
    // Where a control is on the screen, in pixels; false when it has no place there.
    // For test drivers that click controls from outside.
    virtual bool ScreenRect(const Control& control, int& left, int& top, int& width,
                            int& height) const = 0;
};

// `instance` is the module (HINSTANCE) that owns the window classes; null means the
// program itself. The host sets the loop's message filter for as long as it lives.
std::unique_ptr<IWin32FormHost> NewWin32FormHost(IWin32EventLoop& loop, void* instance = nullptr);
