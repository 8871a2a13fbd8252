#include "manager/SSManager.h"

#include "manager/SettingsForm.h"

namespace mgr {

void Main(Services& services, ManagerServices& manager, bool anotherInstance) {
    // A second copy ends silently; the first one's window is the one to use.
    if (anotherInstance) return;
    InitSharedObjects(services);

    fMain window(services.forms, manager);
    window.Show();
    services.loop.RunUntil([&] { return !window.IsLoaded(); });
}

// What no routine handles is reported as the platform reports an error that ends a
// program, and the program ends.
int RunProgram(Services& services, ManagerServices& manager, bool anotherInstance) {
    int exitCode = 0;
    try {
        Main(services, manager, anotherInstance);
    } catch (const RaisedError& e) {
        services.messageBox.Show(
            "Run-time error '" + std::to_string(e.info.Number) + "':\r\n\r\n" + e.info.Description,
            services.programTitle, mb::kOk | mb::kIconStop);
        exitCode = 1;
    }
    ReleaseSharedObjects();
    return exitCode;
}

}  // namespace mgr
