#include "commands.h"

#include <cstdio>

namespace pixbarctl {

int runRender(int, char**) {
    std::fprintf(stderr, "pixbarctl: this command is not built yet\n");
    return kExitUsage;
}

} // namespace pixbarctl
