#pragma once

#include "prompts.h"
#include "symboltable.h"

#include <QDialog>
#include <QImage>
#include <QTimer>

#include <array>

namespace pixbar {

class CategoryButtons;
class TFormEdytorSymboliGraficznych;

/// The 32 x 8 cells of the symbol table, one column code each; a press moves the current cell.
class SymbolGrid : public QWidget {
    Q_OBJECT
public:
    static constexpr int kCellWidth = 16;
    static constexpr int kCellHeight = 33;

    /// `paintCell` paints cell i into the 16 x 32 picture it is given.
    SymbolGrid(std::function<void(int cell, QImage& picture)> paintCell, QWidget* parent);

    int col() const { return m_col; }
    int row() const { return m_row; }
    int cell() const { return m_row * kSymbolGridColumns + m_col; }
    void setCurrent(int col, int row);

signals:
    void pressed();
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::function<void(int, QImage&)> m_paintCell;
    QImage m_cellBitmap;
    int m_col = 0;
    int m_row = 0;
};

/// "Tablica symboli graficznych": shows every column of the graphic symbol table, picks a
/// symbol for a message, imports one from a bitmap, deletes one and opens the editor. Every
/// change is written to gfx_symbols.bin and gfx_symbols_map.bin at once.
class TFormGFXSymbols : public QDialog {
    Q_OBJECT
public:
    TFormGFXSymbols(GlyphSets& glyphs, UserPrompts& prompts, QWidget* parent = nullptr);

    /// The symbol chosen by "Wybierz": start code 0 when nothing was chosen.
    unsigned selectedStart() const { return m_selectedStart; }
    unsigned selectedWidth() const { return m_selectedWidth; }
    /// Forgets the last choice (before the window is shown for a new one).
    void resetChoice();
    const std::array<bool, kSymbolGridCells>& highlight() const { return m_highlight; }
    const ImportStaging& staging() const { return m_staging; }
    TFormEdytorSymboliGraficznych& editor() { return *m_editor; }

    SymbolGrid* DrawGrid1 = nullptr;
    CategoryButtons* CategoryButtons1 = nullptr;

    void DrawGrid1SelectSymbol();
    void DrawGrid1HightlightSymbol();
    void WczytajSymbolGraficznyZPlikuClick();
    void UsunSymbolGraficznyClick();
    void ZaprojektujNowySymbolGraficznyClick();
    void ZmienIstniejacySymbolGraficznyClick();
    /// "Zamknij okno": nothing chosen.
    void CategoryButtons1Categories0Items3Click();
    void TimerExpandCategoryButtonsTimer();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void DrawGrid1DrawCell(int cell, QImage& picture);
    /// Code under the current cell for Delete and Change; the last cell closes the window.
    unsigned codeUnderCursorOrClose();
    void save();

    GlyphSets& m_glyphs;
    UserPrompts& m_prompts;
    SymbolTable m_table;
    TFormEdytorSymboliGraficznych* m_editor = nullptr;
    unsigned m_selectedStart = 0;
    unsigned m_selectedWidth = 0;
    std::array<bool, kSymbolGridCells> m_highlight{};
    ImportStaging m_staging;
    QTimer m_expandTimer;
};

} // namespace pixbar
