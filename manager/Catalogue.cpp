// The screen-saver list of the Main Settings page: every "*.scr" in the Windows folder
// and the system folder except this product's own, named with the description from its
// version resource, and the Settings and Preview buttons that act on the chosen one.
#include <algorithm>
#include <cctype>

#include "common/SharedObjects.h"
#include "manager/SettingsForm.h"

namespace mgr {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

std::string AddBackslash(const std::string& path) {
    if (!path.empty() && path.back() == '\\') return path;
    return path + "\\";
}

std::string TrimNull(const std::string& text) {
    const std::string head = text.substr(0, text.find('\0'));
    const auto first = head.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return head.substr(first, head.find_last_not_of(' ') - first + 1);
}

void fMain::BuildCatalogue() {
    cboScreenSavers->ClearItems();
    screenSaverPaths_.assign(1, "");
    selectedScreenSaverIndex_ = 0;
    FindScreenSavers(AddBackslash(gSystemInfo->WindowsDir()), kScreenSaverPattern);
    FindScreenSavers(AddBackslash(gSystemInfo->SystemDir()), kScreenSaverPattern);
    // The screen saver a policy sets is shown wherever it lies, even when it is missing.
    // An administrator's path matches a listed file in any letter case, as Windows
    // matches file names.
    const auto& managed = gSSOptions->Policy().SelectedScreenSaver;
    if (managed && selectedScreenSaverIndex_ == 0) {
        for (std::size_t i = 1; i < screenSaverPaths_.size(); ++i)
            if (Lower(screenSaverPaths_[i]) == Lower(*managed))
                selectedScreenSaverIndex_ = static_cast<std::int32_t>(i);
        if (selectedScreenSaverIndex_ == 0)
            selectedScreenSaverIndex_ = AddScreenSaverEntry(*managed);
    }

    // With nothing to choose, nothing can be configured or previewed.
    const bool any = cboScreenSavers->ListCount() > 0;
    cmdSettings->SetEnabled(any);
    cmdPreview->SetEnabled(any);
}

void fMain::FindScreenSavers(const std::string& folder, const std::string& pattern) {
    // A folder that cannot be searched at all is skipped without a word.
    if (manager_.finder.Find(folder, "*.*").empty()) return;
    AddScreenSaverFiles(folder, pattern);
}

void fMain::AddScreenSaverFiles(const std::string& folder, const std::string& pattern) {
    const std::string own = Lower(kOwnFileName);
    for (const FoundFile& entry : manager_.finder.Find(folder, pattern)) {
        const std::string name = TrimNull(entry.name);
        if (entry.isFolder || Lower(name) == own) continue;
        const std::int32_t n = AddScreenSaverEntry(folder + name);
        if (folder + name == gOptions.SelectedScreenSaver) selectedScreenSaverIndex_ = n;
    }
}

std::int32_t fMain::AddScreenSaverEntry(const std::string& path) {
    // Without a backslash, npos + 1 is 0: the whole path is the name.
    const std::string name = path.substr(path.rfind('\\') + 1);
    // The extension goes; a name too short to have one is shown whole.
    const std::string shown = name.size() > 4 ? name.substr(0, name.size() - 4) : name;
    // The tag is the entry's position in ScreenSaverPaths, which is the count of entries
    // once it is added: the sorted list may place it anywhere.
    const std::int32_t n = cboScreenSavers->ListCount() + 1;
    cboScreenSavers->AddItem(shown + kEntrySeparator + GetFileDescription(manager_.versions, path),
                             n);
    screenSaverPaths_.push_back(path);
    return n;
}

std::string fMain::ChosenScreenSaver() const {
    const ComboList& list = *cboScreenSavers;
    const int index = list.ListIndex();
    if (index < 0 || index >= list.ListCount()) return {};
    const std::int32_t tag = list.Item(index).tag;
    if (tag <= 0 || tag >= static_cast<std::int32_t>(screenSaverPaths_.size())) return {};
    return screenSaverPaths_[tag];
}

PathOrigin fMain::ChosenScreenSaverOrigin() const {
    // The policy's own entry is the administrators' word; the list's entries come from the
    // settings' folders.
    const auto& managed = gSSOptions->Policy().SelectedScreenSaver;
    return managed && Lower(*managed) == Lower(ChosenScreenSaver()) ? PathOrigin::kPolicy
                                                                    : PathOrigin::kSettings;
}

void fMain::cmdSettings_Click() {
    const std::string path = ChosenScreenSaver();
    if (path.empty()) return;
    const ProgramVerdict saver = CheckScreenSaver(path, ChosenScreenSaverOrigin());
    if (saver.program) {
        try {
            ConfigureScreenSaver(*saver.program);
            return;
        } catch (const RaisedError&) {
        }
    } else if (saver.refusal.Number != refusal::kNotFound) {
        Allowed(saver, path);  // says why it lies where it may not
        return;
    }
    // A file that is not there is a start that fails.
    ShowMessage(LoadText(text_id::kSettingsNotStarted) + path, mb::kOk | mb::kIconExclamation);
}

void fMain::cmdPreview_Click() {
    const std::string path = ChosenScreenSaver();
    if (path.empty()) return;
    const ProgramVerdict saver = CheckScreenSaver(path, ChosenScreenSaverOrigin());
    // A screen saver that cannot be started shows nothing; the button simply returns. One
    // refused where it lies says why.
    if (saver.program)
        RunScreenSaver(*saver.program);
    else if (saver.refusal.Number != refusal::kNotFound)
        Allowed(saver, path);
}

bool fMain::Allowed(const ProgramVerdict& verdict, const std::string& path) const {
    if (verdict.program) return true;
    ShowMessage(
        LoadText(text_id::kProgramRefused) + path + "\r\n\r\n" + verdict.refusal.Description,
        mb::kOk | mb::kIconExclamation);
    return false;
}

}  // namespace mgr
