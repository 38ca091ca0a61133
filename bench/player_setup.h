#pragma once

// A 24 x 16 emulated sign with made-up fonts for the player benchmarks, so they run without
// the font files delivered with the designer.

#include "messagerecord.h"
#include "pixbar.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

namespace playerbench {

using namespace pixbar;

inline void writeFonts(const std::filesystem::path& dir) {
    for (const BuiltInFont& f : kBuiltInFonts) {
        std::ofstream out(dir / f.file, std::ios::binary);
        for (unsigned c = 0; c < 256; ++c)
            for (unsigned r = 0; r < f.height; ++r)
                out.put(char(((c * 37u + r * 11u) | 0x40u) & (0xFFu << (8 - f.width))));
    }
    std::ofstream symbols(dir / kSymbolTableFile, std::ios::binary);
    const char header[12] = {12, 0, 0, 0, 8, 0, 8, 0, 0, 0, 1, 0};
    symbols.write(header, sizeof header);
    symbols.write(std::string(8, '\xFF').data(), 8);
}

/// An emulator of the largest sign, its fonts loaded from a folder removed again at once.
inline std::unique_ptr<Emulator> makeSign(int registers = kMaxRegisters, int height = kMaxHeight) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("pixbar-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    writeFonts(dir);
    auto emu = std::make_unique<Emulator>();
    emu->glyphs.LoadBuiltInFonts(dir);
    emu->glyphs.setStartDirectory(dir);
    emu->geometry.set(registers, height);
    InitEmulator(*emu);
    std::filesystem::remove_all(dir);
    return emu;
}

/// A message of `length` text cells in font 2.
inline MessageRecord textMessage(int length) {
    MessageRecord r;
    for (int i = 0; i < length; ++i) r.setCell(i, {0x02, std::uint8_t('A' + i % 26)});
    return r;
}

} // namespace playerbench
