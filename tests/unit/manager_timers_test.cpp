// Windows' own timers on the Main Settings page: which of sleep, hibernation and the
// display going off ends a run before Somnivex's shutdown, what the window shows and
// warns of, and the button that makes Somnivex this user's screen saver.
#include "manager/WindowsTimers.h"
#include "manager_fixture.h"
#include "support/RegistryValues.h"

namespace {

using namespace manager_test;
using Kind = mgr::EarlyStop::Kind;

constexpr const char* kOwnScr = "C:\\Windows\\system32\\Somnivex.scr";

PowerCapabilities Desktop() {
    return {false, false, true, true, true, false, false};
}
PowerCapabilities Laptop() {
    return {false, false, true, true, true, false, true};
}
PowerCapabilities ModernStandby() {
    return {false, false, false, false, false, true, true};
}

TEST(StopBeforeShutdown, TheEarliestStopThatComesNoLaterThanTheShutdown) {
    struct Row {
        const char* what;
        std::optional<PowerCapabilities> can;
        PowerPlanTimeouts plan;
        std::uint32_t shutdownAt;
        std::optional<mgr::EarlyStop> stop;
    };
    const std::uint32_t m = 60;
    const Row rows[] = {
        {"sleep before the shutdown",
         Desktop(),
         {{30 * m, 15 * m}, {10 * m, 5 * m}, {}},
         41 * m,
         mgr::EarlyStop{Kind::Sleep, 30 * m, false}},
        {"sleep at the very second of the shutdown",
         Desktop(),
         {{41 * m, 0}, {}, {}},
         41 * m,
         mgr::EarlyStop{Kind::Sleep, 41 * m, false}},
        {"sleep after the shutdown", Desktop(), {{60 * m, 0}, {}, {}}, 41 * m, std::nullopt},
        {"never sleeps", Desktop(), {{0, 0}, {5 * m, 5 * m}, {0, 0}}, 41 * m, std::nullopt},
        {"a desktop's battery timeout does not count",
         Desktop(),
         {{60 * m, 5 * m}, {}, {}},
         41 * m,
         std::nullopt},
        {"a laptop on battery only",
         Laptop(),
         {{60 * m, 15 * m}, {}, {}},
         41 * m,
         mgr::EarlyStop{Kind::Sleep, 15 * m, true}},
        {"hibernation before sleep",
         Desktop(),
         {{60 * m, 0}, {}, {20 * m, 0}},
         41 * m,
         mgr::EarlyStop{Kind::Hibernate, 20 * m, false}},
        {"no hibernation file: hibernate timeout ignored",
         PowerCapabilities{false, false, true, true, false, false, false},
         {{60 * m, 0}, {}, {20 * m, 0}},
         41 * m,
         std::nullopt},
        {"no sleep state (a virtual machine): sleep timeout ignored",
         PowerCapabilities{},
         {{30 * m, 0}, {}, {}},
         41 * m,
         std::nullopt},
        {"Modern Standby: the display going off",
         ModernStandby(),
         {{30 * m, 10 * m}, {10 * m, 4 * m}, {}},
         41 * m,
         mgr::EarlyStop{Kind::DisplayOff, 10 * m, false}},
        {"Modern Standby, display never off: sleep",
         ModernStandby(),
         {{30 * m, 60 * m}, {0, 0}, {}},
         41 * m,
         mgr::EarlyStop{Kind::Sleep, 30 * m, false}},
        {"S3 PC: the display going off stops nothing",
         Desktop(),
         {{0, 0}, {5 * m, 5 * m}, {}},
         41 * m,
         std::nullopt},
        {"unknown capabilities: both power sources count",
         std::nullopt,
         {{60 * m, 15 * m}, {}, {}},
         41 * m,
         mgr::EarlyStop{Kind::Sleep, 15 * m, true}},
        {"unknown plan values stop nothing",
         Desktop(),
         {{std::nullopt, std::nullopt}, {}, {}},
         41 * m,
         std::nullopt},
    };
    for (const Row& row : rows) {
        const auto stop = mgr::StopBeforeShutdown(row.plan, row.can, row.shutdownAt);
        ASSERT_EQ(stop.has_value(), row.stop.has_value()) << row.what;
        if (!stop) continue;
        EXPECT_EQ(stop->kind, row.stop->kind) << row.what;
        EXPECT_EQ(stop->afterSeconds, row.stop->afterSeconds) << row.what;
        EXPECT_EQ(stop->onBatteryOnly, row.stop->onBatteryOnly) << row.what;
    }
    // The screen saver's wait, the minutes and the one-minute countdown; an unknown wait
    // counts as none.
    EXPECT_EQ(mgr::SecondsToShutdown(600, 30), 41u * 60);
    EXPECT_EQ(mgr::SecondsToShutdown(std::nullopt, 0), 2u * 60);
    EXPECT_EQ(mgr::SecondsToShutdown(0xFFFFFFF0u, 32767), 0xFFFFFFFFu);
}

TEST(IsSomnivexFile, ByFileNameInAnyCaseShortOrLongQuotedOrNot) {
    for (const char* file :
         {"C:\\Windows\\system32\\Somnivex.scr", "C:\\WINDOWS\\SYSTEM32\\SOMNIVEX.SCR",
          "Somnivex.scr", "\"C:\\Windows\\SysWOW64\\somnivex.scr\" "})
        EXPECT_TRUE(mgr::IsSomnivexFile(file)) << file;
    for (const char* file : {"", "C:\\Windows\\system32\\scrnsave.scr", "C:\\Somnivex.scr\\x.scr",
                             "C:\\Windows\\system32\\MySomnivex.scr"})
        EXPECT_FALSE(mgr::IsSomnivexFile(file)) << file;
}

class WindowsTimers : public ManagerTest {
  protected:
    WindowsTimers() { fake.files.AddFile(kOwnScr); }

    std::string Warning() const {
        return window->lblSleepWarning->Visible() ? window->lblSleepWarning->Text() : "";
    }
};

TEST_F(WindowsTimers, ShowsTheWaitTheSleepTimeoutsAndTheWarningForTheMinutesOnScreen) {
    PutDword(fake.registry, kOptionsKey, "WaitMinutes", 30);
    Open();
    EXPECT_EQ(window->lblSaverStarts->Text(), "Screen saver starts after:");
    EXPECT_EQ(window->lblSaverWait->Text(), "10 minutes");
    EXPECT_EQ(window->lblSleeps->Text(), "PC sleeps after:");
    EXPECT_EQ(window->lblSleepMains->Text(), "30 minutes");
    // A desktop has no battery column.
    EXPECT_FALSE(window->lblSleepBattery->Visible());
    EXPECT_FALSE(window->lblOnMains->Visible());
    EXPECT_TRUE(window->imgSleepWarning->Visible());
    EXPECT_EQ(Warning(),
              "Windows puts this PC to sleep after 30 minutes, before Somnivex's wait ends "
              "(10 minutes + 30 minutes and the 1-minute countdown): it will sleep, not shut "
              "down. Lengthen the sleep time in Windows' power settings, or shorten the wait.");
    // Ten minutes: 10 + 10 + 1 comes before the sleep; the warning goes as the box changes.
    fake.host.Type(*window->txtMinutes, "10");
    EXPECT_EQ(Warning(), "");
    EXPECT_FALSE(window->imgSleepWarning->Visible());
    fake.host.Type(*window->txtMinutes, "19");
    EXPECT_NE(Warning(), "");
}

TEST_F(WindowsTimers, EachKindOfPcAndPlanReadsAsWindowsKeepsIt) {
    struct Row {
        const char* what;
        std::function<void(FakePowerFacts&)> arrange;
        std::vector<std::string> shown;  // the wait, the row's title, mains, battery, warning
    };
    const Row rows[] = {
        {"laptop: both columns, warned of the battery",
         [](FakePowerFacts& p) {
             p.capabilities = Laptop();
             p.plan = PowerPlanTimeouts{{3600, 900}, {600, 300}, {0, 0}};
             p.screenSaverTimeout = 300;
         },
         {"5 minutes", "PC sleeps after:", "1 hour", "15 minutes",
          "Windows puts this PC to sleep after 15 minutes on battery, before Somnivex's wait "
          "ends (5 minutes + 30 minutes and the 1-minute countdown): it will sleep, not shut "
          "down. Lengthen the sleep time in Windows' power settings, or shorten the wait."}},
        {"Modern Standby: the display timeout is the standby",
         [](FakePowerFacts& p) { p.MakeModernStandbyLaptop(); },
         {"10 minutes", "Standby (display off) after:", "10 minutes", "4 minutes",
          "Windows turns the display off after 10 minutes, before Somnivex's wait ends (10 "
          "minutes + 30 minutes and the 1-minute countdown); this PC then goes to standby, "
          "which stops Somnivex. Lengthen the screen time in Windows' power settings, or "
          "shorten the wait."}},
        {"never sleeps",
         [](FakePowerFacts& p) {
             p.plan = PowerPlanTimeouts{{0, 0}, {}, {}};
         },
         {"10 minutes", "PC sleeps after:", "never", "never", ""}},
        {"odd timeouts",
         [](FakePowerFacts& p) {
             p.screenSaverTimeout = 90;
             p.plan = PowerPlanTimeouts{{7200, 0}, {}, {}};
         },
         {"90 seconds", "PC sleeps after:", "2 hours", "never", ""}},
        {"no power plan to read (as under Wine): nothing guessed, nothing warned",
         [](FakePowerFacts& p) {
             p.plan.reset();
             p.capabilities.reset();
             p.screenSaverTimeout.reset();
         },
         {"not known", "PC sleeps after:", "not known", "not known", ""}},
    };
    for (const Row& row : rows) {
        FakeServices services{ProgramKind::Manager, "Somnivex Manager"};
        FakeManagerSeams manager{services};
        services.files.AddFile(kOwnScr);
        row.arrange(manager.power);
        InitSharedObjects(services.services);
        {
            mgr::fMain form(services.host, manager.services);
            form.Show();
            const std::vector<std::string> shown{
                form.lblSaverWait->Text(), form.lblSleeps->Text(), form.lblSleepMains->Text(),
                form.lblSleepBattery->Text(),
                form.lblSleepWarning->Visible() ? form.lblSleepWarning->Text() : ""};
            EXPECT_EQ(shown, row.shown) << row.what;
        }
        ReleaseSharedObjects();
    }
}

TEST_F(WindowsTimers, PoliciesReplaceThePlansAndTheUsersValues) {
    const std::string power = std::string(mgr::kPowerPolicyKey) + "\\";
    // Group Policy's sleep timeout, a REG_DWORD, for mains power only.
    PutDword(fake.registry, power + "29f6c1db-86da-48c5-9fdb-f2b67b1f44da", "ACSettingIndex", 1200);
    // The desktop policies store their numbers as text.
    PutString(fake.registry, mgr::kDesktopPolicyKey, "ScreenSaveTimeOut", "300", reg::kCurrentUser);
    seams.power.plan.reset();
    Open();
    EXPECT_EQ(window->lblSaverWait->Text(), "5 minutes, set by your organisation");
    EXPECT_EQ(window->lblSleepMains->Text(), "20 minutes");
    EXPECT_NE(Warning().find("after 20 minutes, before Somnivex's wait ends (5 minutes + 30"),
              std::string::npos);
}

TEST_F(WindowsTimers, TheUsersScreenSaverAndWhatTheButtonMayDo) {
    struct Row {
        const char* what;
        std::string file, policyFile, policyActive;
        bool active;
        bool installed;
        std::string status;
        bool button;
    };
    const Row rows[] = {
        {"none chosen", "", "", "", true, true,
         "Somnivex is not your screen saver: Windows does not start it.", true},
        {"another one", "C:\\WINDOWS\\system32\\Mystify.scr", "", "", true, true,
         "Somnivex is not your screen saver: Windows does not start it.", true},
        {"ours, by its short name", "C:\\WINDOWS\\system32\\SOMNIVEX.SCR", "", "", true, true,
         "Somnivex is your screen saver.", false},
        {"ours, switched off", kOwnScr, "", "", false, true,
         "Somnivex is your screen saver, but screen saving is off.", true},
        {"a policy forces ours", "", "%SystemRoot%\\System32\\Somnivex.scr", "", true, true,
         "Your organisation has made Somnivex your screen saver.", false},
        {"a policy forces another", kOwnScr, "C:\\Windows\\system32\\scrnsave.scr", "", true, true,
         "Your organisation chooses your screen saver: not Somnivex.", false},
        {"a policy switches screen saving off", kOwnScr, "", "0", true, true,
         "Your organisation has switched your screen saver off.", false},
        {"not installed in the system folder", "", "", "", true, false,
         "Somnivex.scr is not in the system folder: install Somnivex to use it.", false},
    };
    for (const Row& row : rows) {
        FakeServices services{ProgramKind::Manager, "Somnivex Manager"};
        FakeManagerSeams manager{services};
        if (row.installed) services.files.AddFile(kOwnScr);
        if (!row.file.empty())
            PutString(services.registry, mgr::kDesktopKey, "SCRNSAVE.EXE", row.file,
                      reg::kCurrentUser);
        if (!row.policyFile.empty())
            services.registry.PutValue(reg::kCurrentUser, mgr::kDesktopPolicyKey, "SCRNSAVE.EXE",
                                       reg::kTypeExpandSz, regbytes::Sz(row.policyFile));
        if (!row.policyActive.empty())
            PutString(services.registry, mgr::kDesktopPolicyKey, "ScreenSaveActive",
                      row.policyActive, reg::kCurrentUser);
        manager.power.screenSaverActive = row.active;
        InitSharedObjects(services.services);
        {
            mgr::fMain form(services.host, manager.services);
            form.Show();
            EXPECT_EQ(form.lblMyScreenSaver->Text(), row.status) << row.what;
            EXPECT_EQ(form.cmdMakeMine->Enabled(), row.button) << row.what;
        }
        ReleaseSharedObjects();
    }
}

TEST_F(WindowsTimers, TheButtonChoosesSomnivexAndSwitchesScreenSavingOnAtOnce) {
    seams.power.screenSaverActive = false;
    Open();
    EXPECT_EQ(window->cmdMakeMine->Text(), "&Use as my screen saver");
    fake.host.Click(*window->cmdMakeMine);
    // In the user's own key, with the user's own rights, before and without OK.
    EXPECT_EQ(GetString(fake.registry, mgr::kDesktopKey, "SCRNSAVE.EXE", reg::kCurrentUser),
              kOwnScr);
    EXPECT_EQ(GetString(fake.registry, mgr::kDesktopKey, "ScreenSaveActive", reg::kCurrentUser),
              "1");
    EXPECT_TRUE(seams.elevation.prompts.empty());
    EXPECT_EQ(window->lblMyScreenSaver->Text(), "Somnivex is your screen saver.");
    EXPECT_FALSE(window->cmdMakeMine->Enabled());
    // The machine's settings are OK's alone.
    EXPECT_NE(Stored("SelectedScreenSaver"), std::optional<std::string>(kOwnScr));
}

TEST_F(WindowsTimers, ARefusedChangeIsSaidAndTheStatusStaysTrue) {
    seams.power.refuseSetActive = true;
    seams.power.screenSaverActive = false;
    PutString(fake.registry, mgr::kDesktopKey, "SCRNSAVE.EXE", kOwnScr, reg::kCurrentUser);
    Open();
    fake.host.Click(*window->cmdMakeMine);
    ASSERT_EQ(fake.messageBox.shown.size(), 1u);
    EXPECT_EQ(fake.messageBox.shown[0].text,
              "Somnivex could not be made your screen saver: Windows refused the change.");
    EXPECT_EQ(window->lblMyScreenSaver->Text(),
              "Somnivex is your screen saver, but screen saving is off.");
    EXPECT_TRUE(window->cmdMakeMine->Enabled());
}

}  // namespace
