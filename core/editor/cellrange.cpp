#include "cellrange.h"

#include <algorithm>

namespace pixbar {

namespace {

constexpr std::size_t kCellBytes = 2;

/// Cells an item starting with `cell` takes, when `following` cells come after it.
int itemSize(Cell cell, std::size_t following) {
    return cell.attribute == kAttrLead && following > 0 ? 2 : 1;
}

} // namespace

int MessageLength(const MessageRecord& record) {
    for (int i = 0; i < kCellCount; ++i)
        if (record.attribute(i) == kCellEnd) return i;
    return kCellCount;
}

bool IsItemStart(const MessageRecord& record, int c) {
    if (c < 0 || c > kCellCount) return false;
    int i = 0;
    while (i < c) i += itemSize(record.cell(i), std::size_t(kCellCount - 1 - i));
    return i == c;
}

CellRange SelectCells(const MessageRecord& record, int from, int to) {
    const int length = MessageLength(record);
    int first = std::clamp(std::min(from, to), 0, length);
    int last = std::clamp(std::max(from, to), 0, length);
    const bool collapsed = first == last;
    // Walk the items once: the range starts where its first item starts and ends where its
    // last item ends.
    int i = 0;
    int start = 0;
    while (i < length) {
        const int next = i + itemSize(record.cell(i), std::size_t(kCellCount - 1 - i));
        if (i <= first && first < next) start = i;
        if (i < last && last < next) last = next;
        i = next;
    }
    if (first < length) first = start;
    if (collapsed) return {first, 0};
    last = std::min(last, length);
    return {first, std::max(0, last - first)};
}

std::vector<std::uint8_t> EncodeCells(const MessageRecord& record, CellRange range) {
    range = SelectCells(record, range.first, range.end());
    const auto from = record.bytes.begin() + std::ptrdiff_t(kCellBytes) * range.first;
    return {from, from + std::ptrdiff_t(kCellBytes) * range.count};
}

std::vector<Cell> DecodeCells(std::span<const std::uint8_t> bytes) {
    std::vector<Cell> cells;
    for (std::size_t i = 0; i + 1 < bytes.size() && cells.size() < std::size_t(kCellCount);
         i += kCellBytes) {
        const Cell cell{bytes[i], bytes[i + 1]};
        if (cell.attribute == kCellEnd) break;
        cells.push_back(cell);
    }
    // The last lead may have lost its parameter to one of the limits above.
    std::size_t i = 0;
    std::size_t last = 0;
    while (i < cells.size()) {
        last = i;
        i += std::size_t(itemSize(cells[i], cells.size() - 1 - i));
    }
    if (last + 1 == cells.size() && cells[last].attribute == kAttrLead) cells.pop_back();
    return cells;
}

std::string TextOfCells(std::span<const Cell> cells) {
    std::string text;
    for (std::size_t i = 0; i < cells.size();) {
        const Cell cell = cells[i];
        const int size = itemSize(cell, cells.size() - 1 - i);
        const std::uint8_t font = cell.attribute & kFontMask;
        if (size == 1 && (cell.attribute & kClassMask) == kClassText && font != 0 &&
            font != kFontGraphicSymbols && font != kFontSymbols)
            text.push_back(char(cell.character));
        i += std::size_t(size);
    }
    return text;
}

void RemoveCells(MessageContainer& editor, CellRange range) {
    range = SelectCells(editor.record(), range.first, range.end());
    if (range.empty()) return;
    editor.removeRange(range.first, range.count);
    editor.placeCursor(range.first);
    editor.repaint();
}

PasteResult PasteCells(MessageContainer& editor, std::span<const Cell> cells) {
    PasteResult result;
    const int c = editor.cursorCell();
    if (c >= 1 && editor.record().attribute(c - 1) == kAttrLead) {
        result.refused = true;
        result.dropped = int(cells.size());
        return result;
    }
    const std::size_t room = std::size_t(kCellCount - MessageLength(editor.record()));
    std::size_t taken = 0;
    while (taken < cells.size()) {
        const std::size_t size = std::size_t(itemSize(cells[taken], cells.size() - 1 - taken));
        // A lead that lost its parameter never goes in; nor does an item without room.
        if (size == 1 && cells[taken].attribute == kAttrLead) break;
        if (taken + size > room) break;
        taken += size;
    }
    result.inserted = int(taken);
    result.dropped = int(cells.size() - taken);
    if (taken == 0) return result;
    editor.insertCellsAt(c, cells.first(taken));
    editor.placeCursor(std::min(c + int(taken), editor.record().end()));
    editor.repaint();
    return result;
}

} // namespace pixbar
