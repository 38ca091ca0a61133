#pragma once

// What the editor's tests, its fuzz target and its benchmarks share: a grid that keeps only
// the cursor, and the rule that an item keeps its two cells together.

#include "ledmessagecon.h"

#include <string>

namespace pixbar::test {

/// A grid as the main window's: every cursor move is put to the editor's canSelect. Focus,
/// repaints and cell images go nowhere unless a subclass takes them.
class CursorGrid : public MessageGrid {
public:
    explicit CursorGrid(MessageContainer& editor) : m_editor(editor) { editor.bind(this); }

    int col() const override { return m_col; }
    int row() const override { return m_row; }
    void setCol(int col) override {
        if (m_editor.canSelect(col, m_row)) m_col = col;
    }
    void setRow(int row) override {
        if (m_editor.canSelect(m_col, row)) m_row = row;
    }
    int colCount() const override { return kGridColumns; }
    int rowCount() const override { return kGridRows; }
    void setFocus() override {}
    void invalidate() override {}
    void drawCellImage(const CellRect&, const Image32&) override {}

    int cell() const { return m_row * kGridColumns + m_col; }
    /// Puts the cursor anywhere, as a test set-up, without asking the editor.
    void put(int cell) {
        m_col = cell % kGridColumns;
        m_row = cell / kGridColumns;
    }

private:
    MessageContainer& m_editor;
    int m_col = 0;
    int m_row = 0;
};

/// Empty when every lead cell is followed by its parameter and no parameter stands alone;
/// otherwise where that breaks. Meant for records whose text never uses character 0x01, so
/// that any cell holding it must follow a lead.
inline std::string BrokenPair(const MessageRecord& r) {
    bool afterLead = false;
    for (int i = 0; i < kCellCount; ++i) {
        const Cell c = r.cell(i);
        if (afterLead) {
            if (c.attribute == kCellEnd || c.character != kParameterMark)
                return "lead at " + std::to_string(i - 1) + " has no parameter";
            afterLead = false;
        } else if (c.attribute == kAttrLead) {
            if (i == kCellCount - 1) return "lead alone in the last cell";
            afterLead = true;
        } else if (c.attribute != kCellEnd && c.character == kParameterMark) {
            return "parameter without lead at " + std::to_string(i);
        }
    }
    return {};
}

} // namespace pixbar::test
