#include "common/SharedObjects.h"

Services* gServices = nullptr;
std::unique_ptr<cOSInfo> gOSInfo;
std::unique_ptr<cLogger> gLogger;
std::unique_ptr<cAppRegAPI> gAppReg;
std::unique_ptr<cSystemInfo> gSystemInfo;
std::unique_ptr<cSSOptions> gSSOptions;
tSSOptions gOptions;
bool gTimeUp = false;

void InitSharedObjects(Services& services) {
    gServices = &services;
    gOSInfo = std::make_unique<cOSInfo>(services.facts);
    gLogger = std::make_unique<cLogger>(LoggerDeps{services.strings, services.files,
                                                   services.messageBox, services.clock,
                                                   services.programFolder, services.programTitle});
    gAppReg = std::make_unique<cAppRegAPI>(services.registry, services.productName);
    gSystemInfo =
        std::make_unique<cSystemInfo>(services.facts, services.registry, *gOSInfo, *gLogger);
    gSSOptions = std::make_unique<cSSOptions>(*gAppReg);
    gAppReg->SoftwareKey = gSSOptions->RegSoftwareKey();
}

void ReleaseSharedObjects() {
    gSSOptions.reset();
    gSystemInfo.reset();
    gAppReg.reset();
    gLogger.reset();
    gOSInfo.reset();
    gOptions = tSSOptions{};
    gTimeUp = false;
    gServices = nullptr;
}

bool RunScreenSaver(const std::string& path) {
    return RunAndWait(path, " /s");
}

void ConfigureScreenSaver(const std::string& path) {
    const StartResult result =
        gServices->launcher.StartCommandLine(QuotePath(path) + " /c", show_state::kMinimized);
    if (!result.started) throw RaisedError(result.error);
}

bool RunAndWait(const std::string& file, const std::string& parameters) {
    gTimeUp = false;
    ILauncher& launcher = gServices->launcher;
    const auto process = launcher.ShellStart(file, parameters, show_state::kNormal);
    if (!process) return false;
    gServices->loop.WaitForProcess(*process, [] { return gTimeUp; });
    launcher.CloseProcess(*process);
    return true;
}

bool FileExists(const std::string& path) {
    return gServices->files.FileExists(path);
}
