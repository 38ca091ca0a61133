#include "editorfixture.h"

#include <fstream>

using namespace pixbar;
using pixbar::test::EditorTest;
using pixbar::test::TempDir;

using EditorCursor = EditorTest;

TEST_F(EditorCursor, EmptyMessageAllowsOnlyCellZero) {
    EXPECT_TRUE(editor.canSelect(0, 0));
    EXPECT_FALSE(editor.canSelect(1, 0));
    EXPECT_FALSE(editor.canSelect(0, 1));
    EXPECT_FALSE(editor.canSelect(-1, 0));
    EXPECT_FALSE(editor.canSelect(kGridColumns, 0));
}

TEST_F(EditorCursor, ClicksUpToTheFirstEmptyCellOnly) {
    type("ABCDE");
    EXPECT_EQ(grid.cell(), 5);
    grid.setCol(2);
    EXPECT_EQ(grid.cell(), 2);
    grid.setCol(6); // past the first empty cell
    EXPECT_EQ(grid.cell(), 2);
    grid.setRow(1);
    EXPECT_EQ(grid.cell(), 2);
    grid.setCol(5); // the first empty cell itself
    EXPECT_EQ(grid.cell(), 5);
}

TEST_F(EditorCursor, FullMessageAllowsCellsUpTo499) {
    fillText();
    EXPECT_TRUE(editor.canSelect(499 % 32, 499 / 32));
    EXPECT_FALSE(editor.canSelect(500 % 32, 500 / 32));
    EXPECT_FALSE(editor.canSelect(31, 15));
}

TEST_F(EditorCursor, RightMovesWithinAndWrapsRows) {
    type(std::string(40, 'x'));
    grid.put(30);
    EXPECT_EQ(editor.moveRight(), 0);
    EXPECT_EQ(grid.cell(), 31);
    EXPECT_EQ(editor.moveRight(), 0);
    EXPECT_EQ(grid.cell(), 32);
    EXPECT_EQ(grid.col(), 0);
    EXPECT_EQ(grid.row(), 1);
}

TEST_F(EditorCursor, RightOnFirstEmptyCellStays) {
    type("ABC");
    int key = kKeyRight;
    editor.keyDown(key);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(grid.cell(), 3);
}

TEST_F(EditorCursor, RightOnFirstEmptyCellInColumn31GoesToColumn0OfSameRow) {
    type(std::string(31 + 32, 'x')); // first empty cell: column 31 of row 1
    ASSERT_EQ(grid.cell(), 63);
    int key = kKeyRight;
    editor.keyDown(key);
    EXPECT_EQ(grid.col(), 0);
    EXPECT_EQ(grid.row(), 1);
}

TEST_F(EditorCursor, RightOnLastRowReportsNoNextRow) {
    grid.put(kGridColumns * kGridRows - 1);
    EXPECT_EQ(editor.moveRight(), 1);
    EXPECT_EQ(grid.cell(), 511);
}

TEST_F(EditorCursor, LeftWrapsToColumn31OfRowAbove) {
    type(std::string(40, 'x'));
    grid.put(32);
    int key = kKeyLeft;
    editor.keyDown(key);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(grid.col(), 31);
    EXPECT_EQ(grid.row(), 0);

    grid.put(0);
    EXPECT_EQ(editor.moveLeft(), 1);
    EXPECT_EQ(grid.cell(), 0);
}

TEST_F(EditorCursor, LeftTwiceStopsBeforePassingCellZero) {
    type(std::string(40, 'x'));
    grid.put(1);
    EXPECT_EQ(editor.moveLeftTwice(), 1);
    EXPECT_EQ(grid.cell(), 1);
    grid.put(33);
    EXPECT_EQ(editor.moveLeftTwice(), 0);
    EXPECT_EQ(grid.cell(), 31);
    grid.put(2);
    EXPECT_EQ(editor.moveLeftTwice(), 0);
    EXPECT_EQ(grid.cell(), 0);
}

TEST_F(EditorCursor, TypingNeverTakesTheCursorPastCell499) {
    type(std::string(520, 'x'));
    EXPECT_EQ(grid.cell(), 499);
    EXPECT_EQ(end(), 499);
    EXPECT_EQ(cell(499), (Cell{3, 'x'}));
}

TEST_F(EditorCursor, AnEditorWithoutGridWorksOnCellZero) {
    MessageContainer loose{EditorContext{fonts, geometry}};
    EXPECT_EQ(loose.cursorCell(), 0);
    EXPECT_EQ(loose.moveLeft(), 1);
    EXPECT_EQ(loose.moveRight(), 1);
    loose.keyPress('A');
    EXPECT_EQ(loose.record().cell(0), (Cell{3, 'A'}));
    loose.drawCell(0, 0, {}, {});
    EXPECT_EQ(loose.cellPixels()[0], kCellBlack); // font 3 is not loaded: black
}

// --- keys ----------------------------------------------------------------------------------

using EditorKeys = EditorTest;

TEST_F(EditorKeys, OnlyEditingKeysAreConsumed) {
    struct Case {
        int key;
        bool consumed;
    };
    const Case cases[] = {
        {kKeyBackspace, true}, {kKeyLeft, true}, {kKeyRight, true}, {kKeyDelete, true},
        {kKeyEnter, false},    {38, false},      {40, false},       {36, false},
        {35, false},           {33, false},      {34, false},       {65, false},
    };
    for (const Case& c : cases) {
        type("ABC");
        grid.put(1);
        int key = c.key;
        editor.keyDown(key);
        EXPECT_EQ(key, c.consumed ? 0 : c.key) << "key " << c.key;
        editor.clear();
    }
}

TEST_F(EditorKeys, EnterChangesNothing) {
    type("AB");
    const MessageRecord before = editor.record();
    int key = kKeyEnter;
    editor.keyDown(key);
    EXPECT_EQ(editor.record(), before);
    EXPECT_EQ(grid.cell(), 2);
}

TEST_F(EditorKeys, BackspaceRemovesCellBeforeCursorAndMovesLeft) {
    type("ABC");
    const int repaints = grid.repaints;
    int key = kKeyBackspace;
    editor.keyDown(key);
    EXPECT_EQ(grid.cell(), 2);
    EXPECT_EQ(end(), 2);
    EXPECT_EQ(cell(1), (Cell{3, 'B'}));
    EXPECT_GT(grid.repaints, repaints);

    grid.put(0);
    key = kKeyBackspace;
    editor.keyDown(key);
    EXPECT_EQ(grid.cell(), 0);
    EXPECT_EQ(end(), 2);
}

TEST_F(EditorKeys, BackspaceAfterPairRemovesPairAndMovesTwoLeft) {
    type("A");
    editor.insertItem({kAttrLead, kLeadEffect}, {3, kParameterMark});
    type("B");
    grid.put(3);
    int key = kKeyBackspace;
    editor.keyDown(key);
    EXPECT_EQ(grid.cell(), 1);
    EXPECT_EQ(cell(0), (Cell{3, 'A'}));
    EXPECT_EQ(cell(1), (Cell{3, 'B'}));
    EXPECT_EQ(end(), 2);
}

TEST_F(EditorKeys, BackspaceOnParameterCellDoesNothing) {
    editor.insertItem({kAttrLead, kLeadPause}, {kDefaultPause, kParameterMark});
    grid.put(1);
    const MessageRecord before = editor.record();
    int key = kKeyBackspace;
    editor.keyDown(key);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(editor.record(), before);
    EXPECT_EQ(grid.cell(), 1);
}

TEST_F(EditorKeys, DeleteRemovesCursorCellWithoutMoving) {
    type("ABC");
    grid.put(1);
    int key = kKeyDelete;
    editor.keyDown(key);
    EXPECT_EQ(grid.cell(), 1);
    EXPECT_EQ(cell(1), (Cell{3, 'C'}));
    EXPECT_EQ(end(), 2);
}

TEST_F(EditorKeys, TypedCharactersAreInsertedExceptBackspace) {
    editor.keyPress('A');
    editor.keyPress(8);
    editor.keyPress(13);
    editor.keyPress(10);
    editor.keyPress(0xB9);
    EXPECT_EQ(end(), 4);
    EXPECT_EQ(cell(1), (Cell{3, 13}));
    EXPECT_EQ(cell(2), (Cell{3, 10}));
    EXPECT_EQ(cell(3), (Cell{3, 0xB9}));
    EXPECT_EQ(grid.cell(), 4);
}

TEST_F(EditorKeys, TypingOnParameterCellIsRefusedAndCursorStays) {
    editor.insertItem({kAttrLead, kLeadEffect}, {1, kParameterMark});
    grid.put(1);
    const MessageRecord before = editor.record();
    editor.keyPress('A');
    EXPECT_EQ(editor.record(), before);
    EXPECT_EQ(grid.cell(), 1);
}

TEST_F(EditorKeys, TypingInsertsAtCursorAndShiftsTheRest) {
    type("AC");
    grid.put(1);
    type("B");
    EXPECT_EQ(cell(0).character, 'A');
    EXPECT_EQ(cell(1).character, 'B');
    EXPECT_EQ(cell(2).character, 'C');
    EXPECT_EQ(grid.cell(), 2);
}

// --- clear, fonts and kind ------------------------------------------------------------------

using EditorCommands = EditorTest;

TEST_F(EditorCommands, NewEditorTypesInFont3AndClearedEditorInFont4) {
    EXPECT_EQ(editor.currentFont(), 3);
    type("A");
    EXPECT_EQ(cell(0).attribute, 3);

    editor.setMessageKind(2);
    type("BCD");
    editor.clear();
    EXPECT_EQ(editor.record(), MessageRecord{});
    EXPECT_EQ(editor.messageKind(), 0);
    EXPECT_EQ(grid.cell(), 0);
    EXPECT_EQ(editor.currentFont(), 4);
    type("E");
    EXPECT_EQ(cell(0), (Cell{4, 'E'}));
}

TEST_F(EditorCommands, ClearFromAnyCursorPosition) {
    type(std::string(100, 'x'));
    grid.put(70);
    editor.clear();
    EXPECT_EQ(grid.col(), 0);
    EXPECT_EQ(grid.row(), 0);
}

TEST_F(EditorCommands, MessageKindClampsToSingle) {
    for (int kind : {1, 2, 0}) {
        editor.setMessageKind(std::uint8_t(kind));
        EXPECT_EQ(editor.messageKind(), kind);
        EXPECT_EQ(editor.record().bytes[kKindOffset], kind);
    }
    editor.setMessageKind(2);
    editor.setMessageKind(3);
    EXPECT_EQ(editor.messageKind(), 0);
}

TEST_F(EditorCommands, FieldsTakeTheCurrentFont) {
    ASSERT_EQ(editor.setFont(5), 0);
    editor.insertTime();
    editor.insertDate();
    editor.insertTemperature();
    editor.insertCharacter('Q');
    EXPECT_EQ(cell(0), (Cell{0x15, kMarkTime}));
    EXPECT_EQ(cell(1), (Cell{0x25, kMarkDate}));
    EXPECT_EQ(cell(2), (Cell{0x35, kMarkTemperature}));
    EXPECT_EQ(cell(3), (Cell{0x05, 'Q'}));
    EXPECT_EQ(grid.cell(), 4);
    EXPECT_GE(grid.focusCalls, 4);
}

/// The real font table: thirteen tiny font files loaded through the glyph sets.
class EditorFonts : public ::testing::Test {
protected:
    void SetUp() override {
        for (const BuiltInFont& f : kBuiltInFonts) {
            std::ofstream out(dir / f.file, std::ios::binary);
            const std::string glyphs(std::size_t(f.height) * 4, '\x18');
            out << glyphs;
        }
        ASSERT_TRUE(glyphs.LoadBuiltInFonts(dir.path()).ok());
        glyphs.InitFonts();
    }
    TempDir dir;
    GlyphSets glyphs;
    SignGeometry geometry{24, 8, 26};
    MessageContainer editor{EditorContext{glyphs.table(), geometry}};
    pixbar::test::FakeGrid grid{editor};
};

TEST_F(EditorFonts, EightPixelSignRefusesTallFonts) {
    for (int font = 1; font <= 15; ++font) {
        const bool tall = font >= 7 && font <= 12;
        EXPECT_EQ(editor.setFont(font), tall ? 1 : 0) << "font " << font;
        if (!tall) {
            EXPECT_EQ(editor.currentFont(), font);
        }
    }
    ASSERT_EQ(editor.setFont(6), 0);
    EXPECT_EQ(editor.setFont(7), 1);
    EXPECT_EQ(editor.currentFont(), 6);
}

TEST_F(EditorFonts, SixteenPixelSignTakesEveryFont) {
    geometry.set(24, 16);
    for (int font = 1; font <= 15; ++font) {
        EXPECT_EQ(editor.setFont(font), 0) << "font " << font;
        EXPECT_EQ(editor.currentFont(), font);
    }
    EXPECT_EQ(grid.focusCalls, 15);
}

TEST_F(EditorFonts, NoFontNumberIsRefused) {
    geometry.set(24, 16);
    ASSERT_EQ(editor.setFont(2), 0);
    EXPECT_EQ(editor.setFont(0), 1);
    EXPECT_EQ(editor.setFont(16), 1);
    EXPECT_EQ(editor.setFont(-1), 1);
    EXPECT_EQ(editor.currentFont(), 2);
}

TEST_F(EditorFonts, FontChangeKeepsExistingCells) {
    editor.keyPress('A');
    ASSERT_EQ(editor.setFont(1), 0);
    editor.keyPress('B');
    EXPECT_EQ(editor.record().cell(0), (Cell{3, 'A'}));
    EXPECT_EQ(editor.record().cell(1), (Cell{1, 'B'}));
}

TEST_F(EditorKeys, BackspaceOfPairBeforeTheEndCellKeepsCursorOnTheEnd) {
    type(std::string(31, 'x'));
    editor.insertItem({kAttrLead, kLeadEffect}, {2, kParameterMark});
    ASSERT_EQ(grid.cell(), 33); // the first empty cell, behind the pair at 31/32
    int key = kKeyBackspace;
    editor.keyDown(key);
    EXPECT_EQ(end(), 31);
    EXPECT_EQ(grid.cell(), 31);
    type("y");
    EXPECT_EQ(cell(31), (Cell{3, 'y'}));
    EXPECT_EQ(end(), 32);
}
