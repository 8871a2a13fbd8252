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

fMain::fMain(FormHost& host) : Form(host, "fMain") {
    SetClientSize({4875, 6810});
    BackColor = 0xFFFFFF;
    BorderStyle = Border::None;
    ShowInTaskbar = false;
    HasCloseBox = false;
    Add(ControlKind::Picture, "imgLgeText", {240, 120, 4320, 2700});
    Add(ControlKind::Label, "lblCopyright", {240, 3360, 3975, 255})
        .SetFont({"Arial", 0, false, false});
    Add(ControlKind::Picture, "imgLogo", {480, 3720, 3375, 1485});
    Control& progList = Add(ControlKind::Label, "lblProgList", {360, 5520, 4095, 1095});
    progList.SetFont({"", 0, true, false});
    progList.SetWordWrap(true);
}

void fMain::OnLoad() {
    StartTime_ = gServices->clock.SteadyMilliseconds();
    tmrWait_ = StartTimer(kWaitTimerInterval, [this] { tmrWait_Timer(); });

    // A failed step is reported once and the next step still runs, so one missing
    // picture leaves the rest of the window filled in. The pictures come once the window
    // is on screen (OnShown): decoding them is the slowest part of the start.
    const IStringSource& strings = gServices->strings;
    if (auto text = strings.Load(kCopyrightId))
        (*this)["lblCopyright"].SetText(*text);
    else
        ReportLoadFailure();
    if (auto text = strings.Load(str_id::kProgList))
        (*this)["lblProgList"].SetText(*text);
    else
        ReportLoadFailure();
}

void fMain::OnShown() {
    if (picturesLoaded_) return;
    picturesLoaded_ = true;
    const std::string& appPath = gOptions.AppPath;
    if (appPath.empty()) return;
    if (!(*this)["imgLgeText"].LoadPicture(appPath + "\\graphics\\SomnivexLgeTxt.GIF"))
        ReportLoadFailure();
    if (!(*this)["imgLogo"].LoadPicture(appPath + "\\graphics\\Brellcor.gif")) ReportLoadFailure();
}

void fMain::ReportLoadFailure() {
    if (reported_) return;
    reported_ = true;
    gLogger->LogError(gServices->strings.Load(str_id::kCouldNotLoadGraphic).value_or(""), true);
}

std::int64_t fMain::ElapsedSeconds() const {
    return static_cast<std::int64_t>((gServices->clock.SteadyMilliseconds() - StartTime_) / 1000);
}

void fMain::IsDoneShowing() {
    if (!IsLoaded() || ElapsedSeconds() >= kDisplaySeconds) return;
    // A timer of our own keeps the wait alive even when the wait timer is off.
    TimerId poll = StartTimer(250, [] {});
    Loop().RunUntil([this] { return ElapsedSeconds() >= kDisplaySeconds; });
    StopTimer(poll);
}

void fMain::tmrWait_Timer() {
    if (ElapsedSeconds() >= WaitLimitSeconds(gOptions.WaitMinutes)) {
        gTimeUp = true;
        StopTimer(tmrWait_);
    }
}

}  // namespace scr
