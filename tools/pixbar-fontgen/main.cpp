// pixbar-fontgen: writes the sign's font files, the symbol table and its map from the text
// sources in data/ (see data/README.md for their format).
//
//   pixbar-fontgen --out DIR SOURCE...
//
// Every source with an "output" line produces one file in DIR; derived faces may refer to any
// other source given on the same command line by its id.

#include "glyphsource.h"
#include "styles.h"

#include <cstdio>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using fontgen::Bitmap;
using fontgen::GlyphMap;
using fontgen::GlyphSource;

constexpr int kHeaderLength = 12;

class Generator {
public:
    explicit Generator(std::vector<GlyphSource> sources) : m_sources(std::move(sources)) {}

    /// The finished glyphs of a source: derived ones, then segments, then drawn ones on top.
    const GlyphMap& glyphs(const std::string& id) {
        if (auto it = m_done.find(id); it != m_done.end()) return it->second;
        if (m_busy.count(id)) throw std::runtime_error("'" + id + "' is derived from itself");
        const GlyphSource& src = find(id);
        m_busy.insert(id);
        GlyphMap out;
        if (!src.deriveFrom.empty()) {
            if (!fontgen::KnownStyle(src.style))
                throw std::runtime_error(src.file.string() + ": unknown style " + src.style);
            const GlyphMap& base = glyphs(src.deriveFrom);
            for (int code = 0; code < src.count; ++code)
                if (auto g = fontgen::ApplyStyle(src.style, base, code, src.width, src.height))
                    out[code] = *g;
        }
        for (const auto& [code, segs] : src.segments) {
            std::string unknown;
            if (!fontgen::KnownSegments(segs, unknown))
                throw std::runtime_error(src.file.string() + ": unknown segment " + unknown);
            out[code] = fontgen::DrawSegments(segs, src.width, src.height);
        }
        for (const auto& [code, g] : src.glyphs) out[code] = g;
        m_busy.erase(id);
        return m_done[id] = std::move(out);
    }

    void writeAll(const std::string& dir) {
        for (const GlyphSource& src : m_sources) {
            if (src.output.empty()) continue;
            const GlyphMap& g = glyphs(src.id);
            std::vector<unsigned char> bytes;
            if (src.headed) {
                bytes = {kHeaderLength, 0, 0, 0};
                for (int v : {src.width, src.height, src.reserved, src.count}) {
                    bytes.push_back(static_cast<unsigned char>(v & 0xFF));
                    bytes.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
                }
            }
            for (int code = 0; code < src.count; ++code) {
                const auto it = g.find(code);
                for (int y = 0; y < src.height; ++y) {
                    unsigned char row = 0;
                    if (it != g.end())
                        for (int x = 0; x < src.width; ++x)
                            if (it->second.lit(x, y)) row |= static_cast<unsigned char>(0x80 >> x);
                    bytes.push_back(row);
                }
            }
            for (const auto& [code, bm] : g)
                if (code >= src.count && !bm.blank())
                    throw std::runtime_error(src.file.string() + ": glyph " + std::to_string(code) +
                                             " lies past the glyph count");
            write(dir + "/" + src.output, bytes);
            if (!src.mapOutput.empty())
                write(dir + "/" + src.mapOutput, {src.symbolMap.begin(), src.symbolMap.end()});
        }
    }

private:
    const GlyphSource& find(const std::string& id) const {
        for (const auto& s : m_sources)
            if (s.id == id) return s;
        throw std::runtime_error("no source with id '" + id + "'");
    }

    static void write(const std::string& path, const std::vector<unsigned char>& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out) throw std::runtime_error(path + ": cannot write");
    }

    std::vector<GlyphSource> m_sources;
    std::map<std::string, GlyphMap> m_done;
    std::set<std::string> m_busy;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 4 || std::string(argv[1]) != "--out") {
        std::fprintf(stderr, "usage: pixbar-fontgen --out DIR SOURCE...\n");
        return 2;
    }
    try {
        std::vector<GlyphSource> sources;
        for (int i = 3; i < argc; ++i) sources.push_back(fontgen::ReadGlyphSource(argv[i]));
        Generator(std::move(sources)).writeAll(argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pixbar-fontgen: %s\n", e.what());
        return 1;
    }
    return 0;
}
