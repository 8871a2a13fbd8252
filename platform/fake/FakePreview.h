// The preview's seams in memory, with Windows' rules: a child window lives only inside a
// window that exists and dies with it; a tied program ends when the tie is released (the
// process ends), and one that could not be tied never runs.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "screensaver/PreviewSeams.h"

class FakePreviewWindows : public scr::IPreviewWindows {
  public:
    bool IsWindow(scr::WindowHandle window) override { return windows_.contains(window); }
    std::unique_ptr<scr::IPreviewPane> CreatePane(scr::WindowHandle parent) override;
    // Scripting: someone else's window; destroying a window destroys its children.
    void AddWindow(scr::WindowHandle window) { windows_[window] = 0; }
    void Destroy(scr::WindowHandle window);
    bool refuseChildren = false;

    struct Pane {
        scr::WindowHandle handle = 0, parent = 0;
        std::optional<std::string> picture;  // the file shown, once asked
    };
    std::vector<Pane> panes;

  private:
    std::map<scr::WindowHandle, scr::WindowHandle> windows_;  // window -> parent (0: top)
};

class FakeProcessTie : public scr::IProcessTie {
  public:
    ~FakeProcessTie() override { EndAll(); }
    StartResult StartTied(const std::string& program, const std::string& commandLine) override;
    void EndAll() override { running = 0; }
    std::vector<std::string> started;  // the command lines of the programs that run(ran)
    int running = 0;
    // Scripting: no such program; or the job refuses it, and it is ended before it ran.
    bool failStart = false, refuseTie = false;
};
