// libFuzzer entry: every input is one set of registry contents and one screen-saver run
// (see OptionsInput.h). A broken promise aborts, so the fuzzer keeps the input.
#include <cstdio>
#include <cstdlib>

#include "fuzz/OptionsInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto failures = options_fuzz::CheckOptionsInput(data, size);
    if (failures.empty()) return 0;
    for (const auto& failure : failures)
        std::fprintf(stderr, "options fuzzer: %s\n", failure.c_str());
    std::abort();
}
