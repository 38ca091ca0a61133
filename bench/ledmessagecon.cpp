#include "ledmessagecon.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <vector>

using namespace pixbar;

namespace {

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

MessageRecord fullRecord() {
    MessageRecord r;
    for (int i = 0; i < kCellCount; ++i) r.setCell(i, {7, std::uint8_t('A' + i % 26)});
    r.setCell(10, {kAttrLead, kLeadEffect});
    r.setCell(11, {3, kParameterMark});
    r.setCell(20, {0x17, kMarkTime});
    return r;
}

/// Repainting a whole page: 512 cells drawn and handed to the grid.
void BM_DrawWholeGrid(benchmark::State& state) {
    Bench b;
    b.editor.loadRecord(fullRecord());
    for (auto _ : state)
        for (int c = 0; c < kGridColumns * kGridRows; ++c)
            b.editor.drawCell(c % kGridColumns, c / kGridColumns, {}, {c == 0, true});
    state.SetItemsProcessed(state.iterations() * kGridColumns * kGridRows);
}
BENCHMARK(BM_DrawWholeGrid);

/// The worst key press: a character typed at cell 0 of a full message.
void BM_TypeAtStartOfFullMessage(benchmark::State& state) {
    Bench b;
    b.editor.loadRecord(fullRecord());
    for (auto _ : state) {
        b.grid.setCol(0);
        b.grid.setRow(0);
        b.editor.keyPress('x');
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TypeAtStartOfFullMessage);

/// Saving and loading a message set file (8192 bytes) in the temporary folder.
void BM_SaveAndLoadMessageSet(benchmark::State& state) {
    Bench b;
    b.editor.loadRecord(fullRecord());
    std::array<MessageContainer*, kMessageSetCount> editors;
    editors.fill(&b.editor);
    const auto file = std::filesystem::temp_directory_path() / "pixbar-bench-set.kzb";
    for (auto _ : state) {
        if (SaveMessageSet(file, editors) != 0) state.SkipWithError("save failed");
        if (LoadMessageSet(file, editors) != 0) state.SkipWithError("load failed");
    }
    std::filesystem::remove(file);
}
BENCHMARK(BM_SaveAndLoadMessageSet);

} // namespace
