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

namespace {

// How often the exit code is read when the process handle cannot be waited on.
constexpr std::uint32_t kExitCodePollMs = 100;

bool HasExited(ILauncher& launcher, ProcessHandle process) {
    std::uint32_t code = kStillActive;
    return process != 0 && launcher.ExitCode(process, code) && code != kStillActive;
}

// A program started without a handle that can be waited on is still running as far as
// anyone knows: the wait timer can end the wait, and so can an exit code, where one can
// be read, that shows the program has ended.
void WaitOnTheClock(ILauncher& launcher, IEventLoop& loop, ProcessHandle process) {
    bool exited = HasExited(launcher, process);
    struct Poll {
        IEventLoop& loop;
        TimerId id = 0;
        ~Poll() {
            if (id) loop.StopTimer(id);
        }
    } poll{loop};
    if (process != 0)
        poll.id = loop.StartTimer(kExitCodePollMs,
                                  [&] { exited = exited || HasExited(launcher, process); });
    loop.RunUntil([&] { return gTimeUp || exited; });
}

}  // namespace

bool RunAndWait(const std::string& file, const std::string& parameters) {
    gTimeUp = false;
    ILauncher& launcher = gServices->launcher;
    IEventLoop& loop = gServices->loop;
    try {
        const auto process = launcher.ShellStart(file, parameters, show_state::kNormal);
        if (!process) return false;
        // Closed however the wait ends, an error included.
        const struct Closer {
            ILauncher& launcher;
            ProcessHandle handle;
            ~Closer() { launcher.CloseProcess(handle); }
        } closer{launcher, *process};
        const auto timeUp = [] { return gTimeUp; };
        if (!loop.WaitForProcess(*process, timeUp) && !gTimeUp)
            WaitOnTheClock(launcher, loop, *process);
        return true;
    } catch (const RaisedError&) {
        return false;
    }
}

bool FileExists(const std::string& path) {
    return gServices->files.FileExists(path);
}
