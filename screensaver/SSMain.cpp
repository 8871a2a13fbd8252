#include "screensaver/SSMain.h"

#include <algorithm>
#include <cctype>

#include "common/MyMsgBox.h"
#include "common/StringTable.h"
#include "screensaver/ExitWindows.h"
#include "screensaver/ShutWarning.h"
#include "screensaver/SplashForm.h"

namespace scr {

namespace {

fMain* gSplash = nullptr;
ShutdownServices* gShutdown = nullptr;

constexpr int kConfirmWaitSeconds = 5;

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The command line is UTF-8: a character is a lead byte with its continuation bytes.
bool StartsCharacter(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
}

std::size_t CharacterCount(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), StartsCharacter));
}

// Where the character after the first `count` characters starts.
std::size_t ByteOffset(const std::string& text, std::size_t count) {
    std::size_t at = 0;
    for (std::size_t seen = 0; at < text.size(); ++at)
        if (StartsCharacter(text[at]) && seen++ == count) break;
    return at;
}

}  // namespace

fMain* Splash() {
    return gSplash;
}
ShutdownServices& Shutdown() {
    return *gShutdown;
}

std::string CommandKey(const std::string& arguments) {
    std::string key = Trim(arguments);
    if (CharacterCount(key) >= 2) {
        key.resize(ByteOffset(key, 2));
        // Only ASCII letters need folding: every switch is ASCII, and other characters
        // never match one whatever their case.
        std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) {
            return c < 0x80 ? static_cast<char>(std::tolower(c)) : static_cast<char>(c);
        });
    }
    return key;
}

void Main(Services& services, ShutdownServices& shutdown, const std::string& arguments,
          bool anotherInstance) {
    if (anotherInstance) return;
    if (CommandKey(arguments) == "/p") return;
    gShutdown = &shutdown;

    InitSharedObjects(services);
    gSSOptions->LoadOptions(gOptions);

    fMain splash(services.forms);
    gSplash = &splash;
    struct ClearSplash {
        ~ClearSplash() { gSplash = nullptr; }
    } clearSplash;

    splash.Show();
    splash.IsDoneShowing();
    splash.Hide();

    const std::string key = CommandKey(arguments);
    if (CharacterCount(Trim(arguments)) < 2 || key == "/s")
        RunSelectedScreenSaver();
    else if (key == "/c")
        RunManager();

    if (gTimeUp) DoShutdown();
    splash.Unload();
}

// What no routine handles is reported as the platform reports an error that ends a
// program, and the program ends.
int RunProgram(Services& services, ShutdownServices& shutdown, const std::string& arguments,
               bool anotherInstance) {
    try {
        Main(services, shutdown, arguments, anotherInstance);
    } catch (const RaisedError& e) {
        services.messageBox.Show(
            "Run-time error '" + std::to_string(e.info.Number) + "':\r\n\r\n" + e.info.Description,
            services.programTitle, mb::kOk | mb::kIconStop);
        ReleaseSharedObjects();
        return 1;
    }
    ReleaseSharedObjects();
    return 0;
}

void RunSelectedScreenSaver() {
    if (gOptions.SelectedScreenSaver.empty()) {
        RunManager();
        return;
    }
    AskConfirmation();
    RunScreenSaver(gOptions.SelectedScreenSaver);
}

void RunManager() {
    const std::string path = gOptions.AppPath + "\\" + kManagerFileName;
    if (FileExists(path)) {
        ILauncher& launcher = gServices->launcher;
        StartResult result = launcher.StartCommandLine(QuotePath(path), show_state::kNormal);
        // A manager that asks for administrator rights (an older build, or one set to run
        // as administrator in its properties) is refused by a plain start; the shell
        // starts it and asks for the rights.
        if (!result.started && result.error.Number == win_error::kElevationRequired)
            result = launcher.StartWithShell(path, "", show_state::kNormal);
        // Declining that prompt is the user's answer, not a fault to report.
        if (!result.started && result.error.Number != win_error::kCancelled)
            throw RaisedError(result.error);
        return;
    }
    gServices->messageBox.Show(gServices->strings.Load(kRunManagerFirstId).value_or(""),
                               kApplicationTitle, mb::kOk | mb::kIconInformation);
}

bool AskConfirmation() {
    if (!gOptions.ConfirmShutdown) return true;
    const std::int16_t type =
        gOptions.DefaultConfirmYes ? mb::kYesNo : mb::kYesNo + mb::kDefButton2;
    const IStringSource& strings = gServices->strings;
    const std::string text = strings.Load(str_id::kConfirmBefore).value_or("") +
                             std::to_string(WaitMinutesUsed(gOptions.WaitMinutes)) +
                             strings.Load(str_id::kConfirmAfter).value_or("");
    fMyMsgBox box(gServices->forms, strings, gServices->productName);
    if (box.DisplayMessage(text, type, kConfirmWaitSeconds) == 1) return true;
    // No: the wait can no longer run out; the chosen screen saver still runs.
    if (gSplash) gSplash->StopWaitTimer();
    gTimeUp = false;
    return false;
}

std::int32_t ExitActionOf(std::int16_t shutdownType) {
    switch (shutdownType) {
        case shutdown_code::kLogOff:
        case shutdown_code::kShutDown:
        case shutdown_code::kRestart:
        case shutdown_code::kRestartInMsDos:
            return shutdownType;
        // Any other stored number would reach Windows as a flag word of its own, and one
        // with the force bit (4 to 7, ...) ends programs without letting them save.
        // Like the launcher's switch, it means a plain shut down.
        default:
            return shutdown_code::kShutDown;
    }
}

std::string KelvaneSwitch(std::int16_t shutdownType) {
    switch (shutdownType) {
        case shutdown_code::kLogOff:
            return " /T=L";
        case shutdown_code::kRestart:
            return " /T=R";
        case shutdown_code::kRestartInMsDos:
            return " /T=D";
        default:
            return " /T=S";
    }
}

void DoShutdown() {
    // Nothing here is shown to the user: what goes wrong is logged, and the run ends.
    try {
        fShutWarning warning(gServices->forms, gServices->strings, *gLogger);
        warning.ShowModal();
        if (warning.Cancelled()) return;

        if (gOptions.RunKelvane) {
            const std::string launcherSwitch = KelvaneSwitch(gOptions.ShutdownType);
            const WindowRef handle = gSSOptions->ShutdownHandle();
            gShutdown->desktop.Post(handle, wm::kLauncherShutdown, 0, 0);
            const StartResult started = gServices->launcher.StartCommandLine(
                QuotePath(gOptions.KelvanePath) + launcherSwitch, show_state::kMinimized);
            if (!started.started) throw RaisedError(started.error);
            return;
        }
        cExitWindows controller({gServices->facts, gShutdown->shutdown, gShutdown->desktop,
                                 gServices->loop, gServices->launcher, gServices->programFolder});
        controller.DoExitWindows(ExitActionOf(gOptions.ShutdownType));
    } catch (const RaisedError& e) {
        gLogger->LogError(e.info.Description, false, e.info);
    }
}

}  // namespace scr
