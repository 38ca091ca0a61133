#include "unitchartable.h"

#include "categorybuttons.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace pixbar {

void DrawCharCell(QImage& cell, const FontEntry* font, int code, bool selected) {
    cell.fill(kCharBackground);
    const QRgb background = selected ? kCharSelectedColour : kCharBackground;
    // No font, or one without glyph data (the user font before it is loaded): background only.
    if (!font || !font->data) {
        cell.fill(background);
        return;
    }
    // At most 16 glyph rows fit the 32 rows of the cell.
    const int rows = std::min<int>(font->height, kCharBitmapHeight / 2);
    for (int j = 0; j < rows; ++j) {
        const std::uint8_t bits = font->row(unsigned(code), unsigned(j));
        for (int b = 0; b < 8; ++b) {
            const QRgb colour = (bits & (0x80 >> b)) ? kCharGlyphColour : background;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) cell.setPixel(2 * b + dx, 2 * j + dy, colour);
        }
    }
}

// ---- grid ---------------------------------------------------------------------------------

CharTableGrid::CharTableGrid(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("DrawGrid1"));
    setFixedSize(kCharTableColumns * kCharCellWidth, kCharTableRows * kCharCellHeight);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::IBeamCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CharTableGrid::select(int row, int column) {
    m_row = std::clamp(row, 0, kCharTableRows - 1);
    m_column = std::clamp(column, 0, kCharTableColumns - 1);
    update();
}

void CharTableGrid::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (!drawCell) return;
    for (int r = 0; r < kCharTableRows; ++r)
        for (int c = 0; c < kCharTableColumns; ++c)
            drawCell(
                p, r, c,
                QRect(c * kCharCellWidth, r * kCharCellHeight, kCharCellWidth, kCharCellHeight));
}

bool CharTableGrid::cellAt(const QPoint& p, int& row, int& column) const {
    if (p.x() < 0 || p.y() < 0) return false;
    row = p.y() / kCharCellHeight;
    column = p.x() / kCharCellWidth;
    return row < kCharTableRows && column < kCharTableColumns;
}

void CharTableGrid::mousePressEvent(QMouseEvent* event) {
    int r = 0, c = 0;
    if (event->button() == Qt::LeftButton && cellAt(event->position().toPoint(), r, c))
        select(r, c);
}

void CharTableGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    int r = 0, c = 0;
    if (event->button() != Qt::LeftButton || !cellAt(event->position().toPoint(), r, c)) return;
    select(r, c);
    if (chosen) chosen();
}

void CharTableGrid::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Left:
        select(m_row, m_column - 1);
        break;
    case Qt::Key_Right:
        select(m_row, m_column + 1);
        break;
    case Qt::Key_Up:
        select(m_row - 1, m_column);
        break;
    case Qt::Key_Down:
        select(m_row + 1, m_column);
        break;
    case Qt::Key_Home:
        select(m_row, 0);
        break;
    case Qt::Key_End:
        select(m_row, kCharTableColumns - 1);
        break;
    default:
        QWidget::keyPressEvent(event); // Escape goes on to the window
        return;
    }
}

// ---- window -------------------------------------------------------------------------------

TForm2::TForm2(const FontTable& fonts, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_fonts(fonts) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Tablica znaków"));
    setModal(true);
    CellBitmap = QImage(kCharCellWidth, kCharBitmapHeight, QImage::Format_RGB32);
    CellBitmap.fill(kCharBackground);

    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(192, 192, 192));
    setPalette(pal);
    setAutoFillBackground(true);

    DrawGrid1 = new CharTableGrid(this);
    DrawGrid1->drawCell = [this](QPainter& p, int r, int c, const QRect& rect) {
        DrawGrid1DrawCell(p, r, c, rect);
    };
    DrawGrid1->chosen = [this] { CategoryButtons1Categories0Items0Click(); };

    CategoryButtons1 = new CategoryButtons(this);
    const int group = CategoryButtons1->addGroup(QStringLiteral("Akcje:"));
    CategoryButtons1->addItem(group, QStringLiteral("Wybierz znak"),
                              [this] { CategoryButtons1Categories0Items0Click(); });
    CategoryButtons1->addItem(group, QStringLiteral("Anuluj"),
                              [this] { CategoryButtons1Categories0Items1Click(); });
    CategoryButtons1->setFixedWidth(121);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(3, 3, 0, 3);
    layout->setSpacing(8);
    layout->addWidget(DrawGrid1, 0, Qt::AlignTop);
    layout->addStretch(1);
    layout->addWidget(CategoryButtons1);
    setFixedSize(673, 138);
}

int TForm2::codeAt(int row, int column) const {
    return (row * kCharTableColumns + column + (CharTablePage == 1 ? 128 : 0)) & 0xFF;
}

void TForm2::DrawGrid1DrawCell(QPainter& painter, int row, int column, const QRect& rect) {
    const bool selected = row == DrawGrid1->row() && column == DrawGrid1->column();
    const FontEntry* font =
        CharTableFont == 0 ? nullptr : &m_fonts[std::size_t((CharTableFont - 1) & 0x0F)];
    DrawCharCell(CellBitmap, font, codeAt(row, column), selected);
    painter.drawImage(rect.topLeft(), CellBitmap);
}

void TForm2::CategoryButtons1Categories0Items0Click() {
    CharTableResult = std::uint8_t(codeAt(DrawGrid1->row(), DrawGrid1->column()));
    QDialog::done(Accepted);
}

void TForm2::CategoryButtons1Categories0Items1Click() {
    CharTableResult = 0;
    QDialog::done(Rejected);
}

int TForm2::exec() {
    // Whatever an earlier showing chose, only this one's choice counts.
    CharTableResult = 0;
    if (parentWidget())
        move(parentWidget()->geometry().center() - QPoint(width() / 2, height() / 2));
    DrawGrid1->update();
    DrawGrid1->setFocus();
    return QDialog::exec();
}

void TForm2::closeEvent(QCloseEvent* event) {
    CharTableResult = 0;
    QDialog::closeEvent(event);
}

void TForm2::reject() {
    CharTableResult = 0;
    QDialog::reject();
}

} // namespace pixbar
