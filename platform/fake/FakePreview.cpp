#include "platform/fake/FakePreview.h"

#include <algorithm>

class FakePreviewPane : public scr::IPreviewPane {
  public:
    FakePreviewPane(FakePreviewWindows& windows, std::size_t index)
        : windows_(windows), index_(index) {}
    ~FakePreviewPane() override { windows_.Destroy(Handle()); }
    scr::WindowHandle Handle() const override { return windows_.panes[index_].handle; }
    bool Alive() override {
        const auto& pane = windows_.panes[index_];
        return windows_.IsWindow(pane.handle) && windows_.IsWindow(pane.parent);
    }
    void ShowPicture(const std::string& path) override { windows_.panes[index_].picture = path; }

  private:
    FakePreviewWindows& windows_;
    std::size_t index_;
};

std::unique_ptr<scr::IPreviewPane> FakePreviewWindows::CreatePane(scr::WindowHandle parent) {
    if (refuseChildren || !IsWindow(parent)) return nullptr;
    const scr::WindowHandle handle = next_ += 4;
    windows_[handle] = parent;
    panes.push_back({handle, parent, std::nullopt, false});
    return std::make_unique<FakePreviewPane>(*this, panes.size() - 1);
}

void FakePreviewWindows::Destroy(scr::WindowHandle window) {
    if (windows_.erase(window) == 0) return;
    for (auto& pane : panes)
        if (pane.handle == window) pane.destroyed = true;
    std::vector<scr::WindowHandle> children;
    for (const auto& [child, parent] : windows_)
        if (parent == window) children.push_back(child);
    for (const auto child : children) Destroy(child);
}

StartResult FakeProcessTie::StartTied(const std::string& program, const std::string& commandLine) {
    if (failStart) return {false, {2, "Somnivex", "The system cannot find the file specified."}};
    started.push_back({program, commandLine, !refuseTie});
    if (refuseTie) return {false, {5, "Somnivex", "Access is denied."}};
    return {true, {}};
}

void FakeProcessTie::EndAll() {
    for (auto& tied : started) tied.running = false;
}

bool FakeProcessTie::AnyRunning() const {
    return std::any_of(started.begin(), started.end(), [](const Tied& t) { return t.running; });
}
