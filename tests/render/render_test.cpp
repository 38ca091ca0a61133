#include "rendertesting.h"

using namespace playertest;
using namespace rendertest;

namespace {

std::string text(const std::vector<std::string>& rows) {
    std::string s;
    for (const auto& r : rows) s += r + "\n";
    return s;
}

std::string repeatRow(const std::string& row, int n) {
    return text(std::vector<std::string>(std::size_t(n), row));
}

} // namespace

TEST(RenderCommand, ScrollerAtTickZeroAndAFilmStrip) {
    Folder f;
    f.write("m.kom", {Message().text(2, "I")});
    const Outcome first = f.render({"m.kom", "--width", "1", "--ticks", "0"});
    EXPECT_EQ(first.code, 0) << first.err;
    EXPECT_EQ(first.out, repeatRow(".......#", 8));
    EXPECT_EQ(first.err, "");

    const Outcome strip = f.render(
        {"m.kom", "--width", "1", "--ticks", "2", "--every", "4", "--count", "3", "--text"});
    EXPECT_EQ(strip.code, 0);
    EXPECT_EQ(strip.out, repeatRow("......#.", 8) + "\n" + repeatRow("....#...", 8) + "\n" +
                             repeatRow("..#.....", 8));
}

TEST(RenderCommand, DefaultsAreEightRegistersEightRowsSpeedTwo) {
    Folder f;
    f.write("m.kom", {Message().text(2, "I")});
    const Outcome r = f.render({"m.kom", "--ticks", "3"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, repeatRow(std::string(62, '.') + "#.", 8));
}

TEST(RenderCommand, MatchesThePlayerForEveryEffect) {
    for (int code = 1; code <= kEffectCodeCount; ++code) {
        const Message m = Message()
                              .effect(EffectCode(code))
                              .text(2, "DI")
                              .effect(EffectCode::StandingText)
                              .text(2, "H");
        Folder f;
        f.write("m.kom", {m});
        Bench b(2, 16);
        b.settings.speed = 3;
        b.play(m);
        for (std::uint64_t t : {0, 7, 30, 200}) {
            b.runTo(t);
            const Outcome r = f.render({"m.kom", "--width", "2", "--height", "16", "--speed", "3",
                                        "--ticks", std::to_string(t)});
            EXPECT_EQ(r.code, 0);
            EXPECT_EQ(r.out, text(b.shown())) << "effect " << code << " tick " << t;
        }
    }
}

TEST(RenderCommand, MessageSetPlaysUpperPageEightWithPageOneBelow) {
    Folder f;
    std::vector<MessageRecord> pages(kPageCount);
    pages[7] = Message().effect(EffectCode::StandingText).text(2, "I").kind(MessageKind::Upper);
    pages[0] = Message().effect(EffectCode::StandingText).text(2, "H");
    f.write("set.kzb", pages);
    const Outcome r =
        f.render({"set.kzb", "--message", "8", "--width", "1", "--height", "16", "--ticks", "2"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, repeatRow("#.......", 8) + repeatRow("########", 8));
}

TEST(RenderCommand, NowFillsTheFields) {
    Folder f;
    const Message m = Message().effect(EffectCode::StandingText).time(2).text(2, " ");
    f.write("m.kom", {m});
    Bench b(6, 8);
    const Outcome r =
        f.render({"m.kom", "--width", "6", "--ticks", "2", "--now", "2026-12-06 09:05"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, text(b.reference(1, "09:05 ")));
}

TEST(RenderCommand, SwitchingEndKeepsTheLastPicture) {
    Folder f;
    f.write("m.kom", {Message().text(2, "II")});
    const Outcome r =
        f.render({"m.kom", "--width", "1", "--switching", "1", "--display", "0", "--ticks", "500"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, repeatRow(".......#", 8));
}

TEST(RenderCommand, PixelsAreRepeatable) {
    Folder f;
    f.write("m.kom", {Message().effect(EffectCode::Pixels).text(2, "HHH")});
    const std::vector<std::string> args{"m.kom", "--width", "3", "--ticks", "10"};
    const Outcome a = f.render(args);
    const Outcome b = f.render(args);
    EXPECT_EQ(a.code, 0);
    EXPECT_EQ(a.out, b.out);
    EXPECT_NE(a.out.find('#'), std::string::npos);
}

TEST(RenderCommand, LowerMessageLeavesTheSignDark) {
    Folder f;
    f.write("m.kom", {Message().text(2, "H").kind(MessageKind::Lower)});
    const Outcome r = f.render({"m.kom", "--width", "1", "--height", "16", "--ticks", "50"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, repeatRow("........", 16));
}

TEST(RenderCommand, EmptyPageBelowAnUpperMessageDoesNotHang) {
    Folder f;
    f.write("m.kom",
            {Message().effect(EffectCode::StandingText).text(2, "H").kind(MessageKind::Upper)});
    const Outcome r = f.render({"m.kom", "--width", "1", "--height", "16", "--ticks", "20000"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, repeatRow("########", 8) + repeatRow("........", 8));
}

TEST(RenderCommand, PngHoldsTheLedBitmapOfEachPicture) {
    Folder f;
    f.write("m.kom", {Message().text(2, "I")});
    const Outcome r = f.render({"m.kom", "--png", "out.png", "--every", "5", "--count", "2"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    const std::string png = readAll(f.path() / "out.png");
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    auto be32 = [&](std::size_t at) {
        return (std::uint32_t(std::uint8_t(png[at])) << 24) |
               (std::uint32_t(std::uint8_t(png[at + 1])) << 16) |
               (std::uint32_t(std::uint8_t(png[at + 2])) << 8) |
               std::uint32_t(std::uint8_t(png[at + 3]));
    };
    EXPECT_EQ(be32(16), std::uint32_t(kLedBitmapWidth));
    EXPECT_EQ(be32(20), std::uint32_t(2 * kLedBitmapHeight));
}

TEST(RenderCommand, BadArgumentsAndFilesGiveOneLineAndAnError) {
    Folder f;
    f.write("m.kom", {Message().text(2, "I")});
    f.write("short.kom", {});
    writeFile(f.path() / "short.kom", std::vector<std::uint8_t>(100, 0x41));
    f.write("set.kzb", std::vector<MessageRecord>(kPageCount));
    const std::vector<std::vector<std::string>> bad{
        {},
        {"m.kom", "--width", "25"},
        {"m.kom", "--width", "x"},
        {"m.kom", "--height", "12"},
        {"m.kom", "--speed", "0"},
        {"m.kom", "--display", "135"},
        {"m.kom", "--switching", "2"},
        {"m.kom", "--ticks", "-1"},
        {"m.kom", "--every", "3"},
        {"m.kom", "--count", "3"},
        {"m.kom", "--text", "--png", "x.png"},
        {"m.kom", "--now", "2026-02-30 10:00"},
        {"m.kom", "--now", "2026-12-06"},
        {"m.kom", "--message", "2"},
        {"set.kzb", "--message", "0"},
        {"m.kom", "--unknown"},
        {"m.kom", "m.kom"},
        {"m.txt"},
        {"missing.kom"},
        {"short.kom"},
        {"m.kom", "--png", "no/such/folder/out.png"},
        {"m.kom", "--gif", ""},
        {"m.kom", "--gif", "a.gif", "--text"},
        {"m.kom", "--gif", "a.gif", "--png", "a.png"},
        {"m.kom", "--gif", "no/such/folder/a.gif"},
    };
    for (const auto& args : bad) {
        const Outcome r = f.render(args);
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        EXPECT_NE(r.code, 0) << joined;
        EXPECT_EQ(r.out, "") << joined;
        ASSERT_FALSE(r.err.empty()) << joined;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << joined << r.err;
    }
}

TEST(RenderCommand, MissingFontsAreReported) {
    Folder f;
    f.write("m.kom", {Message().text(2, "I")});
    std::filesystem::remove(f.path() / "font8x16rl.fnt");
    // Named, so that no installed data folder stands in for the incomplete one.
    const Outcome r = f.render({"m.kom", "--data", "."});
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find("font8x16rl.fnt"), std::string::npos) << r.err;
}

TEST(RenderCommand, UserFontShowsFontFourteen) {
    Folder f;
    f.write("m.kom", {Message().text(14, "A")});
    // A headed 8 x 8 font of 128 glyphs (16-bit words: header size, 0, width, height,
    // reserved, count) whose "A" is a full block.
    std::vector<std::uint8_t> font = {12, 0, 0, 0, 8, 0, 8, 0, 0, 0, 128, 0};
    font.resize(12 + 128 * 8, 0);
    std::fill_n(font.begin() + 12 + 'A' * 8, 8, 0xFF);
    writeFile(f.path() / "blok.fnd", font);
    writeFile(f.path() / "zly.fnd", {1, 2, 3});

    const std::vector<std::string> at = {"m.kom", "--width", "1", "--ticks", "14"};
    const Outcome without = f.render(at);
    EXPECT_EQ(without.code, 0) << without.err;
    EXPECT_EQ(without.out, repeatRow("........", 8)); // no font 14: nothing to draw
    std::vector<std::string> with = at;
    with.insert(with.end(), {"--user-font", "blok.fnd"});
    const Outcome r = f.render(with);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, repeatRow("########", 8));

    for (const char* bad : {"zly.fnd", "brak.fnd", ""}) {
        std::vector<std::string> args = at;
        args.insert(args.end(), {"--user-font", bad});
        const Outcome e = f.render(args);
        EXPECT_NE(e.code, 0) << bad;
        EXPECT_EQ(e.out, "") << bad;
        EXPECT_EQ(std::count(e.err.begin(), e.err.end(), '\n'), 1) << bad << e.err;
    }
}
