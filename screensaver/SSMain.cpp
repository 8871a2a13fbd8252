#include "screensaver/SSMain.h"

#include <algorithm>
#include <cctype>

#include "screensaver/Preview.h"
#include "screensaver/Run.h"

namespace scr {

namespace {

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

Command CommandOf(const std::string& arguments) {
    const std::string key = CommandKey(arguments);
    if (CharacterCount(Trim(arguments)) < 2 || key == "/s") return Command::RunScreenSaver;
    if (key == "/c") return Command::Configure;
    if (key == "/p") return Command::Preview;
    return Command::Other;
}

bool IsPreview(const std::string& arguments) {
    return CommandOf(arguments) == Command::Preview;
}

void Main(Services& services, ShutdownServices& shutdown, const std::string& arguments,
          bool anotherInstance) {
    if (anotherInstance) return;
    const Command command = CommandOf(arguments);
    if (command == Command::Preview) {
        if (shutdown.preview) RunPreview(services, *shutdown.preview, arguments);
        return;
    }

    InitSharedObjects(services);
    LoadSharedOptions();
    cRun run(services, shutdown, command);
    run.Go();
}

// What no routine handles is reported as the platform reports an error that ends a
// program, and the program ends.
int RunProgram(Services& services, ShutdownServices& shutdown, const std::string& arguments,
               bool anotherInstance) {
    try {
        Main(services, shutdown, arguments, anotherInstance);
    } catch (...) {
        // Raised errors, and also what the library throws (an allocation that fails on a
        // huge value): the program ends with a message, never abruptly.
        services.messageBox.Show(RunTimeErrorText(CurrentErrorInfo()), services.programTitle,
                                 mb::kOk | mb::kIconStop);
        ReleaseSharedObjects();
        return 1;
    }
    ReleaseSharedObjects();
    return 0;
}

void RunManager(cRunTrail& trail) {
    const std::string path = gOptions.AppPath + "\\" + kManagerFileName;
    // An empty or relative AppPath would start whatever "\Somniconf.exe" the current drive
    // or folder holds, and one in a folder users can change whatever they put there: the
    // manager is started for whoever runs the screen saver.
    const ProgramVerdict manager = CheckMachineProgram(path, PathOrigin::kSettings);
    if (manager.program) {
        const std::string& checked = manager.program->Path();
        ILauncher& launcher = gServices->launcher;
        StartResult result = launcher.StartCommandLine(QuotePath(checked), show_state::kNormal);
        // A manager that asks for administrator rights (an older build, or one set to run
        // as administrator in its properties) is refused by a plain start; the shell
        // starts it and asks for the rights.
        if (!result.started && result.error.Number == win_error::kElevationRequired)
            result = launcher.StartWithShell(checked, "", show_state::kNormal);
        // Declining that prompt is the user's answer, not a fault to report.
        if (!result.started && result.error.Number != win_error::kCancelled) {
            trail.ManagerNotStarted(path, result.error);
            throw RaisedError(result.error);
        }
        return;
    }
    // Refused where it lies: the user is told why, as for a start that fails.
    if (manager.refusal.Number != refusal::kNotFound) {
        trail.ManagerNotStarted(path, manager.refusal);
        throw RaisedError(manager.refusal);
    }
    trail.ManagerNotFound(path, manager.refusal);
    gServices->messageBox.Show(gServices->strings.Load(kRunManagerFirstId).value_or(""),
                               kApplicationTitle, mb::kOk | mb::kIconInformation);
}

}  // namespace scr
