#include "drawgrid.h"

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
}

void DrawGrid::setEditor(MessageContainer* editor) {
    m_editor = editor;
    if (m_editor) m_editor->bind(this);
    invalidate();
}

QSize DrawGrid::sizeHint() const {
    return {kGridColumns * kColumnWidth + verticalScrollBar()->sizeHint().width() + 2 * frameWidth(),
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

void DrawGrid::setFocus() { QAbstractScrollArea::setFocus(Qt::OtherFocusReason); }

void DrawGrid::invalidate() { viewport()->update(); }

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
            m_editor->drawCell(col, row, r, {col == m_col && row == m_row, focused});
        }
    }
    m_painter = nullptr;
}

void DrawGrid::keyPressEvent(QKeyEvent* event) {
    if (!m_editor) return QAbstractScrollArea::keyPressEvent(event);
    int key = 0;
    switch (event->key()) {
    case Qt::Key_Backspace: key = kKeyBackspace; break;
    case Qt::Key_Left: key = kKeyLeft; break;
    case Qt::Key_Right: key = kKeyRight; break;
    case Qt::Key_Delete: key = kKeyDelete; break;
    case Qt::Key_Return:
    case Qt::Key_Enter: key = kKeyEnter; break;
    default: break;
    }
    if (key) {
        m_editor->keyDown(key);
        if (key == 0) { // consumed by the editor
            event->accept();
            return;
        }
    }
    // Keys the editor leaves alone move the cursor as in any grid, within the message.
    switch (event->key()) {
    case Qt::Key_Up: setRow(m_row - 1); return;
    case Qt::Key_Down: setRow(m_row + 1); return;
    case Qt::Key_Home: setCol(0); return;
    case Qt::Key_End: setCol(kGridColumns - 1); return;
    case Qt::Key_PageUp: setRow(std::max(0, m_row - 8)); return;
    case Qt::Key_PageDown: setRow(std::min(kGridRows - 1, m_row + 8)); return;
    default: break;
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
    for (char c : bytes) m_editor->keyPress(static_cast<std::uint8_t>(c));
    event->accept();
}

void DrawGrid::mousePressEvent(QMouseEvent* event) {
    setFocus();
    const QPoint p = event->position().toPoint() +
                     QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
    selectCell(p.x() / kColumnWidth, p.y() / kRowHeight);
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
    if (top < v->value()) v->setValue(top);
    else if (top + kRowHeight > v->value() + viewport()->height())
        v->setValue(top + kRowHeight - viewport()->height());
}

} // namespace pixbar
