#include "screensaver/ShutWarning.h"

#include <string>

namespace scr {

namespace {
constexpr int kCaptionId = 1004;
constexpr int kCancelId = 1005;
constexpr int kSecondsId = 1006;
constexpr int kAttentionId = 1008;
constexpr int kWillShutDownId = 1009;
constexpr int kWillRestartId = 1010;
constexpr int kWillLogOffId = 1011;
constexpr int kWillHandOverId = 1012;
constexpr int kCancelRestartId = 1013;
constexpr int kCancelLogOffId = 1014;
constexpr int kWillSleepId = 1020;
constexpr int kWillHibernateId = 1021;
constexpr int kCancelSleepId = 1022;
constexpr int kCancelHibernateId = 1023;
// HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND), 0x80070716: a resource not found.
constexpr std::int32_t kResourceNotFound = static_cast<std::int32_t>(0x80070716u);
}  // namespace

fShutWarning::fShutWarning(FormHost& host, const IStringSource& strings, cLogger& logger,
                           EndKind kind)
    : Form(host, "fShutWarning"), strings_(strings), logger_(logger), kind_(kind) {
    SetClientSize({4185, 2205});
    // Above the chosen screen saver, which is still running full screen.
    SetTopmost(true);
    // No close box and no system menu: the ways out are Cancel and the end of the count,
    // so no click or Alt+F4 meant for the window beneath starts a shutdown early.
    HasCloseBox = false;
    const FontSpec bold{"", 0, true, false};
    Label2 = Add<Label>("Label2", {{345, 120, 3495, 375}});
    Label2->SetFont({"", 18, true, false});
    Label1 = Add<Label>("Label1", {{345, 720, 3495, 495}});
    Label1->SetFont(bold);
    Label1->SetWordWrap(true);
    lblSeconds = Add<Label>("lblSeconds", {{1425, 1290, 255, 255}});
    lblSeconds->SetFont(bold);
    lblSeconds->SetText(std::to_string(kSeconds));
    Label4 = Add<Label>("Label4", {{1785, 1290, 975, 255}});
    Label4->SetFont(bold);
    cmdCancel = Add<Button>("cmdCancel", {{1200, 1680, 1695, 375}});
    cmdCancel->SetDefault(true);
    cmdCancel->onClick = [this] { cmdCancel_Click(); };
    SetCancelButton(cmdCancel);
}

void fShutWarning::LoadCaptions() {
    const auto load = [this](int id) {
        auto text = strings_.Load(id);
        if (!text)
            throw RaisedError({kResourceNotFound, "fShutWarning",
                               "Resource with identifier '" + std::to_string(id) + "' not found"});
        return *text;
    };
    // The line says what follows; the button cancels that. Kelvane's hand-over cancels
    // a shutdown like our own.
    int will = kWillShutDownId, cancel = kCancelId;
    switch (kind_) {
        case EndKind::Restart:
            will = kWillRestartId;
            cancel = kCancelRestartId;
            break;
        case EndKind::LogOff:
            will = kWillLogOffId;
            cancel = kCancelLogOffId;
            break;
        case EndKind::HandOver:
            will = kWillHandOverId;
            break;
        case EndKind::Sleep:
            will = kWillSleepId;
            cancel = kCancelSleepId;
            break;
        case EndKind::Hibernate:
            will = kWillHibernateId;
            cancel = kCancelHibernateId;
            break;
        case EndKind::ShutDown:
            break;
    }
    SetCaption(load(kCaptionId));
    cmdCancel->SetText(load(cancel));
    Label4->SetText(load(kSecondsId));
    Label2->SetText(load(kAttentionId));
    Label1->SetText(load(will));
}

void fShutWarning::OnLoad() {
    try {
        LoadCaptions();
    } catch (const RaisedError& e) {
        // Reported, and the window closes at once as not cancelled.
        logger_.LogError("", true, e.info);
        Unload();
        return;
    }
    cancelled_ = false;
    secondsLeft_ = kSeconds;
    timer1_ = StartTimer(1000, [this] { Timer1_Timer(); });
}

void fShutWarning::OnShown() {
    BringToFront();
    // The whole sentence once; the focus stays on Cancel Shut Down.
    lblSeconds->Announce(Label1->Text() + " " + lblSeconds->Text() + " " + Label4->Text());
}

void fShutWarning::StartAgain() {
    if (!IsLoaded() || timer1_ == 0) return;
    StopTimer(timer1_);
    secondsLeft_ = kSeconds;
    lblSeconds->SetText(std::to_string(secondsLeft_));
    timer1_ = StartTimer(1000, [this] { Timer1_Timer(); });
}

void fShutWarning::Timer1_Timer() {
    --secondsLeft_;
    lblSeconds->SetText(std::to_string(secondsLeft_));
    // The last few as bare numbers, each short enough to be heard before the next.
    if (Announces(secondsLeft_))
        lblSeconds->Announce(secondsLeft_ > 5 ? lblSeconds->Text() + " " + Label4->Text()
                                              : lblSeconds->Text());
    if (secondsLeft_ < 1) Unload();
}

void fShutWarning::cmdCancel_Click() {
    cancelled_ = true;
    Unload();
}

}  // namespace scr
