#pragma once

// Runs `pixbarctl` as a program, the way a user runs it, in a working folder holding
// the tests' own fonts.

#include "player_fixture.h"

#include <cstdio>
#include <sstream>
#include <sys/wait.h>

namespace rendertest {

using namespace playertest;

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
};

inline std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline std::string readAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

/// Runs the shell command `line` in `dir`, `input` on standard input.
inline Outcome RunCommand(const std::filesystem::path& dir, const std::string& line,
                          const std::string& input = "") {
    std::ofstream(dir / "stdin.txt", std::ios::binary) << input;
    const std::string command =
        "cd " + quote(dir.string()) + " && " + line + " <stdin.txt 2>stderr.txt";
    Outcome run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) run.out.append(buf, n);
    const int status = pclose(pipe);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = readAll(dir / "stderr.txt");
    std::filesystem::remove(dir / "stdin.txt");
    std::filesystem::remove(dir / "stderr.txt");
    return run;
}

/// Runs `pixbarctl ARGS` in `dir` (ARGS as the shell reads them), `input` on standard input.
inline Outcome RunPixbarctl(const std::filesystem::path& dir, const std::string& args,
                            const std::string& input = "") {
    return RunCommand(dir, PIXBARCTL " " + args, input);
}

/// A working folder with the test fonts, where pixbarctl runs.
class Folder {
public:
    Folder() { writeTestFonts(m_dir.path()); }
    std::filesystem::path path() const { return m_dir.path(); }

    void write(const std::string& name, const std::vector<MessageRecord>& records) {
        std::vector<std::uint8_t> bytes;
        for (const MessageRecord& r : records)
            bytes.insert(bytes.end(), r.bytes.begin(), r.bytes.end());
        writeFile(m_dir.path() / name, bytes);
    }

    Outcome render(const std::vector<std::string>& args) const {
        std::string command = "render";
        for (const std::string& a : args) command += " " + quote(a);
        return RunPixbarctl(m_dir.path(), command);
    }

private:
    TempDir m_dir;
};

} // namespace rendertest
