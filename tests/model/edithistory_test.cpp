#include "cellrange.h"
#include "edithistory.h"
#include "editorfixture.h"

#include <array>
#include <memory>
#include <random>

using namespace pixbar;
using pixbar::test::EditorTest;
using pixbar::test::FakeGrid;
using pixbar::test::pairsIntact;

namespace pixbar {
void PrintTo(const CellRange& r, std::ostream* os) {
    *os << "cells " << r.first << " +" << r.count;
}
} // namespace pixbar

namespace {

constexpr Cell kLeadE{kAttrLead, kLeadEffect};
constexpr Cell kLeadP{kAttrLead, kLeadPause};
constexpr Cell kPauseParameter{kDefaultPause, kParameterMark};

Cell effectParameter(int code) {
    return {std::uint8_t(code), kParameterMark};
}

/// Eight pages as the main window holds them, each editor with its own grid.
struct Pages {
    FontTable fonts{};
    SignGeometry geometry{24, 16, 26};
    std::array<std::unique_ptr<MessageContainer>, kMessageSetCount> editors;
    std::array<std::unique_ptr<FakeGrid>, kMessageSetCount> grids;

    Pages() {
        for (std::size_t i = 0; i < editors.size(); ++i) {
            editors[i] = std::make_unique<MessageContainer>(EditorContext{fonts, geometry});
            grids[i] = std::make_unique<FakeGrid>(*editors[i]);
        }
    }
};

/// Random text characters; never 0x01 (the parameter mark pairsIntact looks for) nor 8.
std::uint8_t randomCharacter(std::mt19937& random) {
    return std::uint8_t(' ' + random() % 200);
}

/// One random editing command of the editor, as the window's commands run them. Cursor moves
/// and font changes come in between; they change no record.
void randomCommand(MessageContainer& editor, FakeGrid& grid, const MessageRecord& elsewhere,
                   std::mt19937& random) {
    // Mostly short ranges, as people select them, so that messages still fill up.
    const auto randomRange = [&](const MessageRecord& r) {
        const int from = int(random() % (kCellCount + 1));
        const int span = random() % 8 ? int(random() % 12) : int(random() % kCellCount);
        return SelectCells(r, from, random() % 2 ? from + span : from - span);
    };
    switch (random() % 18) {
    case 0:
    case 1:
    case 2:
        editor.keyPress(randomCharacter(random));
        break;
    case 3: {
        int key = kKeyBackspace;
        editor.keyDown(key);
        break;
    }
    case 4: {
        int key = kKeyDelete;
        editor.keyDown(key);
        break;
    }
    case 5:
        editor.insertCell(kAttrFormat, random() % 2 ? kFormatNormal : kFormatInverse);
        break;
    case 6:
        editor.insertItem(kLeadP, kPauseParameter);
        break;
    case 7:
        editor.insertItem(kLeadE, effectParameter(int(1 + random() % kEffectCodeCount)));
        break;
    case 8:
        switch (random() % 3) {
        case 0:
            editor.insertTime();
            break;
        case 1:
            editor.insertDate();
            break;
        default:
            editor.insertTemperature();
        }
        break;
    case 9: // "Symbol": a two-cell symbol of font 15
        editor.insertCell(kClassText | kFontSymbols, 0x82);
        editor.insertCell(kClassText | kFontSymbols, 0x83);
        break;
    case 10: { // "Symbol graficzny": its columns in font 13
        const int start = int(2 + random() % 100);
        for (int i = 0, width = int(1 + random() % 4); i < width; ++i)
            editor.insertCell(kFontGraphicSymbols, std::uint8_t(start + i));
        break;
    }
    case 11:
        if (random() % 8 == 0) editor.clear();
        break;
    case 12:
        editor.setMessageKind(std::uint8_t(random() % 3));
        break;
    case 13: // loading a message: here another page's record
        editor.loadRecord(elsewhere);
        break;
    case 14: // Delete with a selection, and cut
        RemoveCells(editor, randomRange(editor.record()));
        break;
    case 15: { // typing over a selection
        RemoveCells(editor, randomRange(editor.record()));
        editor.keyPress(randomCharacter(random));
        break;
    }
    case 16: { // pasting cells copied from another page over a selection
        const std::vector<Cell> cells = DecodeCells(EncodeCells(elsewhere, randomRange(elsewhere)));
        if (random() % 2) RemoveCells(editor, randomRange(editor.record()));
        PasteCells(editor, cells);
        break;
    }
    default: { // pasting text: every byte typed
        for (int i = 0, n = int(random() % 40); i < n; ++i)
            editor.keyPress(randomCharacter(random));
        break;
    }
    }
    // Moves between the commands.
    switch (random() % 4) {
    case 0:
        grid.put(int(random() % (editor.record().end() + 1)));
        break;
    case 1:
        editor.moveLeft();
        break;
    case 2:
        editor.setFont(int(1 + random() % 12));
        break;
    default:
        break;
    }
}

struct Recorded {
    int page = 0;
    EditStep step;
    int cursorBefore = 0; ///< the grid's cursor as the test saw it
    int cursorAfter = 0;
};

} // namespace

TEST(EditHistory, RandomEditsUndoToTheStartAndRedoToTheEnd) {
    Pages pages;
    std::mt19937 random(20261208); // fixed start value: the same run every time
    // Start from filled pages, some of them full, so the end of the cell area is reached.
    for (std::size_t p = 0; p < pages.editors.size(); ++p) {
        const int cells = p % 2 ? kCellCount + 20 : int(random() % 300);
        for (int i = 0; i < cells; ++i)
            if (i % 16 == 0)
                pages.editors[p]->insertItem(kLeadE, effectParameter(1 + i % kEffectCodeCount));
            else
                pages.editors[p]->keyPress(randomCharacter(random));
    }
    std::array<MessageRecord, kMessageSetCount> start;
    for (std::size_t p = 0; p < start.size(); ++p) start[p] = pages.editors[p]->record();

    std::vector<Recorded> steps;
    int fullSteps = 0;
    for (int n = 0; n < 6000; ++n) {
        const std::size_t p = random() % kMessageSetCount;
        const std::size_t other = random() % kMessageSetCount;
        MessageContainer& editor = *pages.editors[p];
        Recorded r{int(p), {}, pages.grids[p]->cell(), 0};
        std::optional<EditStep> step = RecordEdit(editor, [&] {
            randomCommand(editor, *pages.grids[p], pages.editors[other]->record(), random);
        });
        ASSERT_TRUE(pairsIntact(editor.record())) << "step " << n;
        if (!step) continue;
        r.step = *step;
        r.cursorAfter = pages.grids[p]->cell();
        if (MessageLength(editor.record()) == kCellCount) ++fullSteps;
        steps.push_back(r);
    }
    EXPECT_GT(steps.size(), 3000u);
    EXPECT_GT(fullSteps, 100); // the run did reach full messages
    std::array<MessageRecord, kMessageSetCount> end;
    for (std::size_t p = 0; p < end.size(); ++p) end[p] = pages.editors[p]->record();

    for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
        UndoStep(*pages.editors[std::size_t(it->page)], it->step);
        ASSERT_EQ(pages.grids[std::size_t(it->page)]->cell(), it->cursorBefore);
        ASSERT_TRUE(pairsIntact(pages.editors[std::size_t(it->page)]->record()));
    }
    for (std::size_t p = 0; p < start.size(); ++p)
        EXPECT_EQ(pages.editors[p]->record(), start[p]) << "page " << p + 1;

    for (const Recorded& r : steps) {
        RedoStep(*pages.editors[std::size_t(r.page)], r.step);
        ASSERT_EQ(pages.grids[std::size_t(r.page)]->cell(), r.cursorAfter);
    }
    for (std::size_t p = 0; p < end.size(); ++p)
        EXPECT_EQ(pages.editors[p]->record(), end[p]) << "page " << p + 1;
}

TEST(EditHistory, AnEditThatChangesNothingIsNoStep) {
    Pages pages;
    MessageContainer& editor = *pages.editors[0];
    editor.insertItem(kLeadE, effectParameter(3));
    pages.grids[0]->put(1);
    // Typing and inserting on the parameter cell are refused; moving changes no record.
    EXPECT_FALSE(RecordEdit(editor, [&] { editor.keyPress('A'); }));
    EXPECT_FALSE(RecordEdit(editor, [&] { editor.moveLeft(); }));
    EXPECT_FALSE(RecordEdit(editor, [&] { editor.setFont(5); }));
    EXPECT_TRUE(RecordEdit(editor, [&] { editor.setMessageKind(2); }));
}

TEST(CellClipboard, RandomRangesPasteBetweenPagesWithEveryCellAndItem) {
    Pages pages;
    std::mt19937 random(8122026);
    int dropped = 0;
    int refused = 0;
    for (int n = 0; n < 2000; ++n) {
        const std::size_t a = random() % kMessageSetCount;
        const std::size_t b = (a + 1 + random() % (kMessageSetCount - 1)) % kMessageSetCount;
        MessageContainer& from = *pages.editors[a];
        MessageContainer& to = *pages.editors[b];
        for (int i = 0, k = int(random() % 30); i < k; ++i)
            randomCommand(from, *pages.grids[a], to.record(), random);
        for (int i = 0, k = int(random() % 30); i < k; ++i)
            randomCommand(to, *pages.grids[b], from.record(), random);

        const MessageRecord source = from.record();
        const CellRange range =
            SelectCells(source, int(random() % (kCellCount + 1)), int(random() % (kCellCount + 1)));
        ASSERT_LE(range.end(), MessageLength(source));
        ASSERT_TRUE(IsItemStart(source, range.first));
        ASSERT_TRUE(IsItemStart(source, range.end()));
        const std::vector<Cell> cells = DecodeCells(EncodeCells(source, range));
        ASSERT_EQ(int(cells.size()), range.count);
        for (int i = 0; i < range.count; ++i)
            ASSERT_EQ(cells[std::size_t(i)], source.cell(range.first + i));

        pages.grids[b]->put(int(random() % (to.record().end() + 1)));
        const int c = pages.grids[b]->cell();
        const MessageRecord before = to.record();
        const int lengthBefore = MessageLength(before);
        const PasteResult result = PasteCells(to, cells);
        const MessageRecord& after = to.record();
        ASSERT_TRUE(pairsIntact(after));
        if (result.refused) {
            ++refused;
            EXPECT_EQ(before.attribute(c - 1), kAttrLead);
            EXPECT_EQ(after, before);
            continue;
        }
        ASSERT_EQ(result.inserted + result.dropped, range.count);
        ASSERT_EQ(MessageLength(after), lengthBefore + result.inserted);
        for (int i = 0; i < c; ++i) ASSERT_EQ(after.cell(i), before.cell(i));
        for (int i = 0; i < result.inserted; ++i)
            ASSERT_EQ(after.cell(c + i), cells[std::size_t(i)]) << i;
        for (int i = c; i < lengthBefore; ++i)
            ASSERT_EQ(after.cell(i + result.inserted), before.cell(i));
        ASSERT_TRUE(IsItemStart(after, c + result.inserted));
        EXPECT_EQ(after.kind(), before.kind());
        if (result.dropped > 0) {
            ++dropped;
            // Only what did not fit is left out: the next item needs more than the free cells.
            const int next = cells[std::size_t(result.inserted)].attribute == kAttrLead ? 2 : 1;
            EXPECT_GT(next, kCellCount - MessageLength(after));
        }
        EXPECT_EQ(pages.grids[b]->cell(), std::min(c + result.inserted, after.end()));
    }
    EXPECT_GT(dropped, 10);
    EXPECT_GT(refused, 10);
}

TEST(CellClipboard, SelectionGrowsToWholePairsAndStopsAtTheEnd) {
    MessageRecord r;
    const Cell cells[] = {{2, 'A'}, kLeadE, effectParameter(4), {2, 'B'}, kLeadP, kPauseParameter};
    for (int i = 0; i < 6; ++i) r.setCell(i, cells[i]);
    struct Case {
        int from, to;
        CellRange want;
    };
    const Case cases[] = {
        {0, 1, {0, 1}},   {1, 0, {0, 1}},  {0, 2, {0, 3}}, {2, 3, {1, 2}},
        {2, 2, {1, 0}},   {2, 4, {1, 3}},  {3, 5, {3, 3}}, {5, 6, {4, 2}},
        {0, 499, {0, 6}}, {20, 8, {6, 0}}, {6, 0, {0, 6}}, {-3, 1, {0, 1}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SelectCells(r, c.from, c.to), c.want) << c.from << ".." << c.to;

    // A full area: the last cell is in the message too.
    MessageRecord full;
    for (int i = 0; i < kCellCount; ++i) full.setCell(i, {3, 'x'});
    full.setCell(498, kLeadE);
    full.setCell(499, effectParameter(1));
    EXPECT_EQ(SelectCells(full, 490, 499), (CellRange{490, 10}));
    EXPECT_EQ(SelectCells(full, 499, 600), (CellRange{498, 2}));
}

TEST(CellClipboard, ForeignBytesDecodeToWholeItemsOnly) {
    struct Case {
        std::vector<std::uint8_t> bytes;
        std::vector<Cell> want;
    };
    const Case cases[] = {
        {{}, {}},
        {{0x02, 'A', 0x02}, {{2, 'A'}}},                          // odd last byte
        {{0x02, 'A', 0x00, 'B', 0x02, 'C'}, {{2, 'A'}}},          // stops at an empty cell
        {{0x02, 'A', 0xF0, 0x10}, {{2, 'A'}}},                    // lead without parameter
        {{0xF0, 0x10, 0x03, 0x01}, {kLeadE, effectParameter(3)}}, // a whole pair
        {{0xF0, 0x10, 0xF0, 0x01}, {kLeadE, {0xF0, 0x01}}},       // the parameter is any cell
        {{0xF0, 0x10, 0xF0, 0x01, 0xF0}, {kLeadE, {0xF0, 0x01}}},
    };
    for (const Case& c : cases) EXPECT_EQ(DecodeCells(c.bytes), c.want);

    std::vector<std::uint8_t> many(2 * 600, 0x05);
    EXPECT_EQ(DecodeCells(many).size(), std::size_t(kCellCount));
}

TEST(CellClipboard, PlainTextHoldsTheTextCellsOnly) {
    const std::vector<Cell> cells = {{2, 'A'},
                                     kLeadE,
                                     effectParameter(2),
                                     {0x50, 0x81},
                                     {0x13, kMarkTime},
                                     {4, 0xB9},
                                     {0x0D, 'c'},
                                     {0x0F, 0x80},
                                     kLeadP,
                                     kPauseParameter,
                                     {12, 13},
                                     {12, 10},
                                     {1, 'z'}};
    EXPECT_EQ(TextOfCells(cells), std::string("A\xB9\r\nz"));
}

using CellEditing = EditorTest;

TEST_F(CellEditing, PasteRefusesAParameterCellAndDropsWhatDoesNotFit) {
    setCells({{2, 'A'}, kLeadE, effectParameter(5)});
    grid.put(2);
    const std::vector<Cell> cells = {{3, 'x'}, kLeadP, kPauseParameter, {3, 'y'}};
    const PasteResult refused = PasteCells(editor, cells);
    EXPECT_TRUE(refused.refused);
    EXPECT_EQ(end(), 3);

    // Two free cells: the letter goes in; the pause would need a third, so it is dropped
    // whole, and so is what follows it.
    fillText();
    MessageRecord r = editor.record();
    r.setCell(498, {});
    r.setCell(499, {});
    editor.loadRecord(r);
    grid.put(10);
    const PasteResult part = PasteCells(editor, cells);
    EXPECT_FALSE(part.refused);
    EXPECT_EQ(part.inserted, 1);
    EXPECT_EQ(part.dropped, 3);
    EXPECT_EQ(cell(10), (Cell{3, 'x'}));
    EXPECT_EQ(cell(11), textCell(10));
    EXPECT_EQ(end(), 499);
    EXPECT_EQ(MessageLength(editor.record()), 499);
    EXPECT_EQ(grid.cell(), 11);
}

TEST_F(CellEditing, MarkedCellsHaveTheirOwnBackgroundAndTheCursorKeepsGrey) {
    editor.drawCell(3, 0, {}, {false, true, true});
    EXPECT_EQ(grid.lastImage.front(), kCellMarked);
    editor.drawCell(3, 0, {}, {true, true, true});
    EXPECT_EQ(grid.lastImage.front(), kCellSelected);
    editor.drawCell(3, 0, {}, {false, true, false});
    EXPECT_EQ(grid.lastImage.front(), kCellBlack);
}
