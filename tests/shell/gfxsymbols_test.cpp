// The graphic symbol table window, its editor and the main window's "Symbol graficzny".
#include "categorybuttons.h"
#include "shelltesting.h"
#include "testfonts.h"
#include "unitgfxsymbolseditor.h"
#include "unitgfxsymbolstable.h"
#include "unitpixbar4designer.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMenuBar>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <fstream>

using namespace pixbar;
using namespace pixbar::testing;
namespace fs = std::filesystem;

namespace {

const QString kNoRoom = QStringLiteral("Wybrany symbol nie zmieści się w tablicy, wybierz kursorem "
                                       "inne miejsce lub zmniejsz szerokość symbolu!");
const QString kTaken = QStringLiteral(
    "Wybrany symbol nie zmieści się w miejscu wskazanym przez kursor, wskaż inne miejsce i "
    "spróbuj ponownie, lub usuń symbole znajdujące się pod i z prawej strony kursora, lub "
    "zmniejsz szerokość symbolu!");
const QString kDeleteQuestion = QStringLiteral(
    "Czy na pewno chcesz usunąć symbol graficzny pod kursorem?\nUWAGA: Usunięcie symbolu "
    "spowoduje że nie będzie on wyświetlany w komunkatach, nawet jeśli został on wcześniej "
    "wstawiony!");

class SymbolWindows : public ::testing::Test {
protected:
    void SetUp() override {
        dir = freshDir(std::string("gfx-") +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
        writeBuiltInFonts(dir);
        // An empty table of 256 columns, 16 rows each.
        writeBytes(dir / kSymbolTableFile,
                   headedFile(8, 16, 0, 256, std::vector<std::uint8_t>(256 * 16, 0)));
        glyphs.setStartDirectory(dir);
        ASSERT_TRUE(glyphs.LoadSymbolTable());
        window = std::make_unique<TFormGFXSymbols>(glyphs, prompts);
    }
    void TearDown() override {
        window.reset();
        fs::remove_all(dir);
    }

    /// Writes a BMP whose pixels are white where `lit` says so, black elsewhere.
    QString bitmap(const char* name, int width, int height,
                   const std::function<bool(int, int)>& lit) {
        QImage image(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixel(x, y, lit(x, y) ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
        const QString path = QString::fromStdString((dir / name).string());
        EXPECT_TRUE(image.save(path, "BMP"));
        return path;
    }
    void at(int cell) {
        window->DrawGrid1->setCurrent(cell % kSymbolGridColumns, cell / kSymbolGridColumns);
    }
    void importAt(int cell, const QString& file) {
        at(cell);
        prompts.files = {file};
        window->WczytajSymbolGraficznyZPlikuClick();
    }
    std::vector<std::uint8_t> readFile(const char* name) {
        std::ifstream in(dir / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::uint8_t glyph(unsigned code, unsigned row) {
        return glyphs.entry(kIndexGraphicSymbols).row(code, row);
    }
    /// Runs `inside` once the next modal window has started.
    static void whenShown(std::function<void()> inside) { QTimer::singleShot(0, inside); }

    fs::path dir;
    GlyphSets glyphs;
    ScriptedPrompts prompts;
    std::unique_ptr<TFormGFXSymbols> window;
};

} // namespace

TEST_F(SymbolWindows, CaptionsSizeAndButtons) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tablica symboli graficznych"));
    EXPECT_EQ(window->size(), QSize(674, 267));
    EXPECT_EQ(window->DrawGrid1->size(), QSize(32 * 16, 8 * 33));
    CategoryButtons& b = *window->CategoryButtons1;
    ASSERT_EQ(b.groupCount(), 1);
    const QStringList want = {"Wybierz",      "Wczytaj z pliku",  "Usuń",
                              "Zamknij okno", "Zaprojektuj nowy", "Zmień istniejący"};
    ASSERT_EQ(b.itemCount(0), want.size());
    for (int i = 0; i < want.size(); ++i) EXPECT_EQ(b.itemCaption(0, i), want[i]);
    EXPECT_EQ(window->editor().windowTitle(), QStringLiteral("Edytor symboli graficznych"));
}

TEST_F(SymbolWindows, ImportedPictureBecomesASymbolAndBothFilesAreWritten) {
    const QString file = bitmap("s.bmp", 20, 10, [](int, int) { return true; });
    importAt(4, file); // code 5
    EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join(' ').toStdString();
    ASSERT_EQ(prompts.pictureDialogs.size(), 1);
    EXPECT_EQ(prompts.pictureDialogs[0],
              QStringLiteral("Wybierz plik graficzny z symbolem|Bitmaps (*.bmp)|."));
    const auto& map = glyphs.symbolMap();
    EXPECT_EQ(map[5], 3);
    EXPECT_EQ(map[6], 255);
    EXPECT_EQ(map[7], 255);
    for (unsigned r = 0; r < 16; ++r) {
        EXPECT_EQ(glyph(6, r), r < 10 ? 0xFF : 0);
        EXPECT_EQ(glyph(7, r), r < 10 ? 0xF0 : 0);
    }
    const auto mapFile = readFile(kSymbolMapFile);
    ASSERT_EQ(mapFile.size(), 256u);
    EXPECT_EQ(mapFile[5], 3);
    EXPECT_EQ(readFile(kSymbolTableFile)[12 + 7 * 16], 0xF0);
    // The new symbol is shown highlighted.
    for (int cell = 0; cell < 10; ++cell)
        EXPECT_EQ(window->highlight()[cell], cell >= 4 && cell <= 6) << cell;
}

TEST_F(SymbolWindows, BlackOnWhitePictureImportsInverted) {
    // A black dot at (0, 0) on white.
    importAt(0, bitmap("dot.bmp", 8, 2, [](int x, int y) { return x != 0 || y != 0; }));
    EXPECT_EQ(glyph(1, 0), 0x7F);
    EXPECT_EQ(glyph(1, 1), 0xFF);
}

TEST_F(SymbolWindows, TakenColumnsAreReportedAndTheFilesStillWritten) {
    importAt(9, bitmap("one.bmp", 8, 8, [](int, int) { return true; })); // code 10
    fs::remove(dir / kSymbolMapFile);
    fs::remove(dir / kSymbolTableFile);
    const auto before = glyphs.symbolTableImage().bytes;
    importAt(7, bitmap("three.bmp", 24, 8, [](int, int) { return true; })); // codes 8..10
    EXPECT_EQ(prompts.errors, QStringList{kTaken});
    EXPECT_EQ(glyphs.symbolTableImage().bytes, before);
    EXPECT_EQ(glyphs.symbolMap()[8], 0);
    EXPECT_TRUE(fs::exists(dir / kSymbolMapFile));
    EXPECT_TRUE(fs::exists(dir / kSymbolTableFile));
}

TEST_F(SymbolWindows, PictureThatDoesNotFitIsReported) {
    importAt(250, bitmap("wide.bmp", 48, 8, [](int, int) { return true; })); // codes 251..256
    EXPECT_EQ(prompts.errors, QStringList{kNoRoom});
    EXPECT_EQ(glyphs.symbolMap()[251], 0);
    // The grey cells at the end never take a symbol.
    prompts.errors.clear();
    importAt(254, bitmap("small.bmp", 8, 8, [](int, int) { return true; }));
    EXPECT_EQ(prompts.errors, QStringList{kNoRoom});
    EXPECT_EQ(glyphs.symbolMap()[255], 0);
}

TEST_F(SymbolWindows, PictureWiderThanTheStagingIsRefusedAsTooWide) {
    importAt(0, bitmap("huge.bmp", 8200, 1, [](int, int) { return true; }));
    EXPECT_EQ(prompts.errors, QStringList{kNoRoom});
    EXPECT_EQ(window->staging().count, 0u);
    EXPECT_EQ(glyphs.symbolMap()[1], 0);
}

TEST_F(SymbolWindows, CancelledOrUnreadablePictureChangesAndWritesNothing) {
    importAt(0, QString());
    EXPECT_FALSE(fs::exists(dir / kSymbolMapFile));
    std::ofstream(dir / "bad.bmp") << "not a picture";
    importAt(0, QString::fromStdString((dir / "bad.bmp").string()));
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_EQ(prompts.errors[0], QStringLiteral("Nie można wczytać pliku graficznego bad.bmp."));
    EXPECT_FALSE(fs::exists(dir / kSymbolMapFile));
    EXPECT_EQ(glyphs.symbolMap()[1], 0);
}

TEST_F(SymbolWindows, SelectingAnyColumnChoosesTheWholeSymbol) {
    importAt(4, bitmap("s.bmp", 24, 8, [](int, int) { return true; })); // codes 5..7
    for (int cell : {4, 5, 6}) {
        window->resetChoice();
        at(cell);
        window->DrawGrid1SelectSymbol();
        EXPECT_EQ(window->selectedStart(), 5u) << cell;
        EXPECT_EQ(window->selectedWidth(), 3u) << cell;
    }
    at(7);
    window->DrawGrid1SelectSymbol();
    EXPECT_EQ(window->selectedStart(), 0u);
    EXPECT_EQ(window->selectedWidth(), 0u);
}

TEST_F(SymbolWindows, TheTwoLastCellsSelectNothing) {
    glyphs.symbolMap()[253] = 3;
    glyphs.symbolMap()[254] = 255;
    glyphs.symbolMap()[255] = 255;
    for (int cell : {254, 255}) {
        at(cell);
        window->DrawGrid1SelectSymbol();
        EXPECT_EQ(window->selectedStart(), 0u) << cell;
    }
    at(253);
    window->DrawGrid1SelectSymbol();
    EXPECT_EQ(window->selectedStart(), 253u);
}

TEST_F(SymbolWindows, DeleteAsksFirstAndNoKeepsTheSymbol) {
    importAt(4, bitmap("s.bmp", 16, 8, [](int, int) { return true; }));
    fs::remove(dir / kSymbolMapFile);
    at(5);
    prompts.answers = {false};
    window->UsunSymbolGraficznyClick();
    EXPECT_EQ(prompts.questions, QStringList{kDeleteQuestion});
    EXPECT_EQ(glyphs.symbolMap()[5], 2);
    EXPECT_EQ(glyph(6, 0), 0xFF);
    EXPECT_TRUE(fs::exists(dir / kSymbolMapFile)); // written after No as well

    prompts.answers = {true};
    window->UsunSymbolGraficznyClick();
    EXPECT_EQ(glyphs.symbolMap()[5], 0);
    EXPECT_EQ(glyphs.symbolMap()[6], 0);
    EXPECT_EQ(glyph(5, 0), 0);
    EXPECT_EQ(glyph(6, 7), 0);
    EXPECT_EQ(readFile(kSymbolMapFile)[6], 0);
    EXPECT_EQ(readFile(kSymbolTableFile)[12 + 6 * 16], 0);

    // Nothing under the cursor: no question, the files are still written.
    fs::remove(dir / kSymbolMapFile);
    window->UsunSymbolGraficznyClick();
    EXPECT_EQ(prompts.questions.size(), 2);
    EXPECT_TRUE(fs::exists(dir / kSymbolMapFile));
}

TEST_F(SymbolWindows, ChangeWithoutASymbolIsAnError) {
    at(20);
    window->ZmienIstniejacySymbolGraficznyClick();
    EXPECT_EQ(prompts.errors,
              QStringList{QStringLiteral("Błąd! Nie wybrano symbolu graficznego!")});
}

TEST_F(SymbolWindows, ChangedPixelsAreWrittenBackOnSave) {
    importAt(9, bitmap("s.bmp", 16, 4, [](int x, int) { return x == 0; })); // codes 10, 11
    at(10);
    TFormEdytorSymboliGraficznych& ed = window->editor();
    whenShown([&] {
        EXPECT_EQ(ed.picture().pixelWidth, 16);
        EXPECT_EQ(ed.picture().height, 16);
        EXPECT_EQ(ed.picture().start, 10u);
        EXPECT_EQ(ed.mode(), EditorMode::Editing);
        // The picture is painted at 16 screen pixels a symbol pixel.
        EXPECT_EQ(ed.bitmap().size(), QSize(256, 256));
        EXPECT_EQ(ed.bitmap().pixel(0, 0), qRgb(255, 0, 0));
        EXPECT_EQ(ed.bitmap().pixel(16, 0), qRgb(128, 0, 0));
        EXPECT_EQ(ed.bitmap().pixel(15, 0), qRgb(0, 0, 0));
        ed.ImageMouseDown(9 * 16 + 4, 1 * 16 + 4); // pixel (9, 1): second column, bit 6
        EXPECT_EQ(ed.bitmap().pixel(9 * 16, 16), qRgb(255, 0, 0));
        ed.ImageMouseDown(1000, 5); // outside the picture
        ed.ZakonczMalowanieIZapiszClick();
    });
    window->ZmienIstniejacySymbolGraficznyClick();
    EXPECT_EQ(ed.mode(), EditorMode::Save);
    EXPECT_EQ(glyph(11, 1), 0x40);
    EXPECT_EQ(glyph(10, 1), 0x80);
    EXPECT_EQ(readFile(kSymbolTableFile)[12 + 11 * 16 + 1], 0x40);
}

TEST_F(SymbolWindows, DiscardOrCloseBoxLeavesTheSymbolUnchanged) {
    importAt(0, bitmap("s.bmp", 8, 4, [](int, int) { return true; }));
    TFormEdytorSymboliGraficznych& ed = window->editor();
    for (bool discard : {true, false}) {
        at(0);
        whenShown([&] {
            ed.ImageMouseDown(0, 0);
            if (discard)
                ed.ZakonczMalowanieIPorzucClick();
            else
                ed.close();
        });
        window->ZmienIstniejacySymbolGraficznyClick();
        EXPECT_EQ(ed.mode(), discard ? EditorMode::Discard : EditorMode::Editing);
        EXPECT_EQ(glyph(1, 0), 0xFF) << discard;
        EXPECT_EQ(readFile(kSymbolTableFile)[12 + 16], 0xFF) << discard;
    }
}

TEST_F(SymbolWindows, DesigningANewSymbolWritesNothing) {
    importAt(0, bitmap("s.bmp", 8, 4, [](int, int) { return true; }));
    TFormEdytorSymboliGraficznych& ed = window->editor();
    // Before any "Zmień istniejący" the editor's picture is empty.
    whenShown([&] {
        EXPECT_EQ(ed.bitmap().size(), QSize(0, 0));
        ed.ZakonczMalowanieIZapiszClick();
    });
    window->ZaprojektujNowySymbolGraficznyClick();
    EXPECT_EQ(ed.mode(), EditorMode::NewDone);

    // After it the editor keeps the last symbol; saving a new design still writes nothing.
    at(0);
    whenShown([&] { ed.ZakonczMalowanieIPorzucClick(); });
    window->ZmienIstniejacySymbolGraficznyClick();
    fs::remove(dir / kSymbolTableFile);
    whenShown([&] {
        EXPECT_EQ(ed.picture().pixelWidth, 8);
        ed.ImageMouseDown(0, 0);
        ed.ZakonczMalowanieIZapiszClick();
    });
    window->ZaprojektujNowySymbolGraficznyClick();
    EXPECT_EQ(glyph(1, 0), 0xFF);
    EXPECT_FALSE(fs::exists(dir / kSymbolTableFile));
}

TEST_F(SymbolWindows, GridShowsColumnsInRedAndTheSymbolUnderTheCursorInGreen) {
    importAt(1, bitmap("s.bmp", 16, 1, [](int x, int) { return x == 0; })); // codes 2, 3
    at(40);
    window->DrawGrid1HightlightSymbol();
    QImage shot = window->DrawGrid1->grab().toImage();
    EXPECT_EQ(shot.pixel(16, 0), qRgb(240, 0, 0)); // cell 1, first pixel lit
    EXPECT_EQ(shot.pixel(16, 1), qRgb(240, 0, 0));
    EXPECT_EQ(shot.pixel(18, 0), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(16, 32), qRgb(0, 0, 0));            // the line below each cell
    EXPECT_EQ(shot.pixel(30 * 16, 7 * 33), qRgb(36, 21, 3)); // cell 254
    EXPECT_EQ(shot.pixel(31 * 16 + 15, 7 * 33 + 31), qRgb(36, 21, 3));
    EXPECT_EQ(shot.pixel(8 * 16, 1 * 33), qRgb(64, 64, 64)); // the current cell, 40

    at(2);
    window->DrawGrid1HightlightSymbol();
    shot = window->DrawGrid1->grab().toImage();
    EXPECT_EQ(shot.pixel(16, 0), qRgb(0, 240, 0));
    EXPECT_EQ(shot.pixel(32 + 2, 0), qRgb(64, 64, 64));
    EXPECT_EQ(shot.pixel(48, 0), qRgb(0, 0, 0)); // cell 3 is not part of it
}

TEST_F(SymbolWindows, EscapeAndCloseButtonChooseNothing) {
    importAt(0, bitmap("s.bmp", 8, 4, [](int, int) { return true; }));
    at(0);
    window->DrawGrid1SelectSymbol();
    ASSERT_EQ(window->selectedStart(), 1u);
    whenShown([&] {
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &esc);
    });
    window->exec();
    EXPECT_EQ(window->selectedStart(), 0u);

    window->DrawGrid1SelectSymbol();
    whenShown([&] { window->CategoryButtons1->clickItem(0, 3); });
    window->exec();
    EXPECT_EQ(window->selectedStart(), 0u);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(SymbolWindows, ButtonGroupIsExpandedAgainWhileShown) {
    window->CategoryButtons1->setExpanded(0, false);
    window->TimerExpandCategoryButtonsTimer();
    EXPECT_FALSE(window->CategoryButtons1->isExpanded(0)); // hidden: left alone
    whenShown([&] {
        window->TimerExpandCategoryButtonsTimer();
        EXPECT_TRUE(window->CategoryButtons1->isExpanded(0));
        window->close();
    });
    window->exec();
}

namespace {

class MainWindowSymbols : public ::testing::Test {
protected:
    void SetUp() override {
        dir = freshDir(std::string("gfxmain-") +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
        writeBuiltInFonts(dir);
        writeBytes(dir / kSymbolTableFile,
                   headedFile(8, 16, 0, 256, std::vector<std::uint8_t>(256 * 16, 0)));
        std::vector<std::uint8_t> map(256, 0);
        map[20] = 3;
        map[21] = map[22] = 255;
        writeBytes(dir / kSymbolMapFile, map);
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
    /// Picks cell `cell` (column code cell + 1) in the symbol table window once it is shown.
    void pickWhenShown(int cell) {
        QTimer::singleShot(0, [this, cell] {
            TFormGFXSymbols& w = form->gfxSymbols();
            EXPECT_TRUE(w.isVisible());
            w.DrawGrid1->setCurrent(cell % 32, cell / 32);
            w.DrawGrid1SelectSymbol();
        });
    }

    fs::path dir;
    QString previous;
    ScriptedPrompts prompts;
    std::unique_ptr<TForm1> form;
};

} // namespace

TEST_F(MainWindowSymbols, ChosenSymbolGoesInAsItsColumnsInFontThirteen) {
    form->currentEditor()->keyPress('A');
    pickWhenShown(20); // code 21, the middle column of the symbol at 20
    form->WstawSymbolGraficznyClick();
    const MessageRecord& r = form->currentEditor()->record();
    ASSERT_EQ(r.end(), 4);
    EXPECT_EQ(r.character(0), 'A');
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(r.attribute(1 + i), 0x0D) << i;
        EXPECT_EQ(r.character(1 + i), 20 + i) << i;
    }
}

TEST_F(MainWindowSymbols, ClosingWithoutAChoiceInsertsNothing) {
    // A choice left from an earlier showing does not count.
    pickWhenShown(20);
    form->WstawSymbolGraficznyClick();
    ASSERT_EQ(form->currentEditor()->record().end(), 3);
    QTimer::singleShot(0, [this] { form->gfxSymbols().close(); });
    form->WstawSymbolGraficznyClick();
    EXPECT_EQ(form->currentEditor()->record().end(), 3);
    pickWhenShown(255);
    form->WstawSymbolGraficznyClick();
    EXPECT_EQ(form->currentEditor()->record().end(), 3);
}

TEST_F(MainWindowSymbols, MenuAndFontButtonThirteenOpenTheWindow) {
    QAction* menu = nullptr;
    for (QAction* top : form->menuBar()->actions())
        if (top->text() == QStringLiteral("W&staw"))
            for (QAction* a : top->menu()->actions())
                if (a->text() == QStringLiteral("Symbol &graficzny")) menu = a;
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isEnabled());
    pickWhenShown(21); // code 22, the last column
    menu->trigger();
    EXPECT_EQ(form->currentEditor()->record().end(), 3);

    pickWhenShown(19);                        // code 20, the first column
    form->categoryButtons().clickItem(0, 12); // button 13 of "Czcionki"
    EXPECT_EQ(form->currentEditor()->record().end(), 6);
    EXPECT_EQ(form->currentEditor()->record().character(5), 22);
}
