#include "commandtable.h"
#include "commands.h"

#include <cstdio>
#include <string_view>

namespace {

bool asksForHelp(std::string_view arg) {
    return arg == "--help" || arg == "-h";
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        pixbarctl::printHelp(stderr);
        return pixbarctl::kExitUsage;
    }
    const std::string_view first = argv[1];
    if (asksForHelp(first) || (argc == 3 && asksForHelp(argv[2]) && pixbarctl::findCommand(first))) {
        pixbarctl::printHelp(stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    // The commands on files run without a port; every other word is a sign command or an
    // option before one. Only commands of the table run, so the help names all of them.
    const pixbarctl::CommandEntry* command = pixbarctl::findCommand(first);
    if (!command || command->sign) return pixbarctl::runSignCommand(argc, argv);
    if (first == "render") return pixbarctl::runRender(argc - 1, argv + 1);
    if (first == "decode") return pixbarctl::runDecode(argc - 1, argv + 1);
    if (first == "compose") return pixbarctl::runCompose(argc - 1, argv + 1);
    std::fprintf(stderr, "pixbarctl: %s is not made yet\n", argv[1]);
    return pixbarctl::kExitUsage;
}
