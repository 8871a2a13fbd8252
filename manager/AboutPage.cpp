// The About page with its three links, and the check that OK runs first: when the
// shutdown is to be handed to the sibling launcher, make sure its program is known.
#include <algorithm>
#include <cctype>

#include "common/SharedObjects.h"
#include "manager/SettingsForm.h"

namespace mgr {

namespace {

constexpr std::uint32_t kLinkColor = 0x0000C0;
const FontSpec kLinkFont{"MS Sans Serif", 8.25, false, true};
constexpr const char* kLauncherFileName = "kelvane.exe";

std::string TrimSpaces(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Only the end of the path counts, in any letter case.
bool EndsWithLauncherName(const std::string& path) {
    const std::string name = kLauncherFileName;
    if (path.size() < name.size()) return false;
    std::string tail = path.substr(path.size() - name.size());
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return tail == name;
}

}  // namespace

void fMain::AddAboutControls() {
    const char* page = "picAbout";
    Control& title = Add(ControlKind::Label, "lblAppTitle", {360, 120, 4695, 495}, page);
    title.SetTabIndex(20);
    title.SetFont({"MS Sans Serif", 18, true, false});
    title.SetText("Somnivex");
    Add(ControlKind::Label, "lblVersion", {480, 600, 4215, 255}, page).SetTabIndex(16);
    Add(ControlKind::Label, "lblCompany", {480, 1080, 4335, 255}, page).SetTabIndex(17);
    // As wide as the lines around it, so the whole address shows.
    Add(ControlKind::LinkLabel, "lblHomrUrl", {480, 1320, 4335, 255}, page).SetTabIndex(14);
    Add(ControlKind::Label, "lblCopyright", {480, 1680, 4335, 255}, page).SetTabIndex(15);
    Add(ControlKind::Label, "lblRunProgsAtShutdown", {480, 2040, 4215, 255}, page).SetTabIndex(22);
    Add(ControlKind::LinkLabel, "lblKelvane", {480, 2280, 4215, 255}, page).SetTabIndex(21);
    Add(ControlKind::Label, "Label3", {480, 2760, 4455, 255}, page).SetTabIndex(19);
    Add(ControlKind::LinkLabel, "lblEmail", {480, 3000, 3255, 255}, page).SetTabIndex(18);
    for (const char* name : {"lblHomrUrl", "lblKelvane", "lblEmail"}) {
        (*this)[name].SetFont(kLinkFont);
        (*this)[name].SetForeColor(kLinkColor);
    }
}

void fMain::SetAboutTexts() {
    const ProgramInfo& program = manager_.program;
    (*this)["lblVersion"].SetText(
        resourceTexts_[resource_text::kVersion] + std::to_string(program.major) + "." +
        std::to_string(program.minor) + "." + std::to_string(program.revision));
    (*this)["lblCompany"].SetText(program.companyName);
    (*this)["lblCopyright"].SetText(program.legalCopyright);
    (*this)["lblEmail"].SetText(program.comments);
}

void fMain::HyperJump(const std::string& url) {
    // A link the shell cannot open fails without a word.
    gServices->launcher.ShellOpen(url, show_state::kNormal);
}

void fMain::SendMail(const std::string& address, const std::string& subject) {
    gServices->launcher.ShellOpen("mailto:" + address + "?Subject=" + subject, show_state::kNormal);
}

void fMain::Link_Click(Control& link) {
    const std::string& name = link.Name();
    // The launcher line has no address of its own: it leads to the maker's site.
    if (name == "lblHomrUrl" || name == "lblKelvane")
        HyperJump((*this)["lblHomrUrl"].Text());
    else if (name == "lblEmail")
        SendMail(manager_.program.comments, kMailSubject);
}

bool fMain::ValidateKelvane() {
    ValidateMinutes();
    std::string candidate = TrimSpaces(gOptions.KelvanePath);
    bool result = false;
    if (!Ticked("chkRunKelvane")) {
        result = true;
    } else {
        if (!candidate.empty()) result = FileExists(candidate);
        if (!result) {
            candidate = gSSOptions->FindKelvanePathInReg();
            if (!candidate.empty()) result = FileExists(candidate);
        }
        if (!result && ShowMessage(resourceTexts_[resource_text::kCouldNotFindKelvane],
                                   mb::kYesNo | mb::kIconQuestion) == mb::kResultYes) {
            const auto chosen =
                manager_.openDialog.Show(resourceTexts_[resource_text::kLocateKelvane] + "(*.exe)",
                                         "*.exe", dialogFileName_);
            // A cancel leaves the result false and the dialog's file name as it was.
            if (chosen) {
                dialogFileName_ = *chosen;
                candidate = *chosen;
                result = EndsWithLauncherName(candidate);
            }
        }
    }
    if (result) gOptions.KelvanePath = candidate;
    return result;
}

}  // namespace mgr
