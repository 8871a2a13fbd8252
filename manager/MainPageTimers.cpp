// The lower part of the Main Settings page: whether Somnivex is this user's screen saver
// (with a button that makes it so, with the user's own rights, at once), and Windows' own
// timers, read-only, with a warning when Windows would sleep before Somnivex's shutdown.
#include "common/SharedObjects.h"
#include "manager/SettingsForm.h"
#include "manager/WindowsTimers.h"

namespace mgr {

namespace {

// The columns of the timers' table.
constexpr int kValueLeft = 2760;
constexpr int kBatteryLeft = 4200;

}  // namespace

void fMain::AddTimerControls() {
    Page* page = picSettings;
    // Tab positions after the designed ones, in reading order.
    linTimers = Add<Line>("linTimers", {{120, 3330, 5295, 0}, 0, page});
    linTimers->SetForeColor(0x808080);
    lblMyScreenSaver = Add<Label>("lblMyScreenSaver", {{120, 3420, 3015, 435}, 31, page});
    lblMyScreenSaver->SetWordWrap(true);
    cmdMakeMine = Add<Button>("cmdMakeMine", {{3240, 3420, 2175, 375}, 32, page});
    cmdMakeMine->onClick = [this] { cmdMakeMine_Click(); };
    lblTimers = Add<Label>("lblTimers", {{120, 3930, 2535, 255}, 33, page});
    lblTimers->SetFont({"", 0, true, false});
    lblOnMains = Add<Label>("lblOnMains", {{kValueLeft, 3930, 1335, 255}, 34, page});
    lblOnBattery = Add<Label>("lblOnBattery", {{kBatteryLeft, 3930, 1215, 255}, 35, page});
    lblSaverStarts = Add<Label>("lblSaverStarts", {{120, 4200, 2535, 255}, 36, page});
    lblSaverWait = Add<Label>("lblSaverWait", {{kValueLeft, 4200, 2655, 255}, 37, page});
    lblSleeps = Add<Label>("lblSleeps", {{120, 4470, 2535, 255}, 38, page});
    lblSleepMains = Add<Label>("lblSleepMains", {{kValueLeft, 4470, 1335, 255}, 39, page});
    lblSleepBattery = Add<Label>("lblSleepBattery", {{kBatteryLeft, 4470, 1215, 255}, 40, page});
    imgSleepWarning = Add<Picture>("imgSleepWarning", {{120, 4800, 240, 240}, 41, page});
    imgSleepWarning->SetIcon(StockIcon::Exclamation);
    lblSleepWarning = Add<Label>("lblSleepWarning", {{480, 4800, 4935, 780}, 42, page});
    lblSleepWarning->SetWordWrap(true);
}

std::string fMain::DurationText(std::uint32_t seconds) const {
    using namespace timers_text;
    if (seconds == 0) return LoadText(kNever);
    if (seconds % 3600 == 0)
        return seconds == 3600 ? LoadText(kOneHour)
                               : FillIn(LoadText(kHours), {std::to_string(seconds / 3600)});
    if (seconds % 60 == 0)
        return seconds == 60 ? LoadText(kOneMinute)
                             : FillIn(LoadText(kMinutes), {std::to_string(seconds / 60)});
    return FillIn(LoadText(kSeconds), {std::to_string(seconds)});
}

void fMain::ShowWindowsTimers() {
    using namespace timers_text;
    IPowerFacts& power = manager_.power;
    const UserScreenSaver saver = ReadUserScreenSaver(gServices->registry, power);
    ShowMyScreenSaver(saver);

    lblTimers->SetText(LoadText(kHeading));
    lblOnMains->SetText(LoadText(kOnMains));
    lblOnBattery->SetText(LoadText(kOnBattery));
    lblSaverStarts->SetText(LoadText(kSaverStarts));
    std::string wait = saver.waitSeconds ? DurationText(*saver.waitSeconds) : LoadText(kNotKnown);
    if (saver.waitSeconds && saver.waitByPolicy) wait = FillIn(LoadText(kByPolicy), {wait});
    lblSaverWait->SetText(wait);

    // Unknown capabilities show both columns; a PC without batteries, mains power only.
    const std::optional<PowerCapabilities> can = power.Capabilities();
    const bool battery = !can || can->systemBatteriesPresent;
    const bool standby = can && can->aoAc;
    lblOnMains->SetVisible(battery);
    lblOnBattery->SetVisible(battery);
    lblSleepBattery->SetVisible(battery);
    lblSleeps->SetText(LoadText(standby ? kStandby : kSleeps));

    const std::optional<PowerPlanTimeouts> plan = ReadPlanTimeouts(gServices->registry, power);
    // On a Modern Standby PC the display going off is the standby, unless sleep comes
    // first.
    const auto shown = [&](const AcDcSeconds& sleep, const AcDcSeconds& display, bool dc) {
        const auto pick = [dc](const AcDcSeconds& v) { return dc ? v.dc : v.ac; };
        std::optional<std::uint32_t> seconds = pick(sleep);
        const auto off = pick(display);
        if (standby && off && *off != 0 && (!seconds || *seconds == 0 || *off < *seconds))
            seconds = off;
        return seconds ? DurationText(*seconds) : LoadText(kNotKnown);
    };
    if (plan) {
        lblSleepMains->SetText(shown(plan->sleep, plan->display, false));
        lblSleepBattery->SetText(shown(plan->sleep, plan->display, true));
    } else {
        lblSleepMains->SetText(LoadText(kNotKnown));
        lblSleepBattery->SetText(LoadText(kNotKnown));
    }

    // The warning, for the minutes as they stand in the box.
    std::optional<EarlyStop> stop;
    const int minutes = std::stoi(NormaliseMinutes(gServices->facts, txtMinutes->Text()));
    if (plan) stop = StopBeforeShutdown(*plan, can, SecondsToShutdown(saver.waitSeconds, minutes));
    imgSleepWarning->SetVisible(stop.has_value());
    lblSleepWarning->SetVisible(stop.has_value());
    if (!stop) {
        lblSleepWarning->SetText("");
        return;
    }
    const int text = stop->kind == EarlyStop::Kind::DisplayOff  ? kStandbyFirst
                     : stop->kind == EarlyStop::Kind::Hibernate ? kHibernatesFirst
                                                                : kSleepsFirst;
    std::string after = DurationText(stop->afterSeconds);
    if (stop->onBatteryOnly) after = FillIn(LoadText(kOnBatteryOnly), {after});
    lblSleepWarning->SetText(
        FillIn(LoadText(text),
               {after, saver.waitSeconds ? DurationText(*saver.waitSeconds) : LoadText(kNotKnown),
                DurationText(static_cast<std::uint32_t>(minutes) * 60)}));
}

void fMain::ShowMyScreenSaver(const UserScreenSaver& saver) {
    using namespace timers_text;
    const std::string own = manager_.power.ScreenSaverFolder() + "\\" + kOwnFileName;
    const bool ours = IsSomnivexFile(saver.file);
    const bool on = saver.active.value_or(false);
    int text = kIsNotYours;
    if (saver.activeByPolicy && !on)
        text = kOffByPolicy;
    else if (saver.fileByPolicy)
        text = ours ? kYoursByPolicy : kOtherByPolicy;
    else if (ours)
        text = on ? kIsYours : kYoursButOff;
    else if (!FileExists(own))
        text = kNotInstalled;
    lblMyScreenSaver->SetText(LoadText(text));
    cmdMakeMine->SetText(LoadText(kMakeMine));
    // What a policy decides stays as it is; the button makes the user's own choice.
    const bool can =
        !saver.fileByPolicy && !(saver.activeByPolicy && !on) && !(ours && on) && FileExists(own);
    cmdMakeMine->SetEnabled(can);
}

void fMain::cmdMakeMine_Click() {
    const std::string own = manager_.power.ScreenSaverFolder() + "\\" + kOwnFileName;
    if (!MakeUserScreenSaver(gServices->registry, manager_.power, own))
        ShowMessage(LoadText(timers_text::kMakeMineRefused), mb::kOk | mb::kIconExclamation);
    ShowWindowsTimers();
}

}  // namespace mgr
