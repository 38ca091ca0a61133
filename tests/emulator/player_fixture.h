#pragma once

// Small known fonts and a hand-driven player for the player's tests. The glyph shapes are the
// tests' own, so the tests do not depend on the fonts delivered with the designer.

#include "messagerecord.h"
#include "pixbar.h"
#include "player.h"
#include "previewdriver.h"
#include "timing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace playertest {

using namespace pixbar;

/// Glyph shapes shared by every test font (rows from the top, bit 7 the leftmost pixel).
inline const std::map<unsigned, std::vector<std::uint8_t>>& knownGlyphs() {
    static const std::map<unsigned, std::vector<std::uint8_t>> glyphs{
        {'H', std::vector<std::uint8_t>(16, 0xFF)}, // full block
        {'I', std::vector<std::uint8_t>(16, 0x80)}, // bar in column 0
        {'D',
         {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01, 0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02,
          0x01}}, // diagonal
        {' ', std::vector<std::uint8_t>(16, 0x00)},
    };
    return glyphs;
}

/// Row r of glyph `code` in a font `width` pixels wide: the known shapes, and for every other
/// code a pattern of its own, so that different characters give different pictures.
inline std::uint8_t testGlyphRow(unsigned code, unsigned r, int width) {
    const auto mask = std::uint8_t(0xFF << (8 - width));
    const auto& known = knownGlyphs();
    if (auto it = known.find(code); it != known.end()) return std::uint8_t(it->second[r] & mask);
    const unsigned v = (code * 2654435761u) ^ (r * 40503u) ^ (code << (r % 7));
    return std::uint8_t(((v >> 8) | 0x40) & mask);
}

inline std::vector<std::uint8_t> testFont(int width, int height) {
    std::vector<std::uint8_t> bytes;
    for (unsigned c = 0; c < 256; ++c)
        for (int r = 0; r < height; ++r) bytes.push_back(testGlyphRow(c, unsigned(r), width));
    return bytes;
}

inline void writeFile(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

/// Writes the thirteen font files, a symbol table of four 8 x 8 columns and its (empty) map
/// into `dir`: a whole data folder. A blank one has fonts of the same sizes with no lit pixel.
inline void writeTestFonts(const std::filesystem::path& dir, bool blank = false) {
    for (const BuiltInFont& f : kBuiltInFonts) {
        std::vector<std::uint8_t> font = testFont(f.width, f.height);
        if (blank) std::fill(font.begin(), font.end(), std::uint8_t(0));
        writeFile(dir / f.file, font);
    }
    std::vector<std::uint8_t> symbols{12, 0, 0, 0, 8, 0, 8, 0, 0, 0, 4, 0};
    for (unsigned c = 0; c < 4; ++c)
        for (unsigned r = 0; r < 8; ++r) symbols.push_back(c == 1 && !blank ? 0xFF : 0x00);
    writeFile(dir / kSymbolTableFile, symbols);
    // Zeros are what the loader assumes without a map, so the map changes no picture.
    writeFile(dir / kSymbolMapFile, std::vector<std::uint8_t>(kSymbolMapSize, 0));
}

/// A folder of its own under the system's temporary folder, removed at the end of the test.
class TempDir {
public:
    TempDir() {
        static std::atomic<int> counter{0};
        m_path = std::filesystem::temp_directory_path() /
                 ("pixbar-player-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

/// Builds a record cell by cell.
class Message {
public:
    Message& text(int font, const std::string& chars) {
        for (char c : chars) cell(std::uint8_t(font), std::uint8_t(c));
        return *this;
    }
    Message& effect(EffectCode code) { return effectCode(std::uint8_t(code)); }
    Message& effectCode(std::uint8_t code) {
        cell(kAttrLead, kLeadEffect);
        return cell(code, kParameterMark);
    }
    Message& pause(std::uint8_t length) {
        cell(kAttrLead, kLeadPause);
        return cell(length, kParameterMark);
    }
    Message& time(int font) { return cell(std::uint8_t(kClassTime | font), kMarkTime); }
    Message& date(int font) { return cell(std::uint8_t(kClassDate | font), kMarkDate); }
    Message& temperature(int font) {
        return cell(std::uint8_t(kClassTemperature | font), kMarkTemperature);
    }
    Message& inverse() { return cell(kAttrFormat, kFormatInverse); }
    Message& normal() { return cell(kAttrFormat, kFormatNormal); }
    Message& kind(MessageKind k) {
        m_record.setKind(std::uint8_t(k));
        return *this;
    }
    Message& cell(std::uint8_t attribute, std::uint8_t character) {
        m_record.setCell(m_cells++, {attribute, character});
        return *this;
    }
    const MessageRecord& record() const { return m_record; }
    operator const MessageRecord&() const { return m_record; }

private:
    MessageRecord m_record;
    int m_cells = 0;
};

/// The visible part of a frame buffer, one string per row, '#' for a lit LED.
inline std::vector<std::string> picture(const SignGeometry& g, const FrameBuffer& buf) {
    std::vector<std::string> rows;
    for (int y = 0; y < g.height; ++y) {
        std::string row;
        for (int x = 0; x < g.pixelWidth(); ++x) row += GetPixel(g, buf, x, y) ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

inline int litPixels(const SignGeometry& g, const FrameBuffer& buf, int first, int end) {
    int lit = 0;
    for (int y = first; y < end; ++y)
        for (int x = 0; x < g.pixelWidth(); ++x) lit += GetPixel(g, buf, x, y);
    return lit;
}

/// An emulator with the test fonts, a hand-advanced tick, a fixed clock and a driver.
class Bench {
public:
    Bench(int registers, int height) {
        writeTestFonts(m_dir.path());
        EXPECT_TRUE(emu.glyphs.LoadBuiltInFonts(m_dir.path()).ok());
        emu.glyphs.setStartDirectory(m_dir.path());
        emu.geometry.set(registers, height);
        EXPECT_TRUE(InitEmulator(emu).ok());
        driver.setRepaint([this] { ++paints; });
    }

    /// Starts a test and takes the steps of its first instant.
    bool play(const MessageRecord& record, const MessageRecord& following = {}) {
        const bool started = driver.start(record, following);
        driver.poll();
        return started;
    }
    /// Lets time run up to tick `t` of the test, taking every step due on the way.
    void runTo(std::uint64_t t) {
        while (ticks.ticks() < t) {
            ticks.advance(1);
            driver.poll();
        }
    }
    std::vector<std::string> shown() const { return picture(emu.geometry, emu.frame); }
    std::string row(int y) const { return shown()[std::size_t(y)]; }
    /// The picture of the text `chars` drawn in `fontIndex` from the left edge with spacing.
    std::vector<std::string> reference(int fontIndex, const std::string& chars, int top = 0) {
        FrameBuffer buf{};
        int x = 0;
        for (char c : chars)
            DrawGlyph(emu.geometry, emu.glyphs.table(), buf, fontIndex, x, top, emu.geometry.height,
                      true, std::uint8_t(c), 0);
        return picture(emu.geometry, buf);
    }

private:
    TempDir m_dir;

public:
    Emulator emu;
    ManualTickSource ticks{emu.counters};
    FixedClock clock{{2026, 12, 6, 9, 5}};
    PreviewSettings settings;
    PreviewDriver driver{emu, ticks, clock, settings};
    int paints = 0;
};

inline std::vector<std::string> rowsOf(std::initializer_list<const char*> rows) {
    return {rows.begin(), rows.end()};
}

} // namespace playertest
