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
    Page* page = picAbout;
    lblAppTitle = Add<Label>("lblAppTitle", {{360, 120, 4695, 495}, 20, page});
    lblAppTitle->SetFont({"MS Sans Serif", 18, true, false});
    lblAppTitle->SetText("Somnivex");
    lblVersion = Add<Label>("lblVersion", {{480, 600, 4215, 255}, 16, page});
    lblCompany = Add<Label>("lblCompany", {{480, 1080, 4335, 255}, 17, page});
    // As wide as the lines around it, so the whole address shows.
    lblHomrUrl = Add<LinkLabel>("lblHomrUrl", {{480, 1320, 4335, 255}, 14, page});
    lblCopyright = Add<Label>("lblCopyright", {{480, 1680, 4335, 255}, 15, page});
    lblRunProgsAtShutdown = Add<Label>("lblRunProgsAtShutdown", {{480, 2040, 4215, 255}, 22, page});
    lblKelvane = Add<LinkLabel>("lblKelvane", {{480, 2280, 4215, 255}, 21, page});
    Label3 = Add<Label>("Label3", {{480, 2760, 4455, 255}, 19, page});
    lblEmail = Add<LinkLabel>("lblEmail", {{480, 3000, 3255, 255}, 18, page});
    for (LinkLabel* link : {lblHomrUrl, lblKelvane, lblEmail}) {
        link->SetFont(kLinkFont);
        link->SetForeColor(kLinkColor);
    }
    // The launcher line has no address of its own: it leads to the maker's site.
    lblHomrUrl->onClick = [this] { HyperJump(lblHomrUrl->Text()); };
    lblKelvane->onClick = [this] { HyperJump(lblHomrUrl->Text()); };
    lblEmail->onClick = [this] { SendMail(manager_.program.comments, kMailSubject); };
}

void fMain::SetAboutTexts() {
    const ProgramInfo& program = manager_.program;
    lblVersion->SetText(resourceTexts_[resource_text::kVersion] + std::to_string(program.major) +
                        "." + std::to_string(program.minor) + "." +
                        std::to_string(program.revision));
    lblCompany->SetText(program.companyName);
    lblCopyright->SetText(program.legalCopyright);
    lblEmail->SetText(program.comments);
}

void fMain::HyperJump(const std::string& url) {
    // A link the shell cannot open fails without a word.
    gServices->launcher.ShellOpen(url, show_state::kNormal);
}

void fMain::SendMail(const std::string& address, const std::string& subject) {
    gServices->launcher.ShellOpen("mailto:" + address + "?Subject=" + subject, show_state::kNormal);
}

bool fMain::ValidateKelvane() {
    ValidateMinutes();
    // The policy's path is the one a run uses, found here or not.
    if (Managed("KelvanePath")) return true;
    // Only a launcher that a run could start is kept: one where only administrators could
    // have put it.
    const auto startable = [](const std::string& path) {
        return !path.empty() && CheckMachineProgram(path, PathOrigin::kSettings).program;
    };
    std::string candidate = TrimSpaces(gOptions.KelvanePath);
    bool result = startable(candidate);
    if (!chkRunKelvane->Ticked()) {
        // Unused, a path that no run could start is not kept either.
        gOptions.KelvanePath = result ? candidate : "";
        return true;
    }
    if (!result) {
        candidate = gSSOptions->FindKelvanePathInReg();
        result = startable(candidate);
    }
    // With the launcher's use fixed by policy, it is looked for but never asked about:
    // a path found is kept, and OK goes on either way.
    if (!result && Managed("RunKelvane")) {
        gOptions.KelvanePath.clear();
        return true;
    }
    if (!result && ShowMessage(resourceTexts_[resource_text::kCouldNotFindKelvane],
                               mb::kYesNo | mb::kIconQuestion) == mb::kResultYes) {
        const auto chosen = manager_.openDialog.Show(
            resourceTexts_[resource_text::kLocateKelvane] + "(*.exe)", "*.exe", dialogFileName_);
        // A cancel leaves the result false and the dialog's file name as it was.
        if (chosen) {
            dialogFileName_ = *chosen;
            candidate = *chosen;
            result = EndsWithLauncherName(candidate) &&
                     Allowed(CheckMachineProgram(candidate, PathOrigin::kSettings), candidate);
        }
    }
    if (result) gOptions.KelvanePath = candidate;
    return result;
}

}  // namespace mgr
