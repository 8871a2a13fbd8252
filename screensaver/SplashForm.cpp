#include "screensaver/SplashForm.h"

#include <algorithm>

#include "common/SharedObjects.h"
#include "common/StringTable.h"

namespace scr {

namespace {
constexpr int kCopyrightId = 1000;
}

std::int32_t WaitMinutesUsed(std::int16_t waitMinutes) {
    // The settings manager never stores less than a minute; a value below that from
    // elsewhere must not end the wait during the start-up display.
    return std::max<std::int32_t>(waitMinutes, 1);
}

std::int32_t WaitLimitSeconds(std::int16_t waitMinutes) {
    return WaitMinutesUsed(waitMinutes) * 60;
}

fMain::fMain(FormHost& host) : Form(host, "fMain"), tmrWait(host.Loop()) {
    SetClientSize({4875, 6810});
    BackColor = 0xFFFFFF;
    BorderStyle = Border::None;
    ShowInTaskbar = false;
    HasCloseBox = false;
    imgLgeText = Add<Picture>("imgLgeText", {{240, 120, 4320, 2700}});
    lblCopyright = Add<Label>("lblCopyright", {{240, 3360, 3975, 255}});
    lblCopyright->SetFont({"Arial", 0, false, false});
    imgLogo = Add<Picture>("imgLogo", {{480, 3720, 3375, 1485}});
    lblProgList = Add<Label>("lblProgList", {{360, 5520, 4095, 1095}});
    lblProgList->SetFont({"", 0, true, false});
    lblProgList->SetWordWrap(true);
}

void fMain::OnLoad() {
    StartTime_ = gServices->clock.SteadyMilliseconds();
    // The wait starts with the load, before anything the window shows: a message about a
    // picture may stay open for as long as nobody is there, and the wait runs out inside it.
    const std::uint64_t limitMs =
        static_cast<std::uint64_t>(WaitLimitSeconds(gOptions.WaitMinutes)) * 1000;
    tmrWait.Reset(Loop().StartTimerAt(StartTime_ + limitMs, [this] { tmrWait_Timer(); }));

    // A failed step is reported once and the next step still runs, so one missing
    // picture leaves the rest of the window filled in. The pictures come once the window
    // is on screen (OnShown): decoding them is the slowest part of the start.
    const IStringSource& strings = gServices->strings;
    if (auto text = strings.Load(kCopyrightId))
        lblCopyright->SetText(*text);
    else
        ReportLoadFailure();
    if (auto text = strings.Load(str_id::kProgList))
        lblProgList->SetText(*text);
    else
        ReportLoadFailure();
}

void fMain::OnShown() {
    if (picturesLoaded_) return;
    picturesLoaded_ = true;
    const std::string& appPath = gOptions.AppPath;
    if (appPath.empty()) return;
    if (!imgLgeText->LoadPicture(appPath + "\\graphics\\SomnivexLgeTxt.GIF")) ReportLoadFailure();
    if (!imgLogo->LoadPicture(appPath + "\\graphics\\Brellcor.gif")) ReportLoadFailure();
}

void fMain::OnUnload() {
    tmrWait.Stop();
}

void fMain::tmrWait_Timer() {
    tmrWait.Reset();
    gTimeUp = true;
}

void fMain::ReportLoadFailure() {
    if (reported_) return;
    reported_ = true;
    gLogger->LogError(gServices->strings.Load(str_id::kCouldNotLoadGraphic).value_or(""), true);
}

void fMain::IsDoneShowing() {
    // Whole seconds on the steady clock: the display ends at the first moment at which
    // three of them have passed, and a single timer due then wakes the wait.
    const std::uint64_t shownUntil = StartTime_ + kDisplaySeconds * 1000;
    IClock& clock = gServices->clock;
    if (!IsLoaded() || clock.SteadyMilliseconds() >= shownUntil) return;
    const ScopedTimer due(Loop(), Loop().StartTimerAt(shownUntil, [] {}));
    Loop().RunUntil([&] { return clock.SteadyMilliseconds() >= shownUntil; });
}

}  // namespace scr
