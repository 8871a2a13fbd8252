// What may escape from deep inside a run, with the message a program's entry must show
// for it before the program ends: the same for both programs.
#pragma once

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

inline std::vector<std::pair<std::function<void()>, std::string>> UnhandledFailures() {
    return {
        {[] { throw std::bad_alloc(); }, "Run-time error '7':\r\n\r\nOut of memory"},
        {[] { throw std::length_error("basic_string::_M_create"); },
         "Run-time error '51':\r\n\r\nInternal error: basic_string::_M_create"},
        {[] { throw 42; }, "Run-time error '51':\r\n\r\nInternal error"},
    };
}
