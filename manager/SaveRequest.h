// The save that the settings window hands to a copy of Somniconf.exe with administrator
// rights when this process may not write the machine-wide key. The window puts its
// values on the copy's command line; the copy opens no window, takes the values only
// if the window could have sent them, writes them and says by its exit status how it
// went. It starts nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/PowerFacts.h"
#include "common/ProgramPaths.h"
#include "common/RaisedError.h"
#include "common/Services.h"

// Clean of <windows.h> names, so the Win32 side can include it: the options record is
// only named here.
struct tSSOptions;
struct PolicyValues;

namespace mgr {

// The first argument of a save request (letter case does not matter).
constexpr const char* kSaveSwitch = "/save";

// The exit status of a save request.
namespace save_status {
constexpr std::uint32_t kSaved = 0;
// Not a request the window sends: a value missing, repeated, unknown or out of range.
constexpr std::uint32_t kRefusedValues = 2;
// The registry refused a write.
constexpr std::uint32_t kRefusedWrite = 3;
// The program could not set itself up.
constexpr std::uint32_t kFailed = 4;
}  // namespace save_status

// Command lines as the C runtime and CommandLineToArgvW split them. `argument` in
// quotes, so that it reads back as exactly this one argument: a quote inside gets a
// backslash, and backslashes before a quote (or the closing one) are doubled.
std::string QuoteArgument(const std::string& argument);
// The arguments of a command line that no longer holds the program's name. Blanks and
// tabs separate them outside quotes; a quote opens or closes a quoted part; 2n
// backslashes before a quote give n backslashes and the quote still counts, 2n+1 give
// n and a literal quote; "" inside a quoted part is a literal quote. Other backslashes
// are kept as they are.
std::vector<std::string> SplitArguments(const std::string& arguments);

// The parameters of a save request for these options.
std::string SaveRequestParameters(const tSSOptions& options);
bool IsSaveRequest(const std::vector<std::string>& arguments);
// The values of a request, each given exactly once as "Name=value"; nullopt when a
// name is missing, repeated or unknown, or a value does not read as its field does.
std::optional<tSSOptions> ParseSaveRequest(const std::vector<std::string>& arguments);

// What the window would have had to send these options from this program: its own
// folder and log file, a shutdown type it offers, a screen saver from its list, and a
// launcher path that is empty or that a run could start, given when the launcher is to
// be used. A run starts the screen saver, the launcher and the manager in the folder of
// AppPath for every user, so each must be one that a run may start (ProgramPaths.h). A
// setting the policy manages goes unchecked: the window sends the stored value, which
// the save then leaves as it is.
struct SaveContext {
    std::string programFolder;
    std::string windowsDir, systemDir;
    std::vector<std::int16_t> offeredShutdownTypes;
    const PolicyValues* policy = nullptr;  // null: no policy
    ProgramRoots roots;
};
bool WindowCouldSend(const tSSOptions& options, const SaveContext& context, IFileSystem& files);

// A refused registry write as the event log tells it: the registry's status and its text.
ErrorInfo RegistryRefusal(std::int32_t status);
// Tells the event log of a save by the user the platform names: what changed from
// `before` to `after`, or, with a `refusal`, why nothing was saved.
void ReportSave(Services& services, const tSSOptions& before, const tSSOptions& after,
                bool elevated, const std::optional<ErrorInfo>& refusal);

// The program run for a save request: no window, no message. Leaves the program-wide
// objects alone, so it can run beside a settings window.
// `power`: what the computer can do, which decides whether sleep and hibernate are offered.
std::uint32_t RunSaveRequest(Services& services, const std::vector<std::string>& arguments,
                             const std::optional<PowerCapabilities>& power = std::nullopt);

}  // namespace mgr
