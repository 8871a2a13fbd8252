// The settings that the manager edits and the screen saver obeys, and where they
// lie: HKEY_LOCAL_MACHINE\Software\Brellcor\Somnivex. A setting an administrator fixes by
// policy (common/Policy.h) loads with the policy's value and is never saved. Also reads
// the two values that the sibling launcher Kelvane records for itself.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

#include "common/AppRegAPI.h"
#include "common/Platform.h"
#include "common/Policy.h"

struct tSSOptions {
    bool RunKelvane = false;
    bool ConfirmShutdown = false;
    bool DefaultConfirmYes = true;
    bool LogDebug = false;
    std::string LogDir;
    std::string AppPath;
    std::string KelvanePath;
    std::string SelectedScreenSaver;
    std::int16_t ShutdownType = 1;
    std::int16_t WaitMinutes = 30;
    // Windows installs the updates it has waiting when the run shuts down or restarts.
    bool InstallUpdates = true;

    bool operator==(const tSSOptions&) const = default;
};

// The settings manager's file, in the folder that AppPath names.
constexpr const char* kManagerFileName = "Somniconf.exe";

// The values by name, in the record's order, for code that goes through all of them.
using tOptionMember =
    std::variant<bool tSSOptions::*, std::string tSSOptions::*, std::int16_t tSSOptions::*>;
struct tOptionField {
    const char* name;
    tOptionMember member;
};
inline const std::array<tOptionField, 11> kOptionFields{{
    {"RunKelvane", &tSSOptions::RunKelvane},
    {"ConfirmShutdown", &tSSOptions::ConfirmShutdown},
    {"DefaultConfirmYes", &tSSOptions::DefaultConfirmYes},
    {"LogDebug", &tSSOptions::LogDebug},
    {"LogDir", &tSSOptions::LogDir},
    {"AppPath", &tSSOptions::AppPath},
    {"KelvanePath", &tSSOptions::KelvanePath},
    {"SelectedScreenSaver", &tSSOptions::SelectedScreenSaver},
    {"ShutdownType", &tSSOptions::ShutdownType},
    {"WaitMinutes", &tSSOptions::WaitMinutes},
    {"InstallUpdates", &tSSOptions::InstallUpdates},
}};

// Stored shutdown codes. 0, 1 and 2 are Windows' own EWX_LOGOFF, EWX_SHUTDOWN and
// EWX_REBOOT; 20 is ours for a restart in MS-DOS mode. Sleep and hibernate are ours too,
// chosen above every flag ExitWindowsEx knows in the low byte so that a version that
// does not know them takes them for an unknown code: a plain shut down.
namespace shutdown_code {
constexpr std::int16_t kLogOff = 0;
constexpr std::int16_t kShutDown = 1;
constexpr std::int16_t kRestart = 2;
constexpr std::int16_t kRestartInMsDos = 20;
constexpr std::int16_t kSleep = 0x100;
constexpr std::int16_t kHibernate = 0x200;

// Where a stored code stands in a table of six ordered log off, shut down, restart,
// restart in MS-DOS mode, sleep, hibernate. Any other stored number counts as a plain
// shut down.
std::size_t Slot(std::int16_t code);
constexpr std::size_t kSlots = 6;
// Whether a stored code is one of the six.
bool IsKnown(std::int16_t code);
// Sleep and hibernate: Windows suspends, nobody's session ends, and the launcher, which
// knows only its four switches, is never asked.
bool IsSuspend(std::int16_t code);
}  // namespace shutdown_code

class cSSOptions {
  public:
    // `defaultScreenSaver` is what a SelectedScreenSaver that was never stored loads as
    // (and is stored as); an empty value stored on purpose stays empty.
    explicit cSSOptions(cAppRegAPI& appReg, std::string defaultScreenSaver = {})
        : appReg_(appReg), defaultScreenSaver_(std::move(defaultScreenSaver)) {}

    std::string RegKeyName() const { return "Somnivex"; }
    std::string RegSoftwareKey() const { return "Brellcor"; }
    // The window handle recorded for the launcher's window; -1 when none ever was.
    std::int32_t ShutdownHandle();
    // The launcher's program path from the sibling products' keys, or "".
    std::string FindKelvanePathInReg();

    // The stored settings, then the policy's value for each setting it manages.
    void LoadOptions(tSSOptions& record);
    // Writes every value, each on its own, except those a policy manages (at the last
    // load or now), which keep their stored values; true only when every write made
    // succeeded.
    bool SaveOptions(const tSSOptions& record);
    // The policy the last LoadOptions found: the settings it manages, the values it could
    // not use, and the hold switches.
    const PolicyValues& Policy() const { return policy_; }
    // What the key itself held at the last LoadOptions, before the policy was applied.
    const tSSOptions& Stored() const { return stored_; }
    // Reads the policy again without loading the stored settings, for a save that did
    // not load them: what it manages then keeps its stored value too.
    const PolicyValues& RefreshPolicy();

  private:
    cAppRegAPI& appReg_;
    std::string defaultScreenSaver_;
    PolicyValues policy_;
    tSSOptions stored_;
};

// Windows' own Blank screen saver in `systemFolder`, where that file exists; "" where not.
// A fresh install runs it until somebody chooses another, so the computer still goes off.
std::string BlankScreenSaver(const std::string& systemFolder, IFileSystem& files);
