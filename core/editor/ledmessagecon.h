#pragma once

#include "glyphs.h"
#include "messagefiles.h"
#include "messagerecord.h"
#include "pixbar.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <span>

namespace pixbar {

/// The grid of a message page: 32 columns of 16 pixels, 16 rows of 33 pixels.
inline constexpr int kGridColumns = 32;
inline constexpr int kGridRows = 16;
inline constexpr int kCellImageWidth = 16;
inline constexpr int kCellImageHeight = 32;

/// Keys handled by the editor's key down.
inline constexpr int kKeyBackspace = 8;
inline constexpr int kKeyEnter = 13;
inline constexpr int kKeyLeft = 37;
inline constexpr int kKeyRight = 39;
inline constexpr int kKeyDelete = 46;

inline constexpr std::uint32_t kCellBlack = 0x000000;
inline constexpr std::uint32_t kCellSelected = 0x808080; ///< selected cell of a focused grid
inline constexpr std::uint32_t kCellMarked = 0x0046A0;   ///< cell of a selected range
inline constexpr std::uint32_t kCellText = 0xF0F0F0;
inline constexpr std::uint32_t kCellIcon = 0x00FF00;

inline constexpr std::uint8_t kFontDefault = 3; ///< font of a new editor
inline constexpr std::uint8_t kFontCleared = 4; ///< font after clearing

/// Icon glyphs of the editor, from the symbol font in table entry 16.
inline constexpr std::uint8_t kIconInverse = 1;
inline constexpr std::uint8_t kIconNormal = 2;
inline constexpr std::uint8_t kIconPauseLead = 7;
inline constexpr std::uint8_t kIconPauseParameter = 8;
inline constexpr std::uint8_t kIconDate = 33;
inline constexpr std::uint8_t kIconTemperature = 34;
inline constexpr std::uint8_t kIconTime = 35;
/// First icon of effect code 1..12 (index 0 unused); the parameter cell shows the next glyph.
inline constexpr std::array<std::uint8_t, kEffectCodeCount + 1> kEffectIcons{
    0, 3, 5, 15, 13, 25, 23, 21, 9, 11, 29, 27, 36};

/// Pixel rectangle of a grid cell, right and bottom exclusive.
struct CellRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

/// What the grid tells about the cell being drawn.
struct DrawState {
    bool selected = false; ///< the cell is the grid's current cell
    bool focused = false;  ///< the grid has the keyboard focus
    bool marked = false;   ///< the cell lies in the range the user has selected
};

/// The grid control of a message page as the editor sees it. The window's grid implements it;
/// tests implement it by hand.
class MessageGrid {
public:
    virtual ~MessageGrid() = default;
    virtual int col() const = 0;
    virtual int row() const = 0;
    /// Moves the cursor to another column of its row if the editor's canSelect allows it.
    virtual void setCol(int col) = 0;
    /// Moves the cursor to another row in its column if the editor's canSelect allows it.
    virtual void setRow(int row) = 0;
    virtual int colCount() const = 0;
    virtual int rowCount() const = 0;
    virtual void setFocus() = 0;
    /// Schedules a repaint of every cell.
    virtual void invalidate() = 0;
    /// Copies a drawn cell image to the top-left corner of `rect`.
    virtual void drawCellImage(const CellRect& rect, const Image32& image) = 0;
};

/// What the editor reads from the rest of the program: the glyph sets for drawing and the sign
/// height for choosing fonts. Both must outlive the editor.
struct EditorContext {
    const FontTable& fonts;
    const SignGeometry& geometry;
};

/// The editor of one message page: owns the record and edits it through the page's grid.
class MessageContainer {
public:
    explicit MessageContainer(EditorContext context);
    MessageContainer(const MessageContainer&) = delete;
    MessageContainer& operator=(const MessageContainer&) = delete;

    void bind(MessageGrid* grid) { m_grid = grid; }
    MessageGrid* grid() const { return m_grid; }
    void repaint();

    /// 0 moved, 1 already at cell 0.
    int moveLeft();
    /// 0 moved two cells left, 1 not possible (the cursor stays).
    int moveLeftTwice();
    /// 0 moved (as far as canSelect allows), 1 no next row.
    int moveRight();

    /// Removes the cell before cell c: 0 refused, 1 one cell removed, 2 a pair removed.
    int backspaceAt(int c);
    /// Removes cell c: 0 refused, 1 one cell removed, 2 a pair removed.
    int deleteAt(int c);
    /// Inserts one cell at c: -1 refused (c is a parameter cell), 0 otherwise.
    int insertGuarded(int c, std::uint8_t attribute, std::uint8_t character);
    /// As insertGuarded without the parameter-cell check; always 0.
    int insertUnguarded(int c, std::uint8_t attribute, std::uint8_t character);
    /// Inserts a lead cell with its parameter at c: -1 refused (c is a parameter cell), 1 no
    /// room for both cells (c is 499 or beyond), 0 inserted.
    int insertPairAt(int c, Cell lead, Cell parameter);
    /// Inserts cells at c as insertGuarded does one: -1 refused (c is a parameter cell), 1 c is
    /// past the cell area, 0 inserted. The caller keeps pairs whole and within the area.
    int insertCellsAt(int c, std::span<const Cell> cells);
    /// Removes `count` cells from c; the freed cells at the end become empty.
    void removeRange(int c, int count);

    /// The grid's permission for a cursor move: cells up to the end of the message.
    bool canSelect(int col, int row) const;
    /// Keyboard editing; `key` is set to 0 when the editor consumed it.
    void keyDown(int& key);
    /// A typed character.
    void keyPress(std::uint8_t character);
    /// Draws one grid cell into the cell image and hands it to the grid.
    void drawCell(int col, int row, const CellRect& rect, DrawState state);

    /// Empty single message, cursor to cell 0, typing in font 4.
    void clear();
    /// 0 done, 1 refused: a font higher than 8 rows on an 8-pixel sign, or no font number.
    int setFont(int font);
    int currentFont() const { return m_attribute & kFontMask; }
    std::uint8_t currentAttribute() const { return m_attribute; }
    std::uint8_t messageKind() const { return m_record.kind(); }
    void setMessageKind(std::uint8_t kind) { m_record.setKind(kind); }

    /// Insert guarded at the cursor, move right, repaint, focus the grid. A lead cell (0xF0)
    /// is inserted together with a stand-in parameter that the following insertParameterCell
    /// replaces, so the pair is never split.
    int insertCell(std::uint8_t attribute, std::uint8_t character);
    /// Completes the item whose lead cell insertCell has just inserted; inserts nothing when
    /// there is no such lead, and keeps the stand-in for a parameter of attribute 0 (an end
    /// cell). Moves right, repaints and focuses the grid in any case.
    int insertParameterCell(std::uint8_t attribute, std::uint8_t character);
    /// A pause or effect item in one call: insertCell of the lead, then insertParameterCell.
    int insertItem(Cell lead, Cell parameter);
    int insertCharacter(std::uint8_t character);
    int insertTime();
    int insertDate();
    int insertTemperature();

    /// 0 loaded, 1 not; `reason` (optional) says why. The first record of the file is read; a
    /// file shorter than one record is refused and the record stays as it was.
    int load(const std::filesystem::path& file, MessageFileError* reason = nullptr);
    /// 0 saved, 1 not; a failed save leaves the old file as it was.
    int save(const std::filesystem::path& file, MessageFileError* reason = nullptr) const;
    /// Reads the next 1024 bytes of an open stream; fewer bytes are refused and the record
    /// kept. 1 when `in` is null.
    int load(std::istream* in, MessageFileError* reason = nullptr);
    /// Writes the 1024 record bytes to an open stream; 1 when `out` is null or writing fails.
    int save(std::ostream* out, MessageFileError* reason = nullptr) const;
    /// Takes a record read elsewhere as if it had been loaded from a file.
    void loadRecord(const MessageRecord& record);
    /// Puts back a record exactly as it was, with the cursor on cell `cursor` (or on the end
    /// when the message is shorter).
    void restore(const MessageRecord& record, int cursor);
    /// Puts the cursor on cell c, whatever canSelect would say for the cells on the way.
    void placeCursor(int c);

    const MessageRecord& record() const { return m_record; }
    /// The 16 x 32 picture of the last drawn cell.
    Image32 cellImage() {
        return {m_cellImage.data(), kCellImageWidth, kCellImageHeight, kCellImageWidth};
    }
    const std::array<std::uint32_t, kCellImageWidth * kCellImageHeight>& cellPixels() const {
        return m_cellImage;
    }
    /// Cell index of the grid's cursor (0 without a grid).
    int cursorCell() const;

private:
    bool isLead(int c) const {
        return c >= 0 && c < kCellCount && m_record.attribute(c) == kAttrLead;
    }
    /// Moves cells c.. up by `count` places, writes `cells` at c, and drops a pair cut at 499.
    void insertCells(int c, std::span<const Cell> cells);
    /// Removes `count` cells from c; the freed cells at the end become empty.
    void removeCells(int c, int count);
    /// Empties cell 499 when it is a lead whose parameter was pushed out of the area.
    void dropCutPair();
    void afterInsert();

    EditorContext m_context;
    MessageGrid* m_grid = nullptr;
    MessageRecord m_record;
    std::array<std::uint32_t, kCellImageWidth * kCellImageHeight> m_cellImage{};
    std::uint8_t m_attribute = kFontDefault;
    int m_pendingParameter = -1; ///< cell of the stand-in parameter insertCell just wrote
    bool m_placing = false;      ///< canSelect allows every cell while the editor places the cursor
};

/// The eight editors of the message pages, message 1 first.
using MessageEditors = std::span<MessageContainer* const, kMessageSetCount>;

/// Loads a *.kzb file into the eight editors: all of them, or none when the file is refused.
int LoadMessageSet(const std::filesystem::path& file, MessageEditors editors,
                   MessageFileError* reason = nullptr);
/// Saves the eight records as one *.kzb file; a failed save leaves the old file as it was.
int SaveMessageSet(const std::filesystem::path& file, MessageEditors editors,
                   MessageFileError* reason = nullptr);

} // namespace pixbar
