#pragma once

// Every command and option of pixbarctl in one place: the help is printed from these tables
// and the commands are let through by them, so the help cannot leave one out.

#include <cstdio>
#include <string_view>

namespace pixbarctl {

/// The exit status of wrong arguments, for every command.
inline constexpr int kExitUsage = 64;

/// One command: its name, what follows it and what it does.
struct CommandEntry {
    std::string_view name;
    std::string_view arguments;
    std::string_view what;
    bool sign; ///< talks to a sign over --port NAME (or lists the ports)
};

/// One option of a command: its name, its value and what it sets.
struct OptionEntry {
    std::string_view command; ///< "" for the sign options given before COMMAND
    std::string_view name;
    std::string_view value;
    std::string_view what;
};

inline constexpr CommandEntry kCommands[] = {
    {"render", "FILE [options]", "play a message (*.kom, *.kzb, *.txt) without a window", false},
    {"decode", "FILE.kom|FILE.kzb", "print the text form of a message or a message set", false},
    {"compose", "TEXT|- -o OUT.kom|OUT.kzb", "write the message or set a text describes", false},
    {"ports", "", "list the COM ports (writes com-ports.dump)", true},
    {"identify", "", "ask the sign for its serial number", true},
    {"info", "", "serial number, width, height, version", true},
    {"clock", "", "set the sign's clock to the local time", true},
    {"config", "BRIGHTNESS SPEED POSITION", "1..100, 1..20, 0..134", true},
    {"send-message", "N FILE.kom|.txt", "message N (1..8) in blocks", true},
    {"send-set", "FILE.kzb|.txt", "messages 1..8 in blocks", true},
    {"send-font", "FILE.fnd", "the user font", true},
    {"send-symbols", "[FILE]", "the graphic symbol table (gfx_symbols.bin)", true},
    {"store", "SLOT FILE.kom", "the message in one frame into slot 1..9", true},
    {"show", "SLOT", "show slot 1..9", true},
    {"text", "SLOT TEXT", "a text (UTF-8, sent in code page 1250)", true},
    {"sync", "[options]", "file sync mode until SIGTERM/SIGINT", true},
};

inline constexpr OptionEntry kOptions[] = {
    {"", "--port", "NAME", "COMn, a device path, or tcp:HOST:PORT / tcp:[IPv6]:PORT"},
    {"", "--ports-dir", "DIR", "the folder of the port links (default: ports)"},
    {"", "--address", "N", "the sign's serial number (default 1)"},
    {"render", "--message", "N", "page N (1..8) of a set (*.kzb, or a text with sections)"},
    {"render", "--width", "W", "W registers of 8 pixels, 1..24 (default 8)"},
    {"render", "--height", "H", "8 or 16 pixels (default 8)"},
    {"render", "--speed", "V", "scroll speed of the preview, 1..20 (default 2)"},
    {"render", "--display", "P", "display time position, 0..134 (default 2)"},
    {"render", "--switching", "0|1", "the switching flag of the preview (default 0)"},
    {"render", "--ticks", "T", "play T ticks of 12 ms first (default 0)"},
    {"render", "--every", "K", "with --count: a picture every K ticks"},
    {"render", "--count", "N", "with --every: N pictures (1..10000)"},
    {"render", "--now", "\"YYYY-MM-DD HH:MM\"", "the time of time and date fields"},
    {"render", "--user-font", "FILE.fnd", "font 14, as \"Czcionkę użytkownika\" loads it"},
    {"render", "--data", "DIR", "the folder of the fonts and symbols (default: found)"},
    {"render", "--text", "", "print the sign as text (the default)"},
    {"render", "--png", "OUT.png", "write the sign's LEDs as a picture"},
    {"render", "--gif", "OUT.gif", "write an animated GIF at the sign's speed"},
    {"compose", "-o", "OUT", "the output, *.kom or *.kzb (also --output)"},
    {"sync", "--file", "DATA", "the data file (default: from as.cfg, else dane.txt)"},
    {"sync", "--config", "as.cfg", "the window's settings file (default: as.cfg)"},
};

/// The command called `name`, or nullptr.
constexpr const CommandEntry* findCommand(std::string_view name) {
    for (const CommandEntry& c : kCommands)
        if (c.name == name) return &c;
    return nullptr;
}

/// The option `name` of `command` ("" for the sign options), or nullptr.
constexpr const OptionEntry* findOption(std::string_view command, std::string_view name) {
    for (const OptionEntry& o : kOptions)
        if (o.command == command && o.name == name) return &o;
    return nullptr;
}

/// Prints every command with its options.
void printHelp(std::FILE* to);

} // namespace pixbarctl
