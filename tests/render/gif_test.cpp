#include "gifreader.h"
#include "rendertesting.h"

#include <QImage>

using namespace playertest;
using namespace rendertest;
using giftest::Animation;
using giftest::hundredths;

namespace {

constexpr std::uint32_t kRed = 0xFF2F2F;

/// The pictures of a `--text` strip, each as its rows.
std::vector<std::vector<std::string>> textPictures(const std::string& out) {
    std::vector<std::vector<std::string>> pictures(1);
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (line.empty())
            pictures.emplace_back();
        else
            pictures.back().push_back(line);
    }
    return pictures;
}

struct Strip {
    std::uint64_t first = 0;
    std::uint64_t every = 1;
    std::uint64_t count = 1;
    std::vector<std::string> args() const {
        return {"--ticks", std::to_string(first), "--every", std::to_string(every),
                "--count", std::to_string(count)};
    }
};

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

/// Checks that the frame a viewer shows at each tick of `strip` is the picture `--text` gives
/// for that tick, LED by LED, with LED pitch `pitch`.
void expectShowsTextAtEveryTick(const Animation& gif, const Strip& strip,
                                const std::vector<std::vector<std::string>>& pictures, int pitch,
                                const std::string& what) {
    ASSERT_EQ(pictures.size(), strip.count) << what;
    for (std::uint64_t n = 0; n < strip.count; ++n) {
        const std::uint64_t tick = strip.first + n * strip.every;
        const int f = giftest::frameAt(gif, hundredths(tick) - hundredths(strip.first));
        ASSERT_GE(f, 0) << what << " tick " << tick;
        const auto& rows = pictures[n];
        for (std::size_t y = 0; y < rows.size(); ++y)
            for (std::size_t x = 0; x < rows[y].size(); ++x)
                ASSERT_EQ(gif.at(std::size_t(f), int(x) * pitch, int(y) * pitch) == kRed,
                          rows[y][x] == '#')
                    << what << " tick " << tick << " LED " << x << "," << y;
    }
}

/// Runs of equal pictures in a row: what the frames of a merged strip should number.
std::size_t runs(const std::vector<std::vector<std::string>>& pictures) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < pictures.size(); ++i) n += i == 0 || pictures[i] != pictures[i - 1];
    return n;
}

struct Case {
    std::string name;
    std::string file;
    std::vector<MessageRecord> records;
    int width;
    int height;
    Strip strip;
};

} // namespace

TEST(GifExport, FramesAreThePngAndTextPicturesOfTheSameTicks) {
    std::vector<MessageRecord> pair(kPageCount);
    pair[0] = Message().text(2, "HI IH").kind(MessageKind::Upper);
    pair[1] = Message().effect(EffectCode::StandingText).text(2, "I").pause(1).text(2, "H");
    const std::vector<Case> cases{
        {"24 x 16 scroller",
         "m.kom",
         {Message().text(7, "HI IH").inverse().text(2, "HI")},
         24,
         16,
         {3, 2, 60}},
        {"8 x 8 standing text and slide",
         "m.kom",
         {Message()
              .effect(EffectCode::StandingText)
              .text(2, "HI")
              .effect(EffectCode::SlideFromBottom)
              .text(2, "IH")},
         8,
         8,
         {0, 7, 60}},
        {"upper and lower pair", "set.kzb", pair, 3, 16, {1, 3, 70}},
    };
    for (const Case& c : cases) {
        Folder f;
        f.write(c.file, c.records);
        const std::vector<std::string> sign{c.file, "--width", std::to_string(c.width), "--height",
                                            std::to_string(c.height)};
        const Outcome gifRun =
            f.render(sign + c.strip.args() + std::vector<std::string>{"--gif", "a.gif"});
        ASSERT_EQ(gifRun.code, 0) << c.name << gifRun.err;
        EXPECT_EQ(gifRun.out, "");
        const Outcome textRun =
            f.render(sign + c.strip.args() + std::vector<std::string>{"--text"});
        const Outcome pngRun =
            f.render(sign + c.strip.args() + std::vector<std::string>{"--png", "a.png"});
        ASSERT_EQ(textRun.code, 0);
        ASSERT_EQ(pngRun.code, 0);

        const Animation gif = giftest::readAnimation(f.path() / "a.gif");
        ASSERT_TRUE(gif.ok) << c.name;
        SignGeometry g;
        g.set(c.width, c.height);
        const int pitch = LedPitch(g);
        EXPECT_EQ(gif.width, 8 * c.width * pitch) << c.name;
        EXPECT_EQ(gif.height, c.height * pitch) << c.name;
        EXPECT_EQ(gif.colours, 4) << c.name;
        EXPECT_TRUE(gif.loops) << c.name;
        EXPECT_EQ(gif.totalDelay(), hundredths(c.strip.first + c.strip.count * c.strip.every) -
                                        hundredths(c.strip.first))
            << c.name;

        const auto pictures = textPictures(textRun.out);
        EXPECT_EQ(gif.frames.size(), runs(pictures)) << c.name;
        expectShowsTextAtEveryTick(gif, c.strip, pictures, pitch, c.name);

        // Pixel for pixel the PNG's LED bitmap, cropped to the sign.
        QImage png(QString::fromStdString((f.path() / "a.png").string()));
        ASSERT_EQ(png.height(), int(c.strip.count) * kLedBitmapHeight);
        for (std::uint64_t n = 0; n < c.strip.count; ++n) {
            const std::uint64_t tick = c.strip.first + n * c.strip.every;
            const auto frame =
                std::size_t(giftest::frameAt(gif, hundredths(tick) - hundredths(c.strip.first)));
            int differ = 0;
            for (int y = 0; y < gif.height; ++y)
                for (int x = 0; x < gif.width; ++x)
                    differ += gif.at(frame, x, y) !=
                              (png.pixel(x, int(n) * kLedBitmapHeight + y) & 0xFFFFFF);
            EXPECT_EQ(differ, 0) << c.name << " tick " << tick;
        }

        // After the first frame only the rectangle that changed is stored.
        for (std::size_t i = 1; i < gif.frames.size(); ++i) {
            int left = gif.width, top = gif.height, right = -1, bottom = -1;
            for (int y = 0; y < gif.height; ++y)
                for (int x = 0; x < gif.width; ++x)
                    if (gif.at(i, x, y) != gif.at(i - 1, x, y)) {
                        left = std::min(left, x);
                        right = std::max(right, x);
                        top = std::min(top, y);
                        bottom = std::max(bottom, y);
                    }
            const auto& fr = gif.frames[i];
            EXPECT_EQ(fr.disposal, DISPOSE_DO_NOT);
            EXPECT_EQ(std::vector<int>({fr.left, fr.top, fr.width, fr.height}),
                      std::vector<int>({left, top, right - left + 1, bottom - top + 1}))
                << c.name << " frame " << i;
        }
    }
}

TEST(GifExport, WithoutAStripTheFirstPassIsShown) {
    // "I" in an 8-pixel font at speed 2: it moves in at tick 0, then a pixel every 2 ticks,
    // and the second pass reads it again after 8 steps, at tick 16.
    Folder f;
    f.write("m.kom", {Message().text(2, "I")});
    ASSERT_EQ(f.render({"m.kom", "--width", "1", "--gif", "a.gif"}).code, 0);
    const Animation gif = giftest::readAnimation(f.path() / "a.gif");
    ASSERT_TRUE(gif.ok);
    EXPECT_EQ(gif.totalDelay(), hundredths(16));
    EXPECT_EQ(gif.frames.size(), 8u);
    const Strip strip{0, 1, 16};
    const Outcome text =
        f.render(std::vector<std::string>{"m.kom", "--width", "1", "--text"} + strip.args());
    expectShowsTextAtEveryTick(gif, strip, textPictures(text.out), 7, "scroller pass");

    // Standing lines with pauses merge into a few long frames; an upper message waits for
    // the pass of the page below it too.
    std::vector<MessageRecord> pair(kPageCount);
    pair[0] = Message().effect(EffectCode::StandingText).text(2, "H").kind(MessageKind::Upper);
    pair[1] = Message()
                  .effect(EffectCode::StandingText)
                  .text(2, "I")
                  .effect(EffectCode::StandingText)
                  .text(2, "H");
    f.write("set.kzb", pair);
    ASSERT_EQ(f.render({"set.kzb", "--width", "2", "--height", "16", "--gif", "b.gif"}).code, 0);
    const Animation standing = giftest::readAnimation(f.path() / "b.gif");
    ASSERT_TRUE(standing.ok);
    // The upper line begins its second pass after one pause, the lower one after two.
    const std::uint64_t end = 2 * kPauseUnitTicks;
    EXPECT_GE(standing.totalDelay(), hundredths(end));
    EXPECT_LT(standing.totalDelay(), hundredths(end + kPauseUnitTicks));
    EXPECT_LE(standing.frames.size(), 3u);
    const Strip all{0, 1, end};
    const Outcome lines =
        f.render(std::vector<std::string>{"set.kzb", "--width", "2", "--height", "16", "--text"} +
                 all.args());
    expectShowsTextAtEveryTick(standing, all, textPictures(lines.out), LedPitch({2, 16, 4}),
                               "standing pair");
}

TEST(GifExport, PicturesShorterThanViewersShowAreLeftOut) {
    // At speed 1 the scroller moves every 12 ms; frames shorter than 20 ms would be shown for
    // 100 ms by viewers, so every frame lasts at least 2 hundredths and still shows the
    // picture of the tick it begins at.
    Folder f;
    f.write("m.kom", {Message().text(2, "HIH")});
    const Strip strip{0, 1, 50};
    const std::vector<std::string> sign{"m.kom", "--width", "2", "--speed", "1"};
    const int pitch = LedPitch({2, 8, 4});
    ASSERT_EQ(f.render(sign + strip.args() + std::vector<std::string>{"--gif", "a.gif"}).code, 0);
    const auto pictures =
        textPictures(f.render(sign + strip.args() + std::vector<std::string>{"--text"}).out);
    const Animation gif = giftest::readAnimation(f.path() / "a.gif");
    ASSERT_TRUE(gif.ok);
    EXPECT_EQ(gif.totalDelay(), hundredths(50));
    int start = 0;
    for (std::size_t i = 0; i < gif.frames.size(); ++i) {
        EXPECT_GE(gif.frames[i].delay, 2) << i;
        std::uint64_t tick = 0;
        while (hundredths(tick) < start) ++tick;
        ASSERT_EQ(hundredths(tick), start) << "frames begin on a tick";
        const auto& rows = pictures[tick];
        for (std::size_t y = 0; y < rows.size(); ++y)
            for (std::size_t x = 0; x < rows[y].size(); ++x)
                ASSERT_EQ(gif.at(i, int(x) * pitch, int(y) * pitch) == kRed, rows[y][x] == '#')
                    << "frame " << i << " tick " << tick;
        start += gif.frames[i].delay;
    }
}
