// Every fake seam of a program, wired together, with a Services view over them: what a
// test needs to drive a whole program run in virtual time.
#pragma once

#include <string>

#include "common/Services.h"
#include "common/StringTable.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeEventSink.h"
#include "platform/fake/FakeHoldFacts.h"
#include "platform/fake/FakeLoop.h"
#include "platform/fake/FakePlatform.h"
#include "platform/fake/FakePreview.h"
#include "platform/fake/FakeRegistry.h"
#include "platform/fake/HeadlessHost.h"
#include "screensaver/Entry.h"

struct FakeServices {
    explicit FakeServices(ProgramKind program, std::string title)
        : strings(program),
          loop(clock),
          launcher(clock, files),
          host(loop, files),
          desktop(clock),
          services{registry, strings, clock,  files,          messageBox,       facts,     loop,
                   launcher, host,    events, kProgramFolder, std::move(title), "Somnivex"} {
        loop.SetLauncher(&launcher);
        files.AddFolder(kProgramFolder);
        facts.knownFolders[KnownFolder::Programs] =
            "C:\\Users\\anna\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
        facts.knownFolders[KnownFolder::Startup] =
            facts.knownFolders[KnownFolder::Programs] + "\\Startup";
        facts.knownFolders[KnownFolder::ProgramFiles] = "C:\\Program Files";
        facts.knownFolders[KnownFolder::ProgramFilesX86] = "C:\\Program Files (x86)";
    }

    static constexpr const char* kProgramFolder = "C:\\Program Files\\Somnivex";

    FakeRegistry registry;
    BuiltInStringSource strings;
    FakeClock clock;
    FakeFileSystem files;
    FakeMessageBoxUi messageBox;
    FakeSystemFacts facts;
    FakeEventLoop loop;
    FakeLauncher launcher;
    HeadlessHost host;
    FakeEventSink events;
    FakeDesktop desktop;
    FakeShutdownApi shutdownApi{&clock};
    FakeHoldFacts holdFacts;
    FakePreviewWindows previewWindows;
    FakeProcessTie tie;
    scr::PreviewServices preview{previewWindows, tie,
                                 std::string(kProgramFolder) + "\\Somnivex.scr"};
    Services services;
    scr::ShutdownServices shutdown{shutdownApi, desktop, holdFacts, &preview};
};
