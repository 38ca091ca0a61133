// The character table and the "Znak ASCII" and "Symbol" commands of the main window.
#include "categorybuttons.h"
#include "testfonts.h"
#include "unitchartable.h"
#include "unitpixbar4designer.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace pixbar;
using namespace pixbar::testing;
namespace fs = std::filesystem;

namespace {

/// Any box or dialog here is unexpected.
class NoPrompts : public UserPrompts {
public:
    void error(const QString& text) override { ADD_FAILURE() << text.toStdString(); }
    bool question(const QString& text) override {
        ADD_FAILURE() << text.toStdString();
        return false;
    }
    QString openFile(const QString& f, const QString&, const QString&) override {
        ADD_FAILURE() << f.toStdString();
        return {};
    }
    QString saveFile(const QString& f, const QString&) override {
        ADD_FAILURE() << f.toStdString();
        return {};
    }
};

constexpr QRgb kYellow = 0xFFF0F000;
constexpr QRgb kGrey = 0xFF808080;
constexpr QRgb kBlack = 0xFF000000;

/// A font entry whose glyph c has every row equal to c.
struct TestFont {
    std::vector<std::uint8_t> data;
    FontEntry entry;
    explicit TestFont(int height) {
        data = rawFont(256, height, [](int c, int) { return std::uint8_t(c); });
        entry.data = data.data();
        entry.dataSize = data.size();
        entry.width = 8;
        entry.height = std::uint16_t(height);
    }
};

QImage blankCell() {
    QImage cell(16, 32, QImage::Format_RGB32);
    cell.fill(Qt::red);
    return cell;
}

TEST(CharCell, GlyphBitsBecomeTwoByTwoSquaresAndTheRestStaysBlack) {
    TestFont font(8);
    QImage cell = blankCell();
    DrawCharCell(cell, &font.entry, 0x41, false); // 0100 0001
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 16; ++x) {
            const int bit = x / 2;
            const bool lit = y < 16 && (bit == 1 || bit == 7);
            EXPECT_EQ(cell.pixel(x, y), lit ? kYellow : kBlack) << x << "," << y;
        }
    }
}

TEST(CharCell, SelectedCellHasAGreyBackgroundUnderTheGlyphOnly) {
    TestFont font(8);
    QImage cell = blankCell();
    DrawCharCell(cell, &font.entry, 0x80, true); // only the leftmost bit
    EXPECT_EQ(cell.pixel(0, 0), kYellow);
    EXPECT_EQ(cell.pixel(1, 15), kYellow);
    EXPECT_EQ(cell.pixel(2, 0), kGrey);
    EXPECT_EQ(cell.pixel(15, 15), kGrey);
    EXPECT_EQ(cell.pixel(0, 16), kBlack);
    EXPECT_EQ(cell.pixel(15, 31), kBlack);
}

TEST(CharCell, SixteenRowGlyphFillsAllThirtyTwoRows) {
    TestFont font(16);
    QImage cell = blankCell();
    DrawCharCell(cell, &font.entry, 0x01, false);
    EXPECT_EQ(cell.pixel(14, 0), kYellow);
    EXPECT_EQ(cell.pixel(15, 31), kYellow);
    EXPECT_EQ(cell.pixel(13, 31), kBlack);
}

TEST(CharCell, NoFontOrAnEmptyFontShowsOnlyTheBackground) {
    const FontEntry empty; // the user font before one is loaded
    for (const FontEntry* f : {static_cast<const FontEntry*>(nullptr), &empty}) {
        QImage cell = blankCell();
        DrawCharCell(cell, f, 0x41, true);
        EXPECT_EQ(cell.pixel(0, 0), kGrey);
        EXPECT_EQ(cell.pixel(15, 31), kGrey);
        DrawCharCell(cell, f, 0x41, false);
        EXPECT_EQ(cell.pixel(2, 0), kBlack);
    }
}

TEST(CharCell, GlyphsPastTheDataAreBlank) {
    TestFont font(8);
    font.entry.dataSize = 8 * 0x40; // codes 0..0x3F only
    QImage cell = blankCell();
    DrawCharCell(cell, &font.entry, 0x41, false);
    EXPECT_EQ(cell.pixel(2, 0), kBlack);
    EXPECT_EQ(cell.pixel(14, 0), kBlack);
}

class CharTable : public ::testing::Test {
protected:
    void SetUp() override {
        dir = freshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        writeBuiltInFonts(dir);
        previous = QDir::currentPath();
        QDir::setCurrent(QString::fromStdString(dir.string()));
        form = std::make_unique<TForm1>(prompts);
        QString error;
        ASSERT_TRUE(form->FormCreate(&error)) << error.toStdString();
    }
    void TearDown() override {
        form.reset();
        QDir::setCurrent(previous);
        fs::remove_all(dir);
    }
    /// Runs `command`; while the table is shown, `inside` acts on it.
    void withTable(const std::function<void(TForm2&)>& inside,
                   const std::function<void()>& command) {
        TForm2& table = form->charTable();
        bool ran = false;
        QTimer::singleShot(0, &table, [&] {
            ran = true;
            EXPECT_TRUE(table.isVisible());
            inside(table);
            // Whatever `inside` did, the modal loop must end.
            if (table.isVisible()) {
                ADD_FAILURE() << "the table stayed open";
                table.CategoryButtons1Categories0Items1Click();
            }
        });
        command();
        EXPECT_TRUE(ran);
        EXPECT_FALSE(table.isVisible());
    }
    void choose(TForm2& t, int row, int column) {
        t.DrawGrid1->select(row, column);
        t.CategoryButtons1->clickItem(0, 0);
    }
    Cell cell(int i) {
        const MessageRecord& r = form->currentEditor()->record();
        return r.cell(i);
    }
    int cells() { return form->currentEditor()->record().end(); }

    fs::path dir;
    QString previous;
    NoPrompts prompts;
    std::unique_ptr<TForm1> form;
};

TEST_F(CharTable, WindowLooksAsDesigned) {
    TForm2& t = form->charTable();
    EXPECT_EQ(t.windowTitle(), QStringLiteral("Tablica znaków"));
    EXPECT_EQ(t.size(), QSize(673, 138));
    EXPECT_EQ(t.DrawGrid1->size(), QSize(512, 132));
    EXPECT_TRUE(t.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(t.CategoryButtons1->itemCaption(0, 0), QStringLiteral("Wybierz znak"));
    EXPECT_EQ(t.CategoryButtons1->itemCaption(0, 1), QStringLiteral("Anuluj"));
    EXPECT_EQ(t.CharTableFont, 1);
    EXPECT_EQ(t.CharTablePage, 0);
    EXPECT_EQ(t.CharTableResult, 0);
    EXPECT_EQ(t.CellBitmap.size(), QSize(16, 32));
}

TEST_F(CharTable, CodesOfTheTwoPages) {
    TForm2& t = form->charTable();
    struct Case {
        int page, row, column, code;
    };
    const Case cases[] = {{0, 0, 0, 0},    {1, 0, 0, 128},  {0, 2, 1, 65},
                          {0, 3, 31, 127}, {1, 3, 31, 255}, {1, 0, 3, 131}};
    for (const Case& c : cases) {
        t.CharTablePage = c.page;
        EXPECT_EQ(t.codeAt(c.row, c.column), c.code) << c.page << " " << c.row << " " << c.column;
    }
}

TEST_F(CharTable, AsciiCharacterGoesInWithTheCurrentAttribute) {
    ASSERT_EQ(form->currentEditor()->setFont(2), 0);
    withTable(
        [&](TForm2& t) {
            EXPECT_EQ(t.CharTableFont, 2);
            EXPECT_EQ(t.CharTablePage, 0);
            choose(t, 2, 1);
        },
        [&] { form->WstawZnakASCIIClick(); });
    EXPECT_EQ(form->charTable().CharTableResult, 65);
    ASSERT_EQ(cells(), 1);
    EXPECT_EQ(cell(0), (Cell{0x02, 65}));
}

TEST_F(CharTable, CodeZeroOfTheFirstPageInsertsNothing) {
    withTable([&](TForm2& t) { choose(t, 0, 0); }, [&] { form->WstawZnakASCIIClick(); });
    EXPECT_EQ(form->charTable().CharTableResult, 0);
    EXPECT_EQ(cells(), 0);
}

TEST_F(CharTable, SymbolsOfFontFifteenAndTheirPairs) {
    struct Case {
        int column;
        std::vector<std::uint8_t> inserted;
    };
    const Case cases[] = {
        {0, {0x80, 0x81}}, {1, {0x80, 0x81}}, {2, {0x82, 0x83}},
        {3, {0x82, 0x83}}, {4, {0x84}},       {31, {0x9F}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.column);
        form->currentEditor()->clear();
        withTable(
            [&](TForm2& t) {
                EXPECT_EQ(t.CharTableFont, 15);
                EXPECT_EQ(t.CharTablePage, 1);
                choose(t, 0, c.column);
            },
            [&] { form->WstawSymbolClick(); });
        ASSERT_EQ(cells(), int(c.inserted.size()));
        for (std::size_t i = 0; i < c.inserted.size(); ++i)
            EXPECT_EQ(cell(int(i)), (Cell{0x0F, c.inserted[i]}));
    }
}

TEST_F(CharTable, CloseBoxAfterAnEarlierChoiceInsertsNothing) {
    withTable([&](TForm2& t) { choose(t, 2, 1); }, [&] { form->WstawZnakASCIIClick(); });
    ASSERT_EQ(cells(), 1);
    withTable([&](TForm2& t) { t.close(); }, [&] { form->WstawZnakASCIIClick(); });
    EXPECT_EQ(form->charTable().CharTableResult, 0);
    EXPECT_EQ(cells(), 1);
}

TEST_F(CharTable, EscapeAndCancelInsertNothing) {
    withTable(
        [&](TForm2& t) {
            t.DrawGrid1->select(2, 1);
            QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(t.DrawGrid1, &esc);
        },
        [&] { form->WstawZnakASCIIClick(); });
    withTable(
        [&](TForm2& t) {
            t.DrawGrid1->select(2, 1);
            t.CategoryButtons1->clickItem(0, 1);
        },
        [&] { form->WstawSymbolClick(); });
    EXPECT_EQ(form->charTable().CharTableResult, 0);
    EXPECT_EQ(cells(), 0);
}

TEST_F(CharTable, DoubleClickChoosesTheCellUnderTheMouse) {
    withTable(
        [&](TForm2& t) {
            const QPointF at(5 * 16 + 3, 2 * 33 + 10); // row 2, column 5
            QMouseEvent dbl(QEvent::MouseButtonDblClick, at, t.DrawGrid1->mapToGlobal(at),
                            Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(t.DrawGrid1, &dbl);
        },
        [&] { form->WstawZnakASCIIClick(); });
    ASSERT_EQ(cells(), 1);
    EXPECT_EQ(cell(0).character, 69);
}

TEST_F(CharTable, ArrowKeysMoveTheSelectionWithinTheGridAndItIsKept) {
    TForm2& t = form->charTable();
    t.DrawGrid1->select(0, 0);
    const auto key = [&](Qt::Key k) {
        QKeyEvent e(QEvent::KeyPress, k, Qt::NoModifier);
        QApplication::sendEvent(t.DrawGrid1, &e);
    };
    key(Qt::Key_Left);
    key(Qt::Key_Up);
    EXPECT_EQ(t.DrawGrid1->row(), 0);
    EXPECT_EQ(t.DrawGrid1->column(), 0);
    key(Qt::Key_Right);
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    EXPECT_EQ(t.DrawGrid1->row(), 2);
    EXPECT_EQ(t.DrawGrid1->column(), 1);
    for (int i = 0; i < 5; ++i) key(Qt::Key_Down);
    EXPECT_EQ(t.DrawGrid1->row(), 3);
    // The selection survives a showing that is cancelled.
    withTable([&](TForm2& table) { table.close(); }, [&] { form->WstawZnakASCIIClick(); });
    EXPECT_EQ(t.DrawGrid1->row(), 3);
    EXPECT_EQ(t.DrawGrid1->column(), 1);
}

TEST_F(CharTable, GridShowsTheFontOfThePageAndTheSelection) {
    TForm2& t = form->charTable();
    t.CharTableFont = 2;
    t.CharTablePage = 0;
    t.DrawGrid1->select(0, 1);
    const QImage shot = t.DrawGrid1->grab().toImage();
    // Cell (0,1) is code 1 selected: the grey background, glyph 1 lit at its rightmost bit.
    EXPECT_EQ(shot.pixel(16 + 0, 0), kGrey);
    EXPECT_EQ(shot.pixel(16 + 14, 0), kYellow);
    EXPECT_EQ(shot.pixel(16 + 0, 20), kBlack);
    // Code 65 at row 2, column 1 (0100 0001), unselected; the 33rd row of a cell is black.
    EXPECT_EQ(shot.pixel(16 + 2, 66), kYellow);
    EXPECT_EQ(shot.pixel(16 + 0, 66), kBlack);
    EXPECT_EQ(shot.pixel(16 + 2, 98), kBlack);
}

TEST_F(CharTable, CommandsAreInTheMenusAndThePanel) {
    QStringList captions;
    for (QAction* menu : form->menuBar()->actions())
        if (menu->text() == QStringLiteral("W&staw"))
            for (QAction* a : menu->menu()->actions())
                if (a->isEnabled()) captions << a->text();
    EXPECT_TRUE(captions.contains(QStringLiteral("&Znak ASCII")));
    EXPECT_TRUE(captions.contains(QStringLiteral("&Symbol")));

    CategoryButtons& panel = form->categoryButtons();
    int insertGroup = -1;
    for (int g = 0; g < panel.groupCount(); ++g)
        for (int i = 0; i < panel.itemCount(g); ++i)
            if (panel.itemCaption(g, i) == QStringLiteral("Znak ASCII")) insertGroup = g;
    ASSERT_GE(insertGroup, 0);
    const int symbol = panel.itemCount(insertGroup) - 1;
    EXPECT_EQ(panel.itemCaption(insertGroup, symbol), QStringLiteral("Symbol"));
    withTable([&](TForm2& t) { choose(t, 0, 5); }, [&] { panel.clickItem(insertGroup, symbol); });
    ASSERT_EQ(cells(), 1);
    EXPECT_EQ(cell(0), (Cell{0x0F, 0x85}));
}

} // namespace
