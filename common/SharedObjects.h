// The objects every part of a program reaches, and the routines both programs share:
// creating those objects, starting a screen saver and waiting for it, starting its
// settings dialog, and testing for a file.
#pragma once

#include <memory>
#include <string>

#include "common/AppRegAPI.h"
#include "common/EventLoop.h"
#include "common/Forms.h"
#include "common/Logger.h"
#include "common/OSInfo.h"
#include "common/Platform.h"
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
// Drops the shared objects again (end of a test run).
void ReleaseSharedObjects();

// Starts the screen saver with " /s" and waits for it.
bool RunScreenSaver(const std::string& path);
// Starts the screen saver's own settings dialog and does not wait. Throws RaisedError
// when it cannot be started.
void ConfigureScreenSaver(const std::string& path);
// Starts `file` with `parameters` through the shell and waits, handling events, until
// the program ends or gTimeUp is set. False when nothing could be started, or when an
// error arose while waiting. A program whose end cannot be waited for (the shell gave no
// handle, or the system refuses the wait) counts as started and is waited for until
// gTimeUp is set or its exit code shows its end. The program is never ended here: when
// gTimeUp stops the wait it goes on running. The handle is closed in every case.
bool RunAndWait(const std::string& file, const std::string& parameters);
bool FileExists(const std::string& path);
