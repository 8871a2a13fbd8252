#include "platform/fake/HeadlessHost.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// One character of UTF-8; a broken sequence yields what it has.
char32_t NextCodePoint(const std::string& text, std::size_t& at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at++);
    int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    char32_t cp = lead & (0x7F >> more);
    for (; more > 0 && at < text.size() && (byte(at) & 0xC0) == 0x80; --more)
        cp = (cp << 6) | (byte(at++) & 0x3F);
    return cp;
}

// Small letters of the alphabets the model knows; anything else as it is.
char32_t Lower(char32_t cp) {
    if ((cp >= 'A' && cp <= 'Z') || (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7)) return cp + 0x20;
    if ((cp >= 0x391 && cp <= 0x3A9) || (cp >= 0x410 && cp <= 0x42F)) return cp + 0x20;
    if (cp >= 0x400 && cp <= 0x40F) return cp + 0x50;
    return cp;
}

// The base letters of U+00C0 to U+00FF; '?' expands to two letters, '*' is a symbol.
constexpr char kLatin1Base[] = "aaaaaa?ceeeeiiiidnooooo*ouuuuy??aaaaaa?ceeeeiiiidnooooo*ouuuuy?y";

// What the order is decided by before accents: a group (symbols, digits, letters, other
// scripts) and a weight within it.
std::vector<std::uint32_t> PrimaryWeights(const std::string& text) {
    enum : std::uint32_t { kSymbol = 0, kDigit = 1u << 24, kLatin = 2u << 24, kOther = 3u << 24 };
    std::vector<std::uint32_t> weights;
    for (std::size_t at = 0; at < text.size();) {
        const char32_t cp = Lower(NextCodePoint(text, at));
        const char base = cp >= 0xC0 && cp <= 0xFF ? kLatin1Base[cp - 0xC0] : '\0';
        if (cp >= '0' && cp <= '9')
            weights.push_back(kDigit + cp);
        else if (cp >= 'a' && cp <= 'z')
            weights.push_back(kLatin + cp);
        else if (base == '?') {
            const char* pair = cp == 0xE6 ? "ae" : cp == 0xFE ? "th" : "ss";
            weights.push_back(kLatin + static_cast<std::uint32_t>(pair[0]));
            weights.push_back(kLatin + static_cast<std::uint32_t>(pair[1]));
        } else if (base != '\0' && base != '*')
            weights.push_back(kLatin + static_cast<std::uint32_t>(base));
        else if (cp < 0x100)
            weights.push_back(kSymbol + cp);
        else
            weights.push_back(kOther + cp);
    }
    return weights;
}

std::u32string LowerCodePoints(const std::string& text) {
    std::u32string lower;
    for (std::size_t at = 0; at < text.size();) lower.push_back(Lower(NextCodePoint(text, at)));
    return lower;
}

template <class Sequence>
int Compare(const Sequence& a, const Sequence& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end())   ? -1
           : std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end()) ? 1
                                                                                  : 0;
}

}  // namespace

int HeadlessHost::CompareText(const std::string& a, const std::string& b) {
    if (const int order = Compare(PrimaryWeights(a), PrimaryWeights(b))) return order;
    return Compare(LowerCodePoints(a), LowerCodePoints(b));
}

void HeadlessHost::Create(Form& form) {
    loaded_.push_back(&form);
}

void HeadlessHost::Destroy(Form& form) {
    loaded_.erase(std::remove(loaded_.begin(), loaded_.end(), &form), loaded_.end());
    if (focused_ && &focused_->Owner() == &form) focused_ = nullptr;
}

void HeadlessHost::SetVisible(Form& form, bool visible) {
    if (!visible) return;
    shownForms.push_back(form.Name());
    // Like a dialog, the first control that takes the focus gets it when the form opens.
    for (Control* c : TabWalk(form))
        if (TakesFocus(c->Kind()) && CanAct(*c)) {
            focused_ = c;
            return;
        }
}

void HeadlessHost::RunModal(Form& form) {
    loop_.RunUntil([&] { return !form.IsLoaded(); });
}

void HeadlessHost::BringToFront(Form&) {
    ++bringToFrontCalls;
}

void HeadlessHost::ControlChanged(Control& control, ControlChange what) {
    // A hidden or disabled control loses the focus, as a window's would.
    if ((what == ControlChange::Visible || what == ControlChange::Enabled) &&
        focused_ == &control && !CanAct(control))
        focused_ = nullptr;
}

void HeadlessHost::SetFocus(Control& control) {
    if (!CanAct(control) || focused_ == &control) return;
    Control* previous = focused_;
    focused_ = &control;
    if (previous) previous->Owner().OnLostFocus(*previous);
    control.Owner().OnGotFocus(control);
}

bool HeadlessHost::LoadPicture(Control&, const std::string& path) {
    if (!files_.FileExists(path)) return false;
    return std::find(undecodable.begin(), undecodable.end(), path) == undecodable.end();
}

TwipSize HeadlessHost::MeasureText(const FontSpec& font, const std::string& text, int wrapWidth) {
    const int scale = font.points > 8.5 ? static_cast<int>(font.points * 100 / 8.25) : 100;
    const int charWidth = kCharWidth * scale / 100;
    const int lineHeight = kLineHeight * scale / 100;
    // Lines as written; then, with a width, each is broken at blanks to fit.
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find('\n', start);
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    int width = 0, count = 0;
    const int perLine = wrapWidth > 0 ? std::max(1, wrapWidth / charWidth) : 0;
    for (const auto& line : lines) {
        if (perLine == 0 || static_cast<int>(line.size()) <= perLine) {
            width = std::max(width, static_cast<int>(line.size()) * charWidth);
            ++count;
            continue;
        }
        std::size_t pos = 0;
        while (pos < line.size()) {
            std::size_t take = std::min<std::size_t>(perLine, line.size() - pos);
            if (pos + take < line.size()) {
                const auto blank = line.rfind(' ', pos + take);
                if (blank != std::string::npos && blank > pos) take = blank - pos;
            }
            width = std::max(width, static_cast<int>(take) * charWidth);
            ++count;
            pos += take;
            while (pos < line.size() && line[pos] == ' ') ++pos;
        }
    }
    return {width, count * lineHeight};
}

TwipSize HeadlessHost::FrameSize(const Form&) {
    return frame;
}

bool HeadlessHost::CanAct(const Control& control) const {
    const Form& form = control.Owner();
    if (!form.IsLoaded() || !control.Visible() || !control.Enabled()) return false;
    if (!control.Parent().empty()) {
        const Control* page = form.Find(control.Parent());
        if (page && !page->Visible()) return false;
    }
    return true;
}

void HeadlessHost::Click(Control& control) {
    if (!CanAct(control)) return;
    Form& form = control.Owner();
    if (control.Kind() == ControlKind::CheckBox) control.UserSetValue(control.Value() == 1 ? 0 : 1);
    if (control.Kind() == ControlKind::Button || control.Kind() == ControlKind::CheckBox)
        SetFocus(control);
    form.OnClick(control);
}

void HeadlessHost::Pick(Control& list, int index) {
    if (!CanAct(list) || index < 0 || index >= list.ListCount()) return;
    list.UserSetListIndex(index);
    if (list.Kind() == ControlKind::TabStrip)
        list.Owner().OnClick(list);
    else
        list.Owner().OnChange(list);
}

void HeadlessHost::Type(Control& textBox, const std::string& text) {
    if (!CanAct(textBox)) return;
    SetFocus(textBox);
    textBox.UserSetText(text);
    textBox.Owner().OnChange(textBox);
}

void HeadlessHost::Focus(Control& control) {
    SetFocus(control);
}

void HeadlessHost::PressEnter(Form& form) {
    for (const auto& c : form.Controls())
        if (c->Kind() == ControlKind::Button && c->IsDefault() && CanAct(*c)) {
            Click(*c);
            return;
        }
}

void HeadlessHost::PressEscape(Form& form) {
    if (Control* cancel = form.CancelButton())
        Click(*cancel);
    else if (form.HasCloseBox)
        form.OnCloseBox();
}

bool HeadlessHost::PressAccessKey(Form& form, char key) {
    const AccessKeyTarget target = FindAccessKey(form, key);
    if (!target.control) return false;
    if (target.tab >= 0) {
        Focus(*target.control);
        Pick(*target.control, target.tab);
    } else if (target.control->Kind() == ControlKind::Button ||
               target.control->Kind() == ControlKind::CheckBox) {
        Click(*target.control);
    } else {
        Focus(*target.control);
    }
    return true;
}

Control* HeadlessHost::PressTab(Form& form, bool backwards) {
    std::vector<Control*> stops;
    for (Control* c : TabWalk(form))
        if (TakesFocus(c->Kind()) && CanAct(*c)) stops.push_back(c);
    if (stops.empty()) return nullptr;
    const auto at = std::find(stops.begin(), stops.end(), focused_);
    std::size_t next = 0;
    if (at != stops.end()) {
        const std::size_t here = static_cast<std::size_t>(at - stops.begin());
        next = backwards ? (here + stops.size() - 1) % stops.size() : (here + 1) % stops.size();
    } else if (backwards) {
        next = stops.size() - 1;
    }
    SetFocus(*stops[next]);
    return stops[next];
}

Form* HeadlessHost::ActiveForm() const {
    for (auto it = loaded_.rbegin(); it != loaded_.rend(); ++it)
        if ((*it)->IsVisible()) return *it;
    return nullptr;
}

Form* HeadlessHost::FindForm(const std::string& name) const {
    for (Form* form : loaded_)
        if (form->Name() == name) return form;
    return nullptr;
}
