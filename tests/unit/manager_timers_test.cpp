// Windows' own timers on the Main Settings page: which of sleep, hibernation and the
// display going off ends a run before Somnivex's shutdown, what the window shows and
// warns of, and the button that makes Somnivex this user's screen saver.
#include <tuple>

#include "manager/WindowsTimers.h"
#include "manager_fixture.h"
#include "support/RegistryValues.h"

namespace {

using namespace manager_test;
using Kind = mgr::EarlyStop::Kind;

constexpr const char* kOwnScr = "C:\\Windows\\system32\\Somnivex.scr";
constexpr std::uint32_t m = 60;
const PowerCapabilities kDesktop{false, false, true, true, true, false, false};
const PowerCapabilities kLaptop{false, false, true, true, true, false, true};
const PowerCapabilities kStandby{false, false, false, false, false, true, true};

TEST(StopBeforeShutdown, TheEarliestStopThatComesNoLaterThanTheShutdownAt41Minutes) {
    struct Row {
        const char* what;
        std::optional<PowerCapabilities> can;
        PowerPlanTimeouts plan;  // sleep, display, hibernate
        std::optional<mgr::EarlyStop> stop;
    };
    const Row rows[] = {
        {"sleep first", kDesktop, {{30 * m, 15 * m}, {}, {}}, {{Kind::Sleep, 30 * m, false}}},
        {"sleep at the shutdown's second",
         kDesktop,
         {{41 * m, 0}, {}, {}},
         {{Kind::Sleep, 41 * m, false}}},
        {"sleep after it", kDesktop, {{42 * m, 0}, {}, {}}, std::nullopt},
        {"a desktop's battery value", kDesktop, {{60 * m, 5 * m}, {}, {}}, std::nullopt},
        {"on battery only", kLaptop, {{60 * m, 15 * m}, {}, {}}, {{Kind::Sleep, 15 * m, true}}},
        {"hibernation first",
         kDesktop,
         {{60 * m, 0}, {}, {20 * m, 0}},
         {{Kind::Hibernate, 20 * m, false}}},
        {"no hibernation file",
         PowerCapabilities{false, false, true, true, false, false, false},
         {{60 * m, 0}, {}, {20 * m, 0}},
         std::nullopt},
        {"no sleep state", PowerCapabilities{}, {{30 * m, 0}, {}, {}}, std::nullopt},
        {"Modern Standby: display off",
         kStandby,
         {{30 * m, 10 * m}, {10 * m, 4 * m}, {}},
         {{Kind::DisplayOff, 10 * m, false}}},
        {"Modern Standby, display on",
         kStandby,
         {{30 * m, 60 * m}, {0, 0}, {}},
         {{Kind::Sleep, 30 * m, false}}},
        {"S3: display off stops nothing", kDesktop, {{0, 0}, {5 * m, 5 * m}, {}}, std::nullopt},
        {"unknown PC: battery counts",
         std::nullopt,
         {{60 * m, 15 * m}, {}, {}},
         {{Kind::Sleep, 15 * m, true}}},
    };
    for (const Row& row : rows) {
        const auto stop = mgr::StopBeforeShutdown(row.plan, row.can, 41 * m);
        ASSERT_EQ(stop.has_value(), row.stop.has_value()) << row.what;
        if (stop) {
            EXPECT_EQ(std::tie(stop->kind, stop->afterSeconds, stop->onBatteryOnly),
                      std::tie(row.stop->kind, row.stop->afterSeconds, row.stop->onBatteryOnly))
                << row.what;
        }
    }
    // The wait, the minutes and the countdown; an unknown wait counts as none.
    EXPECT_EQ(mgr::SecondsToShutdown(600, 30), 41 * m);
    EXPECT_EQ(mgr::SecondsToShutdown(std::nullopt, 0), 2 * m);
    EXPECT_EQ(mgr::SecondsToShutdown(0xFFFFFFF0u, 32767), 0xFFFFFFFFu);
}

class WindowsTimers : public ManagerTest {
  protected:
    WindowsTimers() { fake.files.AddFile(kOwnScr); }
    // A settings window of its own, for one row of a table.
    template <class Arrange, class Check>
    void WithWindow(bool installed, Arrange arrange, Check check) {
        FakeServices services{ProgramKind::Manager, "Somnivex Manager"};
        FakeManagerSeams manager{services};
        if (installed) services.files.AddFile(kOwnScr);
        arrange(services.registry, manager.power);
        InitSharedObjects(services.services);
        {
            mgr::fMain form(services.host, manager.services);
            form.Show();
            check(form);
        }
        ReleaseSharedObjects();
    }
    std::string Warning() const {
        return window->lblSleepWarning->Visible() ? window->lblSleepWarning->Text() : "";
    }
};

TEST_F(WindowsTimers, ShowsTheWaitTheSleepTimeoutAndTheWarningForTheMinutesOnScreen) {
    Open();
    EXPECT_EQ(window->lblSaverWait->Text(), "10 minutes");
    EXPECT_EQ(window->lblSleeps->Text(), "PC sleeps after:");
    EXPECT_EQ(window->lblSleepMains->Text(), "30 minutes");
    EXPECT_FALSE(window->lblSleepBattery->Visible());  // a desktop: mains power only
    EXPECT_TRUE(window->imgSleepWarning->Visible());
    EXPECT_EQ(Warning(),
              "Windows puts this PC to sleep after 30 minutes, before Somnivex's wait ends "
              "(10 minutes + 30 minutes and the 1-minute countdown): it will sleep, not shut "
              "down. Lengthen the sleep time in Windows' power settings, or shorten the wait.");
    // 10 + 10 + 1 comes before the sleep: the warning goes as the box changes.
    fake.host.Type(*window->txtMinutes, "10");
    EXPECT_EQ(Warning(), "");
    EXPECT_FALSE(window->imgSleepWarning->Visible());
}

TEST_F(WindowsTimers, EachKindOfPcAndPlanReadsAsWindowsKeepsIt) {
    struct Row {
        std::function<void(FakeRegistry&, FakePowerFacts&)> arrange;
        // The wait, the row's title, mains, battery, and how the warning begins.
        std::vector<std::string> shown;
    };
    const std::string power = std::string(mgr::kPowerPolicyKey) + "\\";
    const Row rows[] = {
        {[](FakeRegistry&, FakePowerFacts& p) {
             p.capabilities = kLaptop;
             p.plan = PowerPlanTimeouts{{3600, 900}, {}, {0, 0}};
         },
         {"10 minutes", "PC sleeps after:", "1 hour", "15 minutes",
          "Windows puts this PC to sleep after 15 minutes on battery, before"}},
        {[](FakeRegistry&, FakePowerFacts& p) { p.MakeModernStandbyLaptop(); },
         {"10 minutes", "Standby (display off) after:", "10 minutes", "4 minutes",
          "Windows turns the display off after 10 minutes, before"}},
        {[](FakeRegistry&, FakePowerFacts& p) {
             p.screenSaverTimeout = 90;
             p.plan = PowerPlanTimeouts{{7200, 0}, {}, {}};
         },
         {"90 seconds", "PC sleeps after:", "2 hours", "never", ""}},
        // As under Wine: nothing guessed, nothing warned of.
        {[](FakeRegistry&, FakePowerFacts& p) {
             p.plan.reset();
             p.capabilities.reset();
             p.screenSaverTimeout.reset();
         },
         {"not known", "PC sleeps after:", "not known", "not known", ""}},
        // Policies replace the plan's and the user's values; the desktop ones are texts.
        {[&power](FakeRegistry& r, FakePowerFacts& p) {
             p.plan.reset();
             PutDword(r, power + "29f6c1db-86da-48c5-9fdb-f2b67b1f44da", "ACSettingIndex", 1200);
             PutString(r, mgr::kDesktopPolicyKey, "ScreenSaveTimeOut", "300", reg::kCurrentUser);
         },
         {"5 minutes, set by your organisation", "PC sleeps after:", "20 minutes", "not known",
          "Windows puts this PC to sleep after 20 minutes, before"}},
    };
    for (const Row& row : rows)
        WithWindow(true, row.arrange, [&](mgr::fMain& form) {
            const std::string warning =
                form.lblSleepWarning->Visible() ? form.lblSleepWarning->Text() : "";
            const std::vector<std::string> shown{
                form.lblSaverWait->Text(), form.lblSleeps->Text(), form.lblSleepMains->Text(),
                form.lblSleepBattery->Text(), warning.substr(0, row.shown[4].size())};
            EXPECT_EQ(shown, row.shown);
        });
}

TEST_F(WindowsTimers, TheUsersScreenSaverAndWhatTheButtonMayDo) {
    struct Row {
        std::string file, policyFile, policyActive;
        bool active, installed;
        std::string status;
        bool button;
    };
    const Row rows[] = {
        {"", "", "", true, true, "Somnivex is not your screen saver: Windows does not start it.",
         true},
        // Windows' own settings store the short name.
        {"\"C:\\WINDOWS\\system32\\SOMNIVEX.SCR\"", "", "", true, true,
         "Somnivex is your screen saver.", false},
        {kOwnScr, "", "", false, true, "Somnivex is your screen saver, but screen saving is off.",
         true},
        {"", "%SystemRoot%\\System32\\Somnivex.scr", "", true, true,
         "Your organisation has made Somnivex your screen saver.", false},
        {kOwnScr, "C:\\Windows\\system32\\scrnsave.scr", "", true, true,
         "Your organisation chooses your screen saver: not Somnivex.", false},
        {kOwnScr, "", "0", true, true, "Your organisation has switched your screen saver off.",
         false},
        {"", "", "", true, false,
         "Somnivex.scr is not in the system folder: install Somnivex to use it.", false},
    };
    for (const Row& row : rows) {
        const auto arrange = [&row](FakeRegistry& r, FakePowerFacts& p) {
            const RegKey user = reg::kCurrentUser;
            if (!row.file.empty()) PutString(r, mgr::kDesktopKey, "SCRNSAVE.EXE", row.file, user);
            if (!row.policyFile.empty())
                r.PutValue(user, mgr::kDesktopPolicyKey, "SCRNSAVE.EXE", reg::kTypeExpandSz,
                           regbytes::Sz(row.policyFile));
            if (!row.policyActive.empty())
                PutString(r, mgr::kDesktopPolicyKey, "ScreenSaveActive", row.policyActive, user);
            p.screenSaverActive = row.active;
        };
        WithWindow(row.installed, arrange, [&row](mgr::fMain& form) {
            EXPECT_EQ(form.lblMyScreenSaver->Text(), row.status);
            EXPECT_EQ(form.cmdMakeMine->Enabled(), row.button) << row.status;
        });
    }
}

TEST_F(WindowsTimers, TheButtonChoosesSomnivexAndSwitchesScreenSavingOnOrSaysItCannot) {
    seams.power.screenSaverActive = false;
    Open();
    fake.host.Click(*window->cmdMakeMine);
    // In the user's own key, with the user's own rights, at once and without OK.
    const RegKey user = reg::kCurrentUser;
    EXPECT_EQ(GetString(fake.registry, mgr::kDesktopKey, "SCRNSAVE.EXE", user), kOwnScr);
    EXPECT_EQ(GetString(fake.registry, mgr::kDesktopKey, "ScreenSaveActive", user), "1");
    EXPECT_TRUE(seams.elevation.prompts.empty());
    EXPECT_EQ(window->lblMyScreenSaver->Text(), "Somnivex is your screen saver.");
    EXPECT_FALSE(window->cmdMakeMine->Enabled());

    // Refused: said so, and the status stays true.
    seams.power.refuseSetActive = true;
    seams.power.screenSaverActive = false;
    window.reset();
    ReleaseSharedObjects();
    Open();
    fake.host.Click(*window->cmdMakeMine);
    ASSERT_EQ(fake.messageBox.shown.size(), 1u);
    EXPECT_EQ(fake.messageBox.shown[0].text,
              "Somnivex could not be made your screen saver: Windows refused the change.");
    EXPECT_EQ(window->lblMyScreenSaver->Text(),
              "Somnivex is your screen saver, but screen saving is off.");
}

}  // namespace
