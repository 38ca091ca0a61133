// pixbarctl compose and decode, and message texts given to render, run as a user runs them.
#include "rendertesting.h"

using namespace playertest;
using rendertest::Outcome;
using rendertest::readAll;
using rendertest::RunPixbarctl;

namespace {

void put(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

} // namespace

TEST(ComposeCommand, TheExampleComposesAndDecodesBack) {
    TempDir dir;
    put(dir.path() / "a.txt", "{effect 1}{inverse}{font 2}AB{time}\n");
    const Outcome composed = RunPixbarctl(dir.path(), "compose a.txt -o a.kom");
    ASSERT_EQ(composed.code, 0) << composed.err;
    std::string expected = "\xF0\x10\x01\x01\x50\x81\x02\x41\x02\x42\x12\xFF";
    expected.resize(1024, '\0');
    EXPECT_EQ(readAll(dir.path() / "a.kom"), expected);
    const Outcome decoded = RunPixbarctl(dir.path(), "decode a.kom");
    EXPECT_EQ(decoded.code, 0) << decoded.err;
    EXPECT_EQ(decoded.out, "{effect 1}{inverse}{font 2}AB{time}\n");
}

TEST(ComposeCommand, AnErrorNamesItsPlaceAndWritesNothing) {
    TempDir dir;
    put(dir.path() / "msg.txt", "Oferta dnia\n\n{font 2}Malinowe{efect 3}\n");
    put(dir.path() / "old.kom", "kept");
    const Outcome run = RunPixbarctl(dir.path(), "compose msg.txt -o old.kom");
    EXPECT_EQ(run.code, 64);
    EXPECT_EQ(run.err, "msg.txt:3:17: unknown item {efect 3}\n");
    EXPECT_EQ(readAll(dir.path() / "old.kom"), "kept");
    const Outcome set = RunPixbarctl(dir.path(), "compose - -o new.kom", "[message 1]\nA\n");
    EXPECT_EQ(set.code, 64);
    EXPECT_EQ(set.err,
              "<stdin>:1:1: this text is a message set ([message N] sections), not one message\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "new.kom"));
}

TEST(ComposeCommand, ASetFromStandardInputAndBack) {
    TempDir dir;
    const std::string text = "[message 2]\n{kind upper}\nZażółć{pause}\n\n[message 8]\n{gfx 1}\n";
    const Outcome composed = RunPixbarctl(dir.path(), "compose - -o day.KZB", text);
    ASSERT_EQ(composed.code, 0) << composed.err;
    const std::string bytes = readAll(dir.path() / "day.KZB");
    ASSERT_EQ(bytes.size(), 8192u);
    EXPECT_EQ(bytes.substr(1024, 6), "\x03Z\x03"
                                     "a\x03\xBF");
    EXPECT_EQ(bytes[2047], '\x01');
    EXPECT_EQ(bytes.substr(7168, 2), "\x0D\x01");
    const Outcome decoded = RunPixbarctl(dir.path(), "decode day.KZB");
    EXPECT_EQ(decoded.code, 0) << decoded.err;
    EXPECT_NE(decoded.out.find("[message 2]\n{kind upper}\nZażółć{pause}\n\n[message 3]\n"),
              std::string::npos)
        << decoded.out;
    EXPECT_EQ(RunPixbarctl(dir.path(), "decode missing.kom").code, 1);
    EXPECT_EQ(RunPixbarctl(dir.path(), "compose - -o x.txt", "A").code, 64);
}

TEST(ComposeCommand, ABlankTextIsASetOfEightEmptyMessages) {
    TempDir dir;
    // The set the text form itself calls empty: one section named, the other seven left out.
    const Outcome named = RunPixbarctl(dir.path(), "compose - -o named.kzb", "[message 1]\n");
    ASSERT_EQ(named.code, 0) << named.err;
    const std::string emptySet = readAll(dir.path() / "named.kzb");
    ASSERT_EQ(emptySet.size(), 8192u);

    for (const std::string blank : {"", "\n", "  \t\r\n\n", "\xEF\xBB\xBF\n"}) {
        SCOPED_TRACE("\"" + blank + "\"");
        put(dir.path() / "blank.txt", blank);
        const Outcome composed = RunPixbarctl(dir.path(), "compose blank.txt -o blank.kzb");
        ASSERT_EQ(composed.code, 0) << composed.err;
        EXPECT_EQ(composed.err, "");
        EXPECT_EQ(readAll(dir.path() / "blank.kzb"), emptySet);
        const Outcome piped = RunPixbarctl(dir.path(), "compose - -o piped.kzb", blank);
        ASSERT_EQ(piped.code, 0) << piped.err;
        EXPECT_EQ(readAll(dir.path() / "piped.kzb"), emptySet);

        // Decoded, it names all eight messages, and composes back to the same bytes.
        const Outcome decoded = RunPixbarctl(dir.path(), "decode blank.kzb");
        ASSERT_EQ(decoded.code, 0) << decoded.err;
        for (int n = 1; n <= 8; ++n)
            EXPECT_NE(decoded.out.find("[message " + std::to_string(n) + "]"), std::string::npos);
        const Outcome again = RunPixbarctl(dir.path(), "compose - -o again.kzb", decoded.out);
        ASSERT_EQ(again.code, 0) << again.err;
        EXPECT_EQ(readAll(dir.path() / "again.kzb"), emptySet);

        // As one message it stays one record, its spaces and tabs cells as before.
        const Outcome one = RunPixbarctl(dir.path(), "compose blank.txt -o one.kom");
        ASSERT_EQ(one.code, 0) << one.err;
        const bool noCells = blank.find_first_of(" \t") == std::string::npos;
        EXPECT_EQ(readAll(dir.path() / "one.kom") == emptySet.substr(0, 1024), noCells);
    }
}

TEST(RenderCommand, ATextPlaysAsTheRecordItDescribes) {
    TempDir dir;
    writeTestFonts(dir.path());
    put(dir.path() / "m.txt", "{effect 2}{font 2}I{inverse}I");
    ASSERT_EQ(RunPixbarctl(dir.path(), "compose m.txt -o m.kom").code, 0);
    const std::string options = " --width 2 --ticks 40 --text";
    const Outcome fromText = RunPixbarctl(dir.path(), "render m.txt" + options);
    const Outcome fromRecord = RunPixbarctl(dir.path(), "render m.kom" + options);
    EXPECT_EQ(fromText.code, 0) << fromText.err;
    EXPECT_EQ(fromText.out, fromRecord.out);
    EXPECT_NE(fromText.out.find('#'), std::string::npos) << fromText.out;

    put(dir.path() / "s.txt", "[message 2]\n{effect 2}{font 2}I{inverse}I\n");
    const Outcome page = RunPixbarctl(dir.path(), "render s.txt --message 2" + options);
    EXPECT_EQ(page.out, fromRecord.out) << page.err;
    const Outcome bad = RunPixbarctl(dir.path(), "render m.txt --message 2" + options);
    EXPECT_EQ(bad.code, 64);
}
