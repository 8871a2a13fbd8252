#include "common/SharedObjects.h"

#include <algorithm>
#include <cctype>

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

bool RunScreenSaver(const std::string& path, WaitedProgram* keep) {
    // The shell would search for a relative path and open any other kind of file with
    // whatever program it is associated with.
    if (!IsScreenSaverFile(path)) {
        gTimeUp = false;  // as for a start that fails
        return false;
    }
    return RunAndWait(path, " /s", keep);
}

void ConfigureScreenSaver(const std::string& path) {
    const StartResult result =
        gServices->launcher.StartCommandLine(QuotePath(path) + " /c", show_state::kMinimized);
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

bool IsFullPath(const std::string& path) {
    const auto separator = [](char c) { return c == '\\' || c == '/'; };
    if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
        separator(path[2]))
        return true;
    // "\\server\share\..." and "\\?\C:\..."; not "\\.\", which names devices.
    return path.size() >= 3 && separator(path[0]) && separator(path[1]) && !separator(path[2]) &&
           path[2] != '.';
}

bool IsScreenSaverFile(const std::string& path) {
    if (!IsFullPath(path) || path.size() < 4) return false;
    std::string extension = path.substr(path.size() - 4);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".scr" && FileExists(path);
}
