#pragma once

#include "ledmessagecon.h"

#include <QAbstractScrollArea>

namespace pixbar {

/// DrawGridN: the 32 x 16 cell grid of a message page. The editor draws every cell and decides
/// where the cursor may go; the grid only scrolls, paints and forwards keys and clicks.
class DrawGrid : public QAbstractScrollArea, public MessageGrid {
    Q_OBJECT
public:
    static constexpr int kColumnWidth = 16;
    static constexpr int kRowHeight = 33;

    explicit DrawGrid(QWidget* parent = nullptr);
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

protected:
    void paintEvent(QPaintEvent*) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateScrollRange();
    void ensureCursorVisible();
    bool allowed(int col, int row) const;

    MessageContainer* m_editor = nullptr;
    QPainter* m_painter = nullptr; ///< set while the grid paints
    int m_col = 0;
    int m_row = 0;
};

} // namespace pixbar
