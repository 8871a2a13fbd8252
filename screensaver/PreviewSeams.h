// What the preview needs from the platform: a window of ours inside the window that
// Windows lends for the preview, and programs tied to this process so that they end
// with it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/EventLoop.h"

namespace scr {

// A window handle as a number, as a command line carries it; 0 is none.
using WindowHandle = std::uintptr_t;

// Our child window, filling the lent window's client area. Destroying the object
// destroys the window.
class IPreviewPane {
  public:
    virtual ~IPreviewPane() = default;
    virtual WindowHandle Handle() const = 0;
    // False once the window is destroyed (its parent went, or someone destroyed it) or
    // the lent window is no window any more.
    virtual bool Alive() = 0;
    // From now on the window shows the picture file at `path`, scaled to fit with its
    // proportions kept, on black. A file that cannot be read leaves it black.
    virtual void ShowPicture(const std::string& path) = 0;
};

class IPreviewWindows {
  public:
    virtual ~IPreviewWindows() = default;
    virtual bool IsWindow(WindowHandle window) = 0;
    // Null when no child window can be made in `parent`.
    virtual std::unique_ptr<IPreviewPane> CreatePane(WindowHandle parent) = 0;
};

// Programs started so that none can outlive this process: the system ends them, and
// whatever they started, when it ends, however it ends.
class IProcessTie {
  public:
    virtual ~IProcessTie() = default;
    // Starts `program` with the whole `commandLine` (its quoted path first). A program
    // that cannot be tied is ended before it runs and counts as not started.
    virtual StartResult StartTied(const std::string& program, const std::string& commandLine) = 0;
    // Ends every program started here. The destructor does it too.
    virtual void EndAll() = 0;
};

struct PreviewServices {
    IPreviewWindows& windows;
    IProcessTie& tie;
    // This program's own file, which a preview never starts: it would preview itself.
    std::string ownProgram;
};

}  // namespace scr
