// A change of the model into its native control. Changes of place, visibility, font
// and order mean the same for every kind; the rest, per kind of control below.
#include "platform/win32/Win32FormWindow.h"

// After <windows.h>, which it needs.
#include <commctrl.h>

#include <algorithm>

#include "platform/win32/Win32Platform.h"

namespace {

void SetText(HWND window, const Control& control) {
    SetWindowTextW(window, Widen(control.Text()).c_str());
}

// UTF-8 offset in `text` to a UTF-16 offset, for the edit control's selection.
int Utf16Offset(const std::string& text, int byteOffset) {
    byteOffset = std::clamp(byteOffset, 0, static_cast<int>(text.size()));
    return static_cast<int>(Widen(text.substr(0, static_cast<std::size_t>(byteOffset))).size());
}

void UpdateLabel(HWND window, const Control& label, ControlChange what) {
    if (what == ControlChange::Text) {
        SetWindowTextW(window, WindowTextOf(label).c_str());
        InvalidateRect(window, nullptr, TRUE);
    } else if (what == ControlChange::WordWrap) {
        LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE) & ~SS_TYPEMASK;
        style |= label.WordWrap() ? SS_LEFT : SS_LEFTNOWORDWRAP;
        SetWindowLongPtrW(window, GWL_STYLE, style);
        InvalidateRect(window, nullptr, TRUE);
    }
}

void UpdateCheckBox(HWND window, const Control& box, ControlChange what) {
    if (what == ControlChange::Text) {
        SetText(window, box);
    } else if (what == ControlChange::Value) {
        const int value = box.Value();
        const WPARAM check = value == 1   ? BST_CHECKED
                             : value == 2 ? BST_INDETERMINATE
                                          : BST_UNCHECKED;
        SendMessageW(window, BM_SETCHECK, check, 0);
    }
}

void UpdateTextBox(HWND window, const Control& box, ControlChange what) {
    if (what == ControlChange::Text) {
        SetText(window, box);
    } else if (what == ControlChange::Selection) {
        const int start = Utf16Offset(box.Text(), box.SelStart());
        const int end = Utf16Offset(box.Text(), box.SelStart() + box.SelLength());
        SendMessageW(window, EM_SETSEL, static_cast<WPARAM>(start), end);
    }
}

void AddComboEntry(ControlWindow& data, const ListItem& item, int at) {
    const LRESULT index = SendMessageW(data.hwnd, CB_INSERTSTRING, static_cast<WPARAM>(at),
                                       reinterpret_cast<LPARAM>(Widen(item.text).c_str()));
    if (index >= 0) SendMessageW(data.hwnd, CB_SETITEMDATA, static_cast<WPARAM>(index), item.tag);
}

// The native list to the model's entries.
void SyncComboItems(ControlWindow& data, const Control& list) {
    const int count = list.ListCount();
    const auto same = [&](int model, int native) {
        const ListItem& item = list.Item(model);
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
            const ListItem& item = list.Item(at);
            AddComboEntry(data, item, at);
            data.items.insert(data.items.begin() + at, {item.text, item.tag});
            return;
        }
    }
    SendMessageW(data.hwnd, CB_RESETCONTENT, 0, 0);
    data.items.clear();
    SendMessageW(data.hwnd, CB_INITSTORAGE, static_cast<WPARAM>(count), count * 64);
    for (int i = 0; i < count; ++i) {
        AddComboEntry(data, list.Item(i), -1);
        data.items.emplace_back(list.Item(i).text, list.Item(i).tag);
    }
}

void UpdateComboList(ControlWindow& data, const Control& list, ControlChange what) {
    if (what == ControlChange::Items) SyncComboItems(data, list);
    if (what == ControlChange::Items || what == ControlChange::ListIndex)
        SendMessageW(data.hwnd, CB_SETCURSEL, static_cast<WPARAM>(list.ListIndex()), 0);
}

void SyncTabs(HWND window, const Control& strip) {
    SendMessageW(window, TCM_DELETEALLITEMS, 0, 0);
    for (int i = 0; i < strip.ListCount(); ++i) {
        std::wstring text = Widen(strip.Item(i).text);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text.data();
        SendMessageW(window, TCM_INSERTITEMW, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(&item));
    }
}

void UpdateTabStrip(HWND window, const Control& strip, ControlChange what) {
    if (what == ControlChange::Items) SyncTabs(window, strip);
    if (what == ControlChange::Items || what == ControlChange::ListIndex)
        SendMessageW(window, TCM_SETCURSEL, static_cast<WPARAM>(strip.ListIndex()), 0);
}

}  // namespace

void FormWindow::Apply(Control& control, ControlChange what) {
    if (control.Kind() == ControlKind::Line) {
        // Drawn by its parent: any change is a repaint there.
        InvalidateRect(ParentWindow(control), nullptr, TRUE);
        return;
    }
    ControlWindow* data = Find(control);
    if (!data || !data->hwnd) return;
    const HWND window = data->hwnd;
    const Updating updating(*this);
    switch (what) {
        case ControlChange::Visible:
            ShowWindow(window, control.Visible() ? SW_SHOWNA : SW_HIDE);
            if (control.Kind() == ControlKind::Page) ClipTabStrips();
            RescueFocus();
            return;
        case ControlChange::Enabled:
            EnableWindow(window, control.Enabled());
            RescueFocus();
            return;
        case ControlChange::Rect:
            Layout(control);
            return;
        case ControlChange::Font:
            SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(control)), TRUE);
            if (control.Kind() == ControlKind::ComboList) Layout(control);
            return;
        case ControlChange::TabIndex:
            Reorder(PageOf(control));
            return;
        case ControlChange::Picture:
        case ControlChange::Color:
            InvalidateRect(window, nullptr, TRUE);
            return;
        default:
            break;
    }
    switch (control.Kind()) {
        case ControlKind::Label:
        case ControlKind::LinkLabel:
            UpdateLabel(window, control, what);
            if (what == ControlChange::Text) NameForScreenReaders(control);
            break;
        case ControlKind::Button:
            if (what == ControlChange::Text) SetText(window, control);
            if (what == ControlChange::Default) SetButtonLook(control, control.IsDefault());
            // Drawn by the version 6 common controls the manifest asks for.
            if (what == ControlChange::Shield)
                SendMessageW(window, BCM_SETSHIELD, 0, control.Shield() ? TRUE : FALSE);
            break;
        case ControlKind::CheckBox:
            UpdateCheckBox(window, control, what);
            break;
        case ControlKind::ComboList:
            UpdateComboList(*data, control, what);
            break;
        case ControlKind::TextBox:
            UpdateTextBox(window, control, what);
            break;
        case ControlKind::TabStrip:
            UpdateTabStrip(window, control, what);
            break;
        case ControlKind::Picture:
            if (what == ControlChange::Text) SetText(window, control);
            break;
        case ControlKind::Page:
        case ControlKind::Line:
            break;
    }
}

void FormWindow::SyncNewWindow(Control& control) {
    switch (control.Kind()) {
        case ControlKind::LinkLabel: {
            // The link takes its colour from the form (WM_CTLCOLORSTATIC), which gives the
            // theme's link colour in high contrast.
            LITEM item{};
            item.mask = LIF_ITEMINDEX | LIF_STATE;
            item.state = item.stateMask = LIS_DEFAULTCOLORS;
            SendMessageW(WindowOf(control), LM_SETITEM, 0, reinterpret_cast<LPARAM>(&item));
            break;
        }
        case ControlKind::Button:
            if (control.Shield()) Apply(control, ControlChange::Shield);
            break;
        case ControlKind::CheckBox:
            Apply(control, ControlChange::Value);
            break;
        case ControlKind::ComboList:
        case ControlKind::TabStrip:
            Apply(control, ControlChange::Items);
            break;
        case ControlKind::TextBox:
            Apply(control, ControlChange::Selection);
            break;
        case ControlKind::Picture:
            // A picture chosen before the form was loaded.
            if (!control.PicturePath().empty() && !Data(control).bitmap)
                LoadPicture(control, control.PicturePath());
            break;
        default:
            break;
    }
}

void FormWindow::SetButtonLook(const Control& control, bool isDefault) {
    const HWND window = WindowOf(control);
    if (!window || control.Kind() != ControlKind::Button) return;
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE) & 0xFFFF & ~BS_TYPEMASK;
    SendMessageW(window, BM_SETSTYLE,
                 static_cast<WPARAM>(style | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON)), TRUE);
}

// A hidden or disabled window that held the focus passes it on, as in a dialog.
void FormWindow::RescueFocus() {
    const HWND focus = GetFocus();
    if (!focus || !IsChild(hwnd, focus)) return;
    if (IsWindowVisible(focus) && IsWindowEnabled(focus)) return;
    if (HWND next = GetNextDlgTabItem(hwnd, nullptr, FALSE)) ::SetFocus(next);
}
