// The preview: Windows starts "Somnivex.scr /p <window>" to fill the little monitor of
// its Screen Saver Settings dialog, and ends the program when the user picks another
// screen saver or closes the dialog.
#pragma once

#include <optional>
#include <string>

#include "common/Services.h"
#include "screensaver/PreviewSeams.h"

namespace scr {

// The window a "/p" command line names: "/p 1234" or "/p:1234", in decimal. Nothing when
// it names none, or holds anything else.
std::optional<WindowHandle> PreviewWindowOf(const std::string& arguments);

// Where a picture of `width` x `height` goes in a box of `boxWidth` x `boxHeight`: as
// large as fits with its proportions kept, centred. Empty when either has no area.
struct FitRect {
    int left = 0, top = 0, width = 0, height = 0;
    bool operator==(const FitRect&) const = default;
};
FitRect FitPicture(int width, int height, int boxWidth, int boxHeight);

// Shows the preview inside the window `arguments` names, until that window goes or
// the program is ended: the chosen screen saver's own preview, started with "/p" and our
// child window, or our picture when there is nothing to start. Reads the settings and
// writes nothing; starts nothing else. Ends at once when no window is named.
void RunPreview(Services& services, const PreviewServices& preview, const std::string& arguments);

}  // namespace scr
