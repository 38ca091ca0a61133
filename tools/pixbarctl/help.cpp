// pixbarctl --help: every command and option, printed from the tables that let them through.
#include "commandtable.h"

#include <string>

namespace pixbarctl {

namespace {

constexpr std::size_t kColumn = 34; // where the explanations start

void printRow(std::FILE* to, const std::string& left, std::string_view what) {
    std::string line = "  " + left;
    // A long left side gets a line of its own, so the explanations stay in one column.
    if (line.size() >= kColumn)
        line += "\n" + std::string(kColumn, ' ');
    else
        line += std::string(kColumn - line.size(), ' ');
    std::fprintf(to, "%s%.*s\n", line.c_str(), int(what.size()), what.data());
}

void printCommands(std::FILE* to, bool sign) {
    for (const CommandEntry& c : kCommands) {
        if (c.sign != sign) continue;
        std::string left(c.name);
        if (!c.arguments.empty()) left += " " + std::string(c.arguments);
        printRow(to, left, c.what);
    }
}

void printOptions(std::FILE* to, std::string_view command) {
    for (const OptionEntry& o : kOptions) {
        if (o.command != command) continue;
        std::string left(o.name);
        if (!o.value.empty()) left += " " + std::string(o.value);
        printRow(to, left, o.what);
    }
}

} // namespace

void printHelp(std::FILE* to) {
    std::fprintf(to, "usage: pixbarctl COMMAND [arguments]\n"
                     "       pixbarctl [--ports-dir DIR] --port NAME [--address N] COMMAND "
                     "[arguments]\n"
                     "commands on files:\n");
    printCommands(to, false);
    for (const CommandEntry& c : kCommands) {
        if (c.sign) continue;
        bool any = false;
        for (const OptionEntry& o : kOptions) any = any || o.command == c.name;
        if (!any) continue;
        std::fprintf(to, "%.*s options:\n", int(c.name.size()), c.name.data());
        printOptions(to, c.name);
    }
    std::fprintf(to, "commands to a sign:\n");
    printCommands(to, true);
    std::fprintf(to, "sign options (before COMMAND):\n");
    printOptions(to, "");
    std::fprintf(to, "sync options:\n");
    printOptions(to, "sync");
    std::fprintf(to,
                 "render and the data files: the current folder when it holds them, else the\n"
                 "  program's folder, ../share/pixbar4designer beside it, or XDG_DATA_DIRS\n"
                 "exit code: 0 ok, 1 no reply (render, decode, compose: a file cannot be read\n"
                 "           or written), 2 rejected, 100 bad slot, 101 text too long,\n"
                 "           10 port cannot be opened, 64 wrong arguments\n");
}

} // namespace pixbarctl
