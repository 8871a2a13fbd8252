#include "common/MyMsgBox.h"

#include <algorithm>
#include <cmath>

#include "common/StringTable.h"

namespace {

struct ButtonSet {
    int count;
    std::array<std::int32_t, 3> results;
    std::int32_t closedResult;
};

ButtonSet SetFor(std::int32_t set) {
    using namespace mb;
    switch (set) {
        case kOkCancel:
            return {2, {kResultOk, kResultCancel, 0}, kResultCancel};
        case kAbortRetryIgnore:
            return {3, {kResultAbort, kResultRetry, kResultIgnore}, kResultIgnore};
        case kYesNoCancel:
            return {3, {kResultYes, kResultNo, kResultCancel}, kResultCancel};
        case kYesNo:
            return {2, {kResultYes, kResultNo, 0}, kResultNo};
        case kRetryCancel:
            return {2, {kResultRetry, kResultCancel, 0}, kResultCancel};
        default:
            return {1, {kResultOk, 0, 0}, kResultOk};
    }
}

std::string ControlName(const char* base, int index) {
    return base + std::to_string(index);
}

bool IsBlank(const std::string& text) {
    return text.find_first_not_of(" \t") == std::string::npos;
}

}  // namespace

std::int32_t ButtonSetOf(std::int32_t buttonArg) {
    std::int32_t rest = buttonArg;
    if (rest >= mb::kDefButton3)
        rest -= mb::kDefButton3;
    else if (rest >= mb::kDefButton2)
        rest -= mb::kDefButton2;
    for (int icon : {mb::kIconInformation, mb::kIconExclamation, mb::kIconQuestion, mb::kIconStop})
        if (rest >= icon) {
            rest -= icon;
            break;
        }
    return rest;
}

std::int32_t ClosedResultOf(std::int32_t buttonSet) {
    return SetFor(buttonSet).closedResult;
}

std::int16_t PositionOf(std::int32_t buttonSet, std::int32_t result) {
    // OK/Cancel answers with the result code itself, which is also its position.
    if (buttonSet == mb::kOkCancel) return static_cast<std::int16_t>(result);
    const ButtonSet set = SetFor(buttonSet);
    for (int i = 0; i < set.count; ++i)
        if (set.results[i] == result) return static_cast<std::int16_t>(i + 1);
    return 1;
}

fMyMsgBox::fMyMsgBox(FormHost& host, const IStringSource& strings, std::string productName)
    : Form(host, "fMyMsgBox"), strings_(strings), productName_(std::move(productName)) {
    SetClientSize({3255, 1785});
    HasMinimizeBox = false;
    const StockIcon icons[] = {StockIcon::Stop, StockIcon::Question, StockIcon::Exclamation,
                               StockIcon::Information};
    for (int i = 0; i < 4; ++i) {
        Control& icon =
            Add(ControlKind::Picture, ControlName("imgIconStyle", i), {120, 120, 480, 480});
        icon.SetIcon(icons[i]);
        icon.SetVisible(false);
    }
    Add(ControlKind::Label, "lblMessage", {750, 240, 945, 195});
    for (int i = 0; i < 3; ++i) {
        Control& button = Add(ControlKind::Button, ControlName("cmdResponse", i),
                              {1320, 720, kButtonWidth, kButtonHeight});
        button.SetVisible(i == 0);
        button.SetTabIndex(i);
    }
    Add(ControlKind::Line, "Line10", {0, 1320, 7680, 0}).SetForeColor(0x808080);
    Add(ControlKind::Line, "Line11", {0, 1335, 7680, 0}).SetForeColor(0xFFFFFF);
    Add(ControlKind::CheckBox, "chkDontShowThisAgain", {120, 1455, 3690, 285}).SetTabIndex(3);
}

void fMyMsgBox::OnLoad() {
    // Without its captions the window cannot be used: it goes away at once.
    if (!LoadCaptions()) Unload();
}

bool fMyMsgBox::LoadCaptions() {
    const auto check = strings_.Load(str_id::kDontShowAgain);
    const auto cancel = strings_.Load(str_id::kCancel);
    if (!check || !cancel) return false;
    (*this)["chkDontShowThisAgain"].SetText(*check);
    (*this)["cmdResponse0"].SetText(*cancel);
    for (int i = 0; i < 7; ++i) {
        const auto text = strings_.Load(str_id::kOk + i);
        if (!text) return false;
        captions_[i] = *text;
    }
    captionsLoaded_ = true;
    return true;
}

void fMyMsgBox::OnUnload() {
    StopTimer(timer1_);
}

bool fMyMsgBox::LayoutForm() {
    // 1. The timer stops; the captions are read no later than now.
    StopTimer(timer1_);
    if (!captionsLoaded_ && !LoadCaptions()) return false;

    // 2. Default button and 3. icon, taken off the code in that order.
    std::int32_t rest = ButtonArg;
    int defaultFlag = 0;
    if (rest >= mb::kDefButton3) {
        defaultFlag = 2;
        rest -= mb::kDefButton3;
    } else if (rest >= mb::kDefButton2) {
        defaultFlag = 1;
        rest -= mb::kDefButton2;
    }
    int iconIndex = -1;
    const int iconCodes[] = {mb::kIconInformation, mb::kIconExclamation, mb::kIconQuestion,
                             mb::kIconStop};
    for (int i = 0; i < 4; ++i)
        if (rest >= iconCodes[i]) {
            rest -= iconCodes[i];
            iconIndex = 3 - i;
            break;
        }
    for (int i = 0; i < 4; ++i) (*this)[ControlName("imgIconStyle", i)].SetVisible(i == iconIndex);

    // 4. The buttons of the set.
    const ButtonSet set = SetFor(rest);
    // The captions are read in string order (OK, Cancel, Yes, No, Abort, Retry, Ignore);
    // the result codes run OK, Cancel, Abort, Retry, Ignore, Yes, No.
    const auto captionOf = [&](std::int32_t result) {
        static constexpr int kCaptionOfResult[] = {0, 0, 1, 4, 5, 6, 2, 3};
        return captions_[kCaptionOfResult[result]];
    };
    for (int i = 0; i < 4; ++i) {
        buttonValues_[i] = i < set.count ? set.results[i] : 0;
        buttonCaptions_[i] = i < set.count ? captionOf(set.results[i]) : "";
    }
    selectedButton_ = set.closedResult;

    // 5. Title.
    SetCaption(!CaptionText.empty() ? CaptionText : productName_);

    // 6. The message sizes itself; past the wrap width it grows downwards instead.
    Control& label = (*this)["lblMessage"];
    label.SetWordWrap(false);
    label.SetText(MessageText);
    TwipSize size = MeasureText(label.Font(), MessageText);
    if (size.width > kWrapWidth) {
        label.SetWordWrap(true);
        size = {kWrapWidth, MeasureText(label.Font(), MessageText, kWrapWidth).height};
    }
    TwipRect labelRect{label.Rect().left, label.Rect().top, size.width, size.height};
    // 7. Without an icon the message starts where the icon would.
    if (iconIndex < 0) labelRect.left = (*this)["imgIconStyle0"].Rect().left;
    label.SetRect(labelRect);

    // 8. Width: the message and a margin, and room for the buttons.
    int outerWidth = labelRect.left + labelRect.width + 360;
    const int minimum = std::max(set.count * kButtonWidth + set.count * 120 + 360, kMinimumWidth);
    outerWidth = std::max(outerWidth, minimum);

    // 9. and 10. Buttons below the message, separator and check box below them.
    const int buttonTop = labelRect.top + labelRect.height + 240;
    (*this)["Line10"].SetTop(buttonTop + kButtonHeight + 200);
    (*this)["Line11"].SetTop(buttonTop + kButtonHeight + 213);
    (*this)["chkDontShowThisAgain"].SetTop(buttonTop + kButtonHeight + 300);

    // 11. Lines beyond the first, from the label's height.
    const int extraLines = static_cast<int>(std::nearbyint(labelRect.height)) / 171 - 1;

    // 12. and 13. Height.
    int outerHeight = OuterSize().height;
    for (const char* name : {"Line10", "Line11", "chkDontShowThisAgain"})
        (*this)[name].SetVisible(ShowCheckBox);
    if (!ShowCheckBox) outerHeight = kHeightWithoutCheckBox;
    outerHeight += extraLines * kLineHeight;
    SetOuterSize({outerWidth, outerHeight});

    // 14. and 15. Button positions from the inner width, rounded half to even.
    const double inner = ClientSize().width;
    const double w = kButtonWidth;
    const auto round = [](double v) { return static_cast<int>(std::nearbyint(v)); };
    int lefts[3] = {};
    if (set.count == 1) {
        lefts[0] = round((inner - w) / 2);
    } else if (set.count == 2) {
        lefts[0] = round(inner / 2 - (w + 60));
        lefts[1] = round(inner / 2 + 60);
    } else {
        const double middle = (inner - w) / 2;
        lefts[1] = round(middle);
        lefts[0] = round(middle - w - 120);
        lefts[2] = round(middle + w + 120);
    }
    for (int i = 0; i < 3; ++i) {
        Control& button = (*this)[ControlName("cmdResponse", i)];
        button.SetVisible(i < set.count);
        button.SetDefault(false);
        if (i >= set.count) continue;
        button.SetText(buttonCaptions_[i]);
        button.SetRect({lefts[i], buttonTop, kButtonWidth, kButtonHeight});
    }

    // 16. The default button leads the tab order, so it has the focus and takes Enter.
    Control& b0 = (*this)["cmdResponse0"];
    Control& b1 = (*this)["cmdResponse1"];
    Control& b2 = (*this)["cmdResponse2"];
    if (defaultFlag == 1 && set.count >= 2) {
        b1.SetDefault(true);
        b1.SetTabIndex(0);
        defaultResponse_ = buttonValues_[1];
        if (set.count == 3) {
            b2.SetTabIndex(1);
            b0.SetTabIndex(2);
        } else {
            b0.SetTabIndex(1);
        }
    } else if (defaultFlag == 2 && set.count == 3) {
        b2.SetDefault(true);
        b2.SetTabIndex(0);
        defaultResponse_ = buttonValues_[2];
        b0.SetTabIndex(1);
        b1.SetTabIndex(2);
    } else {
        b0.SetDefault(true);
        b0.SetTabIndex(0);
        defaultResponse_ = buttonValues_[0];
        if (defaultFlag == 0) {
            b1.SetTabIndex(1);
            b2.SetTabIndex(2);
        }
    }

    // 17. The count-down to the default answer.
    if (WaitSeconds > 0) {
        secondsLeft_ = WaitSeconds;
        timer1_ = StartTimer(1000, [this] { Timer1_Timer(); });
    }
    return true;
}

void fMyMsgBox::Timer1_Timer() {
    if (--secondsLeft_ < 1) {
        selectedButton_ = defaultResponse_;
        Unload();
    }
}

void fMyMsgBox::OnClick(Control& control) {
    const std::string& name = control.Name();
    if (name.rfind("cmdResponse", 0) == 0) {
        selectedButton_ = buttonValues_[name.back() - '0'];
        Unload();
    }
    // The check box records nothing: no caller asks for it.
}

std::int32_t fMyMsgBox::MyMsgBox(const std::string& messageType, const std::string& prompt,
                                 std::int32_t buttons, const std::string& title, const std::string&,
                                 const std::string&, bool showCheckBox, std::int16_t waitSeconds) {
    ButtonArg = buttons;
    MessageType = messageType;
    MessageText = prompt;
    CaptionText = title;
    WaitSeconds = waitSeconds;
    ShowCheckBox = showCheckBox;
    Load();
    // A window that could not load its captions counts as closed without a button.
    if (!IsLoaded() || !LayoutForm()) {
        if (IsLoaded()) Unload();
        return ClosedResultOf(ButtonSetOf(buttons));
    }
    ShowModal();
    return selectedButton_;
}

std::int16_t fMyMsgBox::DisplayMessage(const std::string& szMsg, std::int16_t iButtons,
                                       std::int16_t iWaitSeconds) {
    const std::string message = IsBlank(szMsg) ? "Empty" : szMsg;
    const std::int32_t result =
        MyMsgBox("", message, iButtons, productName_, "", "", false, iWaitSeconds);
    return PositionOf(ButtonSetOf(iButtons), result);
}
