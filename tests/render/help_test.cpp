// pixbarctl --help and the manual page name every command the program runs and every option
// it takes: both are read from the tables that let commands and options through.

#include "commandtable.h"
#include "rendertesting.h"

#include <cctype>

using namespace playertest;
using namespace rendertest;
using pixbarctl::kCommands;
using pixbarctl::kOptions;

namespace {

/// How the manual page writes a word: roff needs every hyphen escaped.
std::string inRoff(std::string_view word) {
    std::string s;
    for (char c : word) s += c == '-' ? std::string("\\-") : std::string(1, c);
    return s;
}

/// `word` stands in `text` as a whole word, not as the start of a longer one.
bool namesWord(const std::string& text, const std::string& word) {
    for (std::size_t at = text.find(word); at != std::string::npos;
         at = text.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        if (end == text.size() || !(std::isalnum(static_cast<unsigned char>(text[end])) ||
                                    text[end] == '\\' || text[end] == '-'))
            return true;
    }
    return false;
}

bool hasLineStarting(const std::string& text, const std::string& start) {
    return text.starts_with(start) || text.find("\n" + start) != std::string::npos;
}

} // namespace

TEST(PixbarctlHelp, NamesEveryCommandAndOption) {
    TempDir dir;
    const Outcome help = RunPixbarctl(dir.path(), "--help");
    EXPECT_EQ(help.code, 0);
    EXPECT_EQ(help.err, "");
    for (const auto& c : kCommands) {
        SCOPED_TRACE(std::string(c.name));
        EXPECT_TRUE(hasLineStarting(help.out, "  " + std::string(c.name) + " ") ||
                    hasLineStarting(help.out, "  " + std::string(c.name) + "\n"))
            << help.out;
    }
    for (const auto& o : kOptions) {
        std::string shown(o.name);
        if (!o.value.empty()) shown += " " + std::string(o.value);
        EXPECT_TRUE(hasLineStarting(help.out, "  " + shown)) << shown;
    }
    // The same help, wherever it is asked for.
    for (const std::string args : {"-h", "render --help", "decode --help", "--port COM1 --help"}) {
        const Outcome again = RunPixbarctl(dir.path(), args);
        EXPECT_EQ(again.code, 0) << args;
        EXPECT_EQ(again.out, help.out) << args;
    }
    const Outcome bare = RunPixbarctl(dir.path(), "");
    EXPECT_EQ(bare.code, pixbarctl::kExitUsage);
    EXPECT_EQ(bare.err, help.out);
}

TEST(PixbarctlHelp, RunsEveryCommandOfTheTableAndNoOther) {
    TempDir dir;
    // Without their arguments or --port the commands stop before any sign is talked to.
    for (const auto& c : kCommands) {
        const Outcome r = RunPixbarctl(dir.path(), std::string(c.name));
        EXPECT_EQ(r.err.find("unknown command"), std::string::npos) << c.name << ": " << r.err;
    }
    for (const std::string word : {"frob", "Render", "send_set", "help", "list"}) {
        const Outcome r = RunPixbarctl(dir.path(), word);
        EXPECT_EQ(r.code, pixbarctl::kExitUsage) << word;
        EXPECT_NE(r.err.find("unknown command"), std::string::npos) << word << ": " << r.err;
    }
}

TEST(PixbarctlHelp, TakesEveryOptionOfTheTableAndNoOther) {
    TempDir dir;
    for (const auto& o : kOptions) {
        if (o.command != "render" && !o.command.empty()) continue;
        // The option without its value, or without a file: refused, but not as unknown.
        const std::string args = (o.command.empty() ? "" : "render ") + std::string(o.name);
        const Outcome r = RunPixbarctl(dir.path(), args);
        EXPECT_NE(r.code, 0) << args;
        EXPECT_EQ(r.err.find("unknown option"), std::string::npos) << args << ": " << r.err;
    }
    for (const std::string args : {"render --colour 1", "render --Text", "--baud 9600 info"}) {
        const Outcome r = RunPixbarctl(dir.path(), args);
        EXPECT_EQ(r.code, pixbarctl::kExitUsage) << args;
        EXPECT_NE(r.err.find("unknown option"), std::string::npos) << args << ": " << r.err;
    }
}

TEST(PixbarctlHelp, TheManualPageNamesEveryCommandAndOption) {
    const std::string page = readAll(PIXBAR_SOURCE_DIR "/packaging/man/pixbarctl.1");
    ASSERT_FALSE(page.empty());
    // Only the lines that set words in bold count, not the prose around them.
    std::vector<std::string> marked;
    std::istringstream lines(page);
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with(".B")) marked.push_back(line);
    const auto listed = [&](const std::string& word, bool first) {
        for (const std::string& line : marked) {
            const std::size_t space = line.find(' ');
            if (space == std::string::npos) continue;
            const std::string rest = line.substr(space + 1);
            if (first ? rest == word || rest.starts_with(word + " ") : namesWord(rest, word))
                return true;
        }
        return false;
    };
    for (const auto& c : kCommands) EXPECT_TRUE(listed(inRoff(c.name), true)) << c.name;
    for (const auto& o : kOptions) EXPECT_TRUE(listed(inRoff(o.name), false)) << o.name;
}
