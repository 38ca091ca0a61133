#include "glyphsource.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fontgen {

namespace {

/// The Polish letters in UTF-8, in the order of their glyph codes 1..18, with base letters.
struct PolishLetter {
    const char* utf8;
    char base;
};
constexpr std::array<PolishLetter, 18> kPolish{{
    {"ą", 'a'},
    {"ć", 'c'},
    {"ę", 'e'},
    {"ł", 'l'},
    {"ń", 'n'},
    {"ó", 'o'},
    {"ś", 's'},
    {"ż", 'z'},
    {"ź", 'z'},
    {"Ą", 'A'},
    {"Ć", 'C'},
    {"Ę", 'E'},
    {"Ł", 'L'},
    {"Ń", 'N'},
    {"Ó", 'O'},
    {"Ś", 'S'},
    {"Ż", 'Z'},
    {"Ź", 'Z'},
}};

[[noreturn]] void fail(const std::filesystem::path& file, int line, const std::string& what) {
    throw std::runtime_error(file.string() + ":" + std::to_string(line) + ": " + what);
}

std::string trimRight(std::string s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

} // namespace

bool Bitmap::blank() const {
    for (Ink p : pixels)
        if (p != Ink::Off) return false;
    return true;
}

int Bitmap::topRow() const {
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (lit(x, y)) return y;
    return -1;
}

int Bitmap::bottomRow() const {
    for (int y = height - 1; y >= 0; --y)
        for (int x = 0; x < width; ++x)
            if (lit(x, y)) return y;
    return -1;
}

int GlyphCode(const std::string& name) {
    if (name == "space") return 0x20;
    if (name.size() == 1) {
        const unsigned char c = static_cast<unsigned char>(name[0]);
        return c >= 0x20 && c < 0x7F ? c : -1;
    }
    for (std::size_t i = 0; i < kPolish.size(); ++i)
        if (name == kPolish[i].utf8) return int(i) + 1;
    if (name.size() > 2 && name[0] == '0' && (name[1] == 'x' || name[1] == 'X')) {
        try {
            std::size_t used = 0;
            const int v = std::stoi(name.substr(2), &used, 16);
            if (used == name.size() - 2 && v >= 0 && v < 256) return v;
        } catch (const std::exception&) {
        }
    }
    return -1;
}

int PolishBase(int code) {
    return code >= 1 && code <= 18 ? kPolish[std::size_t(code) - 1].base : 0;
}

GlyphSource ReadGlyphSource(const std::filesystem::path& file) {
    std::ifstream in(file);
    if (!in) throw std::runtime_error(file.string() + ": cannot open");
    GlyphSource src;
    src.file = file;
    src.id = file.stem().string();

    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(trimRight(l));

    auto isRow = [](const std::string& s) {
        if (s.empty()) return false;
        for (char c : s)
            if (c != '#' && c != '.' && c != '+') return false;
        return true;
    };

    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int lineNo = int(i) + 1;
        const std::string& line = lines[i];
        if (line.empty() || line[0] == ';') continue;
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "id") {
            words >> src.id;
        } else if (key == "output") {
            words >> src.output;
        } else if (key == "map") {
            words >> src.mapOutput;
        } else if (key == "size") {
            words >> src.width >> src.height;
            if (!words || src.width < 1 || src.width > 8 || src.height < 1 || src.height > 16)
                fail(file, lineNo, "size must be 1..8 by 1..16");
        } else if (key == "count") {
            words >> src.count;
            if (!words || src.count < 1 || src.count > 256)
                fail(file, lineNo, "count must be 1..256");
        } else if (key == "headed") {
            src.headed = true;
            words >> src.reserved;
        } else if (key == "derive") {
            words >> src.deriveFrom >> src.style;
            if (src.style.empty()) fail(file, lineNo, "derive needs a base id and a style");
        } else if (key == "seg") {
            std::string name;
            words >> name;
            const int code = GlyphCode(name);
            if (code < 0) fail(file, lineNo, "unknown character name '" + name + "'");
            std::vector<std::string> segs;
            for (std::string s; words >> s;) segs.push_back(s);
            src.segments[code] = segs;
        } else if (key == "glyph" || key == "picture") {
            // The name is the rest of the line, so that "glyph ;" and "glyph #" work.
            const std::string name =
                line.size() > key.size() + 1 ? line.substr(key.size() + 1) : "";
            const int code = GlyphCode(name);
            if (code < 0) fail(file, lineNo, "unknown character name '" + name + "'");
            std::vector<std::string> rows;
            while (rows.size() < std::size_t(src.height)) {
                if (++i >= lines.size() || !isRow(lines[i]))
                    fail(file, int(i) + 1,
                         "glyph '" + name + "' needs " + std::to_string(src.height) +
                             " rows of # . +");
                rows.push_back(lines[i]);
            }
            const int rowWidth = int(rows[0].size());
            const int pieces = key == "glyph" ? 1 : rowWidth / src.width;
            if (rowWidth != pieces * src.width || pieces < 1)
                fail(file, lineNo,
                     "rows of '" + name + "' must be " + std::to_string(src.width) +
                         (key == "glyph" ? "" : " times n") + " wide");
            for (const auto& r : rows)
                if (int(r.size()) != rowWidth) fail(file, lineNo, "rows of '" + name + "' differ");
            if (code + pieces > 256) fail(file, lineNo, "picture runs past code 255");
            for (int p = 0; p < pieces; ++p) {
                Bitmap g(src.width, src.height);
                for (int y = 0; y < src.height; ++y)
                    for (int x = 0; x < src.width; ++x) {
                        const char c = rows[std::size_t(y)][std::size_t(p * src.width + x)];
                        g.set(x, y, c == '#' ? Ink::Body : c == '+' ? Ink::Mark : Ink::Off);
                    }
                src.glyphs[code + p] = g;
            }
            if (key == "picture") {
                src.symbolMap[std::size_t(code)] = std::uint8_t(pieces);
                for (int p = 1; p < pieces; ++p) src.symbolMap[std::size_t(code + p)] = 255;
            }
        } else {
            fail(file, lineNo, "unknown line '" + line + "'");
        }
    }
    return src;
}

} // namespace fontgen
