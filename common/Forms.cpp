#include "common/Forms.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

Control::Control(Form& form, std::string name, ControlKind kind, TwipRect rect, std::string parent)
    : form_(form), name_(std::move(name)), kind_(kind), parent_(std::move(parent)), rect_(rect) {}

namespace {

// Stores `value` in `field`; true when that changed it.
template <typename T>
bool Replace(T& field, const T& value) {
    if (field == value) return false;
    field = value;
    return true;
}

}  // namespace

void Control::Changed(ControlChange what) {
    if (form_.IsLoaded()) form_.Host().ControlChanged(*this, what);
}

void Control::SetText(const std::string& text) {
    if (Replace(text_, text)) Changed(ControlChange::Text);
}

void Control::SetVisible(bool visible) {
    if (Replace(visible_, visible)) Changed(ControlChange::Visible);
}

void Control::SetEnabled(bool enabled) {
    if (Replace(enabled_, enabled)) Changed(ControlChange::Enabled);
}

void Control::SetRect(const TwipRect& rect) {
    if (Replace(rect_, rect)) Changed(ControlChange::Rect);
}

void Control::SetFont(const FontSpec& font) {
    font_ = font;
    Changed(ControlChange::Font);
}

void Control::SetForeColor(std::uint32_t rgb) {
    foreColor_ = rgb;
    Changed(ControlChange::Color);
}

void Control::SetTabIndex(int index) {
    tabIndex_ = index;
    Changed(ControlChange::TabIndex);
}

void Control::SetWordWrap(bool wrap) {
    wordWrap_ = wrap;
    Changed(ControlChange::WordWrap);
}

void Control::SetValue(int value) {
    if (Replace(value_, value)) Changed(ControlChange::Value);
}

void Control::SetDefault(bool isDefault) {
    default_ = isDefault;
    Changed(ControlChange::Default);
}

void Control::SetShield(bool shield) {
    if (Replace(shield_, shield)) Changed(ControlChange::Shield);
}

int Control::AddItem(const std::string& text, std::int32_t tag, const std::string& key) {
    auto at = items_.end();
    if (sorted_) {
        FormHost& host = form_.Host();
        const auto sortsBefore = [&host](const std::string& t, const ListItem& item) {
            const int order = host.CompareText(t, item.text);
            return order < 0 || (order == 0 && t < item.text);
        };
        at = std::upper_bound(items_.begin(), items_.end(), text, sortsBefore);
    }
    const int index = static_cast<int>(at - items_.begin());
    items_.insert(at, ListItem{text, tag, key});
    if (listIndex_ >= index) ++listIndex_;
    Changed(ControlChange::Items);
    return index;
}

void Control::ClearItems() {
    items_.clear();
    listIndex_ = -1;
    Changed(ControlChange::Items);
}

void Control::SetListIndex(int index) {
    if (index < -1 || index >= ListCount()) index = -1;
    listIndex_ = index;
    Changed(ControlChange::ListIndex);
}

void Control::SetSelection(int start, int length) {
    const int size = static_cast<int>(text_.size());
    selStart_ = std::clamp(start, 0, size);
    selLength_ = std::clamp(length, 0, size - selStart_);
    Changed(ControlChange::Selection);
}

bool Control::LoadPicture(const std::string& path) {
    if (!form_.Host().LoadPicture(*this, path)) return false;
    picturePath_ = path;
    icon_ = StockIcon::None;
    Changed(ControlChange::Picture);
    return true;
}

void Control::SetIcon(StockIcon icon) {
    icon_ = icon;
    picturePath_.clear();
    Changed(ControlChange::Picture);
}

void Control::SetFocus() {
    if (form_.IsLoaded()) form_.Host().SetFocus(*this);
}

void Control::Announce(const std::string& text) {
    if (form_.IsLoaded()) form_.Host().Announce(*this, text);
}

std::string TabStrip::SelectedKey() const {
    const int index = ListIndex();
    return index >= 0 && index < ListCount() ? Item(index).key : std::string();
}

Form::Form(FormHost& host, std::string name) : host_(host), name_(std::move(name)) {}

Form::~Form() {
    // A form destroyed while loaded must not leave a window with a dangling owner.
    if (loaded_) {
        for (TimerId id : timers_) host_.Loop().StopTimer(id);
        timers_.clear();
        loaded_ = visible_ = false;
        host_.Destroy(*this);
    }
}

IEventLoop& Form::Loop() const {
    return host_.Loop();
}

Control* Form::Find(const std::string& name) const {
    for (const auto& control : controls_)
        if (control->Name() == name) return control.get();
    return nullptr;
}

Control& Form::operator[](const std::string& name) const {
    if (Control* control = Find(name)) return *control;
    throw std::out_of_range("no control " + name + " on " + name_);
}

void Form::SetCaption(const std::string& caption) {
    caption_ = caption;
    if (loaded_) host_.FormChanged(*this, FormChange::Caption);
}

void Form::SetClientSize(TwipSize size) {
    client_ = size;
    if (loaded_) host_.FormChanged(*this, FormChange::Size);
}

TwipSize Form::OuterSize() const {
    const TwipSize frame = host_.FrameSize(*this);
    return {client_.width + frame.width, client_.height + frame.height};
}

void Form::SetOuterSize(TwipSize size) {
    const TwipSize frame = host_.FrameSize(*this);
    SetClientSize({std::max(0, size.width - frame.width), std::max(0, size.height - frame.height)});
}

void Form::SetTopmost(bool topmost) {
    topmost_ = topmost;
    if (loaded_) host_.FormChanged(*this, FormChange::Topmost);
}

void Form::Load() {
    if (loaded_) return;
    host_.Create(*this);
    loaded_ = true;
    OnLoad();
}

void Form::Show() {
    Load();
    // OnLoad may have unloaded the form already.
    if (!loaded_ || visible_) return;
    visible_ = true;
    host_.SetVisible(*this, true);
    OnShown();
}

void Form::ShowModal() {
    Show();
    if (loaded_) host_.RunModal(*this);
}

void Form::Hide() {
    if (!loaded_ || !visible_) return;
    visible_ = false;
    host_.SetVisible(*this, false);
}

void Form::Unload() {
    if (!loaded_) return;
    OnUnload();
    for (TimerId id : timers_) host_.Loop().StopTimer(id);
    timers_.clear();
    loaded_ = visible_ = false;
    host_.Destroy(*this);
}

void Form::BringToFront() {
    if (loaded_ && visible_) host_.BringToFront(*this);
}

TimerId Form::StartTimer(std::uint32_t intervalMs, std::function<void()> tick) {
    const TimerId id = host_.Loop().StartTimer(intervalMs, std::move(tick));
    if (id != 0) timers_.push_back(id);
    return id;
}

void Form::StopTimer(TimerId& id) {
    if (id == 0) return;
    host_.Loop().StopTimer(id);
    timers_.erase(std::remove(timers_.begin(), timers_.end(), id), timers_.end());
    id = 0;
}

TwipSize Form::MeasureText(const FontSpec& font, const std::string& text, int wrapWidth) const {
    return host_.MeasureText(font, text, wrapWidth);
}

Paint TextPaint(const Control& control, bool highContrast) {
    const bool link = control.Kind() == ControlKind::LinkLabel;
    if (highContrast) return {link ? syscolor::kHotLight : syscolor::kButtonText};
    if (control.ForeColor() != kColorDefault) return {-1, control.ForeColor()};
    // Links are dark blue unless the form says otherwise.
    return link ? Paint{-1, 0x0000C0} : Paint{syscolor::kButtonText};
}

Paint BackPaint(const Form& form, bool highContrast) {
    if (highContrast || form.BackColor == kColorDefault) return {syscolor::kButtonFace};
    return {-1, form.BackColor};
}

Paint LinePaint(const Control& line, bool highContrast) {
    if (highContrast || line.ForeColor() == kColorDefault) return {syscolor::kWindowText};
    return {-1, line.ForeColor()};
}

bool TakesFocus(ControlKind kind) {
    switch (kind) {
        case ControlKind::Button:
        case ControlKind::CheckBox:
        case ControlKind::ComboList:
        case ControlKind::TextBox:
        case ControlKind::TabStrip:
        case ControlKind::LinkLabel:
            return true;
        default:
            return false;
    }
}

namespace {

void Walk(const Form& form, const std::string& parent, std::vector<Control*>& out) {
    std::vector<Control*> level;
    for (const auto& c : form.Controls())
        if (c->Parent() == parent && c->Kind() != ControlKind::Line) level.push_back(c.get());
    std::stable_sort(level.begin(), level.end(), [](const Control* a, const Control* b) {
        return a->TabIndex() < b->TabIndex();
    });
    for (Control* c : level) {
        out.push_back(c);
        if (c->Kind() == ControlKind::Page) Walk(form, c->Name(), out);
    }
}

// Shown and usable: the control, and the page it sits on.
bool Usable(const Control& control) {
    if (!control.Visible() || !control.Enabled()) return false;
    if (control.Parent().empty()) return true;
    const Control* page = control.Owner().Find(control.Parent());
    return !page || Usable(*page);
}

}  // namespace

std::vector<Control*> TabWalk(const Form& form) {
    std::vector<Control*> order;
    Walk(form, "", order);
    return order;
}

char AccessKeyOf(const std::string& caption) {
    for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&') continue;
        if (caption[i + 1] == '&') {
            ++i;
            continue;
        }
        return static_cast<char>(std::tolower(static_cast<unsigned char>(caption[i + 1])));
    }
    return 0;
}

std::string WithoutAccessMarks(const std::string& caption) {
    std::string text;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size())
            ++i;
        else if (caption[i] == '&')
            continue;
        text.push_back(caption[i]);
    }
    return text;
}

AccessKeyTarget FindAccessKey(const Form& form, char key) {
    key = static_cast<char>(std::tolower(static_cast<unsigned char>(key)));
    if (key == 0) return {};
    for (Control* c : TabWalk(form)) {
        if (!Usable(*c)) continue;
        if (c->Kind() == ControlKind::TabStrip) {
            for (int i = 0; i < c->ListCount(); ++i)
                if (AccessKeyOf(c->Item(i).text) == key) return {c, i};
            continue;
        }
        if (AccessKeyOf(c->Text()) != key) continue;
        if (c->Kind() == ControlKind::Label) {
            Control* named = static_cast<Label*>(c)->For();
            if (named && Usable(*named)) return {named, -1};
            continue;
        }
        if (c->Kind() == ControlKind::Button || c->Kind() == ControlKind::CheckBox) return {c, -1};
    }
    return {};
}
