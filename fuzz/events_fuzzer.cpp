#include <cstdio>
#include <cstdlib>

#include "readers_harness.h"

// One case before the timed ones: the first pays for memory the sanitizers map and tables built once.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    pelorin::fuzz::RunEventsCase(nullptr, 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string broken = pelorin::fuzz::RunEventsCase(data, size);
    if (!broken.empty()) {
        std::fprintf(stderr, "invariant broken: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
