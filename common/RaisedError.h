// Errors as the programs pass them on: a number, the place it arose and a description.
// Inside the portable core a routine that cannot go on throws RaisedError; the routine
// that handles it hands the ErrorInfo to the logger. Nothing is thrown across the
// platform boundary.
#pragma once

#include <cstdint>
#include <exception>
#include <new>
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

// The error of the exception being handled, for the catch-all of a program's entry: a
// raised error as it is, running out of memory (a huge registry value, say) as error 7,
// anything else as error 51. Call only inside a catch block.
inline ErrorInfo CurrentErrorInfo() {
    try {
        throw;
    } catch (const RaisedError& e) {
        return e.info;
    } catch (const std::bad_alloc&) {
        return {7, "Somnivex", "Out of memory"};
    } catch (const std::exception& e) {
        return {51, "Somnivex", std::string("Internal error: ") + e.what()};
    } catch (...) {
        return {51, "Somnivex", "Internal error"};
    }
}

// How an error that no routine handled is shown before the program ends.
inline std::string RunTimeErrorText(const ErrorInfo& error) {
    return "Run-time error '" + std::to_string(error.Number) + "':\r\n\r\n" + error.Description;
}
