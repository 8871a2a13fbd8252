// A form host without windows: the forms' models are the whole truth, and tests act on
// them as a user would (click, type, pick, tab, press Enter, close the window).
#pragma once

#include <string>
#include <vector>

#include "common/Forms.h"
#include "common/Platform.h"

class HeadlessHost : public FormHost {
  public:
    HeadlessHost(IEventLoop& loop, IFileSystem& files) : loop_(loop), files_(files) {}

    IEventLoop& Loop() override { return loop_; }
    void Create(Form& form) override;
    void Destroy(Form& form) override;
    void SetVisible(Form& form, bool visible) override;
    void RunModal(Form& form) override;
    void BringToFront(Form& form) override;
    void FormChanged(Form&, FormChange) override {}
    void ControlChanged(Control& control, ControlChange what) override;
    void SetFocus(Control& control) override;
    void Announce(Control& control, const std::string& text) override {
        announcements.push_back({control.Name(), text});
    }
    bool LoadPicture(Control& control, const std::string& path) override;
    TwipSize MeasureText(const FontSpec& font, const std::string& text, int wrapWidth) override;
    TwipSize FrameSize(const Form& form) override;
    // Windows' collation in small: symbols before digits before letters, Latin letters
    // with their accents folded away (the accent only breaks a tie), other scripts after
    // Latin in code-point order, and case ignored throughout.
    int CompareText(const std::string& a, const std::string& b) override;

    // Text metrics of the stand-in font: every character is this wide, every line this
    // high (the standard dialog font's line is 195 twips).
    static constexpr int kCharWidth = 90;
    static constexpr int kLineHeight = 195;
    // Title bar and borders: 3-pixel borders and a 22-pixel caption at 96 dpi. At other
    // scales Windows' frame does not grow in step with the twips.
    TwipSize frame{90, 420};

    // What a user can do. Each acts only on a loaded, visible, enabled control.
    void Click(Control& control);
    void Pick(Control& list, int index);
    void Type(Control& textBox, const std::string& text);
    void Focus(Control& control);
    // Enter presses the form's default button; Escape its cancel button, or without one
    // does what the close box does; a key with Alt acts as Windows' dialogs act on the
    // control whose caption marks it with "&": presses a button or box, moves the focus
    // to the control a label names, shows a tab's page. Tab moves the focus to the next
    // control that takes it (Shift+Tab, the one before), as the dialog manager does, and
    // gives that control.
    void PressEnter(Form& form);
    void PressEscape(Form& form);
    bool PressAccessKey(Form& form, char key);
    Control* PressTab(Form& form, bool backwards = false);
    void CloseBox(Form& form) { form.OnCloseBox(); }

    // The most recently shown form that is still loaded, or null.
    Form* ActiveForm() const;
    Form* FindForm(const std::string& name) const;
    Control* Focused() const { return focused_; }
    // Forms shown so far, by name, in order; pictures that failed to load.
    std::vector<std::string> shownForms;
    int bringToFrontCalls = 0;
    std::vector<std::string> undecodable;  // existing files that are no pictures
    struct Announcement {
        std::string control, text;
        bool operator==(const Announcement&) const = default;
    };
    std::vector<Announcement> announcements;  // what screen readers were given to speak

  private:
    bool CanAct(const Control& control) const;

    IEventLoop& loop_;
    IFileSystem& files_;
    std::vector<Form*> loaded_;  // in order of creation
    Control* focused_ = nullptr;
};
