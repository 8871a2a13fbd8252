// A PC's screen-saver and power settings as Windows reports them, for the manager's tests:
// by default a desktop PC on the Balanced plan, whose user has screen saving on with a
// 10-minute wait and no screen saver chosen.
#pragma once

#include "common/PowerFacts.h"
#include "platform/fake/FakeRegistry.h"

class FakePowerFacts : public IPowerFacts {
  public:
    explicit FakePowerFacts(FakeRegistry& registry) : registry_(registry) {}

    std::optional<std::uint32_t> ScreenSaverTimeout() override { return screenSaverTimeout; }
    std::optional<bool> ScreenSaverActive() override { return screenSaverActive; }
    // As SPI_SETSCREENSAVEACTIVE with SPIF_UPDATEINIFILE: the session's switch, and the
    // user's ScreenSaveActive value written as Windows writes it.
    bool SetScreenSaverActive(bool active) override;
    std::string ScreenSaverFolder() override { return screenSaverFolder; }
    std::optional<PowerCapabilities> Capabilities() override { return capabilities; }
    std::optional<PowerPlanTimeouts> ActivePlan() override { return plan; }

    // No S3, batteries, the display off after 10 minutes on mains power and 4 on battery.
    void MakeModernStandbyLaptop();

    std::optional<std::uint32_t> screenSaverTimeout = 600;
    std::optional<bool> screenSaverActive = true;
    bool refuseSetActive = false;
    int setActiveCalls = 0;
    std::string screenSaverFolder = "C:\\Windows\\system32";
    std::optional<PowerCapabilities> capabilities =
        PowerCapabilities{false, false, true, true, true, false, false};
    std::optional<PowerPlanTimeouts> plan = PowerPlanTimeouts{{1800, 900}, {600, 300}, {0, 0}};

  private:
    FakeRegistry& registry_;
};
