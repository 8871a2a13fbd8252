// The preview's seams in memory, with Windows' rules: a child window lives only inside a
// window that exists and dies with it; a program tied to the process is ended when the
// tie is released (the process ends), and one that could not be tied never runs.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "screensaver/PreviewSeams.h"

class FakePreviewWindows : public scr::IPreviewWindows {
  public:
    bool IsWindow(scr::WindowHandle window) override { return windows_.contains(window); }
    std::unique_ptr<scr::IPreviewPane> CreatePane(scr::WindowHandle parent) override;

    // Scripting: a window of someone else's; destroying a window destroys its children.
    void AddWindow(scr::WindowHandle window) { windows_[window] = 0; }
    void Destroy(scr::WindowHandle window);
    bool refuseChildren = false;

    // What the panes did.
    struct PaneRecord {
        scr::WindowHandle handle = 0, parent = 0;
        std::optional<std::string> picture;  // the file shown, once asked
        bool destroyed = false;
    };
    std::vector<PaneRecord> panes;

  private:
    friend class FakePreviewPane;
    std::map<scr::WindowHandle, scr::WindowHandle> windows_;  // window -> parent (0: top)
    scr::WindowHandle next_ = 0x40000;
};

class FakeProcessTie : public scr::IProcessTie {
  public:
    ~FakeProcessTie() override { EndAll(); }
    StartResult StartTied(const std::string& program, const std::string& commandLine) override;
    void EndAll() override;

    struct Tied {
        std::string program, commandLine;
        bool running = true;
    };
    std::vector<Tied> started;
    // Scripting: the start fails (no such program), or the job refuses the process, which
    // is then ended before it ran.
    bool failStart = false;
    bool refuseTie = false;
    bool AnyRunning() const;
};
