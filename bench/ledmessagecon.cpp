#include "editor_setup.h"

#include <benchmark/benchmark.h>

#include <filesystem>

using namespace editorbench;

namespace {

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
