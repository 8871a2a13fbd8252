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

// What a button-and-icon code asks for. The code is the sum of a default-button flag,
// an icon and a button set; they are taken off in that order, each largest first.
struct MessageStyle {
    int defaultButton = 0;  // 0 the first button, 1 the second, 2 the third
    int icon = -1;          // into imgIconStyle; -1 none
    std::int32_t buttonSet = 0;
};

MessageStyle Decode(std::int32_t code) {
    MessageStyle style;
    if (code >= mb::kDefButton3) {
        style.defaultButton = 2;
        code -= mb::kDefButton3;
    } else if (code >= mb::kDefButton2) {
        style.defaultButton = 1;
        code -= mb::kDefButton2;
    }
    // In the order of imgIconStyle: stop, question, exclamation, information.
    const std::int32_t icons[] = {mb::kIconStop, mb::kIconQuestion, mb::kIconExclamation,
                                  mb::kIconInformation};
    for (int i = 3; i >= 0; --i)
        if (code >= icons[i]) {
            code -= icons[i];
            style.icon = i;
            break;
        }
    style.buttonSet = code;
    return style;
}

std::string ControlName(const char* base, int index) {
    return base + std::to_string(index);
}

bool IsBlank(const std::string& text) {
    return text.find_first_not_of(" \t") == std::string::npos;
}

constexpr int kMessageLeft = 750;  // beside the icon
constexpr int kMessageTop = 240;
constexpr int kButtonGap = 120;
// A little under the standard line of 195, so a line measured a few twips short in
// another font still counts as one.
constexpr int kCountedLineHeight = 171;

}  // namespace

std::int32_t ButtonSetOf(std::int32_t buttonArg) {
    return Decode(buttonArg).buttonSet;
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
        imgIconStyle[i] = Add<Picture>(ControlName("imgIconStyle", i), {{120, 120, 480, 480}});
        imgIconStyle[i]->SetIcon(icons[i]);
        imgIconStyle[i]->SetVisible(false);
    }
    lblMessage = Add<Label>("lblMessage", {{kMessageLeft, kMessageTop, 945, 195}});
    for (int i = 0; i < 3; ++i) {
        Button* button = Add<Button>(ControlName("cmdResponse", i),
                                     {{1320, 720, kButtonWidth, kButtonHeight}, i});
        button->SetVisible(i == 0);
        button->onClick = [this, i] { cmdResponse_Click(i); };
        cmdResponse[i] = button;
    }
    Line1[0] = Add<Line>("Line10", {{0, 1320, 7680, 0}});
    Line1[0]->SetForeColor(0x808080);
    Line1[1] = Add<Line>("Line11", {{0, 1335, 7680, 0}});
    Line1[1]->SetForeColor(0xFFFFFF);
    // Ticking it records nothing: no caller asks for it.
    chkDontShowThisAgain = Add<CheckBox>("chkDontShowThisAgain", {{120, 1455, 3690, 285}, 3});
}

void fMyMsgBox::OnLoad() {
    // Without its captions the window cannot be used: it goes away at once.
    if (!LoadCaptions()) Unload();
}

bool fMyMsgBox::LoadCaptions() {
    const auto check = strings_.Load(str_id::kDontShowAgain);
    const auto cancel = strings_.Load(str_id::kCancel);
    if (!check || !cancel) return false;
    chkDontShowThisAgain->SetText(*check);
    cmdResponse[0]->SetText(*cancel);
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
    StopTimer(timer1_);
    if (!captionsLoaded_ && !LoadCaptions()) return false;

    // Decode: which buttons, which of them is the default, which icon; and the title.
    const MessageStyle style = Decode(ButtonArg);
    const int buttonCount = SetFor(style.buttonSet).count;
    TakeButtons(style.buttonSet);
    SetCaption(!CaptionText.empty() ? CaptionText : productName_);

    // Measure: the message on one line, or wrapped when that is too wide.
    const MeasuredMessage message = MeasureMessage();

    // Place: the icon and the message, the window around them, the buttons below.
    PlaceMessage(style.icon, message);
    const TwipRect& label = lblMessage->Rect();
    const int extraLines = label.height / kCountedLineHeight - 1;
    const int buttonTop = label.top + label.height + 240;
    PlaceWindow(buttonCount, label.left + label.width, buttonTop, extraLines);
    PlaceButtons(buttonCount, style.defaultButton, buttonTop);

    // The count-down to the default answer.
    if (WaitSeconds > 0) {
        secondsLeft_ = WaitSeconds;
        timer1_ = StartTimer(1000, [this] { Timer1_Timer(); });
    }
    return true;
}

void fMyMsgBox::TakeButtons(std::int32_t buttonSet) {
    const ButtonSet set = SetFor(buttonSet);
    // The captions are read in string order (OK, Cancel, Yes, No, Abort, Retry, Ignore);
    // the result codes run OK, Cancel, Abort, Retry, Ignore, Yes, No.
    static constexpr int kCaptionOfResult[] = {0, 0, 1, 4, 5, 6, 2, 3};
    for (int i = 0; i < 4; ++i) {
        buttonValues_[i] = i < set.count ? set.results[i] : 0;
        buttonCaptions_[i] = i < set.count ? captions_[kCaptionOfResult[set.results[i]]] : "";
    }
    selectedButton_ = set.closedResult;
}

fMyMsgBox::MeasuredMessage fMyMsgBox::MeasureMessage() const {
    const FontSpec& font = lblMessage->Font();
    const TwipSize line = MeasureText(font, MessageText);
    if (line.width <= kWrapWidth) return {line, false};
    return {{kWrapWidth, MeasureText(font, MessageText, kWrapWidth).height}, true};
}

void fMyMsgBox::PlaceMessage(int icon, const MeasuredMessage& message) {
    for (int i = 0; i < 4; ++i) imgIconStyle[i]->SetVisible(i == icon);
    lblMessage->SetWordWrap(message.wrapped);
    lblMessage->SetText(MessageText);
    // Without an icon the message starts where the icon would.
    const int left = icon >= 0 ? kMessageLeft : imgIconStyle[0]->Rect().left;
    lblMessage->SetRect({left, kMessageTop, message.size.width, message.size.height});
}

void fMyMsgBox::PlaceWindow(int buttonCount, int messageRight, int buttonTop, int extraLines) {
    // The message and a margin, and room for the buttons; the width is the outer one.
    const int forButtons = buttonCount * (kButtonWidth + kButtonGap) + 360;
    const int width = std::max({messageRight + 360, forButtons, kMinimumWidth});

    // The separator and the check box below the buttons, shown only when asked for.
    const int belowButtons = buttonTop + kButtonHeight;
    Line1[0]->SetTop(belowButtons + 200);
    Line1[1]->SetTop(belowButtons + 213);
    chkDontShowThisAgain->SetTop(belowButtons + 300);
    Line1[0]->SetVisible(ShowCheckBox);
    Line1[1]->SetVisible(ShowCheckBox);
    chkDontShowThisAgain->SetVisible(ShowCheckBox);
    // With the check box the window keeps the height it has (the designed one).
    const int height = ShowCheckBox ? OuterSize().height : kHeightWithoutCheckBox;
    // At least the designed room below the lowest control: the outer height is measured
    // with the title bar, which is taller in twips at some scales than at 100 %, and a
    // message can measure taller than its designed lines.
    const int frame = OuterSize().height - ClientSize().height;
    const int lowest = ShowCheckBox
                           ? chkDontShowThisAgain->Rect().top + chkDontShowThisAgain->Rect().height
                           : belowButtons;
    SetOuterSize(
        {width, std::max(height + extraLines * kLineHeight, frame + lowest + kRoomBelowButtons)});
}

void fMyMsgBox::PlaceButtons(int buttonCount, int defaultButton, int top) {
    // Centred in the inner width, 120 apart, each left rounded half to even.
    const double inner = ClientSize().width;
    const double w = kButtonWidth;
    const auto round = [](double v) { return static_cast<int>(std::nearbyint(v)); };
    int lefts[3] = {};
    if (buttonCount == 1) {
        lefts[0] = round((inner - w) / 2);
    } else if (buttonCount == 2) {
        lefts[0] = round(inner / 2 - (w + kButtonGap / 2));
        lefts[1] = round(inner / 2 + kButtonGap / 2);
    } else {
        const double middle = (inner - w) / 2;
        lefts[1] = round(middle);
        lefts[0] = round(middle - w - kButtonGap);
        lefts[2] = round(middle + w + kButtonGap);
    }
    for (int i = 0; i < 3; ++i) {
        Button& button = *cmdResponse[i];
        button.SetVisible(i < buttonCount);
        button.SetDefault(false);
        if (i >= buttonCount) continue;
        button.SetText(buttonCaptions_[i]);
        button.SetRect({lefts[i], top, kButtonWidth, kButtonHeight});
    }

    // The default button leads the tab order, so it has the focus and takes Enter; the
    // others follow it round the row. A flag beyond the buttons there are means the first.
    const int first = defaultButton < buttonCount ? defaultButton : 0;
    cmdResponse[first]->SetDefault(true);
    defaultResponse_ = buttonValues_[first];
    for (int k = 0; k < buttonCount; ++k) cmdResponse[(first + k) % buttonCount]->SetTabIndex(k);
}

void fMyMsgBox::Timer1_Timer() {
    if (--secondsLeft_ < 1) {
        selectedButton_ = defaultResponse_;
        timedOut_ = true;
        Unload();
    }
}

void fMyMsgBox::cmdResponse_Click(int index) {
    selectedButton_ = buttonValues_[index];
    Unload();
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
    timedOut_ = false;
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
