#include "platform/fake/FakePowerFacts.h"

#include <string>

bool FakePowerFacts::SetScreenSaverActive(bool active) {
    ++setActiveCalls;
    if (refuseSetActive) return false;
    RegKey key = 0;
    if (registry_.CreateKey(reg::kCurrentUser, "Control Panel\\Desktop", key) != reg::kSuccess)
        return false;
    const std::string text = active ? "1" : "0";
    const RegStatus status =
        registry_.SetValue(key, "ScreenSaveActive", reg::kTypeSz,
                           reinterpret_cast<const std::uint8_t*>(text.c_str()), 2);
    registry_.CloseKey(key);
    if (status != reg::kSuccess) return false;
    screenSaverActive = active;
    return true;
}

void FakePowerFacts::MakeModernStandbyLaptop() {
    capabilities = PowerCapabilities{false, false, false, false, false, true, true};
    plan = PowerPlanTimeouts{{1800, 600}, {600, 240}, {0, 0}};
}
