#include "platform/fake/FakePreview.h"

namespace {
class FakePreviewPane : public scr::IPreviewPane {
  public:
    FakePreviewPane(FakePreviewWindows& windows, std::size_t index) : w_(windows), i_(index) {}
    ~FakePreviewPane() override { w_.Destroy(Handle()); }
    scr::WindowHandle Handle() const override { return w_.panes[i_].handle; }
    bool Alive() override { return w_.IsWindow(Handle()) && w_.IsWindow(w_.panes[i_].parent); }
    void ShowPicture(const std::string& path) override { w_.panes[i_].picture = path; }

  private:
    FakePreviewWindows& w_;
    std::size_t i_;
};
}  // namespace

std::unique_ptr<scr::IPreviewPane> FakePreviewWindows::CreatePane(scr::WindowHandle parent) {
    if (refuseChildren || !IsWindow(parent)) return nullptr;
    const scr::WindowHandle handle = 0x40004 + 4 * panes.size();
    windows_[handle] = parent;
    panes.push_back({handle, parent, std::nullopt});
    return std::make_unique<FakePreviewPane>(*this, panes.size() - 1);
}

void FakePreviewWindows::Destroy(scr::WindowHandle window) {
    if (windows_.erase(window) == 0) return;
    std::vector<scr::WindowHandle> children;
    for (const auto& [child, parent] : windows_)
        if (parent == window) children.push_back(child);
    for (const auto child : children) Destroy(child);
}

StartResult FakeProcessTie::StartTied(const std::string&, const std::string& commandLine) {
    if (failStart) return {false, {2, "Somnivex", "The system cannot find the file specified."}};
    if (refuseTie) return {false, {5, "Somnivex", "Access is denied."}};
    started.push_back(commandLine);
    ++running;
    return {true, {}};
}
