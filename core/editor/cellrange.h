#pragma once

#include "ledmessagecon.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pixbar {

/// A run of cells of a message: `count` cells from cell `first`.
struct CellRange {
    int first = 0;
    int count = 0;
    bool empty() const { return count <= 0; }
    int end() const { return first + count; }
    bool contains(int c) const { return c >= first && c < end(); }
    friend bool operator==(const CellRange&, const CellRange&) = default;
};

/// The cells before the first empty cell; all 500 when no cell is empty.
int MessageLength(const MessageRecord& record);
/// Whether cell c starts an item of the message (or is the cell after its last item), reading
/// the items from cell 0 with a lead cell and its parameter as one.
bool IsItemStart(const MessageRecord& record, int c);

/// The cells between the cursor positions `from` and `to` (either order), grown so that no
/// two-cell item is split and cut at the end of the message.
CellRange SelectCells(const MessageRecord& record, int from, int to);

/// The record bytes of the cells of `range`, attribute first, as the clipboard carries them.
std::vector<std::uint8_t> EncodeCells(const MessageRecord& record, CellRange range);
/// Cells from clipboard bytes. Reading stops at an empty cell, at an odd last byte and after
/// 500 cells; a lead cell without its parameter is left out.
std::vector<Cell> DecodeCells(std::span<const std::uint8_t> bytes);
/// The characters of the text cells, as code page 1250 bytes; items, fields, symbols and
/// graphic symbol columns are left out.
std::string TextOfCells(std::span<const Cell> cells);

/// Removes the cells of `range` (grown to whole items) and puts the cursor on its first cell.
void RemoveCells(MessageContainer& editor, CellRange range);

struct PasteResult {
    int inserted = 0;     ///< cells that went in
    int dropped = 0;      ///< cells left out because they did not fit
    bool refused = false; ///< the cursor is on a parameter cell: nothing went in
};

/// Inserts `cells` at the cursor with the editor's rules for insertion: refused on a parameter
/// cell; only as many whole items as the free cells of the area hold, the rest dropped. The
/// cursor goes behind the last inserted cell.
PasteResult PasteCells(MessageContainer& editor, std::span<const Cell> cells);

} // namespace pixbar
