#include "glyphs.h"

#include "diskfiles.h"

#include <algorithm>
#include <fstream>
#include <memory>

namespace pixbar {

namespace {

std::uint16_t le16(const std::uint8_t* p) {
    return std::uint16_t(p[0] | (p[1] << 8));
}

bool validHeader(const HeadedImage& image) {
    return image.size >= 4 && image.bytes[0] == kHeadedHeaderSize && image.bytes[1] == 0 &&
           image.bytes[2] == 0 && image.bytes[3] == 0;
}

/// Reads at most `limit` bytes of `file` into `out`; the number read is returned in `size`.
FileResult readUpTo(const std::filesystem::path& file, std::uint8_t* out, std::size_t limit,
                    std::size_t& size) {
    std::ifstream in = OpenRegularFile(file);
    if (!in) return {FileResult::Code::CannotOpen, file};
    in.read(reinterpret_cast<char*>(out), std::streamsize(limit));
    size = std::size_t(in.gcount());
    if (in.bad()) return {FileResult::Code::CannotRead, file};
    return {FileResult::Code::Ok, file};
}

/// Fills a font entry from a headed image whose glyph data lives at `data`.
FontEntry headedEntry(const HeadedImage& image, const std::uint8_t* data) {
    FontEntry e;
    e.width = le16(&image.bytes[4]);
    e.height = le16(&image.bytes[6]);
    e.reserved = le16(&image.bytes[8]);
    e.glyphCount = le16(&image.bytes[10]);
    e.data = data;
    const std::size_t present = image.size > kHeadedHeaderSize ? image.size - kHeadedHeaderSize : 0;
    // Codes at or above the glyph count are outside the set even when the file holds more.
    e.dataSize = std::min(present, std::size_t(e.glyphCount) * e.height);
    return e;
}

} // namespace

std::string FileResult::message() const {
    const std::string name = file.string();
    switch (code) {
    case Code::Ok:
        return {};
    case Code::CannotOpen:
        return "Nie można otworzyć pliku " + name + ".";
    case Code::CannotRead:
        return "Nie można odczytać pliku " + name + ".";
    case Code::BadHeader:
        return "Plik " + name + " ma nieprawidłowy nagłówek.";
    case Code::CannotWrite:
        return "Nie można zapisać pliku " + name + ".";
    }
    return {};
}

FileResult GlyphSets::LoadBuiltInFont(const std::filesystem::path& file, int slot) {
    std::ifstream in = OpenRegularFile(file);
    if (!in) return {FileResult::Code::CannotOpen, file};
    in.seekg(0, std::ios::end);
    const auto length = in.tellg();
    if (length < 0) return {FileResult::Code::CannotRead, file};
    std::vector<std::uint8_t> block(static_cast<std::size_t>(length));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(block.data()), length);
    if (in.gcount() != length) return {FileResult::Code::CannotRead, file};
    m_builtIn[slot] = std::move(block);
    return {FileResult::Code::Ok, file};
}

FileResult GlyphSets::LoadBuiltInFonts(const std::filesystem::path& dir) {
    for (int slot = 0; slot < kBuiltInFontCount; ++slot) {
        FileResult r = LoadBuiltInFont(dir / kBuiltInFonts[slot].file, slot);
        if (!r) return r;
    }
    return {FileResult::Code::Ok, dir};
}

void GlyphSets::InitFonts() {
    m_table = {};
    for (int slot = 0; slot < kBuiltInFontCount; ++slot) {
        const BuiltInFont& f = kBuiltInFonts[slot];
        FontEntry e;
        e.data = m_builtIn[slot].empty() ? nullptr : m_builtIn[slot].data();
        e.dataSize = m_builtIn[slot].size();
        e.width = f.width;
        e.height = f.height;
        m_table[f.tableIndex] = e;
    }
    // The editor's icons come from a second entry on the same symbol font data.
    m_table[kIndexEditorIcons] = m_table[kIndexSymbolFont];
    m_userFontBlock.clear();
}

FileResult GlyphSets::LoadUserFont(const std::filesystem::path& file) {
    // Read into a fresh image first, so a refused file leaves the loaded font alone.
    auto image = std::make_unique<HeadedImage>();
    FileResult r = readUpTo(file, image->bytes.data(), kHeadedImageSize, image->size);
    if (!r) return r;
    if (!validHeader(*image)) return {FileResult::Code::BadHeader, file};

    useUserFont(*image);
    return r;
}

void GlyphSets::useUserFont(const HeadedImage& image) {
    m_userFont = image;
    const std::size_t glyphBytes =
        m_userFont.size > kHeadedHeaderSize ? m_userFont.size - kHeadedHeaderSize : 0;
    m_userFontBlock.assign(m_userFont.bytes.begin() + kHeadedHeaderSize,
                           m_userFont.bytes.begin() + kHeadedHeaderSize + glyphBytes);
    m_table[kIndexUserFont] =
        headedEntry(m_userFont, m_userFontBlock.empty() ? nullptr : m_userFontBlock.data());
}

namespace {

/// A headed image holding the first bytes of `bytes` (as much as fits).
std::unique_ptr<HeadedImage> imageOf(std::span<const std::uint8_t> bytes) {
    auto image = std::make_unique<HeadedImage>();
    image->size = std::min(bytes.size(), kHeadedImageSize);
    std::copy_n(bytes.begin(), image->size, image->bytes.begin());
    return image;
}

} // namespace

bool GlyphSets::SetUserFontImage(std::span<const std::uint8_t> image) {
    const auto copy = imageOf(image);
    if (!validHeader(*copy)) return false;
    useUserFont(*copy);
    return true;
}

bool GlyphSets::SetSymbolTableImage(std::span<const std::uint8_t> image) {
    m_table[kIndexGraphicSymbols] = {};
    m_symbols = *imageOf(image);
    if (!validHeader(m_symbols)) return false;
    refreshSymbolEntry();
    return true;
}

GlyphSets::GlyphSets(const GlyphSets& other) {
    *this = other;
}

GlyphSets& GlyphSets::operator=(const GlyphSets& other) {
    if (this == &other) return *this;
    m_builtIn = other.m_builtIn;
    m_table = other.m_table;
    m_userFont = other.m_userFont;
    m_userFontBlock = other.m_userFontBlock;
    m_symbols = other.m_symbols;
    m_symbolMap = other.m_symbolMap;
    m_startDirectory = other.m_startDirectory;
    // The entries point into the other's glyph data: point them at the same bytes of ours.
    auto rebase = [](const std::uint8_t*& data, const std::uint8_t* from, std::size_t size,
                     const std::uint8_t* to) {
        if (data && from && data >= from && data < from + size) {
            data = to + (data - from);
            return true;
        }
        return false;
    };
    for (FontEntry& e : m_table) {
        bool done = false;
        for (int k = 0; k < kBuiltInFontCount && !done; ++k)
            done = rebase(e.data, other.m_builtIn[k].data(), other.m_builtIn[k].size(),
                          m_builtIn[k].data());
        if (!done)
            done = rebase(e.data, other.m_userFontBlock.data(), other.m_userFontBlock.size(),
                          m_userFontBlock.data());
        if (!done)
            done = rebase(e.data, other.m_symbols.bytes.data(), kHeadedImageSize,
                          m_symbols.bytes.data());
        if (!done)
            rebase(e.data, other.m_userFont.bytes.data(), kHeadedImageSize,
                   m_userFont.bytes.data());
    }
    return *this;
}

FileResult GlyphSets::LoadSymbolTable() {
    m_table[kIndexGraphicSymbols] = {};
    const auto file = m_startDirectory / kSymbolTableFile;
    m_symbols = {};
    FileResult r = readUpTo(file, m_symbols.bytes.data(), kHeadedImageSize, m_symbols.size);
    if (!r) return r;
    if (!validHeader(m_symbols)) return {FileResult::Code::BadHeader, file};
    refreshSymbolEntry();

    m_symbolMap.fill(0);
    std::size_t mapSize = 0;
    std::array<std::uint8_t, kSymbolMapSize> map{};
    if (readUpTo(m_startDirectory / kSymbolMapFile, map.data(), map.size(), mapSize))
        m_symbolMap = map;
    return r;
}

void GlyphSets::refreshSymbolEntry() {
    m_table[kIndexGraphicSymbols] =
        headedEntry(m_symbols, m_symbols.bytes.data() + kHeadedHeaderSize);
}

FileResult GlyphSets::SaveSymbolTable() {
    // The table and its map change together or not at all, so they never disagree.
    const FileBytes files[] = {
        {m_startDirectory / kSymbolTableFile, std::span(m_symbols.bytes.data(), m_symbols.size)},
        {m_startDirectory / kSymbolMapFile, m_symbolMap},
    };
    const CommitResult r = CommitFiles(files);
    return {r ? FileResult::Code::Ok : FileResult::Code::CannotWrite, r.file};
}

std::uint8_t MapPolishLetter(std::uint8_t code) {
    static constexpr std::array<std::uint8_t, 18> kLetters{0xB9, 0xE6, 0xEA, 0xB3, 0xF1, 0xF3,
                                                           0x9C, 0xBF, 0x9F, 0xA5, 0xC6, 0xCA,
                                                           0xA3, 0xD1, 0xD3, 0x8C, 0xAF, 0x8F};
    for (std::size_t i = 0; i < kLetters.size(); ++i)
        if (kLetters[i] == code) return std::uint8_t(i + 1);
    return code;
}

void DrawTextPreview(const FontEntry& font, Image32 canvas, std::uint32_t colour, int x, int y,
                     std::string_view text) {
    for (char ch : text) {
        if (ch == '\0') break;
        const auto code = static_cast<std::uint8_t>(ch);
        for (int r = 0; r < font.height; ++r) {
            const std::uint8_t bits = font.row(code, r);
            for (int k = 0; k < font.width && k < 8; ++k)
                if (bits & (0x80 >> k)) canvas.set(x + k, y + r, colour);
        }
        x += font.width;
    }
}

} // namespace pixbar
