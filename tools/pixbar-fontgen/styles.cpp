#include "styles.h"

#include <algorithm>
#include <utility>

namespace fontgen {

namespace {

/// Where a glyph's diacritic marks sit relative to its letter body.
enum class MarkPlace { None, Above, Below, Inside };

MarkPlace markPlace(const Bitmap& g) {
    int bodyTop = g.height, bodyBottom = -1, markTop = g.height, markBottom = -1;
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x) {
            if (g.body(x, y)) bodyTop = std::min(bodyTop, y), bodyBottom = std::max(bodyBottom, y);
            if (g.mark(x, y)) markTop = std::min(markTop, y), markBottom = std::max(markBottom, y);
        }
    if (markBottom < 0) return MarkPlace::None;
    if (markBottom < bodyTop) return MarkPlace::Above;
    if (markTop > bodyBottom) return MarkPlace::Below;
    return MarkPlace::Inside;
}

/// Only the pixels of one kind, as body pixels.
Bitmap layer(const Bitmap& g, Ink kind) {
    Bitmap out(g.width, g.height);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            if (g.at(x, y) == kind) out.set(x, y, Ink::Body);
    return out;
}

int rowDifference(const Bitmap& g, int a, int b) {
    int d = 0;
    for (int x = 0; x < g.width; ++x) d += g.lit(x, a) != g.lit(x, b);
    return d;
}

/// The glyph with row `drop` merged into row `into` (OR) and taken out.
Bitmap removeRow(const Bitmap& g, int drop, int into) {
    Bitmap out(g.width, g.height - 1);
    for (int y = 0, oy = 0; y < g.height; ++y) {
        if (y == drop) continue;
        for (int x = 0; x < g.width; ++x) {
            Ink v = g.at(x, y);
            if (y == into && v == Ink::Off) v = g.at(x, drop);
            out.set(x, oy, v);
        }
        ++oy;
    }
    return out;
}

/// Squeezes a glyph to `rows` rows, taking out repeated rows nearest the middle first, then
/// merging the most alike neighbouring rows, so that straight strokes lose length, not shape.
Bitmap squeeze(Bitmap g, int rows) {
    while (g.height > rows) {
        const int mid = (g.height - 1) / 2;
        int best = -1, bestScore = 1 << 20, bestInto = -1;
        for (int y = 1; y < g.height; ++y) {
            const int diff = rowDifference(g, y, y - 1);
            // Repeated rows first (diff 0), nearest the middle; a blank top row counts as one.
            const int score = diff * 100 + std::abs(y - mid);
            if (score < bestScore) bestScore = score, best = y, bestInto = y - 1;
        }
        // Without repeated rows a blank top row goes first, then the most alike neighbours merge.
        if (g.topRow() > 0 && bestScore >= 100) best = 0, bestInto = 1;
        g = removeRow(g, best, bestInto);
    }
    return g;
}

/// The base glyph at (dx, dy) in a width x height grid.
Bitmap place(const Bitmap& g, int width, int height, int dx, int dy) {
    Bitmap out(width, height);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            if (g.lit(x, y)) out.set(x + dx, y + dy, g.at(x, y));
    return out;
}

Bitmap bold(const Bitmap& g, int width, int height) {
    Bitmap out(width, height);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            if (g.lit(x, y)) out.set(x, y, g.at(x, y)), out.set(x + 1, y, g.at(x, y));
    return out;
}

/// Bold strokes on a body one row taller: the middle row of the base is drawn twice.
Bitmap heavy(const Bitmap& g, int width, int height) {
    const Bitmap b = bold(g, width, height);
    const int middle = g.height / 2;
    Bitmap out(width, height);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < width; ++x) {
            if (!b.lit(x, y)) continue;
            out.set(x, y <= middle ? y : y + 1, b.at(x, y));
            if (y == middle) out.set(x, y + 1, b.at(x, y));
        }
    return out;
}

/// A lit pixel at an outer corner of a region at least three pixels wide and tall.
bool outerCorner(const Bitmap& g, int x, int y, int sx, int sy) {
    return g.lit(x, y) && !g.lit(x - sx, y) && !g.lit(x, y - sy) && !g.lit(x - sx, y - sy) &&
           g.lit(x + sx, y) && g.lit(x + 2 * sx, y) && g.lit(x, y + sy) && g.lit(x, y + 2 * sy);
}

Bitmap balloon(const Bitmap& g, int width, int height) {
    const MarkPlace where = markPlace(g);
    // The outer columns and the bottom row are doubled: fat sides, a heavy base, open counters.
    auto columns = [&](int x) {
        return x == 0             ? std::pair{0, 1}
               : x == g.width - 1 ? std::pair{x + 1, x + 2}
                                  : std::pair{x + 1, x + 1};
    };
    Bitmap pen(width, height);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            if (g.body(x, y)) {
                const auto [x0, x1] = columns(x);
                const int y1 = y == g.height - 1 ? y + 1 : y;
                for (int py = y; py <= y1; ++py)
                    for (int px = x0; px <= x1; ++px) pen.set(px, py, Ink::Body);
            }
    Bitmap out = pen;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int sx : {-1, 1})
                for (int sy : {-1, 1})
                    if (outerCorner(pen, x, y, sx, sy)) out.set(x, y, Ink::Off);
    // Marks keep their rows; an ogonek on the last row takes the doubled row too.
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            if (g.mark(x, y)) {
                const auto [x0, x1] = columns(x);
                const int y1 = y == g.height - 1 && where == MarkPlace::Below ? y + 1 : y;
                for (int py = y; py <= y1; ++py)
                    for (int px = x0; px <= x1; ++px) out.set(px, py, Ink::Mark);
            }
    return out;
}

/// Outline of a thin glyph: the ring of pixels around its strokes, strokes left dark.
Bitmap ring(const Bitmap& core, int width, int height, int dx, int dy) {
    Bitmap c = place(core, width, height, dx, dy);
    Bitmap out(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (c.lit(x, y)) continue;
            // Only side neighbours count: diagonal strokes keep an open, readable ring.
            if (c.lit(x - 1, y) || c.lit(x + 1, y) || c.lit(x, y - 1) || c.lit(x, y + 1))
                out.set(x, y, Ink::Body);
        }
    return out;
}

/// All mark pixels of a glyph pressed into one row, at output row `row`, shifted by dx.
void markRow(const Bitmap& g, Bitmap& out, int row, int dx) {
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            if (g.mark(x, y)) out.set(x + dx, row, Ink::Mark);
}

Bitmap outline(const Bitmap& g, int width, int height) {
    const MarkPlace where = markPlace(g);
    if (where == MarkPlace::Above || where == MarkPlace::Below) {
        // The letter gets shorter so that a blank row parts it from its accent or ogonek.
        const Bitmap body = squeeze(layer(g, Ink::Body), height - 4);
        const bool above = where == MarkPlace::Above;
        Bitmap out = ring(body, width, height, 1, above ? 3 : 1);
        markRow(g, out, above ? 0 : height - 1, 1);
        return out;
    }
    // A mark inside the letter (the stroke of the l) is outlined with it.
    Bitmap whole = layer(g, Ink::Body);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            if (g.mark(x, y)) whole.set(x, y, Ink::Body);
    return ring(squeeze(whole, height - 2), width, height, 1, 1);
}

/// Whether the pixel is part of an up-and-down stroke of the base.
bool vertical(const Bitmap& g, int x, int y) {
    return g.lit(x, y) && (g.lit(x, y - 1) || g.lit(x, y + 1));
}

Bitmap serif(const Bitmap& g, int width, int height, bool letter) {
    Bitmap out(width, height);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x) {
            if (!g.lit(x, y)) continue;
            out.set(x + 1, y, g.at(x, y));
            if (g.body(x, y) && vertical(g, x, y)) out.set(x + 2, y, Ink::Body);
        }
    // Slab serifs where a stem of three or more pixels of a letter ends freely; figures and
    // signs keep plain stems so that they do not turn into letters.
    if (!letter) return out;
    for (int x = 0; x < g.width; ++x)
        for (int y = 0; y < g.height; ++y) {
            if (!g.body(x, y) || g.body(x, y - 1)) continue;
            int end = y;
            while (g.body(x, end + 1)) ++end;
            if (end - y < 2) continue;
            auto foot = [&](int row, int side) {
                if (g.lit(x - 1, row + side) || g.lit(x + 1, row + side)) return;
                if (!out.lit(x, row) && !g.lit(x - 1, row)) out.set(x, row, Ink::Body);
                if (!g.lit(x + 1, row) && !g.lit(x + 2, row)) out.set(x + 3, row, Ink::Body);
            };
            foot(y, -1);
            foot(end, 1);
            y = end;
        }
    return out;
}

/// Rows [from, to] of `g` stretched over output rows [outFrom, outTo], one kind of pixel only.
void stretch(const Bitmap& g, Bitmap& out, int from, int to, int outFrom, int outTo, Ink kind) {
    if (to < from || outTo < outFrom) return;
    const int n = to - from + 1, outN = outTo - outFrom + 1;
    for (int oy = outFrom; oy <= outTo; ++oy) {
        const int y = from + (oy - outFrom) * n / outN;
        for (int x = 0; x < g.width; ++x)
            if (g.at(x, y) == kind) out.set(x, oy, kind);
    }
}

/// The glyph code of a letter's capital (Polish lower case 1..9 have theirs at 10..18).
int capitalOf(int code) {
    if (code >= 'a' && code <= 'z') return code - 'a' + 'A';
    if (code >= 1 && code <= 9) return code + 9;
    return code;
}

Bitmap doubled(const GlyphMap& base, int code, int width, int height) {
    const auto it = base.find(capitalOf(code));
    if (it == base.end()) return {};
    const Bitmap& g = it->second;
    Bitmap out(width, height);
    int bodyTop = g.height, bodyBottom = -1;
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            if (g.body(x, y)) bodyTop = std::min(bodyTop, y), bodyBottom = std::max(bodyBottom, y);
    switch (markPlace(g)) {
    case MarkPlace::Above:
        stretch(g, out, 0, bodyTop - 1, 0, 2, Ink::Mark);
        stretch(g, out, bodyTop, bodyBottom, 4, height - 2, Ink::Body);
        break;
    case MarkPlace::Below:
        stretch(g, out, bodyTop, bodyBottom, 1, height - 5, Ink::Body);
        stretch(g, out, bodyBottom + 1, g.height - 1, height - 4, height - 1, Ink::Mark);
        break;
    default:
        // Row y of the base fills rows 2y+1 and 2y+2; the descender row keeps the last row.
        for (int oy = 1; oy < height; ++oy) {
            const int y = std::min((oy - 1) / 2, g.height - 1);
            for (int x = 0; x < g.width; ++x)
                if (g.lit(x, y)) out.set(x, oy, g.at(x, y));
        }
    }
    return out;
}

Bitmap broadway(const Bitmap& g, int width, int height) {
    Bitmap out(width, height);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x) {
            if (!g.lit(x, y)) continue;
            const Ink v = g.at(x, y);
            const int top = 2 * y + 1;
            const bool stem = g.body(x, y) && vertical(g, x, y);
            const bool diagonal = g.body(x, y) && !stem &&
                                  (g.lit(x - 1, y - 1) || g.lit(x + 1, y - 1) ||
                                   g.lit(x - 1, y + 1) || g.lit(x + 1, y + 1)) &&
                                  !g.lit(x - 1, y) && !g.lit(x + 1, y);
            if (g.mark(x, y)) {
                // Accents stay whole: each pixel of a mark becomes a 2 x 2 block.
                for (int r = top; r <= top + 1; ++r) out.set(x, r, v), out.set(x + 1, r, v);
            } else if (stem || diagonal) {
                for (int r = top; r <= top + 1; ++r) out.set(x, r, v), out.set(x + 1, r, v);
            } else {
                // Cross strokes are hairlines on the row nearer the letter's edge.
                out.set(x, y < g.height / 2 ? top : top + 1, v);
            }
        }
    return out;
}

Bitmap computer(const Bitmap& g, int width, int height, bool square) {
    Bitmap out = place(g, width, height, 0, 0);
    // Square corners: fill the corner pixel where a straight horizontal and a straight
    // vertical stroke meet diagonally. Figures stay round, so that 8 never reads as B.
    for (int y = 0; y < (square ? height : 0); ++y)
        for (int x = 0; x < width; ++x) {
            if (g.lit(x, y)) continue;
            for (int sx : {-1, 1})
                for (int sy : {-1, 1})
                    if (g.body(x + sx, y) && g.body(x + 2 * sx, y) && g.body(x, y + sy) &&
                        g.body(x, y + 2 * sy) && !g.lit(x + sx, y + sy))
                        out.set(x, y, Ink::Body);
        }
    // Heavy lower stems, the mark of letters made for machine reading.
    const Bitmap squared = out;
    for (int y = height / 2; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (squared.body(x, y) && squared.body(x, y - 1) && squared.body(x, y + 1) &&
                !squared.lit(x + 1, y) && !squared.lit(x + 2, y))
                out.set(x + 1, y, Ink::Body);
    return out;
}

Bitmap italic(const Bitmap& g, int width, int height) {
    Bitmap out(width, height);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            if (g.lit(x, y)) out.set(x + (y < 3 ? 1 : 0), y, g.at(x, y));
    return out;
}

struct Segment {
    const char* name;
    std::vector<std::pair<int, int>> pixels;
};

std::vector<std::pair<int, int>> hline(int y, int x0, int x1) {
    std::vector<std::pair<int, int>> p;
    for (int x = x0; x <= x1; ++x) p.push_back({x, y});
    return p;
}

std::vector<std::pair<int, int>> vline(int x, int y0, int y1) {
    std::vector<std::pair<int, int>> p;
    for (int y = y0; y <= y1; ++y) p.push_back({x, y});
    return p;
}

const std::vector<Segment>& segmentTable() {
    static const std::vector<Segment> table = {
        {"a", hline(2, 1, 5)},
        {"b", vline(6, 3, 7)},
        {"c", vline(6, 9, 13)},
        {"d", hline(14, 1, 5)},
        {"e", vline(0, 9, 13)},
        {"f", vline(0, 3, 7)},
        {"g1", hline(8, 1, 2)},
        {"g2", hline(8, 4, 5)},
        {"i", vline(3, 3, 7)},
        {"l", vline(3, 9, 13)},
        {"h", {{1, 3}, {1, 4}, {2, 5}, {2, 6}}},
        {"j", {{5, 3}, {5, 4}, {4, 5}, {4, 6}}},
        {"k", {{2, 10}, {2, 11}, {1, 12}, {1, 13}}},
        {"m", {{4, 10}, {4, 11}, {5, 12}, {5, 13}}},
        {"dp", {{3, 14}}},
        {"colon", {{3, 5}, {3, 11}}},
        {"acute", {{4, 0}, {3, 1}}},
        {"dot", {{3, 0}}},
        {"ogonek", {{5, 15}, {6, 15}}},
        {"stroke", {{1, 9}, {2, 8}, {3, 7}}},
    };
    return table;
}

} // namespace

bool KnownStyle(const std::string& style) {
    for (const char* s : {"copy", "bold", "heavy", "balloon", "outline", "serif", "double",
                          "broadway", "computer", "italic"})
        if (style == s) return true;
    return false;
}

std::optional<Bitmap> ApplyStyle(const std::string& style, const GlyphMap& base, int code,
                                 int width, int height) {
    if (style == "double") {
        Bitmap d = doubled(base, code, width, height);
        if (d.width == 0) return std::nullopt;
        return d;
    }
    // The outline face is a display face: its lower case letters are capitals too.
    const auto it = base.find(style == "outline" ? capitalOf(code) : code);
    if (it == base.end()) return std::nullopt;
    const Bitmap& g = it->second;
    if (style == "copy") return place(g, width, height, 0, 0);
    if (style == "bold") return bold(g, width, height);
    if (style == "heavy") return heavy(g, width, height);
    if (style == "balloon") return balloon(g, width, height);
    if (style == "outline") return outline(g, width, height);
    if (style == "serif") {
        const bool letter = (code >= 1 && code <= 18) || (code >= 'A' && code <= 'Z') ||
                            (code >= 'a' && code <= 'z');
        return serif(g, width, height, letter);
    }
    if (style == "broadway") return broadway(g, width, height);
    if (style == "computer") return computer(g, width, height, code < '0' || code > '9');
    if (style == "italic") return italic(g, width, height);
    return std::nullopt;
}

bool KnownSegments(const std::vector<std::string>& segments, std::string& unknown) {
    for (const auto& s : segments) {
        if (s == "g") continue;
        bool found = false;
        for (const auto& seg : segmentTable()) found = found || s == seg.name;
        if (!found) {
            unknown = s;
            return false;
        }
    }
    return true;
}

Bitmap DrawSegments(const std::vector<std::string>& segments, int width, int height) {
    Bitmap out(width, height);
    for (const auto& s : segments)
        for (const auto& seg : segmentTable())
            if (s == seg.name ||
                (s == "g" && (std::string(seg.name) == "g1" || std::string(seg.name) == "g2")))
                for (auto [x, y] : seg.pixels) out.set(x, y, Ink::Body);
    return out;
}

} // namespace fontgen
