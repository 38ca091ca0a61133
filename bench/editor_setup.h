#pragma once

// One message editor with made-up fonts and a grid that only keeps the cursor, for the
// editor benchmarks.

#include "ledmessagecon.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace editorbench {

using namespace pixbar;

/// A grid that only keeps the cursor; drawing goes nowhere.
class NullGrid : public MessageGrid {
public:
    explicit NullGrid(MessageContainer& editor) : m_editor(editor) { editor.bind(this); }
    int col() const override { return m_col; }
    int row() const override { return m_row; }
    void setCol(int col) override {
        if (m_editor.canSelect(col, m_row)) m_col = col;
    }
    void setRow(int row) override {
        if (m_editor.canSelect(m_col, row)) m_row = row;
    }
    int colCount() const override { return kGridColumns; }
    int rowCount() const override { return kGridRows; }
    void setFocus() override {}
    void invalidate() override {}
    void drawCellImage(const CellRect&, const Image32& image) override {
        benchmark::DoNotOptimize(image.pixels[0]);
    }

private:
    MessageContainer& m_editor;
    int m_col = 0;
    int m_row = 0;
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
