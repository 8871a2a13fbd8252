// libFuzzer entry: every input is one file whose version resource is read, and one bare
// version block (see VersionInput.h). A broken promise aborts, so the fuzzer keeps the
// input.
#include <cstdio>
#include <cstdlib>

#include "fuzz/VersionInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto failures = version_fuzz::CheckVersionInput(data, size);
    if (failures.empty()) return 0;
    for (const auto& failure : failures)
        std::fprintf(stderr, "version fuzzer: %s\n", failure.c_str());
    std::abort();
}
