#pragma once

#include "glyphs.h"

#include <QDialog>
#include <QImage>

#include <cstdint>
#include <functional>

namespace pixbar {

class CategoryButtons;

inline constexpr int kCharTableColumns = 32;
inline constexpr int kCharTableRows = 4;
inline constexpr int kCharCellWidth = 16;
inline constexpr int kCharCellHeight = 33; ///< the bitmap's 32 rows and one row of grid black
inline constexpr int kCharBitmapHeight = 32;
inline constexpr QRgb kCharGlyphColour = 0xFFF0F000;    ///< yellow
inline constexpr QRgb kCharSelectedColour = 0xFF808080; ///< grey behind the selected cell
inline constexpr QRgb kCharBackground = 0xFF000000;

/// Paints glyph `code` of `font` twice its size into the 16 x 32 `cell`: each glyph bit is a
/// 2 x 2 square, lit in yellow, unlit in the background colour; rows below the glyph stay
/// black. With `font` null (no font chosen) or without glyph data the cell is only the
/// background.
void DrawCharCell(QImage& cell, const FontEntry* font, int code, bool selected);

/// The 32 x 4 grid of the character table.
class CharTableGrid : public QWidget {
    Q_OBJECT
public:
    explicit CharTableGrid(QWidget* parent = nullptr);
    int row() const { return m_row; }
    int column() const { return m_column; }
    void select(int row, int column);
    /// Paints the cell from its bitmap (the window's DrawGrid1DrawCell).
    std::function<void(QPainter&, int row, int column, const QRect&)> drawCell;
    /// A double click on a cell.
    std::function<void()> chosen;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool cellAt(const QPoint& p, int& row, int& column) const;
    int m_row = 0;
    int m_column = 0;
};

/// "Tablica znaków": picks one of 128 codes of a font by sight. The main window sets the font
/// and page, shows it modally and reads CharTableResult (0: nothing chosen).
class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(const FontTable& fonts, QWidget* parent = nullptr);

    std::uint8_t CharTableFont = 1; ///< font number 1..15; 0 shows no glyphs
    int CharTablePage = 0;          ///< 0: codes 0..127, 1: codes 128..255
    std::uint8_t CharTableResult = 0;
    QImage CellBitmap;
    CharTableGrid* DrawGrid1 = nullptr;
    CategoryButtons* CategoryButtons1 = nullptr;

    /// The code of a grid cell on the current page.
    int codeAt(int row, int column) const;

    void DrawGrid1DrawCell(QPainter& painter, int row, int column, const QRect& rect);
    /// "Wybierz znak", and a double click on the grid.
    void CategoryButtons1Categories0Items0Click();
    /// "Anuluj".
    void CategoryButtons1Categories0Items1Click();

    int exec() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    const FontTable& m_fonts;
};

} // namespace pixbar
