#include "drawgrid.h"

#include "pagehistory.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStringEncoder>

namespace pixbar {

DrawGrid::DrawGrid(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    QPalette p = palette();
    p.setColor(QPalette::Base, Qt::black);
    setPalette(p);
    verticalScrollBar()->setSingleStep(kRowHeight);
    horizontalScrollBar()->setSingleStep(kColumnWidth);
    // A selection belongs to the record it was made on: any change, undo or redo ends it.
    connect(&m_history, &QUndoStack::indexChanged, this, &DrawGrid::clearSelection);
}

DrawGrid::~DrawGrid() {
    // The stack empties itself when it goes, after the grid's own parts are gone.
    m_history.disconnect(this);
}

void DrawGrid::setEditor(MessageContainer* editor) {
    m_editor = editor;
    if (m_editor) m_editor->bind(this);
    invalidate();
}

QSize DrawGrid::sizeHint() const {
    return {kGridColumns * kColumnWidth + verticalScrollBar()->sizeHint().width() +
                2 * frameWidth(),
            8 * kRowHeight};
}

bool DrawGrid::allowed(int col, int row) const {
    if (col < 0 || row < 0 || col >= kGridColumns || row >= kGridRows) return false;
    return !m_editor || m_editor->canSelect(col, row);
}

void DrawGrid::setCol(int col) {
    if (col == m_col || !allowed(col, m_row)) return;
    m_col = col;
    ensureCursorVisible();
    viewport()->update();
}

void DrawGrid::setRow(int row) {
    if (row == m_row || !allowed(m_col, row)) return;
    m_row = row;
    ensureCursorVisible();
    viewport()->update();
}

void DrawGrid::selectCell(int col, int row) {
    if (!allowed(col, row)) return;
    m_col = col;
    m_row = row;
    ensureCursorVisible();
    viewport()->update();
}

void DrawGrid::setFocus() {
    QAbstractScrollArea::setFocus(Qt::OtherFocusReason);
}

void DrawGrid::invalidate() {
    viewport()->update();
}

void DrawGrid::drawCellImage(const CellRect& rect, const Image32& image) {
    if (!m_painter) return; // cells are drawn only while the grid paints
    const QImage picture(reinterpret_cast<const uchar*>(image.pixels), image.width, image.height,
                         image.stride * 4, QImage::Format_RGB32);
    m_painter->drawImage(rect.left, rect.top, picture);
}

void DrawGrid::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    painter.fillRect(event->rect(), Qt::black);
    if (!m_editor) return;
    m_painter = &painter;
    const int dx = horizontalScrollBar()->value();
    const int dy = verticalScrollBar()->value();
    const QRect dirty = event->rect().translated(dx, dy);
    const bool focused = hasFocus();
    for (int row = std::max(0, dirty.top() / kRowHeight);
         row <= std::min(kGridRows - 1, dirty.bottom() / kRowHeight); ++row) {
        for (int col = std::max(0, dirty.left() / kColumnWidth);
             col <= std::min(kGridColumns - 1, dirty.right() / kColumnWidth); ++col) {
            const CellRect r{col * kColumnWidth - dx, row * kRowHeight - dy,
                             (col + 1) * kColumnWidth - dx, (row + 1) * kRowHeight - dy};
            m_editor->drawCell(col, row, r,
                               {col == m_col && row == m_row, focused,
                                m_selection.contains(row * kGridColumns + col)});
        }
    }
    m_painter = nullptr;
}

bool DrawGrid::moveForKey(int key) {
    int editorKey = 0;
    switch (key) {
    case Qt::Key_Left:
        editorKey = kKeyLeft;
        m_editor->keyDown(editorKey);
        return true;
    case Qt::Key_Right:
        editorKey = kKeyRight;
        m_editor->keyDown(editorKey);
        return true;
    // Keys the editor leaves alone move the cursor as in any grid, within the message.
    case Qt::Key_Up:
        setRow(m_row - 1);
        return true;
    case Qt::Key_Down:
        setRow(m_row + 1);
        return true;
    case Qt::Key_Home:
        setCol(0);
        return true;
    case Qt::Key_End:
        setCol(kGridColumns - 1);
        return true;
    case Qt::Key_PageUp:
        setRow(std::max(0, m_row - 8));
        return true;
    case Qt::Key_PageDown:
        setRow(std::min(kGridRows - 1, m_row + 8));
        return true;
    default:
        return false;
    }
}

void DrawGrid::keyPressEvent(QKeyEvent* event) {
    if (!m_editor) return QAbstractScrollArea::keyPressEvent(event);
    const int key = event->key();
    const int before = cursorCell();
    if (moveForKey(key)) {
        if (event->modifiers() & Qt::ShiftModifier) {
            // Shift and an arrow take a whole pair at once.
            if ((key == Qt::Key_Left || key == Qt::Key_Right) && cursorCell() != before &&
                !IsItemStart(m_editor->record(), cursorCell()))
                moveForKey(key);
            const int anchor = m_anchor >= 0 ? m_anchor : before;
            selectCells(anchor, cursorCell());
            m_anchor = anchor;
        } else {
            clearSelection();
        }
        event->accept();
        return;
    }
    if (key == Qt::Key_Escape && hasSelection()) {
        clearSelection();
        event->accept();
        return;
    }
    if (key == Qt::Key_Backspace || key == Qt::Key_Delete) {
        const PageStep step(*this);
        if (hasSelection()) {
            RemoveCells(*m_editor, m_selection);
        } else {
            int editorKey = key == Qt::Key_Backspace ? kKeyBackspace : kKeyDelete;
            m_editor->keyDown(editorKey);
        }
        event->accept();
        return;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        int editorKey = kKeyEnter;
        m_editor->keyDown(editorKey); // not consumed: typed below as its character
    }
    // Typed characters go in as code page 1250 bytes; control characters such as the 13 of
    // Enter are typed like any other code.
    const QString text = event->text();
    if (text.isEmpty() || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    QStringEncoder encode("windows-1250");
    const QByteArray bytes = encode(text);
    const PageStep step(*this);
    if (hasSelection()) RemoveCells(*m_editor, m_selection);
    for (char c : bytes) m_editor->keyPress(static_cast<std::uint8_t>(c));
    event->accept();
}

int DrawGrid::cellAt(const QPoint& point) const {
    const QPoint p = point + QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const int col = std::clamp(p.x() / kColumnWidth, 0, kGridColumns - 1);
    const int row = std::clamp(p.y() / kRowHeight, 0, kGridRows - 1);
    return row * kGridColumns + col;
}

void DrawGrid::mousePressEvent(QMouseEvent* event) {
    setFocus();
    const QPoint p = event->position().toPoint() +
                     QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const int col = p.x() / kColumnWidth;
    const int row = p.y() / kRowHeight;
    const bool onCell = p.x() >= 0 && p.y() >= 0 && col < kGridColumns && row < kGridRows;
    const int cell = row * kGridColumns + col;
    if (m_editor && onCell && event->button() == Qt::LeftButton &&
        (event->modifiers() & Qt::ShiftModifier)) {
        // Shift and a click: from where the selection started up to the clicked cell.
        const int anchor = m_anchor >= 0 ? m_anchor : cursorCell();
        selectCell(col, row);
        selectCells(anchor, cell >= anchor ? cell + 1 : cell);
        m_anchor = anchor;
        return;
    }
    clearSelection();
    selectCell(col, row);
    m_pressCell = onCell && event->button() == Qt::LeftButton ? cell : -1;
}

void DrawGrid::mouseMoveEvent(QMouseEvent* event) {
    if (!m_editor || m_pressCell < 0 || !(event->buttons() & Qt::LeftButton)) return;
    const int cell = cellAt(event->position().toPoint());
    if (cell == m_pressCell && !hasSelection()) return;
    selectCell(cell % kGridColumns, cell / kGridColumns);
    // A drag selects the pressed cell, the one under the mouse and all between.
    const int anchor = cell >= m_pressCell ? m_pressCell : m_pressCell + 1;
    selectCells(anchor, cell >= anchor ? cell + 1 : cell);
    m_anchor = anchor;
}

void DrawGrid::mouseReleaseEvent(QMouseEvent* event) {
    QAbstractScrollArea::mouseReleaseEvent(event);
    m_pressCell = -1;
}

void DrawGrid::selectCells(int from, int to) {
    if (m_editor) setSelection(SelectCells(m_editor->record(), from, to));
}

void DrawGrid::clearSelection() {
    m_anchor = -1;
    setSelection({});
}

void DrawGrid::setSelection(CellRange range) {
    if (range.empty()) range = {};
    if (range == m_selection) return;
    m_selection = range;
    viewport()->update();
    emit selectionChanged();
}

void DrawGrid::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void DrawGrid::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void DrawGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRange();
}

void DrawGrid::updateScrollRange() {
    const QSize view = viewport()->size();
    verticalScrollBar()->setRange(0, std::max(0, kGridRows * kRowHeight - view.height()));
    verticalScrollBar()->setPageStep(view.height());
    horizontalScrollBar()->setRange(0, std::max(0, kGridColumns * kColumnWidth - view.width()));
    horizontalScrollBar()->setPageStep(view.width());
}

void DrawGrid::ensureCursorVisible() {
    QScrollBar* v = verticalScrollBar();
    const int top = m_row * kRowHeight;
    if (top < v->value())
        v->setValue(top);
    else if (top + kRowHeight > v->value() + viewport()->height())
        v->setValue(top + kRowHeight - viewport()->height());
}

} // namespace pixbar
