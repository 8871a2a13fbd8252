// The objects every part of a program reaches, and the routines both programs share:
// creating those objects, starting a screen saver and waiting for it, starting its
// settings dialog, and testing for a file.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/AppRegAPI.h"
#include "common/EventLoop.h"
#include "common/Forms.h"
#include "common/Logger.h"
#include "common/OSInfo.h"
#include "common/Platform.h"
#include "common/ProgramPaths.h"
#include "common/SSOptions.h"
#include "common/Services.h"
#include "common/SystemInfo.h"

// The program-wide objects. InitSharedObjects creates them once per run (tests create
// them afresh for every run they drive).
extern Services* gServices;
extern std::unique_ptr<cOSInfo> gOSInfo;
extern std::unique_ptr<cLogger> gLogger;
extern std::unique_ptr<cAppRegAPI> gAppReg;
extern std::unique_ptr<cSystemInfo> gSystemInfo;
extern std::unique_ptr<cSSOptions> gSSOptions;
extern tSSOptions gOptions;
// Set by the screen saver's wait timer when the minutes have run out.
extern bool gTimeUp;

// Creates the shared objects in their order and points the settings store at the
// maker's key. An error while creating them (cSystemInfo's 999) is thrown on.
void InitSharedObjects(Services& services);
// Loads gOptions from the settings store, and tells the event log of every policy value
// that had to be ignored.
void LoadSharedOptions();
// Drops the shared objects again (end of a test run).
void ReleaseSharedObjects();

// A program started through the shell to be waited for. Its process handle is closed when
// the object goes, so whoever keeps the object can wait on the program again later.
class WaitedProgram {
  public:
    WaitedProgram(ILauncher& launcher, IEventLoop& loop) : launcher_(launcher), loop_(loop) {}
    ~WaitedProgram() { Close(); }
    WaitedProgram(const WaitedProgram&) = delete;
    WaitedProgram& operator=(const WaitedProgram&) = delete;

    // The shell's "Open" of `file` with `parameters`; false when nothing was started.
    bool Start(const std::string& file, const std::string& parameters);
    // Handles events until the program has ended (true) or `stop()` holds (false). A
    // program whose end cannot be waited for (the shell gave no handle, or the system
    // refuses the wait) is still running as far as anyone knows, until `stop()` holds or
    // its exit code, where one can be read, shows its end.
    bool WaitForEnd(const std::function<bool()>& stop);
    void Close();

  private:
    ILauncher& launcher_;
    IEventLoop& loop_;
    std::optional<ProcessHandle> process_;
};

// The verdict on a program that a machine-wide setting (or the policy, by `origin`)
// names, against this computer's folders; `extension` as for ProgramCheck.
ProgramVerdict CheckMachineProgram(const std::string& path, PathOrigin origin,
                                   std::string_view extension = {});
// Where the value of the setting `name` came from at the last load: a policy or the
// settings.
PathOrigin OriginOf(const char* name);
// CheckMachineProgram for a screen saver: only "*.scr" files.
ProgramVerdict CheckScreenSaver(const std::string& path, PathOrigin origin);

// Starts the screen saver with " /s" and waits for it. `keep`: as for RunAndWait.
bool RunScreenSaver(const CheckedProgram& saver, WaitedProgram* keep = nullptr);
// Starts the screen saver's own settings dialog and does not wait. Throws RaisedError
// when it cannot be started.
void ConfigureScreenSaver(const CheckedProgram& saver);
// Starts `file` with `parameters` through the shell and waits, handling events, until
// the program ends or gTimeUp is set. False when nothing could be started, or when an
// error arose while waiting. The program is never ended here: when gTimeUp stops the
// wait it goes on running. Its handle is closed on return, unless `keep` is given: then
// `keep` holds the program afterwards, for a caller that will wait on it again.
bool RunAndWait(const std::string& file, const std::string& parameters,
                WaitedProgram* keep = nullptr);
bool FileExists(const std::string& path);
