// The preview. Windows lends us a window (the little monitor) and ends our process when
// it is done with it, so everything we start is tied to this process and ends with it;
// the one window of ours is a child of the lent one, and goes with it. The chosen screen
// saver draws its own preview inside that child. A preview changes nothing: the
// settings are read through a port that refuses every write, nothing is told to the
// trail or the log, no single-instance mutex is taken (the program's entry leaves it
// out), and neither the manager, the countdown nor a shutdown can follow.
#include "screensaver/Preview.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "common/AppRegAPI.h"
#include "common/ProgramPaths.h"
#include "common/ReadOnlyRegistry.h"
#include "common/SSOptions.h"

namespace scr {

namespace {

// How often the lent window is looked at: Windows may destroy it without ending us.
constexpr std::uint32_t kParentPollMs = 250;

bool SameFile(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
        return std::tolower(x) == std::tolower(y);
    });
}

struct PreviewChoice {
    std::optional<CheckedProgram> saver;  // what to start, when anything
    std::string pictureFolder;            // where the splash's pictures lie
};

// The chosen screen saver as a run would start it, read without writing anything.
PreviewChoice Choose(Services& services, const std::string& ownProgram) {
    ReadOnlyRegistryPort port(services.registry);
    cAppRegAPI appReg(port, services.productName);
    cSSOptions store(appReg, BlankScreenSaver(services.facts.SystemDirectory(), services.files));
    appReg.SoftwareKey = store.RegSoftwareKey();
    tSSOptions options;
    store.LoadOptions(options);

    PreviewChoice choice;
    choice.pictureFolder = options.AppPath.empty() ? services.programFolder : options.AppPath;
    if (options.SelectedScreenSaver.empty()) return choice;
    const PathOrigin origin =
        store.Policy().Manages("SelectedScreenSaver") ? PathOrigin::kPolicy : PathOrigin::kSettings;
    const ProgramRoots roots = FindProgramRoots(services.facts, services.files);
    ProgramVerdict verdict =
        ProgramCheck{services.files, roots}(options.SelectedScreenSaver, origin, ".scr");
    if (!verdict.program) return choice;
    // Ourselves: our preview would start itself again, without end.
    const auto own = services.files.Resolve(ownProgram);
    if (own && SameFile(own->path, verdict.program->Path())) return choice;
    choice.saver = std::move(verdict.program);
    return choice;
}

}  // namespace

std::optional<WindowHandle> PreviewWindowOf(const std::string& arguments) {
    const auto at = arguments.find_first_not_of(' ');
    if (at == std::string::npos || arguments.size() - at < 2) return std::nullopt;
    std::size_t i = at + 2;  // after the switch
    if (i < arguments.size() && arguments[i] == ':') ++i;
    while (i < arguments.size() && arguments[i] == ' ') ++i;
    WindowHandle window = 0;
    bool digits = false;
    for (; i < arguments.size() && std::isdigit(static_cast<unsigned char>(arguments[i])); ++i) {
        const unsigned digit = static_cast<unsigned>(arguments[i] - '0');
        if (window > (std::numeric_limits<WindowHandle>::max() - digit) / 10) return std::nullopt;
        window = window * 10 + digit;
        digits = true;
    }
    if (!digits || window == 0) return std::nullopt;
    if (arguments.find_first_not_of(' ', i) != std::string::npos) return std::nullopt;
    return window;
}

FitRect FitPicture(int width, int height, int boxWidth, int boxHeight) {
    if (width <= 0 || height <= 0 || boxWidth <= 0 || boxHeight <= 0) return {};
    // Whichever side fills the box first decides the scale; 64 bits, so no product wraps.
    const std::int64_t w = width, h = height, bw = boxWidth, bh = boxHeight;
    FitRect fit;
    if (w * bh >= h * bw) {
        fit.width = boxWidth;
        fit.height = static_cast<int>(std::max<std::int64_t>(1, h * bw / w));
    } else {
        fit.height = boxHeight;
        fit.width = static_cast<int>(std::max<std::int64_t>(1, w * bh / h));
    }
    fit.left = (boxWidth - fit.width) / 2;
    fit.top = (boxHeight - fit.height) / 2;
    return fit;
}

void RunPreview(Services& services, const PreviewServices& preview, const std::string& arguments) {
    const auto parent = PreviewWindowOf(arguments);
    if (!parent || !preview.windows.IsWindow(*parent)) return;
    // Nothing a preview meets is worth a message: the dialog shows a black monitor at worst.
    try {
        const PreviewChoice choice = Choose(services, preview.ownProgram);
        const auto pane = preview.windows.CreatePane(*parent);
        if (!pane) return;
        bool started = false;
        if (choice.saver) {
            const std::string& path = choice.saver->Path();
            started =
                preview.tie
                    .StartTied(path, QuotePath(path) + " /p " + std::to_string(pane->Handle()))
                    .started;
        }
        if (!started) pane->ShowPicture(choice.pictureFolder + "\\graphics\\SomnivexLgeTxt.GIF");
        IEventLoop& loop = services.loop;
        ScopedTimer poll(loop, loop.StartTimer(kParentPollMs, [] {}));
        loop.RunUntil([&] { return !pane->Alive(); });
        preview.tie.EndAll();
    } catch (...) {
        preview.tie.EndAll();
    }
}

}  // namespace scr
