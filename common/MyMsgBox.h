// fMyMsgBox: a modal message window that takes Windows' button-and-icon codes, lays
// itself out around the message, and can pick its default button by itself after a
// given number of seconds. Each call makes a fresh window and releases it again.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/Forms.h"
#include "common/Platform.h"

class fMyMsgBox : public Form {
  public:
    fMyMsgBox(FormHost& host, const IStringSource& strings, std::string productName);

    // Public fields, set by MyMsgBox before the layout.
    std::string MessageText;
    std::string MessageType;  // kept; has no effect
    std::string CaptionText;  // empty: the product name
    std::int32_t ButtonArg = 0;
    std::int16_t WaitSeconds = 0;  // 0 or less: no time limit
    bool ShowCheckBox = false;

    bool DontShowThisAgain() const { return dontShowThisAgain_; }
    std::int32_t SelectedButton() const { return selectedButton_; }
    // Whether the last showing ended because its time ran out: the default button was
    // taken for the user.
    bool TimedOut() const { return timedOut_; }

    // Shows the message with the buttons and icon of `iButtons` and returns the 1-based
    // position, from the left, of the button chosen (or taken by the time limit).
    std::int16_t DisplayMessage(const std::string& szMsg, std::int16_t iButtons,
                                std::int16_t iWaitSeconds = 0);
    // Shows the message and returns the Windows result code (1 OK ... 7 No).
    std::int32_t MyMsgBox(const std::string& messageType, const std::string& prompt,
                          std::int32_t buttons = 0, const std::string& title = "",
                          const std::string& helpFile = "", const std::string& context = "",
                          bool showCheckBox = false, std::int16_t waitSeconds = 0);

    // Lays the window out for the current fields; public so tests can read the result.
    bool LayoutForm();

    // The controls. The buttons beyond the first are shown as the set needs them.
    std::array<Picture*, 4> imgIconStyle{};  // stop, question, exclamation, information
    Label* lblMessage = nullptr;
    std::array<Button*, 3> cmdResponse{};
    std::array<Line*, 2> Line1{};  // grey over white: an etched separator
    CheckBox* chkDontShowThisAgain = nullptr;

    // Designed measures, in twips.
    static constexpr int kButtonWidth = 1095;
    static constexpr int kButtonHeight = 360;
    static constexpr int kWrapWidth = 6300;
    static constexpr int kMinimumWidth = 3345;
    static constexpr int kHeightWithoutCheckBox = 1530;
    static constexpr int kLineHeight = 195;
    // Below the buttons in the designed window at 100 %: 1530 less a 420-twip frame less
    // the buttons' bottom at 1035.
    static constexpr int kRoomBelowButtons = 75;

  protected:
    void OnLoad() override;
    void OnUnload() override;

  private:
    bool LoadCaptions();
    void TakeButtons(std::int32_t buttonSet);
    struct MeasuredMessage {
        TwipSize size;
        bool wrapped = false;
    };
    MeasuredMessage MeasureMessage() const;
    void PlaceMessage(int icon, const MeasuredMessage& message);
    void PlaceWindow(int buttonCount, int messageRight, int buttonTop, int extraLines);
    void PlaceButtons(int buttonCount, int defaultButton, int top);
    void Timer1_Timer();
    void cmdResponse_Click(int index);

    const IStringSource& strings_;
    std::string productName_;
    std::array<std::string, 7> captions_;  // 101 OK ... 107 Ignore
    std::array<std::int32_t, 4> buttonValues_{};
    std::array<std::string, 4> buttonCaptions_;
    std::int32_t defaultResponse_ = 0;
    std::int32_t selectedButton_ = 0;
    std::int16_t secondsLeft_ = 0;
    bool dontShowThisAgain_ = false;
    bool timedOut_ = false;
    bool captionsLoaded_ = false;
    TimerId timer1_ = 0;
};

// The button set of a button-and-icon code (0 to 5): the default-button and icon parts
// taken off.
std::int32_t ButtonSetOf(std::int32_t buttonArg);
// The result a set gives when its window is closed without a button.
std::int32_t ClosedResultOf(std::int32_t buttonSet);
// The 1-based position of `result` among the buttons of `buttonSet`.
std::int16_t PositionOf(std::int32_t buttonSet, std::int32_t result);
