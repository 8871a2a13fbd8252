// Windows as portable objects. A Form holds its controls' state (captions, checks,
// list entries, selection, visibility) and its handlers; a FormHost makes it real: the
// Win32 host creates a window and native controls and keeps them in step with the model,
// the headless host keeps everything in memory so tests can click, type and read.
//
// All measures are twips (1/1440 inch). The host turns them into pixels for the monitor
// the window is on.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "common/EventLoop.h"

enum class ControlKind {
    Label,
    LinkLabel,  // a link: a tab stop that opens on click or Enter, announced as a link
    Button,
    CheckBox,
    ComboList,  // drop-down list without typed text
    TextBox,
    Picture,   // a GIF/BMP/ICO file or a standard message icon
    Line,      // a straight line from (left, top) to (left + width, top + height)
    TabStrip,  // the tabs only; the pages are Page controls placed over it
    Page,      // a container; controls whose parent names it move and hide with it
};

struct TwipRect {
    int left = 0, top = 0, width = 0, height = 0;
    bool operator==(const TwipRect&) const = default;
};

struct TwipSize {
    int width = 0, height = 0;
    bool operator==(const TwipSize&) const = default;
};

struct FontSpec {
    std::string face;   // empty: the form's default dialog font
    double points = 0;  // 0: the default size
    bool bold = false;
    bool underline = false;
    bool operator==(const FontSpec&) const = default;
};

// The standard message-box icons.
enum class StockIcon { None, Stop, Question, Exclamation, Information };

struct ListItem {
    std::string text;
    std::int32_t tag = 0;  // for a tab strip: unused; the key is in `key`
    std::string key;
};

// What changed, so a host can update only that.
enum class ControlChange {
    Text,
    Visible,
    Enabled,
    Rect,
    Value,
    Items,
    ListIndex,
    Picture,
    Font,
    Color,
    Default,
    TabIndex,
    Selection,
    WordWrap,
    Shield,
};

enum class FormChange { Caption, Size, Topmost };

constexpr std::uint32_t kColorDefault = 0xFFFFFFFFu;  // the system's own colour

class Form;
class Page;

// Where a control goes: its rectangle on the form, or on `page` when it sits on one, and
// its place in the tab order.
struct Placement {
    TwipRect rect;
    int tabIndex = 0;
    const Page* page = nullptr;
};

// One control of a form. It holds the state of every kind of control, which the hosts
// read; a form declares its controls as the kinds below (Button, TextBox, ...), which
// publish the changes that kind allows: a form cannot tick a button or add entries to a
// label.
class Control {
  public:
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    Form& Owner() const { return form_; }
    const std::string& Name() const { return name_; }
    ControlKind Kind() const { return kind_; }
    // The Page this control sits on, or "" for the form itself.
    const std::string& Parent() const { return parent_; }

    const std::string& Text() const { return text_; }
    void SetText(const std::string& text);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    const TwipRect& Rect() const { return rect_; }
    void SetRect(const TwipRect& rect);
    void SetLeft(int left) { SetRect({left, rect_.top, rect_.width, rect_.height}); }
    void SetTop(int top) { SetRect({rect_.left, top, rect_.width, rect_.height}); }
    void SetWidth(int width) { SetRect({rect_.left, rect_.top, width, rect_.height}); }
    void SetHeight(int height) { SetRect({rect_.left, rect_.top, rect_.width, height}); }
    const FontSpec& Font() const { return font_; }
    void SetFont(const FontSpec& font);
    // Text colour as 0xRRGGBB, or kColorDefault.
    std::uint32_t ForeColor() const { return foreColor_; }
    void SetForeColor(std::uint32_t rgb);
    // Tab position, 0 first. Controls with equal positions keep their order of creation.
    int TabIndex() const { return tabIndex_; }
    void SetTabIndex(int index);
    // Moves the keyboard focus here (when the form is shown).
    void SetFocus();
    // Has screen readers speak `text` as news from this control, without moving the
    // focus; the newest replaces one not yet spoken.
    void Announce(const std::string& text);

    // Labels: wrap the text at the control's width, growing downwards.
    bool WordWrap() const { return wordWrap_; }
    // Check boxes: 0 unticked, 1 ticked, 2 greyed.
    int Value() const { return value_; }
    // Buttons: the one Enter presses, and the UAC shield, which tells the user that
    // pressing it asks for administrator rights.
    bool IsDefault() const { return default_; }
    bool Shield() const { return shield_; }
    // Drop-down lists and tab strips; -1 when nothing is selected.
    bool Sorted() const { return sorted_; }
    int ListCount() const { return static_cast<int>(items_.size()); }
    const ListItem& Item(int index) const { return items_.at(index); }
    int ListIndex() const { return listIndex_; }
    // Text boxes: the selection, in characters.
    int SelStart() const { return selStart_; }
    int SelLength() const { return selLength_; }
    // Pictures: the file shown, or the stock icon.
    const std::string& PicturePath() const { return picturePath_; }
    StockIcon Icon() const { return icon_; }

    // What the control does when the user acts on it, bound by the form that declares
    // it. Clicks come from buttons, check boxes, links and tab strips (a tab picked);
    // changes from drop-down lists (an entry picked) and text boxes (typing).
    std::function<void()> onClick;
    std::function<void()> onChange;
    std::function<void()> onGotFocus;
    std::function<void()> onLostFocus;

    // Called by hosts when the user changed the control (typing, picking an entry,
    // ticking a box): the model takes the new state without echoing it back.
    void UserSetText(const std::string& text) { text_ = text; }
    void UserSetValue(int value) { value_ = value; }
    void UserSetListIndex(int index) { listIndex_ = index; }
    void UserSetSelection(int start, int length) { selStart_ = start, selLength_ = length; }

  protected:
    Control(Form& form, std::string name, ControlKind kind, TwipRect rect, std::string parent);

    // The changes that only some kinds allow; each kind below makes its own public.
    void SetWordWrap(bool wrap);
    void SetValue(int value);
    void SetDefault(bool isDefault);
    void SetShield(bool shield);
    // A sorted list keeps its entries in the host's case-insensitive order for the
    // user's locale (FormHost::CompareText), entries that compare equal in the order of
    // their bytes; AddItem returns the position the entry took.
    void SetSorted(bool sorted) { sorted_ = sorted; }
    int AddItem(const std::string& text, std::int32_t tag = 0, const std::string& key = "");
    void ClearItems();
    void SetListIndex(int index);
    void SetSelection(int start, int length);
    // Asks the host to read the file; false when it cannot (the picture then stays as
    // it was).
    bool LoadPicture(const std::string& path);
    void SetIcon(StockIcon icon);

  private:
    void Changed(ControlChange what);

    Form& form_;
    std::string name_;
    ControlKind kind_;
    std::string parent_;
    std::string text_;
    bool visible_ = true;
    bool enabled_ = true;
    TwipRect rect_;
    FontSpec font_;
    std::uint32_t foreColor_ = kColorDefault;
    int tabIndex_ = 0;
    bool wordWrap_ = false;
    int value_ = 0;
    bool default_ = false;
    bool shield_ = false;
    bool sorted_ = false;
    std::vector<ListItem> items_;
    int listIndex_ = -1;
    int selStart_ = 0, selLength_ = 0;
    std::string picturePath_;
    StockIcon icon_ = StockIcon::None;
};

// The base of each kind: fixes the kind, so Form::Add makes every kind alike.
template <ControlKind K>
class ControlOf : public Control {
  public:
    ControlOf(Form& form, std::string name, TwipRect rect, std::string parent)
        : Control(form, std::move(name), K, rect, std::move(parent)) {}
};

class Label : public ControlOf<ControlKind::Label> {
  public:
    using Control::SetWordWrap;
    using ControlOf::ControlOf;
    // The control this label names, set before the form loads: its access key moves the
    // focus there, and screen readers read the label as that control's name. Only such a
    // label shows an "&" of its caption as an access key.
    void SetFor(Control* control) { for_ = control; }
    Control* For() const { return for_; }

  private:
    Control* for_ = nullptr;
};

class LinkLabel : public ControlOf<ControlKind::LinkLabel> {
  public:
    using ControlOf::ControlOf;
};

class Button : public ControlOf<ControlKind::Button> {
  public:
    using Control::SetDefault;
    using Control::SetShield;
    using ControlOf::ControlOf;
};

class CheckBox : public ControlOf<ControlKind::CheckBox> {
  public:
    using Control::SetValue;
    using ControlOf::ControlOf;
    // Only state 1 counts: a greyed box is not ticked.
    bool Ticked() const { return Value() == 1; }
};

class ComboList : public ControlOf<ControlKind::ComboList> {
  public:
    using Control::AddItem;
    using Control::ClearItems;
    using Control::SetListIndex;
    using Control::SetSorted;
    using ControlOf::ControlOf;
};

class TextBox : public ControlOf<ControlKind::TextBox> {
  public:
    using Control::SetSelection;
    using ControlOf::ControlOf;
};

class Picture : public ControlOf<ControlKind::Picture> {
  public:
    using Control::LoadPicture;
    using Control::SetIcon;
    using ControlOf::ControlOf;
};

class Line : public ControlOf<ControlKind::Line> {
  public:
    using ControlOf::ControlOf;
};

// The tabs only; each tab's key names the page it shows.
class TabStrip : public ControlOf<ControlKind::TabStrip> {
  public:
    using Control::AddItem;
    using Control::ClearItems;
    using Control::SetListIndex;
    using ControlOf::ControlOf;
    // The key of the chosen tab; "" when none is.
    std::string SelectedKey() const;
};

class Page : public ControlOf<ControlKind::Page> {
  public:
    using ControlOf::ControlOf;
};

class FormHost;

class Form {
  public:
    Form(FormHost& host, std::string name);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const std::string& Name() const { return name_; }
    FormHost& Host() const { return host_; }
    IEventLoop& Loop() const;

    // Design: makes a control of kind T (Button, TextBox, ...) before the form is shown.
    // The form owns it; forms keep the pointer as a member.
    template <class T>
    T* Add(const std::string& name, const Placement& placement);
    // Every control, in the order of creation.
    const std::vector<std::unique_ptr<Control>>& Controls() const { return controls_; }
    // By name, for hosts, tests and tools that know a control only by its name; forms
    // use their members. operator[] throws when there is no such control.
    Control* Find(const std::string& name) const;
    Control& operator[](const std::string& name) const;

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    // The inside of the window, without title bar and borders.
    TwipSize ClientSize() const { return client_; }
    void SetClientSize(TwipSize size);
    // The whole window, title bar and borders included, as the host measures them.
    TwipSize OuterSize() const;
    void SetOuterSize(TwipSize size);
    bool Topmost() const { return topmost_; }
    void SetTopmost(bool topmost);
    std::uint32_t BackColor = kColorDefault;  // 0xRRGGBB
    // Dialog: a title bar and a fixed frame. None: a bare rectangle (a splash screen).
    enum class Border { Dialog, None } BorderStyle = Border::Dialog;
    bool CenterOnScreen = true;
    bool HasCloseBox = true;
    bool HasMinimizeBox = false;
    bool ShowInTaskbar = true;

    // The button Escape presses; while none is set, Escape does what the close box does.
    // (Enter presses the button marked with Control::SetDefault.)
    void SetCancelButton(Control* button) { cancelButton_ = button; }
    Control* CancelButton() const { return cancelButton_; }

    // Life cycle. Load creates the window hidden and runs OnLoad; Show loads and shows;
    // ShowModal also waits, handling events, until the form is unloaded. Unload runs
    // OnUnload, stops the form's timers and destroys the window.
    void Load();
    void Show();
    void ShowModal();
    void Hide();
    void Unload();
    bool IsLoaded() const { return loaded_; }
    bool IsVisible() const { return visible_; }
    // Brings the shown window above every other and gives it the focus.
    void BringToFront();

    // Timers that live as long as the form is loaded.
    TimerId StartTimer(std::uint32_t intervalMs, std::function<void()> tick);
    void StopTimer(TimerId& id);

    // How big `text` is in `font` (the form's default when empty), wrapped at
    // `wrapWidth` twips when that is above 0.
    TwipSize MeasureText(const FontSpec& font, const std::string& text, int wrapWidth = 0) const;

    // Events, called by the hosts.
    virtual void OnLoad() {}
    // The window has just become visible.
    virtual void OnShown() {}
    virtual void OnUnload() {}
    // The user acted on a control. Each runs the control's own handler; a form overrides
    // these only to see every control's events in one place.
    virtual void OnClick(Control& control) { Raise(control.onClick); }
    virtual void OnChange(Control& control) { Raise(control.onChange); }
    virtual void OnGotFocus(Control& control) { Raise(control.onGotFocus); }
    virtual void OnLostFocus(Control& control) { Raise(control.onLostFocus); }
    // The user asked to close the window (title-bar close box, Alt+F4). Unloads unless
    // a form decides otherwise.
    virtual void OnCloseBox() { Unload(); }

  private:
    friend class Control;

    static void Raise(const std::function<void()>& handler) {
        if (handler) handler();
    }

    FormHost& host_;
    std::string name_;
    std::vector<std::unique_ptr<Control>> controls_;
    std::string caption_;
    TwipSize client_{4800, 3600};
    bool topmost_ = false;
    bool loaded_ = false;
    bool visible_ = false;
    std::vector<TimerId> timers_;
    Control* cancelButton_ = nullptr;
};

template <class T>
T* Form::Add(const std::string& name, const Placement& placement) {
    static_assert(std::is_base_of_v<Control, T>, "a kind of control");
    const Page* page = placement.page;
    auto control =
        std::make_unique<T>(*this, name, placement.rect, page ? page->Name() : std::string());
    control->SetTabIndex(placement.tabIndex);
    T* made = control.get();
    controls_.push_back(std::move(control));
    return made;
}

// A colour as drawn: one of the system's (Windows' COLOR_ index) or one of our own.
struct Paint {
    int systemIndex = -1;  // -1: `rgb`
    std::uint32_t rgb = 0;
    bool operator==(const Paint&) const = default;
};
namespace syscolor {
constexpr int kWindowText = 8;
constexpr int kButtonFace = 15;
constexpr int kButtonText = 18;
constexpr int kHotLight = 26;  // links
}  // namespace syscolor
// What a control's text, a form's background and a line are drawn in. Under a
// high-contrast theme only the theme's colours count, so that nothing of ours is drawn
// in a fixed colour on the theme's background.
Paint TextPaint(const Control& control, bool highContrast);
Paint BackPaint(const Form& form, bool highContrast);
Paint LinePaint(const Control& line, bool highContrast);

// Kinds of control that take the keyboard focus: the ones Tab stops at.
bool TakesFocus(ControlKind kind);

// Every control of the form in the order the keyboard walks them: the form's own
// controls by tab position, each page's controls in the page's place. Tab moves through
// those of them that take the focus and can be used.
std::vector<Control*> TabWalk(const Form& form);

// The access key a caption marks with "&" (lower case), or 0; "&&" is a plain "&".
// WithoutAccessMarks gives the caption as it reads: "&Wait" is "Wait", "&&" is "&".
char AccessKeyOf(const std::string& caption);
std::string WithoutAccessMarks(const std::string& caption);

// What an access key reaches: the first control in the walk, visible and enabled on a
// shown page, whose caption marks the key (a label stands for the control it names), or
// a tab of a tab strip.
struct AccessKeyTarget {
    Control* control = nullptr;
    int tab = -1;  // for a tab strip: the tab's position
};
AccessKeyTarget FindAccessKey(const Form& form, char key);

// What a host does for the forms.
class FormHost {
  public:
    virtual ~FormHost() = default;
    virtual IEventLoop& Loop() = 0;

    // Creates the window and its controls, hidden.
    virtual void Create(Form& form) = 0;
    virtual void Destroy(Form& form) = 0;
    virtual void SetVisible(Form& form, bool visible) = 0;
    // Runs events until the form is unloaded, with the program's other windows
    // disabled meanwhile.
    virtual void RunModal(Form& form) = 0;
    virtual void BringToFront(Form& form) = 0;
    virtual void FormChanged(Form& form, FormChange what) = 0;
    virtual void ControlChanged(Control& control, ControlChange what) = 0;
    virtual void SetFocus(Control& control) = 0;
    // Gives screen readers `text` to speak, from `control`, leaving the focus where it is.
    virtual void Announce(Control& control, const std::string& text) = 0;
    // Reads a picture file for the control; false when it is missing or unreadable.
    virtual bool LoadPicture(Control& control, const std::string& path) = 0;
    virtual TwipSize MeasureText(const FontSpec& font, const std::string& text, int wrapWidth) = 0;
    // Title bar and borders of the form's window, in twips.
    virtual TwipSize FrameSize(const Form& form) = 0;
    // Compares two texts as this platform's sorted lists do for the user's locale,
    // ignoring case: below 0, 0 or above 0.
    virtual int CompareText(const std::string& a, const std::string& b) = 0;
};
