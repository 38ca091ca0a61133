#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pixbar {

inline constexpr int kFontTableSize = 16;
inline constexpr int kBuiltInFontCount = 13;
inline constexpr std::size_t kHeadedImageSize = 16384;
inline constexpr std::size_t kHeadedHeaderSize = 12;
inline constexpr std::size_t kSymbolMapSize = 256;
inline constexpr std::uint8_t kSymbolMapContinues = 255;

/// Table indexes (font number - 1) whose codes are never mapped to Polish glyphs.
inline constexpr int kIndexGraphicSymbols = 12;
inline constexpr int kIndexUserFont = 13;
inline constexpr int kIndexSymbolFont = 14;
inline constexpr int kIndexEditorIcons = 15;

inline constexpr const char* kSymbolTableFile = "gfx_symbols.bin";
inline constexpr const char* kSymbolMapFile = "gfx_symbols_map.bin";

/// One glyph set: h bytes a glyph, bit 7 the leftmost pixel.
struct FontEntry {
    const std::uint8_t* data = nullptr;
    std::size_t dataSize = 0; ///< bytes of glyph data that may be read
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint16_t reserved = 0;
    std::uint16_t glyphCount = 0;

    /// The h rows of glyph `code`, or null when the glyph lies (even partly) past the data.
    const std::uint8_t* glyph(unsigned code) const {
        if (!data || height == 0) return nullptr;
        const std::size_t start = std::size_t(code) * height;
        return start + height <= dataSize ? data + start : nullptr;
    }
    /// Glyph row r of `code`, 0 when it lies outside the data.
    std::uint8_t row(unsigned code, unsigned r) const {
        if (!data || r >= height) return 0;
        const std::size_t at = std::size_t(code) * height + r;
        return at < dataSize ? data[at] : 0;
    }
};

using FontTable = std::array<FontEntry, kFontTableSize>;

struct BuiltInFont {
    const char* file;
    int tableIndex; ///< entry filled from this file
    std::uint16_t width;
    std::uint16_t height;
};

/// The thirteen font files in the order they are loaded at start-up.
inline constexpr std::array<BuiltInFont, kBuiltInFontCount> kBuiltInFonts{{
    {"font5x7_128.fnt", 0, 5, 7},
    {"font8x8b_128.fnt", 1, 8, 8},
    {"font8x8atari_128.fnt", 2, 8, 8},
    {"font8x8baloon_128.fnt", 3, 8, 8},
    {"font8x8hohl_128.fnt", 4, 8, 8},
    {"font8x8rzbik_128.fnt", 5, 8, 8},
    {"font8x16bold_128.fnt", 6, 8, 16},
    {"font8x16lcd.fnt", 8, 8, 16},
    {"font8x16huge.fnt", 9, 8, 16},
    {"font8x16broadway.fnt", 10, 8, 16},
    {"font8x16computer.fnt", 11, 8, 16},
    {"font8x16rl.fnt", 7, 8, 16},
    {"font8x8symbol.fnt", kIndexSymbolFont, 8, 8},
}};

/// Outcome of a file operation on glyph data, naming the file for the user.
struct FileResult {
    enum class Code { Ok, CannotOpen, CannotRead, BadHeader, CannotWrite };
    Code code = Code::Ok;
    std::filesystem::path file;

    bool ok() const { return code == Code::Ok; }
    explicit operator bool() const { return ok(); }
    /// A Polish sentence for a message box, naming the file.
    std::string message() const;
};

/// A headed glyph file (user font or symbol table) as read, header included.
struct HeadedImage {
    std::array<std::uint8_t, kHeadedImageSize> bytes{};
    std::size_t size = 0; ///< bytes read from the file
};

/// The glyph sets of the designer: built-in fonts, user font, graphic symbols.
class GlyphSets {
public:
    GlyphSets() = default;
    /// A copy draws from its own glyph data, so it outlives the original.
    GlyphSets(const GlyphSets& other);
    GlyphSets& operator=(const GlyphSets& other);

    /// Reads a whole font file into built-in slot `slot` (0..12, the load order).
    FileResult LoadBuiltInFont(const std::filesystem::path& file, int slot);
    /// Loads the thirteen built-in fonts from `dir`; stops at the first failure.
    FileResult LoadBuiltInFonts(const std::filesystem::path& dir);
    /// Font half of InitEmulator: entries 1..12, 15, 16 from the loaded blocks, 13 and 14 empty.
    void InitFonts();
    /// Loads a *.fnd file into font 14. A file that cannot be read or has a bad header is
    /// refused and the previous user font stays in use.
    FileResult LoadUserFont(const std::filesystem::path& file);
    /// The same with a user font image held in memory (as a sign receives it); false when its
    /// header is bad, and the previous font stays.
    bool SetUserFontImage(std::span<const std::uint8_t> image);
    /// The symbol table (font 13) from an image in memory; false when its header is bad, and
    /// the graphic symbols are then empty, as after a bad file.
    bool SetSymbolTableImage(std::span<const std::uint8_t> image);
    /// Loads gfx_symbols.bin (font 13) and gfx_symbols_map.bin from the start directory.
    FileResult LoadSymbolTable();
    /// Writes the symbol table image and the symbol map back to the start directory, both or
    /// neither: on a failure both old files stay and the result names the one not written.
    FileResult SaveSymbolTable();

    void setStartDirectory(std::filesystem::path dir) { m_startDirectory = std::move(dir); }
    const std::filesystem::path& startDirectory() const { return m_startDirectory; }

    const FontTable& table() const { return m_table; }
    const FontEntry& entry(int index) const { return m_table[index & 0x0F]; }

    const HeadedImage& userFontImage() const { return m_userFont; }
    HeadedImage& symbolTableImage() { return m_symbols; }
    const HeadedImage& symbolTableImage() const { return m_symbols; }
    std::array<std::uint8_t, kSymbolMapSize>& symbolMap() { return m_symbolMap; }
    const std::array<std::uint8_t, kSymbolMapSize>& symbolMap() const { return m_symbolMap; }
    /// Re-reads font 13's header after the symbol table image was edited in place.
    void refreshSymbolEntry();

private:
    void useUserFont(const HeadedImage& image);

    std::array<std::vector<std::uint8_t>, kBuiltInFontCount> m_builtIn;
    FontTable m_table{};
    HeadedImage m_userFont;
    std::vector<std::uint8_t> m_userFontBlock;
    HeadedImage m_symbols;
    std::array<std::uint8_t, kSymbolMapSize> m_symbolMap{};
    std::filesystem::path m_startDirectory{"."};
};

/// Glyph code of a code page 1250 letter: the 18 Polish letters map to 1..18.
std::uint8_t MapPolishLetter(std::uint8_t code);

/// A 32-bit 0x00RRGGBB picture whose lines are written directly.
struct Image32 {
    std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0; ///< pixels from one line to the next

    void set(int x, int y, std::uint32_t colour) {
        if (x >= 0 && y >= 0 && x < width && y < height)
            pixels[std::size_t(y) * stride + x] = colour;
    }
};

/// Draws `text` with the glyphs of `font` (no Polish mapping); unlit pixels are left alone.
void DrawTextPreview(const FontEntry& font, Image32 canvas, std::uint32_t colour, int x, int y,
                     std::string_view text);

} // namespace pixbar
