#include "screensaver/SSMain.h"

#include <algorithm>
#include <cctype>

#include "screensaver/SplashForm.h"

namespace scr {

namespace {

fMain* gSplash = nullptr;

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

fMain* Splash() { return gSplash; }

std::string CommandKey(const std::string& arguments) {
    std::string key = Trim(arguments);
    if (key.size() >= 2) {
        key = key.substr(0, 2);
        std::transform(key.begin(), key.end(), key.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    }
    return key;
}

void Main(Services& services, const std::string& arguments, bool anotherInstance) {
    if (anotherInstance) return;
    if (CommandKey(arguments) == "/p") return;

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
    if (Trim(arguments).size() < 2 || key == "/s")
        RunSelectedScreenSaver();
    else if (key == "/c")
        RunManager();

    if (gTimeUp) DoShutdown();
    splash.Unload();
}

// What no routine handles is reported as the platform reports an error that ends a
// program, and the program ends.
int RunProgram(Services& services, const std::string& arguments, bool anotherInstance) {
    try {
        Main(services, arguments, anotherInstance);
    } catch (const RaisedError& e) {
        services.messageBox.Show("Run-time error '" + std::to_string(e.info.Number) + "':\r\n\r\n" +
                                     e.info.Description,
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
        const StartResult result =
            gServices->launcher.StartCommandLine(QuotePath(path), show_state::kNormal);
        if (!result.started) throw RaisedError(result.error);
        return;
    }
    gServices->messageBox.Show(gServices->strings.Load(kRunManagerFirstId).value_or(""),
                               kApplicationTitle, mb::kOk | mb::kIconInformation);
}

bool AskConfirmation() { return true; }

void DoShutdown() {}

}  // namespace scr
