// What the platform gives a program. Kept apart from the class headers so that a
// program's entry point, which includes <windows.h>, can build it.
#pragma once

#include <string>

#include "common/EventLoop.h"
#include "common/EventSink.h"
#include "common/Forms.h"
#include "common/Platform.h"
#include "common/RegistryPort.h"

// What the platform gives a program: every seam, and a few facts about the program.
struct Services {
    IRegistryPort& registry;
    const IStringSource& strings;
    IClock& clock;
    IFileSystem& files;
    IMessageBoxUi& messageBox;
    ISystemFacts& facts;
    IEventLoop& loop;
    ILauncher& launcher;
    FormHost& forms;
    IEventSink& events;         // the run trail: written, never waited for
    std::string programFolder;  // no trailing backslash
    std::string programTitle;   // titles the program's plain message boxes
    std::string productName;    // from the version resource: "Somnivex"
};
