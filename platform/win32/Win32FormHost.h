// The Win32 form host: one top-level window per Form (class "SomnivexForm"), native
// controls for its Controls, laid out from twips at the window's DPI. The window
// procedure only translates messages into the form's events; the form decides.
#pragma once

#include <memory>

#include "common/Forms.h"

class Win32EventLoop;

class Win32FormHost : public FormHost {
  public:
    // `instance` is the module (HINSTANCE) that owns the window classes; null means the
    // program itself.
    explicit Win32FormHost(Win32EventLoop& loop, void* instance = nullptr);
    ~Win32FormHost() override;
    Win32FormHost(const Win32FormHost&) = delete;
    Win32FormHost& operator=(const Win32FormHost&) = delete;

    IEventLoop& Loop() override;
    void Create(Form& form) override;
    void Destroy(Form& form) override;
    void SetVisible(Form& form, bool visible) override;
    void RunModal(Form& form) override;
    void BringToFront(Form& form) override;
    void FormChanged(Form& form, FormChange what) override;
    void ControlChanged(Control& control, ControlChange what) override;
    void SetFocus(Control& control) override;
    bool LoadPicture(Control& control, const std::string& path) override;
    TwipSize MeasureText(const FontSpec& font, const std::string& text, int wrapWidth) override;
    TwipSize FrameSize(const Form& form) override;
    int CompareText(const std::string& a, const std::string& b) override;

    // The window (an HWND) of a loaded form, or null.
    void* WindowOf(const Form& form) const;
    // Where a control is on the screen, in pixels; false when it has no place there.
    // For test drivers that click controls from outside.
    bool ScreenRect(const Control& control, int& left, int& top, int& width, int& height) const;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};
