// What the end of a run does, in the words the question before the run and the countdown
// use, so that nobody is asked about a shutdown and then logged off.
#pragma once

#include <cstdint>
#include <string>

#include "common/Platform.h"

enum class EndKind {
    ShutDown,
    Restart,
    LogOff,
    HandOver,  // the shutdown goes to the launcher Kelvane
    Sleep,
    Hibernate,
};

// The end the settings ask for. A restart in MS-DOS mode is a plain shut down on every
// Windows that runs today, and any other unknown code is one too. Sleep and hibernate
// go through Windows even when the launcher is chosen.
EndKind EndKindOf(bool runKelvane, std::int16_t shutdownType);

// The question before a run: "Restart Windows after 30 minute(s)?". `minutes` is put in
// as given (the manager's test passes the box's text).
std::string ConfirmationQuestion(const IStringSource& strings, EndKind kind,
                                 const std::string& minutes);
