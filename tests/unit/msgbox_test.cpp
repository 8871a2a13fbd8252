// The timed message box: layout arithmetic, default buttons, the timer and the results.
#include <gtest/gtest.h>

#include <cmath>

#include "common/MyMsgBox.h"
#include "common/StringTable.h"
#include "platform/fake/FakeLoop.h"
#include "platform/fake/HeadlessHost.h"

namespace {

constexpr int kChar = HeadlessHost::kCharWidth;
constexpr TwipSize kFrame{90, 420};  // the headless host's title bar and borders

class MsgBoxTest : public ::testing::Test {
  protected:
    // Lays a box out without showing it.
    fMyMsgBox& Layout(const std::string& text, std::int32_t buttons, bool checkBox = false) {
        box = std::make_unique<fMyMsgBox>(host, strings, "Somnivex");
        box->MessageText = text;
        box->ButtonArg = buttons;
        box->ShowCheckBox = checkBox;
        box->Load();
        EXPECT_TRUE(box->LayoutForm());
        return *box;
    }
    // Shows a box; `script` runs while it is open.
    std::int16_t Display(const std::string& text, std::int16_t buttons, std::int16_t seconds,
                         std::function<void(fMyMsgBox&)> script = {}) {
        fMyMsgBox display(host, strings, "Somnivex");
        if (script) loop.At(0, [&] { script(display); });
        return display.DisplayMessage(text, buttons, seconds);
    }
    std::vector<std::string> VisibleButtons(const fMyMsgBox& b) {
        std::vector<std::string> captions;
        for (int i = 0; i < 3; ++i)
            if (b.cmdResponse[i]->Visible()) captions.push_back(b.cmdResponse[i]->Text());
        return captions;
    }

    FakeClock clock;
    FakeFileSystem files;
    FakeEventLoop loop{clock};
    HeadlessHost host{loop, files};
    BuiltInStringSource strings{ProgramKind::ScreenSaver};
    std::unique_ptr<fMyMsgBox> box;
};

TEST_F(MsgBoxTest, ButtonSetsCaptionsAndClosedResults) {
    const std::vector<std::vector<std::string>> captions = {
        {"OK"},        {"OK", "Cancel"},   {"Abort", "Retry", "Ignore"}, {"Yes", "No", "Cancel"},
        {"Yes", "No"}, {"Retry", "Cancel"}};
    const std::int32_t closed[] = {1, 2, 5, 2, 7, 2};
    for (int set = 0; set <= 5; ++set) {
        fMyMsgBox& b = Layout("Hello", set);
        EXPECT_EQ(VisibleButtons(b), captions[set]) << set;
        EXPECT_EQ(b.SelectedButton(), closed[set]) << set;
        EXPECT_EQ(b.Caption(), "Somnivex");
    }
}

TEST_F(MsgBoxTest, ShortMessageKeepsTheMinimumWidthAndCentresOneButton) {
    fMyMsgBox& b = Layout("Hi", mb::kOk);
    // No icon: the message moves to the icon's place.
    EXPECT_EQ(b.lblMessage->Rect(), (TwipRect{120, 240, 2 * kChar, 195}));
    EXPECT_EQ(b.OuterSize(), (TwipSize{3345, 1530}));
    const int inner = 3345 - kFrame.width;
    EXPECT_EQ(b.cmdResponse[0]->Rect().left, (inner - 1095) / 2);
    EXPECT_EQ(b.cmdResponse[0]->Rect().top, 240 + 195 + 240);
    EXPECT_FALSE(b.chkDontShowThisAgain->Visible());
    EXPECT_FALSE(b.Line1[0]->Visible());
}

TEST_F(MsgBoxTest, IconsShowAndKeepTheMessageBesideThem) {
    const std::pair<int, int> icons[] = {{16, 0}, {32, 1}, {48, 2}, {64, 3}};
    for (auto [code, index] : icons) {
        fMyMsgBox& b = Layout("Text", mb::kOk + code);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(b.imgIconStyle[i]->Visible(), i == index) << code;
        EXPECT_EQ(b.lblMessage->Rect().left, 750);
    }
    // 292: Yes/No with the question mark, No the default.
    fMyMsgBox& b = Layout("Text", 292);
    EXPECT_TRUE(b.imgIconStyle[1]->Visible());
    EXPECT_TRUE(b.cmdResponse[1]->IsDefault());
}

TEST_F(MsgBoxTest, WideMessagesGrowTheWindowThenWrap) {
    // 50 characters: wider than the minimum, narrower than the wrap width.
    fMyMsgBox& wide = Layout(std::string(50, 'x'), mb::kOk);
    EXPECT_EQ(wide.OuterSize().width, 120 + 50 * kChar + 360);
    EXPECT_EQ(wide.OuterSize().height, 1530);

    // Three lines' worth of words: wraps at 6300 and grows by 195 per extra line.
    std::string words;
    for (int i = 0; i < 40; ++i) words += "word ";
    words.pop_back();
    fMyMsgBox& wrapped = Layout(words, mb::kOk);
    const TwipRect label = wrapped.lblMessage->Rect();
    EXPECT_EQ(label.width, 6300);
    EXPECT_EQ(label.height, 3 * 195);
    EXPECT_TRUE(wrapped.lblMessage->WordWrap());
    EXPECT_EQ(wrapped.OuterSize(), (TwipSize{120 + 6300 + 360, 1530 + 2 * 195}));
    EXPECT_EQ(wrapped.cmdResponse[0]->Rect().top, 240 + 3 * 195 + 240);
}

TEST_F(MsgBoxTest, TwoAndThreeButtonsSit120Apart) {
    fMyMsgBox& two = Layout("x", mb::kYesNo);
    const double inner = two.ClientSize().width;       // 3255: odd, so halves get rounded
    EXPECT_EQ(two.cmdResponse[0]->Rect().left, 472);   // 1627.5 - 1155, half to even
    EXPECT_EQ(two.cmdResponse[1]->Rect().left, 1688);  // 1627.5 + 60, half to even
    EXPECT_EQ(inner, 3255);

    fMyMsgBox& three = Layout("x", mb::kYesNoCancel);
    // Three buttons need 3 * 1095 + 3 * 120 + 360 = 4005.
    EXPECT_EQ(three.OuterSize().width, 4005);
    const int middle = three.cmdResponse[1]->Rect().left;
    EXPECT_EQ(middle, static_cast<int>(std::nearbyint((three.ClientSize().width - 1095) / 2.0)));
    EXPECT_EQ(three.cmdResponse[0]->Rect().left, middle - 1095 - 120);
    EXPECT_EQ(three.cmdResponse[2]->Rect().left, middle + 1095 + 120);
}

TEST_F(MsgBoxTest, DefaultButtonLeadsTheTabOrder) {
    fMyMsgBox& first = Layout("x", mb::kYesNoCancel);
    EXPECT_TRUE(first.cmdResponse[0]->IsDefault());
    EXPECT_EQ(first.cmdResponse[1]->TabIndex(), 1);

    fMyMsgBox& second = Layout("x", mb::kYesNoCancel + mb::kDefButton2);
    EXPECT_TRUE(second.cmdResponse[1]->IsDefault());
    EXPECT_FALSE(second.cmdResponse[0]->IsDefault());
    EXPECT_EQ(second.cmdResponse[1]->TabIndex(), 0);
    EXPECT_EQ(second.cmdResponse[2]->TabIndex(), 1);
    EXPECT_EQ(second.cmdResponse[0]->TabIndex(), 2);

    fMyMsgBox& third = Layout("x", mb::kAbortRetryIgnore + mb::kDefButton3);
    EXPECT_TRUE(third.cmdResponse[2]->IsDefault());
    EXPECT_EQ(third.cmdResponse[0]->TabIndex(), 1);
    EXPECT_EQ(third.cmdResponse[1]->TabIndex(), 2);

    // A flag beyond the buttons there are falls back to the first.
    fMyMsgBox& tooFew = Layout("x", mb::kOk + mb::kDefButton3);
    EXPECT_TRUE(tooFew.cmdResponse[0]->IsDefault());
}

TEST_F(MsgBoxTest, CheckBoxKeepsTheDesignedHeightBelowTheButtons) {
    fMyMsgBox& b = Layout("x", mb::kOk, true);
    EXPECT_TRUE(b.chkDontShowThisAgain->Visible());
    EXPECT_EQ(b.ClientSize().height, 1785);
    EXPECT_EQ(b.chkDontShowThisAgain->Rect().top, 675 + 360 + 300);
    EXPECT_EQ(b.Line1[0]->Rect().top, 675 + 360 + 200);
    EXPECT_FALSE(b.DontShowThisAgain());
}

// A title bar taller in twips than at 100 %, as at 150 %, must not cut off the buttons.
TEST_F(MsgBoxTest, ATallerTitleBarKeepsTheRoomBelowTheLowestControl) {
    for (const int frameHeight : {420, 510, 600}) {
        host.frame = {90, frameHeight};
        for (const bool checkBox : {false, true}) {
            fMyMsgBox& b = Layout("Shutdown Windows after 30 minute(s)?", mb::kYesNo, checkBox);
            const TwipRect lowest =
                checkBox ? b.chkDontShowThisAgain->Rect() : b.cmdResponse[0]->Rect();
            EXPECT_GE(b.ClientSize().height,
                      lowest.top + lowest.height + fMyMsgBox::kRoomBelowButtons)
                << frameHeight << (checkBox ? " with the check box" : "");
        }
    }
}

TEST_F(MsgBoxTest, TimerPicksTheDefaultAfterExactlyTheGivenSeconds) {
    const auto start = clock.SteadyMilliseconds();
    EXPECT_EQ(Display("Shutdown Windows after 30 minute(s)?", 4, 5), 1);
    EXPECT_EQ(clock.SteadyMilliseconds() - start, 5000u);
    EXPECT_EQ(Display("Shutdown Windows after 30 minute(s)?", 260, 5), 2);
    EXPECT_EQ(clock.SteadyMilliseconds() - start, 10'000u);
    EXPECT_EQ(loop.ActiveTimers(), 0u);
}

TEST_F(MsgBoxTest, ButtonsEnterEscapeAndCloseBox) {
    EXPECT_EQ(Display("q", 260, 5, [&](fMyMsgBox& b) { host.PressEnter(b); }), 2);
    EXPECT_EQ(Display("q", 4, 5, [&](fMyMsgBox& b) { host.Click(*b.cmdResponse[1]); }), 2);
    EXPECT_EQ(Display("q", 260, 5, [&](fMyMsgBox& b) { host.Click(*b.cmdResponse[0]); }), 1);
    // Closed without a button, or by Escape: the set's own answer, whatever the default.
    EXPECT_EQ(Display("q", 4, 5, [&](fMyMsgBox& b) { host.CloseBox(b); }), 2);
    EXPECT_EQ(Display("q", 4, 5, [&](fMyMsgBox& b) { host.PressEscape(b); }), 2);
    EXPECT_EQ(Display("q", mb::kAbortRetryIgnore, 0,
                      [&](fMyMsgBox& b) { host.Click(*b.cmdResponse[2]); }),
              3);
    EXPECT_EQ(Display("q", mb::kOkCancel, 0, [&](fMyMsgBox& b) { host.Click(*b.cmdResponse[1]); }),
              2);
}

TEST_F(MsgBoxTest, NoTimeLimitWaitsForTheUser) {
    const auto start = clock.SteadyMilliseconds();
    loop.At(3'600'000, [] {});
    EXPECT_EQ(
        Display("q", 4, 0,
                [&](fMyMsgBox& b) { loop.At(3'600'000, [&] { host.Click(*b.cmdResponse[1]); }); }),
        2);
    EXPECT_EQ(clock.SteadyMilliseconds() - start, 3'600'000u);
}

TEST_F(MsgBoxTest, BlankMessagesShowEmpty) {
    std::string shown;
    Display("   ", 0, 1, [&](fMyMsgBox& b) { shown = b.lblMessage->Text(); });
    EXPECT_EQ(shown, "Empty");
}

TEST_F(MsgBoxTest, PositionsOfTheResults) {
    EXPECT_EQ(PositionOf(0, 1), 1);
    EXPECT_EQ(PositionOf(1, 2), 2);
    EXPECT_EQ(PositionOf(2, 5), 3);
    EXPECT_EQ(PositionOf(3, 2), 3);
    EXPECT_EQ(PositionOf(4, 7), 2);
    EXPECT_EQ(PositionOf(5, 4), 1);
    EXPECT_EQ(ButtonSetOf(4 + 32 + 256), 4);
    EXPECT_EQ(ButtonSetOf(2 + 16 + 512), 2);
}

TEST_F(MsgBoxTest, MissingCaptionsCloseTheWindowWithTheClosedResult) {
    class Empty : public IStringSource {
        std::optional<std::string> Load(int) const override { return std::nullopt; }
    } empty;
    fMyMsgBox b(host, empty, "Somnivex");
    EXPECT_EQ(b.MyMsgBox("", "q", mb::kYesNo, "", "", "", false, 5), mb::kResultNo);
    EXPECT_FALSE(b.IsLoaded());
    EXPECT_TRUE(host.shownForms.empty());
}

}  // namespace
