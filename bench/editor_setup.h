#pragma once

// One message editor with made-up fonts and a grid that only keeps the cursor, for the
// editor benchmarks.

#include "editorgrid.h"
#include "ledmessagecon.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace editorbench {

using namespace pixbar;

/// A grid that only keeps the cursor; drawing goes nowhere.
class NullGrid : public pixbar::test::CursorGrid {
public:
    using CursorGrid::CursorGrid;
    void drawCellImage(const CellRect&, const Image32& image) override {
        benchmark::DoNotOptimize(image.pixels[0]);
    }
};

struct Bench {
    Bench() {
        for (int i = 0; i < 16; ++i) {
            FontEntry& e = fonts[std::size_t(i)];
            e.data = glyphs.data();
            e.dataSize = glyphs.size();
            e.width = 8;
            e.height = 16;
        }
    }
    std::vector<std::uint8_t> glyphs = std::vector<std::uint8_t>(256 * 16, 0x5A);
    FontTable fonts{};
    SignGeometry geometry{24, 16, 26};
    MessageContainer editor{EditorContext{fonts, geometry}};
    NullGrid grid{editor};
};

inline MessageRecord fullRecord() {
    MessageRecord r;
    for (int i = 0; i < kCellCount; ++i) r.setCell(i, {7, std::uint8_t('A' + i % 26)});
    r.setCell(10, {kAttrLead, kLeadEffect});
    r.setCell(11, {3, kParameterMark});
    r.setCell(20, {0x17, kMarkTime});
    return r;
}

} // namespace editorbench
