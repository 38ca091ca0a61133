// pixbarctl render: plays a message on the emulated sign without a window and prints the
// picture after a given number of ticks, or a strip of pictures.

#include "commands.h"
#include "commandtable.h"

#include "filmstrip.h"
#include "gifanimation.h"
#include "preview.h"
#include "messagerecord.h"
#include "pixbar.h"
#include "player.h"
#include "previewdriver.h"
#include "timing.h"
#include "workingfolder.h"

#include <QImage>
#include <QString>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pixbarctl {

namespace {

using namespace pixbar;

constexpr int kExitFile = 1;
constexpr long long kMaxTicks = 100'000'000; // about two weeks of the sign's time
constexpr char kUsage[] =
    "usage: pixbarctl render FILE [--message N] [--width W] [--height H] [--speed V] "
    "[--display P] [--switching 0|1] [--ticks T] [--every K --count N] "
    "[--now \"YYYY-MM-DD HH:MM\"] [--user-font FILE.fnd] [--data DIR] "
    "[--text | --png OUT.png | --gif OUT.gif]";

struct Options {
    std::string file;
    std::optional<int> message;
    int width = 8;
    int height = 8;
    int speed = 2;
    int display = 2;
    int switching = 0;
    long long ticks = 0;
    std::optional<long long> every;
    std::optional<long long> count;
    std::optional<LocalDateTime> now;
    bool text = false;
    std::optional<std::string> png;
    std::optional<std::string> gif;
    std::optional<std::string> userFont; ///< font 14, as "Czcionkę użytkownika" loads it
    std::optional<std::string> data;     ///< the folder of the fonts and symbols, if named
};

/// Thrown with a one-line message for the user; `code` is the exit status.
struct Failure {
    std::string message;
    int code = kExitUsage;
};

long long parseNumber(std::string_view option, std::string_view value, long long min,
                      long long max) {
    long long n = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (ec != std::errc{} || end != value.data() + value.size() || n < min || n > max)
        throw Failure{std::string(option) + " needs a whole number from " + std::to_string(min) +
                      " to " + std::to_string(max) + ", not \"" + std::string(value) + "\""};
    return n;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

LocalDateTime parseNow(std::string_view value) {
    // YYYY-MM-DD HH:MM
    const Failure bad{"--now needs \"YYYY-MM-DD HH:MM\", not \"" + std::string(value) + "\""};
    if (value.size() != 16 || value[4] != '-' || value[7] != '-' || value[10] != ' ' ||
        value[13] != ':')
        throw bad;
    auto field = [&](std::size_t at, std::size_t length) {
        int n = 0;
        for (std::size_t i = at; i < at + length; ++i) {
            if (!std::isdigit(static_cast<unsigned char>(value[i]))) throw bad;
            n = n * 10 + (value[i] - '0');
        }
        return n;
    };
    LocalDateTime t{field(0, 4), field(5, 2), field(8, 2), field(11, 2), field(14, 2)};
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > daysInMonth(t.year, t.month) ||
        t.hour > 23 || t.minute > 59)
        throw bad;
    return t;
}

Options parseOptions(int argc, char** argv) {
    Options o;
    std::vector<std::string_view> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (!arg.starts_with("--")) {
            if (!o.file.empty()) throw Failure{"only one FILE may be given"};
            o.file = std::string(arg);
            continue;
        }
        std::string_view name = arg;
        std::optional<std::string_view> inlineValue;
        if (const auto eq = arg.find('='); eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
        }
        if (!findOption("render", name)) throw Failure{"unknown option " + std::string(name)};
        if (name == "--text") {
            o.text = true;
            continue;
        }
        std::string_view value;
        if (inlineValue) {
            value = *inlineValue;
        } else {
            if (i + 1 >= args.size()) throw Failure{std::string(name) + " needs a value"};
            value = args[++i];
        }
        if (name == "--message")
            o.message = int(parseNumber(name, value, 1, kPageCount));
        else if (name == "--width")
            o.width = int(parseNumber(name, value, 1, kMaxRegisters));
        else if (name == "--height") {
            o.height = int(parseNumber(name, value, 8, 16));
            if (o.height != 8 && o.height != 16) throw Failure{"--height is 8 or 16"};
        } else if (name == "--speed")
            o.speed = int(
                parseNumber(name, value, PreviewSettings::kMinSpeed, PreviewSettings::kMaxSpeed));
        else if (name == "--display")
            o.display = int(parseNumber(name, value, 0, PreviewSettings::kMaxDisplayTimePosition));
        else if (name == "--switching")
            o.switching = int(parseNumber(name, value, 0, 1));
        else if (name == "--ticks")
            o.ticks = parseNumber(name, value, 0, kMaxTicks);
        else if (name == "--every")
            o.every = parseNumber(name, value, 1, kMaxTicks);
        else if (name == "--count")
            o.count = parseNumber(name, value, 1, 10000);
        else if (name == "--now")
            o.now = parseNow(value);
        else if (name == "--user-font") {
            if (value.empty()) throw Failure{"--user-font needs a file name"};
            o.userFont = std::string(value);
        } else if (name == "--data") {
            if (value.empty()) throw Failure{"--data needs a folder name"};
            o.data = std::string(value);
        } else if (name == "--png") {
            if (value.empty()) throw Failure{"--png needs a file name"};
            o.png = std::string(value);
        } else if (name == "--gif") {
            if (value.empty()) throw Failure{"--gif needs a file name"};
            o.gif = std::string(value);
        } else
            throw Failure{"unknown option " + std::string(name)};
    }
    if (o.file.empty()) throw Failure{kUsage};
    if (o.text && o.png) throw Failure{"--text and --png cannot be used together"};
    if (o.gif && (o.text || o.png)) throw Failure{"--gif goes without --text and --png"};
    if (o.every.has_value() != o.count.has_value())
        throw Failure{"--every and --count go together"};
    if (o.every && o.ticks + *o.every * (*o.count - 1) > kMaxTicks)
        throw Failure{"the last picture would come after " + std::to_string(kMaxTicks) + " ticks"};
    return o;
}

std::string lowerExtension(const std::filesystem::path& file) {
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

/// The eight pages as the designer would hold them after loading FILE, and the page to play.
std::array<MessageRecord, kPageCount> loadPages(const Options& o, int& index) {
    const std::filesystem::path file(o.file);
    const std::string ext = lowerExtension(file);
    if (ext == ".txt") {
        // A message written as text: one record, or a set when it has [message N] sections.
        const ComposedTextFile text = composeTextFile(o.file, TextShape::Either);
        if (!text.error.empty()) throw Failure{text.error, text.code};
        if (!text.composed.isSet && o.message.value_or(1) != 1)
            throw Failure{"--message picks a page of a set (*.kzb, or a text with sections)"};
        index = o.message.value_or(1) - 1;
        return text.composed.records;
    }
    const bool set = ext == ".kzb";
    if (!set && ext != ".kom")
        throw Failure{o.file + ": not a message file (*.kom), message set (*.kzb) or text (*.txt)"};
    if (!set && o.message.value_or(1) != 1)
        throw Failure{"--message picks a page of a message set (*.kzb)"};

    std::ifstream in(file, std::ios::binary);
    if (!in) throw Failure{o.file + ": cannot be opened", kExitFile};
    const std::size_t expected = set ? kRecordSize * kPageCount : kRecordSize;
    std::vector<char> bytes(expected + 1);
    in.read(bytes.data(), std::streamsize(bytes.size()));
    const auto got = std::size_t(in.gcount());
    if (in.bad()) throw Failure{o.file + ": cannot be read", kExitFile};
    if (got != expected)
        throw Failure{
            o.file + ": a " + (set ? "message set" : "message file") + " holds " +
                std::to_string(expected) + " bytes" +
                (got > expected ? ", this one more" : ", this one " + std::to_string(got)),
            kExitFile};

    std::array<MessageRecord, kPageCount> pages{};
    const std::size_t records = set ? kPageCount : 1;
    for (std::size_t p = 0; p < records; ++p)
        std::copy_n(bytes.begin() + std::ptrdiff_t(p * kRecordSize), kRecordSize,
                    pages[p].bytes.begin());
    index = o.message.value_or(1) - 1;
    return pages;
}

void printText(const SignGeometry& g, const FrameBuffer& frame) {
    std::string out;
    for (int y = 0; y < g.height; ++y) {
        for (int x = 0; x < g.pixelWidth(); ++x) out += GetPixel(g, frame, x, y) ? '#' : '.';
        out += '\n';
    }
    std::fputs(out.c_str(), stdout);
}

int render(const Options& o) {
    int index = 0;
    const auto pages = loadPages(o, index);

    // Only read from the data folder: the user's own files stay relative to where they are.
    const DataFolder data = findDataFolder(DataPlaces::fromProcess(runningProgramFolder()),
                                           o.data.value_or(std::string()));
    if (!data) throw Failure{data.error, kExitFile};
    GlyphSets glyphs;
    if (FileResult r = glyphs.LoadBuiltInFonts(data.folder); !r)
        throw Failure{r.message(), kExitFile};
    glyphs.setStartDirectory(data.folder);

    PreviewRequest request;
    request.pages = pages;
    request.index = index;
    request.width = o.width;
    request.height = o.height;
    request.settings.speed = o.speed;
    request.settings.DisplayTimePosition = o.display;
    request.settings.switching = std::uint16_t(o.switching);
    if (o.userFont) {
        // Read as "Czcionkę użytkownika" loads it, so its errors name the file.
        GlyphSets loaded;
        if (FileResult r = loaded.LoadUserFont(*o.userFont); !r)
            throw Failure{r.message(), kExitFile};
        const HeadedImage& image = loaded.userFontImage();
        request.userFont.assign(image.bytes.begin(), image.bytes.begin() + std::ptrdiff_t(image.size));
    }

    std::unique_ptr<Clock> clock;
    if (o.now)
        clock = std::make_unique<FixedClock>(*o.now);
    else
        clock = std::make_unique<SystemClock>();

    // A lower or empty message plays nothing: the sign stays dark, as in the designer.
    const PreviewRenderer renderer(glyphs);
    std::string error;
    if (o.gif || o.png) {
        // Without a strip the animation shows the first full pass.
        request.ticks = o.gif ? StripTicks{std::uint64_t(o.ticks), std::uint64_t(o.every.value_or(0)),
                                           std::uint64_t(o.count.value_or(0))}
                              : StripTicks{std::uint64_t(o.ticks), std::uint64_t(o.every.value_or(1)),
                                           std::uint64_t(o.count.value_or(1))};
        const std::vector<std::uint8_t> bytes =
            o.gif ? renderer.gif(request, *clock, error) : renderer.png(request, *clock, error);
        if (bytes.empty()) throw Failure{error, kExitFile};
        const std::string& file = o.gif ? *o.gif : *o.png;
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        out.close();
        if (!out) throw Failure{file + ": cannot be written", kExitFile};
        return 0;
    }

    request.ticks = {std::uint64_t(o.ticks), std::uint64_t(o.every.value_or(1)),
                     std::uint64_t(o.count.value_or(1))};
    long long n = 0;
    const bool played = renderer.frames(request, *clock, error, [&](Emulator& emu, const FrameBuffer& frame) {
        if (n++ > 0) std::fputs("\n", stdout);
        printText(emu.geometry, frame);
    });
    if (!played) throw Failure{error, kExitFile};
    return std::fflush(stdout) == 0 ? 0 : kExitFile;
}

} // namespace

int runRender(int argc, char** argv) {
    try {
        return render(parseOptions(argc, argv));
    } catch (const Failure& f) {
        std::fprintf(stderr, "pixbarctl render: %s\n", f.message.c_str());
        return f.code;
    }
}

} // namespace pixbarctl
