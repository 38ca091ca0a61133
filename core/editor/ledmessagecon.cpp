#include "ledmessagecon.h"

#include <algorithm>
#include <istream>
#include <ostream>

namespace pixbar {

namespace {

constexpr int kLastCell = kCellCount - 1;
constexpr std::uint8_t kIconAttribute = 0x10; ///< icon font: table index 15
constexpr std::uint8_t kFormatBits = 0x7F;

bool isEffectCode(int code) {
    return code >= 1 && code <= kEffectCodeCount;
}

} // namespace

MessageContainer::MessageContainer(EditorContext context) : m_context(context) {}

void MessageContainer::repaint() {
    if (m_grid) m_grid->invalidate();
}

int MessageContainer::cursorCell() const {
    return m_grid ? m_grid->row() * kGridColumns + m_grid->col() : 0;
}

// --- cursor -------------------------------------------------------------------------------

int MessageContainer::moveLeft() {
    if (!m_grid) return 1;
    int col = m_grid->col() - 1;
    int row = m_grid->row();
    if (col < 0) {
        if (row == 0) return 1;
        row -= 1;
        col = m_grid->colCount() - 1;
    }
    m_grid->setRow(row);
    m_grid->setCol(col);
    return 0;
}

int MessageContainer::moveLeftTwice() {
    if (!m_grid) return 1;
    const int target = cursorCell() - 2;
    if (target < 0) return 1;
    // One move straight to the target: after a pair before the end cell is removed, the cell
    // in between already lies past the new end and a step onto it would be refused.
    m_grid->setRow(target / kGridColumns);
    m_grid->setCol(target % kGridColumns);
    return 0;
}

int MessageContainer::moveRight() {
    if (!m_grid) return 1;
    int col = m_grid->col() + 1;
    int row = m_grid->row();
    if (col >= m_grid->colCount()) {
        col = 0;
        row += 1;
    }
    if (row >= m_grid->rowCount()) return 1;
    m_grid->setCol(col);
    m_grid->setRow(row);
    return 0;
}

bool MessageContainer::canSelect(int col, int row) const {
    if (col < 0 || row < 0 || col >= kGridColumns || row >= kGridRows) return false;
    const int c = row * kGridColumns + col;
    // The editor's own placement sets the row before the column: the cell in between may lie
    // behind the cell area.
    if (m_placing) return true;
    return c <= m_record.end();
}

void MessageContainer::placeCursor(int c) {
    if (!m_grid) return;
    // The cursor may stand far behind the new end (after a load): no path of allowed single
    // moves leads back, so the editor's own placement is allowed through.
    m_placing = true;
    m_grid->setRow(c / kGridColumns);
    m_grid->setCol(c % kGridColumns);
    m_placing = false;
}

// --- cell area ----------------------------------------------------------------------------

void MessageContainer::insertCells(int c, std::span<const Cell> cells) {
    const int n = int(cells.size());
    for (int i = kLastCell; i >= c + n; --i) m_record.setCell(i, m_record.cell(i - n));
    for (int i = 0; i < n; ++i) m_record.setCell(c + i, cells[std::size_t(i)]);
    m_record.clearSentinel();
    dropCutPair();
}

void MessageContainer::removeCells(int c, int count) {
    count = std::min(count, kCellCount - c);
    for (int i = c; i + count < kCellCount; ++i) m_record.setCell(i, m_record.cell(i + count));
    for (int i = kCellCount - count; i < kCellCount; ++i) m_record.setCell(i, {});
    m_record.clearSentinel();
}

void MessageContainer::dropCutPair() {
    // Walk the items from the start: a lead cell and its parameter are one step.
    int i = 0;
    while (i < kLastCell) i += isLead(i) ? 2 : 1;
    if (i == kLastCell && isLead(kLastCell)) m_record.setCell(kLastCell, {});
}

int MessageContainer::insertGuarded(int c, std::uint8_t attribute, std::uint8_t character) {
    m_pendingParameter = -1;
    if (c < 0 || c > kCellCount) return 0;
    if (c >= 1 && isLead(c - 1)) return -1;
    return insertUnguarded(c, attribute, character);
}

int MessageContainer::insertUnguarded(int c, std::uint8_t attribute, std::uint8_t character) {
    m_pendingParameter = -1;
    if (c < 0 || c >= kCellCount) return 0;
    // A lead cell in the last cell could never be followed by its parameter.
    if (attribute == kAttrLead && c == kLastCell) return 0;
    const Cell cell{attribute, character};
    insertCells(c, {&cell, 1});
    return 0;
}

int MessageContainer::insertPairAt(int c, Cell lead, Cell parameter) {
    m_pendingParameter = -1;
    if (c < 0 || c > kCellCount) return 1;
    if (c >= 1 && isLead(c - 1)) return -1;
    if (c + 1 > kLastCell) return 1;
    const Cell cells[] = {lead, parameter};
    insertCells(c, cells);
    return 0;
}

int MessageContainer::insertCellsAt(int c, std::span<const Cell> cells) {
    m_pendingParameter = -1;
    if (c < 0 || c >= kCellCount) return 1;
    if (c >= 1 && isLead(c - 1)) return -1;
    insertCells(c, cells.first(std::min<std::size_t>(cells.size(), std::size_t(kCellCount - c))));
    return 0;
}

void MessageContainer::removeRange(int c, int count) {
    m_pendingParameter = -1;
    if (c < 0 || c >= kCellCount || count <= 0) return;
    removeCells(c, count);
}

int MessageContainer::backspaceAt(int c) {
    m_pendingParameter = -1;
    if (c < 0 || c >= kCellCount) return 0;
    if (c >= 1 && isLead(c - 1)) return 0;
    if (c >= 2 && isLead(c - 2)) {
        removeCells(c - 2, 2);
        return 2;
    }
    if (c >= 1) removeCells(c - 1, 1);
    m_record.clearSentinel();
    return 1;
}

int MessageContainer::deleteAt(int c) {
    m_pendingParameter = -1;
    if (c < 0 || c >= kCellCount) return 0;
    if (c >= 1 && isLead(c - 1)) return 0;
    // A lead in the last cell (only a file can hold one) goes alone.
    const int count = isLead(c) && c < kLastCell ? 2 : 1;
    removeCells(c, count);
    return count;
}

// --- keyboard -----------------------------------------------------------------------------

void MessageContainer::keyDown(int& key) {
    switch (key) {
    case kKeyBackspace: {
        const int removed = backspaceAt(cursorCell());
        if (removed == 1)
            moveLeft();
        else if (removed == 2)
            moveLeftTwice();
        repaint();
        key = 0;
        break;
    }
    case kKeyLeft:
        moveLeft();
        key = 0;
        break;
    case kKeyRight:
        moveRight();
        key = 0;
        break;
    case kKeyDelete:
        deleteAt(cursorCell());
        repaint();
        key = 0;
        break;
    default:
        break; // Enter and every other key: the grid's own handling
    }
}

void MessageContainer::keyPress(std::uint8_t character) {
    if (character == kKeyBackspace) return;
    if (insertGuarded(cursorCell(), m_attribute, character) == 0) moveRight();
    repaint();
}

// --- drawing ------------------------------------------------------------------------------

void MessageContainer::drawCell(int col, int row, const CellRect& rect, DrawState state) {
    m_cellImage.fill(kCellBlack);
    const std::uint32_t background = state.selected && state.focused ? kCellSelected
                                     : state.marked                  ? kCellMarked
                                                                     : kCellBlack;
    const int c = row * kGridColumns + col;

    // Cells behind the cell area hold the sentinel, reserved and kind bytes: always empty.
    Cell cell = c >= 0 && c < kCellCount ? m_record.cell(c) : Cell{};
    const Cell previous = c >= 1 && c <= kCellCount ? m_record.cell(c - 1) : Cell{};
    const std::uint8_t nextAttribute = c + 1 < kCellCount ? m_record.attribute(c + 1) : 0;
    const std::uint8_t ownAttribute = cell.attribute;

    if (c < kCellCount) {
        switch (cell.attribute & kClassMask) {
        case kClassFormat:
            if ((cell.character & kFormatBits) == 0)
                cell = {kIconAttribute, kIconNormal};
            else if ((cell.character & kFormatBits) == 1)
                cell = {kIconAttribute, kIconInverse};
            break;
        case kClassTime:
            cell = {kIconAttribute, kIconTime};
            break;
        case kClassDate:
            cell = {kIconAttribute, kIconDate};
            break;
        case kClassTemperature:
            cell = {kIconAttribute, kIconTemperature};
            break;
        case kClassLead:
            if (cell.character == kLeadPause)
                cell = {kIconAttribute, kIconPauseLead};
            else if (cell.character == kLeadEffect && isEffectCode(nextAttribute))
                cell = {kIconAttribute, kEffectIcons[nextAttribute]};
            break;
        default:
            break;
        }
        if ((previous.attribute & kClassMask) == kClassLead) {
            if (previous.character == kLeadPause)
                cell = {kIconAttribute, kIconPauseParameter};
            else if (previous.character == kLeadEffect && isEffectCode(ownAttribute))
                cell = {kIconAttribute, std::uint8_t(kEffectIcons[ownAttribute] + 1)};
        }
    }

    if (cell.attribute == kCellEnd) {
        m_cellImage.fill(background);
    } else {
        const std::uint32_t foreground = (cell.attribute & kClassMask) ? kCellIcon : kCellText;
        const int index = (cell.attribute - 1) & kFontMask;
        std::uint8_t code = cell.character;
        if (index != kIndexGraphicSymbols && index != kIndexSymbolFont)
            code = MapPolishLetter(code);
        const FontEntry& font = m_context.fonts[std::size_t(index)];
        // A code past the end of its font's data is drawn blank.
        const std::uint8_t* glyph = font.glyph(code);
        const int scanlines = std::min(2 * int(font.height), kCellImageHeight);
        for (int s = 0; s < scanlines; ++s) {
            const std::uint8_t bits = glyph ? glyph[s / 2] : 0;
            std::uint32_t* line = m_cellImage.data() + s * kCellImageWidth;
            for (int k = 0; k < 8; ++k) {
                const std::uint32_t colour = (bits & (0x80 >> k)) ? foreground : background;
                line[2 * k] = colour;
                line[2 * k + 1] = colour;
            }
        }
    }
    if (m_grid) m_grid->drawCellImage(rect, cellImage());
}

// --- commands -----------------------------------------------------------------------------

void MessageContainer::clear() {
    placeCursor(0);
    m_record.clear();
    m_attribute = kFontCleared;
    m_pendingParameter = -1;
    repaint();
}

int MessageContainer::setFont(int font) {
    // Font 0 would make typed cells end-of-message cells.
    if (font < 1 || font > kFontMask) return 1;
    if (m_context.geometry.height < kMaxHeight && m_context.fonts[std::size_t(font - 1)].height > 8)
        return 1;
    m_attribute = std::uint8_t((m_attribute & kClassMask) | (font & kFontMask));
    if (m_grid) m_grid->setFocus();
    return 0;
}

void MessageContainer::afterInsert() {
    moveRight();
    repaint();
    if (m_grid) m_grid->setFocus();
}

int MessageContainer::insertCell(std::uint8_t attribute, std::uint8_t character) {
    const int c = cursorCell();
    if (attribute == kAttrLead) {
        // The pair goes in at once with a stand-in parameter, so a lead is never left alone.
        const Cell standIn{character == kLeadPause ? kDefaultPause
                                                   : std::uint8_t(EffectCode::Scroller),
                           kParameterMark};
        if (insertPairAt(c, {attribute, character}, standIn) == 0) m_pendingParameter = c + 1;
    } else {
        insertGuarded(c, attribute, character);
    }
    afterInsert();
    return 0;
}

int MessageContainer::insertParameterCell(std::uint8_t attribute, std::uint8_t character) {
    const int c = cursorCell();
    // A parameter of attribute 0 would be an end cell in the middle of the message: the
    // stand-in stays.
    if (m_pendingParameter >= 1 && c == m_pendingParameter && isLead(c - 1) &&
        attribute != kCellEnd)
        m_record.setCell(c, {attribute, character});
    m_pendingParameter = -1;
    afterInsert();
    return 0;
}

int MessageContainer::insertItem(Cell lead, Cell parameter) {
    insertCell(lead.attribute, lead.character);
    return insertParameterCell(parameter.attribute, parameter.character);
}

int MessageContainer::insertCharacter(std::uint8_t character) {
    return insertCell(m_attribute, character);
}

int MessageContainer::insertTime() {
    return insertCell(m_attribute | kClassTime, kMarkTime);
}
int MessageContainer::insertDate() {
    return insertCell(m_attribute | kClassDate, kMarkDate);
}
int MessageContainer::insertTemperature() {
    return insertCell(m_attribute | kClassTemperature, kMarkTemperature);
}

// --- files --------------------------------------------------------------------------------

namespace {

int report(MessageFileError error, MessageFileError* reason) {
    if (reason) *reason = error;
    return error == MessageFileError::None ? 0 : 1;
}

} // namespace

void MessageContainer::loadRecord(const MessageRecord& record) {
    m_record = record;
    m_pendingParameter = -1;
    // A cursor left behind the end of the new message would type cells nobody sees.
    const int end = m_record.end();
    if (m_grid && cursorCell() > end) placeCursor(end);
    repaint();
}

void MessageContainer::restore(const MessageRecord& record, int cursor) {
    m_record = record;
    m_pendingParameter = -1;
    placeCursor(std::clamp(cursor, 0, m_record.end()));
    repaint();
}

int MessageContainer::load(const std::filesystem::path& file, MessageFileError* reason) {
    MessageRecord record;
    const MessageFileError error = ReadMessageFile(file, record);
    if (error == MessageFileError::None) loadRecord(record);
    return report(error, reason);
}

int MessageContainer::save(const std::filesystem::path& file, MessageFileError* reason) const {
    return report(WriteMessageFile(file, m_record), reason);
}

int MessageContainer::load(std::istream* in, MessageFileError* reason) {
    if (!in) return report(MessageFileError::CannotOpen, reason);
    MessageRecord record;
    in->read(reinterpret_cast<char*>(record.data()), std::streamsize(kRecordSize));
    if (std::size_t(in->gcount()) != kRecordSize)
        return report(MessageFileError::WrongSize, reason);
    loadRecord(record);
    return report(MessageFileError::None, reason);
}

int MessageContainer::save(std::ostream* out, MessageFileError* reason) const {
    if (!out) return report(MessageFileError::CannotWrite, reason);
    out->write(reinterpret_cast<const char*>(m_record.data()), std::streamsize(kRecordSize));
    return report(*out ? MessageFileError::None : MessageFileError::CannotWrite, reason);
}

int LoadMessageSet(const std::filesystem::path& file, MessageEditors editors,
                   MessageFileError* reason) {
    if (std::find(editors.begin(), editors.end(), nullptr) != editors.end())
        return report(MessageFileError::CannotOpen, reason);
    MessageSetRecords records;
    const MessageFileError error = ReadMessageSetFile(file, records);
    if (error == MessageFileError::None)
        for (int i = 0; i < kMessageSetCount; ++i)
            editors[std::size_t(i)]->loadRecord(records[std::size_t(i)]);
    return report(error, reason);
}

int SaveMessageSet(const std::filesystem::path& file, MessageEditors editors,
                   MessageFileError* reason) {
    if (std::find(editors.begin(), editors.end(), nullptr) != editors.end())
        return report(MessageFileError::CannotWrite, reason);
    MessageSetRecords records;
    for (int i = 0; i < kMessageSetCount; ++i)
        records[std::size_t(i)] = editors[std::size_t(i)]->record();
    return report(WriteMessageSetFile(file, records), reason);
}

} // namespace pixbar
