// Errors as the programs pass them on: a number, the place it arose and a description.
// Inside the portable core a routine that cannot go on throws RaisedError; the routine
// that handles it hands the ErrorInfo to the logger. Nothing is thrown across the
// platform boundary.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// Numbers are 32-bit, so Windows error codes and HRESULTs are kept whole.
struct ErrorInfo {
    std::int32_t Number = 0;
    std::string Source;
    std::string Description;
};

class RaisedError : public std::runtime_error {
  public:
    explicit RaisedError(ErrorInfo error)
        : std::runtime_error(error.Description), info(std::move(error)) {}
    ErrorInfo info;
};

// The number a library class raises when a precondition of its own is broken.
constexpr std::int32_t kLibraryErrorNumber = 999;
