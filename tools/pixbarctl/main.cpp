#include "commands.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: pixbarctl render FILE [options] | pixbarctl --port NAME COMMAND\n"
                     "       pixbarctl decode FILE.kom|FILE.kzb | pixbarctl compose TEXT|- -o OUT\n");
        return pixbarctl::kExitUsage;
    }
    if (std::strcmp(argv[1], "render") == 0) return pixbarctl::runRender(argc - 1, argv + 1);
    if (std::strcmp(argv[1], "decode") == 0) return pixbarctl::runDecode(argc - 1, argv + 1);
    if (std::strcmp(argv[1], "compose") == 0) return pixbarctl::runCompose(argc - 1, argv + 1);
    return pixbarctl::runSignCommand(argc, argv);
}
