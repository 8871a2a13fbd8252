#include "common/SharedObjects.h"

#include "common/RunTrail.h"

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
    gSSOptions = std::make_unique<cSSOptions>(
        *gAppReg, BlankScreenSaver(gSystemInfo->SystemDir(), services.files));
    gAppReg->SoftwareKey = gSSOptions->RegSoftwareKey();
    // The file records stay as the settings switch them; the event log hears of every
    // error and every value read that had to be replaced, in both programs.
    IEventSink& events = services.events;
    gLogger->OnError = [&events](const std::string& text, const ErrorInfo& error) {
        cRunTrail(events).ErrorLogged(text, error);
    };
    gAppReg->OnReplaced = [&events](const tReplacedSetting& replaced) {
        cRunTrail(events).SettingReplaced(replaced.key, replaced.name, replaced.found,
                                          replaced.replacement);
    };
}

void LoadSharedOptions() {
    gSSOptions->LoadOptions(gOptions);
    cRunTrail trail(gServices->events);
    for (const PolicyProblem& problem : gSSOptions->Policy().Invalid)
        trail.PolicyValueIgnored(problem);
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

ProgramVerdict CheckMachineProgram(const std::string& path, PathOrigin origin,
                                   std::string_view extension) {
    IFileSystem& files = gServices->files;
    const ProgramRoots roots = FindProgramRoots(gServices->facts, files);
    return ProgramCheck{files, roots}(path, origin, extension);
}

PathOrigin OriginOf(const char* name) {
    return gSSOptions->Policy().Manages(name) ? PathOrigin::kPolicy : PathOrigin::kSettings;
}

ProgramVerdict CheckScreenSaver(const std::string& path, PathOrigin origin) {
    // The shell opens any other kind of file with whatever program it is associated with.
    return CheckMachineProgram(path, origin, ".scr");
}

bool RunScreenSaver(const CheckedProgram& saver, WaitedProgram* keep) {
    return RunAndWait(saver.Path(), " /s", keep);
}

void ConfigureScreenSaver(const CheckedProgram& saver) {
    const StartResult result = gServices->launcher.StartCommandLine(QuotePath(saver.Path()) + " /c",
                                                                    show_state::kMinimized);
    if (!result.started) throw RaisedError(result.error);
}

namespace {
// How often the exit code is read when the process handle cannot be waited on.
constexpr std::uint32_t kExitCodePollMs = 100;
}  // namespace

bool WaitedProgram::Start(const std::string& file, const std::string& parameters) {
    Close();
    process_ = launcher_.ShellStart(file, parameters, show_state::kNormal);
    return process_.has_value();
}

void WaitedProgram::Close() {
    if (process_) launcher_.CloseProcess(*process_);
    process_.reset();
}

bool WaitedProgram::WaitForEnd(const std::function<bool()>& stop) {
    const ProcessHandle process = process_.value_or(0);
    if (loop_.WaitForProcess(process, stop)) return true;
    if (stop()) return false;
    // No handle to wait on: the exit code, where it can be read, shows the end.
    const auto exited = [&] {
        std::uint32_t code = kStillActive;
        return process != 0 && launcher_.ExitCode(process, code) && code != kStillActive;
    };
    bool ended = exited();
    ScopedTimer poll(loop_);
    if (process != 0)
        poll.Reset(loop_.StartTimer(kExitCodePollMs, [&] { ended = ended || exited(); }));
    loop_.RunUntil([&] { return ended || stop(); });
    return ended;
}

bool RunAndWait(const std::string& file, const std::string& parameters, WaitedProgram* keep) {
    gTimeUp = false;
    WaitedProgram own(gServices->launcher, gServices->loop);
    WaitedProgram& program = keep ? *keep : own;
    try {
        if (!program.Start(file, parameters)) return false;
        program.WaitForEnd([] { return gTimeUp; });
        return true;
    } catch (const RaisedError&) {
        // Nobody waits on a program whose wait failed: its handle goes now, kept or not.
        program.Close();
        return false;
    }
}

bool FileExists(const std::string& path) {
    return gServices->files.FileExists(path);
}
