#pragma once

#include "cellrange.h"
#include "ledmessagecon.h"

#include <QAbstractScrollArea>
#include <QUndoStack>

namespace pixbar {

/// DrawGridN: the 32 x 16 cell grid of a message page. The editor draws every cell and decides
/// where the cursor may go; the grid scrolls, paints, forwards keys and clicks, keeps the
/// cells the user selects and the page's undo stack.
class DrawGrid : public QAbstractScrollArea, public MessageGrid {
    Q_OBJECT
public:
    static constexpr int kColumnWidth = 16;
    static constexpr int kRowHeight = 33;

    explicit DrawGrid(QWidget* parent = nullptr);
    ~DrawGrid() override;
    void setEditor(MessageContainer* editor);
    MessageContainer* editor() const { return m_editor; }

    int col() const override { return m_col; }
    int row() const override { return m_row; }
    void setCol(int col) override;
    void setRow(int row) override;
    int colCount() const override { return kGridColumns; }
    int rowCount() const override { return kGridRows; }
    void setFocus() override;
    void invalidate() override;
    void drawCellImage(const CellRect& rect, const Image32& image) override;

    /// A click on cell (col, row): the cursor goes there only when the editor allows it.
    void selectCell(int col, int row);
    QSize sizeHint() const override;

    /// Every change of this page, one step per command.
    QUndoStack& history() { return m_history; }
    /// The selected cells; empty when nothing is selected.
    CellRange selection() const { return m_selection; }
    bool hasSelection() const { return !m_selection.empty(); }
    /// Selects the cells between cursor positions `from` and `to`, grown to whole items.
    void selectCells(int from, int to);
    void clearSelection();

signals:
    void selectionChanged();

protected:
    void paintEvent(QPaintEvent*) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateScrollRange();
    void ensureCursorVisible();
    bool allowed(int col, int row) const;
    int cursorCell() const { return m_row * kGridColumns + m_col; }
    /// The cell under a point of the viewport, kept within the grid.
    int cellAt(const QPoint& point) const;
    /// Moves the cursor for a navigation key; false for any other key.
    bool moveForKey(int key);
    void setSelection(CellRange range);

    MessageContainer* m_editor = nullptr;
    QPainter* m_painter = nullptr; ///< set while the grid paints
    int m_col = 0;
    int m_row = 0;
    QUndoStack m_history;
    CellRange m_selection;
    int m_anchor = -1;    ///< where Shift started the selection
    int m_pressCell = -1; ///< cell where the left button went down
};

} // namespace pixbar
