#include <cstdio>

#include "core/cli.h"

namespace vorq {

// Not built yet.
int RunSelfTest() {
    AttachParentConsole();
    std::printf("The self-test is not available in this build.\n");
    std::fflush(stdout);
    return 1;
}

}  // namespace vorq
