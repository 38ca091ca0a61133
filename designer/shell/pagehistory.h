#pragma once

#include "edithistory.h"

#include <QString>
#include <QUndoCommand>

class QMimeData;
class QUndoStack;

namespace pixbar {

class DrawGrid;

/// Clipboard format of cells copied from a message page: the record bytes of the cells.
inline constexpr char kCellsMimeType[] = "application/x-pixbar-cells";

/// One change of a page on its undo stack.
class EditStepCommand : public QUndoCommand {
public:
    EditStepCommand(MessageContainer& editor, EditStep step);
    void undo() override;
    void redo() override;

private:
    MessageContainer& m_editor;
    EditStep m_step;
    bool m_done = true; ///< the change is made already when the command is pushed
};

/// Everything a command changes on a page between construction and destruction of a PageStep
/// becomes one undoable step of that page; a command that changes nothing leaves no step.
class PageStep {
public:
    explicit PageStep(DrawGrid& grid);
    ~PageStep();
    PageStep(const PageStep&) = delete;
    PageStep& operator=(const PageStep&) = delete;

private:
    DrawGrid& m_grid;
    EditStep m_step;
};

/// The selected cells of the page on the clipboard: as cells, and as text for other programs.
/// Nothing happens without a selection.
void CopyCells(const DrawGrid& grid);
/// Copies the selected cells and removes them, as one step.
void CutCells(DrawGrid& grid);
/// Pastes at the cursor, over the selection: cells when the clipboard holds ours, otherwise the
/// text typed byte for byte. Returns what the status line should say (empty when all went in).
QString PasteClipboard(DrawGrid& grid, const QMimeData* clipboard);

} // namespace pixbar
