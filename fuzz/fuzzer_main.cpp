// The libFuzzer entry of one check of fuzz_checks.h, chosen when it is
// built (FUZZ_CHECK): any disagreement aborts, and libFuzzer keeps the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string problem =
        fuzz::FUZZ_CHECK(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!problem.empty()) {
        std::fprintf(stderr, "fuzz check failed: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
