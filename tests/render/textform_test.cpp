// pixbarctl compose and decode, and message texts given to render, run as a user runs them.
#include "player_fixture.h"

#include <cstdio>
#include <sstream>
#include <sys/wait.h>

using namespace playertest;

namespace {

struct CtlRun {
    int code = -1;
    std::string out;
    std::string err;
};

std::string slurp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void put(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

/// Runs `pixbarctl ARGS` in `dir` (ARGS as the shell reads them), `input` on standard input.
CtlRun pixbarctl(const std::filesystem::path& dir, const std::string& args,
                 const std::string& input = "") {
    put(dir / "stdin.txt", input);
    const std::string command =
        "cd '" + dir.string() + "' && " PIXBARCTL " " + args + " <stdin.txt 2>stderr.txt";
    CtlRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) run.out.append(buf, n);
    const int status = pclose(pipe);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = slurp(dir / "stderr.txt");
    return run;
}

} // namespace

TEST(ComposeCommand, TheExampleComposesAndDecodesBack) {
    TempDir dir;
    put(dir.path() / "a.txt", "{effect 1}{inverse}{font 2}AB{time}\n");
    const CtlRun composed = pixbarctl(dir.path(), "compose a.txt -o a.kom");
    ASSERT_EQ(composed.code, 0) << composed.err;
    std::string expected = "\xF0\x10\x01\x01\x50\x81\x02\x41\x02\x42\x12\xFF";
    expected.resize(1024, '\0');
    EXPECT_EQ(slurp(dir.path() / "a.kom"), expected);
    const CtlRun decoded = pixbarctl(dir.path(), "decode a.kom");
    EXPECT_EQ(decoded.code, 0) << decoded.err;
    EXPECT_EQ(decoded.out, "{effect 1}{inverse}{font 2}AB{time}\n");
}

TEST(ComposeCommand, AnErrorNamesItsPlaceAndWritesNothing) {
    TempDir dir;
    put(dir.path() / "msg.txt", "Oferta dnia\n\n{font 2}Malinowe{efect 3}\n");
    put(dir.path() / "old.kom", "kept");
    const CtlRun run = pixbarctl(dir.path(), "compose msg.txt -o old.kom");
    EXPECT_EQ(run.code, 64);
    EXPECT_EQ(run.err, "msg.txt:3:17: unknown item {efect 3}\n");
    EXPECT_EQ(slurp(dir.path() / "old.kom"), "kept");
    const CtlRun set = pixbarctl(dir.path(), "compose - -o new.kom", "[message 1]\nA\n");
    EXPECT_EQ(set.code, 64);
    EXPECT_EQ(set.err,
              "<stdin>:1:1: this text is a message set ([message N] sections), not one message\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "new.kom"));
}

TEST(ComposeCommand, ASetFromStandardInputAndBack) {
    TempDir dir;
    const std::string text = "[message 2]\n{kind upper}\nZażółć{pause}\n\n[message 8]\n{gfx 1}\n";
    const CtlRun composed = pixbarctl(dir.path(), "compose - -o day.KZB", text);
    ASSERT_EQ(composed.code, 0) << composed.err;
    const std::string bytes = slurp(dir.path() / "day.KZB");
    ASSERT_EQ(bytes.size(), 8192u);
    EXPECT_EQ(bytes.substr(1024, 6), "\x03Z\x03"
                                     "a\x03\xBF");
    EXPECT_EQ(bytes[2047], '\x01');
    EXPECT_EQ(bytes.substr(7168, 2), "\x0D\x01");
    const CtlRun decoded = pixbarctl(dir.path(), "decode day.KZB");
    EXPECT_EQ(decoded.code, 0) << decoded.err;
    EXPECT_NE(decoded.out.find("[message 2]\n{kind upper}\nZażółć{pause}\n\n[message 3]\n"),
              std::string::npos)
        << decoded.out;
    EXPECT_EQ(pixbarctl(dir.path(), "decode missing.kom").code, 1);
    EXPECT_EQ(pixbarctl(dir.path(), "compose - -o x.txt", "A").code, 64);
}

TEST(RenderCommand, ATextPlaysAsTheRecordItDescribes) {
    TempDir dir;
    writeTestFonts(dir.path());
    put(dir.path() / "m.txt", "{effect 2}{font 2}I{inverse}I");
    ASSERT_EQ(pixbarctl(dir.path(), "compose m.txt -o m.kom").code, 0);
    const std::string options = " --width 2 --ticks 40 --text";
    const CtlRun fromText = pixbarctl(dir.path(), "render m.txt" + options);
    const CtlRun fromRecord = pixbarctl(dir.path(), "render m.kom" + options);
    EXPECT_EQ(fromText.code, 0) << fromText.err;
    EXPECT_EQ(fromText.out, fromRecord.out);
    EXPECT_NE(fromText.out.find('#'), std::string::npos) << fromText.out;

    put(dir.path() / "s.txt", "[message 2]\n{effect 2}{font 2}I{inverse}I\n");
    const CtlRun page = pixbarctl(dir.path(), "render s.txt --message 2" + options);
    EXPECT_EQ(page.out, fromRecord.out) << page.err;
    const CtlRun bad = pixbarctl(dir.path(), "render m.txt --message 2" + options);
    EXPECT_EQ(bad.code, 64);
}
