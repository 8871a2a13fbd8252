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
    } catch (...) {
        // Raised errors, and also what the library throws (an allocation that fails on a
        // huge value): the program ends with a message, never abruptly.
        services.messageBox.Show(RunTimeErrorText(CurrentErrorInfo()), services.programTitle,
                                 mb::kOk | mb::kIconStop);
        exitCode = 1;
    }
    ReleaseSharedObjects();
    return exitCode;
}

}  // namespace mgr
