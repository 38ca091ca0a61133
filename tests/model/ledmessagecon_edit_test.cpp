#include "editorfixture.h"

#include <random>

using namespace pixbar;
using pixbar::test::EditorTest;
using pixbar::test::pairsIntact;

namespace {

constexpr Cell kLeadE{kAttrLead, kLeadEffect};
constexpr Cell kLeadP{kAttrLead, kLeadPause};
constexpr Cell kText{0x02, 'x'};

Cell effectParameter(int code) {
    return {std::uint8_t(code), kParameterMark};
}

} // namespace

using EditorInsert = EditorTest;

TEST_F(EditorInsert, GuardedRefusesParameterCellAndCellsPastTheArea) {
    setCells({kLeadE, effectParameter(2), kText});
    const MessageRecord before = editor.record();
    EXPECT_EQ(editor.insertGuarded(1, 0x02, 'A'), -1);
    EXPECT_EQ(editor.record(), before);
    EXPECT_EQ(editor.insertGuarded(500, 0x02, 'A'), 0);
    EXPECT_EQ(editor.insertGuarded(600, 0x02, 'A'), 0);
    EXPECT_EQ(editor.insertGuarded(-1, 0x02, 'A'), 0);
    EXPECT_EQ(editor.record(), before);
}

TEST_F(EditorInsert, ShiftsCellsUpAndZeroesTheSentinel) {
    setCells({{2, 'A'}, {2, 'B'}});
    MessageRecord dirty = editor.record();
    dirty.bytes[kSentinelOffset] = 7;
    dirty.bytes[kSentinelOffset + 1] = 9;
    editor.loadRecord(dirty);
    EXPECT_EQ(editor.insertGuarded(1, 0x04, 'Z'), 0);
    EXPECT_EQ(cell(0), (Cell{2, 'A'}));
    EXPECT_EQ(cell(1), (Cell{4, 'Z'}));
    EXPECT_EQ(cell(2), (Cell{2, 'B'}));
    EXPECT_EQ(editor.record().bytes[kSentinelOffset], 0);
    EXPECT_EQ(editor.record().bytes[kSentinelOffset + 1], 0);
}

TEST_F(EditorInsert, UnguardedSkipsTheParameterCheck) {
    setCells({kLeadP, {kDefaultPause, kParameterMark}});
    EXPECT_EQ(editor.insertUnguarded(1, 0x02, 'A'), 0);
    EXPECT_EQ(cell(1), (Cell{2, 'A'}));
    EXPECT_EQ(cell(2), (Cell{kDefaultPause, kParameterMark}));
}

TEST_F(EditorInsert, SingleLeadNeverGoesIntoTheLastCell) {
    fillText();
    const MessageRecord before = editor.record();
    EXPECT_EQ(editor.insertGuarded(499, kAttrLead, kLeadEffect), 0);
    EXPECT_EQ(editor.insertUnguarded(499, kAttrLead, kLeadPause), 0);
    EXPECT_EQ(editor.record(), before);
}

TEST_F(EditorInsert, TheTwoCallsOfAnItemMakeOnePair) {
    type("AB");
    grid.put(1);
    editor.insertCell(kAttrLead, kLeadEffect);
    EXPECT_EQ(grid.cell(), 2);
    editor.insertParameterCell(5, kParameterMark);
    EXPECT_EQ(grid.cell(), 3);
    EXPECT_EQ(cell(0), (Cell{3, 'A'}));
    EXPECT_EQ(cell(1), kLeadE);
    EXPECT_EQ(cell(2), effectParameter(5));
    EXPECT_EQ(cell(3), (Cell{3, 'B'}));
    EXPECT_EQ(end(), 4);

    editor.insertItem(kLeadP, {kDefaultPause, kParameterMark});
    EXPECT_EQ(cell(3), kLeadP);
    EXPECT_EQ(cell(4), (Cell{kDefaultPause, kParameterMark}));
    EXPECT_EQ(grid.cell(), 5);
    EXPECT_TRUE(pairsIntact(editor.record()));
}

TEST_F(EditorInsert, ItemOnParameterCellInsertsNothingAndMovesTwoRight) {
    setCells({kLeadE, effectParameter(1), kText, kText});
    grid.put(1);
    const MessageRecord before = editor.record();
    editor.insertItem(kLeadP, {kDefaultPause, kParameterMark});
    EXPECT_EQ(editor.record(), before);
    EXPECT_EQ(grid.cell(), 3);

    // Near the end the cursor goes only as far as the end allows.
    grid.put(1);
    setCells({kLeadE, effectParameter(1), {}, {}});
    editor.insertItem(kLeadP, {kDefaultPause, kParameterMark});
    EXPECT_EQ(grid.cell(), 2);
    EXPECT_EQ(end(), 2);
}

TEST_F(EditorInsert, ParameterCellWithoutLeadInsertsNothing) {
    type("AB");
    grid.put(1);
    editor.insertParameterCell(3, kParameterMark);
    EXPECT_EQ(end(), 2);
    EXPECT_EQ(grid.cell(), 2);
    // Another edit between the two calls ends the item: its stand-in parameter stays.
    grid.put(0);
    editor.insertCell(kAttrLead, kLeadEffect);
    type("C");
    editor.insertParameterCell(9, kParameterMark);
    EXPECT_EQ(cell(0), kLeadE);
    EXPECT_EQ(cell(1), effectParameter(1));
    EXPECT_TRUE(pairsIntact(editor.record()));
}

TEST_F(EditorInsert, PairsInEveryPosition) {
    struct Case {
        const char* name;
        int textBefore; // text cells in the record before the insertion
        int at;         // cursor cell
    };
    const Case cases[] = {
        {"start of empty", 0, 0},    {"start", 10, 0},
        {"middle", 10, 5},           {"end", 10, 10},
        {"cells 497/498", 497, 497}, {"cells 498/499", 498, 498},
        {"full at 0", 500, 0},       {"full at 250", 500, 250},
        {"full at 498", 500, 498},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        editor.clear();
        MessageRecord r;
        for (int i = 0; i < c.textBefore; ++i) r.setCell(i, textCell(i));
        editor.loadRecord(r);
        grid.put(c.at);
        editor.insertItem(kLeadE, effectParameter(7));
        EXPECT_EQ(cell(c.at), kLeadE);
        EXPECT_EQ(cell(c.at + 1), effectParameter(7));
        for (int i = 0; i < c.at; ++i) ASSERT_EQ(cell(i), textCell(i));
        for (int i = c.at; i < c.textBefore && i + 2 < kCellCount; ++i)
            ASSERT_EQ(cell(i + 2), textCell(i));
        EXPECT_EQ(end(), std::min(c.textBefore + 2, kCellCount - 1));
        EXPECT_EQ(grid.cell(), c.at + 2 <= kCellCount - 1 ? c.at + 2 : c.at + 1);
        EXPECT_TRUE(pairsIntact(editor.record()));
    }
}

TEST_F(EditorInsert, PairThatCannotFitIsRefusedWhole) {
    fillText();
    grid.put(499);
    const MessageRecord before = editor.record();
    editor.insertItem(kLeadE, effectParameter(3));
    EXPECT_EQ(editor.record(), before);
    EXPECT_EQ(grid.cell(), 499);
    EXPECT_EQ(editor.insertPairAt(499, kLeadE, effectParameter(3)), 1);
    EXPECT_EQ(editor.insertPairAt(500, kLeadE, effectParameter(3)), 1);
    EXPECT_EQ(editor.record(), before);

    // Not full, but the item would start in the last cell.
    MessageRecord r;
    for (int i = 0; i < 499; ++i) r.setCell(i, textCell(i));
    editor.loadRecord(r);
    grid.put(499);
    editor.insertCell(kAttrLead, kLeadPause);
    editor.insertParameterCell(kDefaultPause, kParameterMark);
    EXPECT_EQ(editor.record(), r);
}

TEST_F(EditorInsert, PushingAParameterOutOfTheAreaDropsTheWholePair) {
    fillText();
    setCells({kLeadE, effectParameter(4)}, 498);
    ASSERT_TRUE(pairsIntact(editor.record()));
    grid.put(0);
    type("Q");
    EXPECT_EQ(cell(0), (Cell{3, 'Q'}));
    EXPECT_EQ(cell(498), textCell(497));
    EXPECT_EQ(cell(499), Cell{}); // the lead went with its parameter
    EXPECT_TRUE(pairsIntact(editor.record()));

    // A pair that ends in cell 499 after the shift stays whole.
    fillText();
    setCells({kLeadE, effectParameter(4)}, 497);
    grid.put(0);
    type("Q");
    EXPECT_EQ(cell(498), kLeadE);
    EXPECT_EQ(cell(499), effectParameter(4));
    EXPECT_TRUE(pairsIntact(editor.record()));
}

TEST_F(EditorInsert, PairIntoFullAreaDropsAPairCutAtTheEnd) {
    fillText();
    setCells({kLeadP, {kDefaultPause, kParameterMark}}, 497);
    grid.put(10);
    editor.insertItem(kLeadE, effectParameter(12));
    EXPECT_EQ(cell(10), kLeadE);
    EXPECT_EQ(cell(11), effectParameter(12));
    EXPECT_EQ(cell(498), textCell(496));
    EXPECT_EQ(cell(499), Cell{});
    EXPECT_TRUE(pairsIntact(editor.record()));
}

TEST_F(EditorInsert, TypingIntoFullMessageDropsTheLastCell) {
    fillText();
    grid.put(100);
    type("QR");
    EXPECT_EQ(cell(100), (Cell{3, 'Q'}));
    EXPECT_EQ(cell(101), (Cell{3, 'R'}));
    EXPECT_EQ(cell(499), textCell(497));
    EXPECT_EQ(end(), 499);
    EXPECT_EQ(grid.cell(), 102);

    grid.put(499);
    type("Z");
    EXPECT_EQ(cell(499), (Cell{3, 'Z'}));
    EXPECT_EQ(grid.cell(), 499);
}

using EditorRemove = EditorTest;

TEST_F(EditorRemove, BackspaceTable) {
    struct Case {
        const char* name;
        std::vector<Cell> cells;
        int at;
        int result;
        std::vector<Cell> after;
    };
    const Cell a{2, 'a'}, b{2, 'b'}, p{7, kParameterMark};
    const std::vector<Case> cases = {
        {"cell zero", {a, b}, 0, 1, {a, b}},
        {"one cell", {a, b}, 2, 1, {a}},
        {"middle", {a, b, a}, 2, 1, {a, a}},
        {"pair before cursor", {a, kLeadE, p, b}, 3, 2, {a, b}},
        {"pair at start", {kLeadE, p, b}, 2, 2, {b}},
        {"cursor on parameter", {kLeadE, p, b}, 1, 0, {kLeadE, p, b}},
        {"cursor on lead", {a, kLeadE, p}, 1, 1, {kLeadE, p}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        editor.clear();
        setCells(c.cells);
        EXPECT_EQ(editor.backspaceAt(c.at), c.result);
        for (std::size_t i = 0; i < c.after.size(); ++i) EXPECT_EQ(cell(int(i)), c.after[i]);
        EXPECT_EQ(end(), int(c.after.size()));
    }
}

TEST_F(EditorRemove, DeleteTable) {
    struct Case {
        const char* name;
        std::vector<Cell> cells;
        int at;
        int result;
        std::vector<Cell> after;
    };
    const Cell a{2, 'a'}, b{2, 'b'}, p{7, kParameterMark};
    const std::vector<Case> cases = {
        {"first", {a, b}, 0, 1, {b}},
        {"last", {a, b}, 1, 1, {a}},
        {"empty cell", {a, b}, 2, 1, {a, b}},
        {"lead removes pair", {a, kLeadE, p, b}, 1, 2, {a, b}},
        {"pair at start", {kLeadP, p, b}, 0, 2, {b}},
        {"on parameter", {kLeadE, p, b}, 1, 0, {kLeadE, p, b}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        editor.clear();
        setCells(c.cells);
        EXPECT_EQ(editor.deleteAt(c.at), c.result);
        for (std::size_t i = 0; i < c.after.size(); ++i) EXPECT_EQ(cell(int(i)), c.after[i]);
        EXPECT_EQ(end(), int(c.after.size()));
    }
}

TEST_F(EditorRemove, OutsideTheAreaIsRefused) {
    type("AB");
    const MessageRecord before = editor.record();
    EXPECT_EQ(editor.deleteAt(500), 0);
    EXPECT_EQ(editor.deleteAt(-1), 0);
    EXPECT_EQ(editor.backspaceAt(500), 0);
    EXPECT_EQ(editor.backspaceAt(-3), 0);
    EXPECT_EQ(editor.record(), before);
}

TEST_F(EditorRemove, FromFullMessageEmptiesTheLastCells) {
    fillText();
    EXPECT_EQ(editor.deleteAt(0), 1);
    EXPECT_EQ(cell(498), textCell(499));
    EXPECT_EQ(cell(499), Cell{});

    fillText();
    setCells({kLeadE, effectParameter(1)}, 0);
    EXPECT_EQ(editor.deleteAt(0), 2);
    EXPECT_EQ(cell(497), textCell(499));
    EXPECT_EQ(cell(498), Cell{});
    EXPECT_EQ(cell(499), Cell{});

    fillText();
    setCells({kLeadE, effectParameter(1)}, 498);
    EXPECT_EQ(editor.backspaceAt(499), 0); // the cursor is on the parameter
    EXPECT_EQ(editor.deleteAt(498), 2);
    EXPECT_EQ(end(), 498);
    EXPECT_EQ(editor.backspaceAt(2), 1);
    EXPECT_EQ(end(), 497);
}

TEST_F(EditorRemove, LoneLeadFromAFileInTheLastCellIsRemovedAlone) {
    fillText();
    setCells({kLeadE}, 499);
    EXPECT_EQ(editor.deleteAt(499), 1);
    EXPECT_EQ(cell(499), Cell{});
    EXPECT_EQ(cell(498), textCell(498));
}

TEST(EditorInvariant, RandomEditingNeverSplitsAPair) {
    FontTable fonts{};
    SignGeometry geometry{24, 16, 26};
    MessageContainer editor{EditorContext{fonts, geometry}};
    pixbar::test::FakeGrid grid{editor};
    std::mt19937 random(20240611); // fixed start value: the same run every time
    for (int step = 0; step < 20000; ++step) {
        const int what = int(random() % 100);
        int key = 0;
        if (what < 50) {
            editor.keyPress(std::uint8_t('A' + random() % 26));
        } else if (what < 62) {
            editor.insertItem(kLeadE, effectParameter(int(1 + random() % 12)));
        } else if (what < 68) {
            editor.insertCell(kAttrLead, kLeadPause);
            if (random() % 4) editor.insertParameterCell(kDefaultPause, kParameterMark);
        } else if (what < 72) {
            editor.insertParameterCell(5, kParameterMark);
        } else if (what < 78) {
            key = kKeyBackspace;
        } else if (what < 82) {
            key = kKeyDelete;
        } else if (what < 90) {
            key = kKeyLeft;
        } else if (what < 97) {
            key = kKeyRight;
        } else {
            const int target = int(random() % 512);
            grid.setRow(target / 32);
            grid.setCol(target % 32);
        }
        const int cursorBefore = grid.cell();
        if (key) editor.keyDown(key);
        ASSERT_TRUE(pairsIntact(editor.record())) << "step " << step;
        ASSERT_LE(grid.cell(), editor.record().end())
            << "step " << step << " op " << what << " key " << key << " from " << cursorBefore;
    }
    EXPECT_GT(editor.record().end(), 0);
}
