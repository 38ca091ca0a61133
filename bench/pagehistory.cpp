// Undo and redo of a page through its undo stack, as Ctrl+Z and Ctrl+Y run them.
#include "editor_setup.h"
#include "pagehistory.h"

#include <QUndoStack>

#include <benchmark/benchmark.h>

using namespace editorbench;

namespace {

/// A second full message that differs from fullRecord() in every cell.
MessageRecord otherFullRecord() {
    MessageRecord r;
    for (int i = 0; i < kCellCount; ++i) r.setCell(i, {4, std::uint8_t('a' + i % 26)});
    r.setKind(1);
    return r;
}

void pushStep(QUndoStack& stack, MessageContainer& editor, const std::function<void()>& edit) {
    std::optional<EditStep> step = RecordEdit(editor, edit);
    if (step) stack.push(new EditStepCommand(editor, std::move(*step)));
}

/// Undo, then redo, of loading a 500-cell message over another one.
void BM_UndoRedoWholePage(benchmark::State& state) {
    Bench b;
    QUndoStack stack;
    b.editor.loadRecord(fullRecord());
    pushStep(stack, b.editor, [&] { b.editor.loadRecord(otherFullRecord()); });
    for (auto _ : state) {
        stack.undo();
        stack.redo();
    }
    if (b.editor.record() != otherFullRecord()) state.SkipWithError("redo lost the record");
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_UndoRedoWholePage);

/// Undo, then redo, of one key press at cell 0 of a full message.
void BM_UndoRedoKeystroke(benchmark::State& state) {
    Bench b;
    QUndoStack stack;
    b.editor.loadRecord(fullRecord());
    pushStep(stack, b.editor, [&] { b.editor.keyPress('x'); });
    for (auto _ : state) {
        stack.undo();
        stack.redo();
    }
    if (b.editor.record().cell(0) != Cell{3, 'x'}) state.SkipWithError("redo lost the key");
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_UndoRedoKeystroke);

/// Recording a key press as a step: the cost every keystroke now carries.
void BM_RecordKeystroke(benchmark::State& state) {
    Bench b;
    QUndoStack stack;
    stack.setUndoLimit(1000);
    b.editor.loadRecord(fullRecord());
    for (auto _ : state) {
        b.grid.setCol(0);
        b.grid.setRow(0);
        pushStep(stack, b.editor, [&] { b.editor.keyPress('x'); });
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RecordKeystroke);

} // namespace
