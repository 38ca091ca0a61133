// The effect player on any record (and the page below an upper one), any sign geometry and
// speed, for a few hundred ticks, stopped at a point of the input's choosing.
#include "fuzzsupport.h"

#include "glyphs.h"
#include "pixbar.h"
#include "player.h"
#include "previewdriver.h"
#include "timing.h"

#include <algorithm>
#include <vector>

using namespace pixbar;

namespace {

/// Font files of every built-in size with a pattern of their own, and a small symbol table.
void writeFonts(const std::filesystem::path& dir) {
    for (const BuiltInFont& f : kBuiltInFonts) {
        std::vector<std::uint8_t> bytes(256u * f.height);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = std::uint8_t((i * 2654435761u >> 13) & (0xFF << (8 - f.width)));
        fuzz::WriteFile(dir / f.file, bytes);
    }
    std::vector<std::uint8_t> symbols{12, 0, 0, 0, 8, 0, 16, 0, 0, 0, 20, 0};
    symbols.resize(symbols.size() + 20 * 16, 0x3C);
    fuzz::WriteFile(dir / kSymbolTableFile, symbols);
}

Emulator& emulator() {
    static Emulator* emu = [] {
        writeFonts(fuzz::ScratchDir());
        auto* e = new Emulator;
        if (!e->glyphs.LoadBuiltInFonts(fuzz::ScratchDir()).ok()) std::abort();
        e->glyphs.setStartDirectory(fuzz::ScratchDir());
        return e;
    }();
    return *emu;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Reader in(data, size);
    Emulator& emu = emulator();
    emu.geometry.set(1 + in.u8() % 24, in.u8() % 2 ? 16 : 8);
    PreviewSettings settings;
    settings.speed = 1 + in.u8() % 20;
    settings.DisplayTimePosition = in.u8() % 135;
    settings.switching = in.u8() & 1;
    const int ticks = 100 + 2 * in.u8();
    const int stopAt = in.u8() * 3;
    const LocalDateTime now{1970 + in.u8() % 230, 1 + in.u8() % 12, 1 + in.u8() % 31, in.u8() % 24,
                            in.u8() % 60};
    MessageRecord record, following;
    const auto first = in.bytes(kRecordSize);
    std::copy(first.begin(), first.end(), record.bytes.begin());
    const auto second = in.bytes(kRecordSize);
    std::copy(second.begin(), second.end(), following.bytes.begin());

    fuzz::Check(InitEmulator(emu).ok(), "the emulator did not start");
    ManualTickSource tickSource(emu.counters);
    FixedClock clock(now);
    PreviewDriver driver(emu, tickSource, clock, settings);
    driver.setPaintLeds(false);
    if (!driver.start(record, following)) return 0;
    for (int t = 0; t < ticks && driver.playing(); ++t) {
        if (t == stopAt) driver.stop();
        tickSource.advance(1);
        driver.poll();
    }
    driver.stop();
    driver.poll();
    fuzz::Check(!driver.playing(), "a stopped test still plays");
    return 0;
}
