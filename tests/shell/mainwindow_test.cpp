#include "categorybuttons.h"
#include "drawgrid.h"
#include "memoryport.h"
#include "shelltesting.h"
#include "signframe.h"
#include "testfonts.h"
#include "unitappsettings.h"
#include "unitformsender.h"
#include "unitpixbar4designer.h"
#include "unitpixbarsettings.h"
#include "unitsync.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <functional>
#include <utility>

using namespace pixbar;
using namespace pixbar::testing;
namespace fs = std::filesystem;

namespace {

class MainWindow : public DesignerFolder {
protected:
    TForm1& open() { return openForm(); }
};

} // namespace

TEST_F(MainWindow, StartsWithDefaultsWhenLdCfgIsMissing) {
    TForm1& f = open();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Centrum sterowania linijką świetlną"));
    EXPECT_EQ(f.emulator().geometry.width, 8);
    EXPECT_EQ(f.emulator().geometry.height, 8);
    EXPECT_EQ(f.emulator().geometry.stride, 10);
    EXPECT_EQ(f.currentMessage(), 1);
    EXPECT_EQ(f.kindCaption(), QStringLiteral("Rodaj komunikatu: pojedyńczy"));
    EXPECT_EQ(f.signConfig(), kInitialSignConfig);
    EXPECT_EQ(f.currentEditor()->currentFont(), 3);
    // The highlight shades from (0,192,192) down to (0,254,254).
    EXPECT_EQ(f.highlightImage().pixel(0, 0), qRgb(0, 192, 192));
    EXPECT_EQ(f.highlightImage().pixel(15, 31), qRgb(0, 254, 254));
}

TEST_F(MainWindow, AMissingFontOrSymbolTableStopsTheDesignerNamingTheFile) {
    fs::remove(dir / "font8x8hohl_128.fnt");
    TForm1 f(prompts);
    QString error;
    EXPECT_FALSE(f.FormCreate(&error));
    EXPECT_TRUE(error.contains("font8x8hohl_128.fnt")) << error.toStdString();

    writeBuiltInFonts(dir);
    fs::remove(dir / kSymbolTableFile);
    TForm1 g(prompts);
    EXPECT_FALSE(g.FormCreate(&error));
    EXPECT_TRUE(error.contains(kSymbolTableFile)) << error.toStdString();
}

TEST_F(MainWindow, GeometryComesFromLdCfgAndUnusableValuesFallBack) {
    writeConfig("COM4\n95\n2\n12\n24\n16\n77\n");
    EXPECT_EQ(open().emulator().geometry.width, 24);
    EXPECT_EQ(form->emulator().geometry.height, 16);
    EXPECT_EQ(form->settings().signSerial, 77);
    writeConfig("COM4\n95\n2\n12\n0\n12\n77\n");
    EXPECT_EQ(open().emulator().geometry.width, 8);
    EXPECT_EQ(form->emulator().geometry.height, 8);
}

TEST_F(MainWindow, ClosingWritesLdCfg) {
    writeConfig("  COM3  \n50\n3\n20\n12\n16\n5\n");
    open().close();
    EXPECT_EQ(readFile(dir / "ld.cfg"), "COM3\n50\n3\n20\n12\n16\n5\n");
}

TEST_F(MainWindow, EachSaveOfAnLdCfgThatCannotBeWrittenIsToldOnce) {
    // A folder in ld.cfg's place: the write fails for any user, root too.
    fs::create_directories(dir / "ld.cfg" / "kept");
    TForm1& f = open();
    const QString told =
        QStringLiteral("Nie można zapisać pliku %1/ld.cfg.").arg(QDir::currentPath());
    const std::pair<const char*, std::function<void()>> saves[] = {
        {"sign settings closed",
         [&] {
             f.pixbarSettings().show();
             f.pixbarSettings().CategoryButtons1Categories0Items0Click();
         }},
        {"application settings saved",
         [&] {
             f.appSettings().show();
             f.appSettings().CategoryButtons1Categories0Items1Click();
         }},
        {"main window closed",
         [&] {
             f.show();
             f.close();
         }},
    };
    for (const auto& [what, save] : saves) {
        SCOPED_TRACE(what);
        prompts.errors.clear();
        save();
        EXPECT_EQ(prompts.errors, QStringList{told});
        EXPECT_TRUE(fs::is_directory(dir / "ld.cfg" / "kept"));
    }
}

TEST_F(MainWindow, CloseCommandAsksFirst) {
    TForm1& f = open();
    f.show();
    prompts.answers = {false};
    f.Zamknij1Click();
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(fs::exists(dir / "ld.cfg"));
    prompts.answers = {true};
    f.Zamknij1Click();
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(fs::exists(dir / "ld.cfg"));
    EXPECT_EQ(prompts.questions.back(), QStringLiteral("Czy na pewno wyjść z programu?"));
}

TEST_F(MainWindow, KindButtonCyclesOnlyOnATallSign) {
    TForm1& f = open();
    f.CategoryButtons1Categories5Items0Click();
    EXPECT_EQ(prompts.errors, QStringList{QStringLiteral(
                                  "Ta opcja nie jest dostępna w linijce o wysokości 8 pikseli!")});
    EXPECT_EQ(f.currentEditor()->messageKind(), 0);

    writeConfig("COM1\n95\n2\n12\n8\n16\n1\n");
    TForm1& g = open();
    g.CategoryButtons1Categories5Items0Click();
    EXPECT_EQ(g.kindCaption(), QStringLiteral("Rodaj komunikatu: górny"));
    g.CategoryButtons1Categories5Items0Click();
    EXPECT_EQ(g.kindCaption(), QStringLiteral("Rodaj komunikatu: dolny"));
    EXPECT_EQ(g.currentEditor()->record().kind(), 2);
    g.CategoryButtons1Categories5Items0Click();
    EXPECT_EQ(g.kindCaption(), QStringLiteral("Rodaj komunikatu: pojedyńczy"));
    // Each page keeps its own kind; showing a page shows its caption.
    g.CategoryButtons1Categories5Items0Click();
    g.showPage(2);
    EXPECT_EQ(g.kindCaption(), QStringLiteral("Rodaj komunikatu: pojedyńczy"));
    g.showPage(1);
    EXPECT_EQ(g.kindCaption(), QStringLiteral("Rodaj komunikatu: górny"));
}

TEST_F(MainWindow, TallFontIsRefusedOnAnEightPixelSign) {
    TForm1& f = open();
    f.fontButtonClick(7);
    EXPECT_EQ(prompts.errors.size(), 1);
    EXPECT_EQ(prompts.errors[0],
              QStringLiteral("Ta czcionka nie jest dostępna w linijce o wysokości 8 pikseli!"));
    EXPECT_EQ(f.currentEditor()->currentFont(), 3);
    f.fontButtonClick(2);
    EXPECT_EQ(f.currentEditor()->currentFont(), 2);
    EXPECT_EQ(prompts.errors.size(), 1);
}

TEST_F(MainWindow, PasteTypesEveryByteOfTheClipboard) {
    TForm1& f = open();
    QApplication::clipboard()->setText(QStringLiteral("AB\r\nż"));
    f.Wklej1Click();
    const MessageRecord& r = f.currentEditor()->record();
    EXPECT_EQ(r.end(), 5);
    const std::uint8_t want[] = {'A', 'B', 13, 10, 0xBF};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(r.character(i), want[i]) << i;
        EXPECT_EQ(r.attribute(i), 3) << i;
    }
}

TEST_F(MainWindow, ClearAsksThenEmptiesTheMessage) {
    writeConfig("COM1\n95\n2\n12\n8\n16\n1\n");
    TForm1& f = open();
    f.FormatInwersjaClick();
    f.EfektyPauzaClick();
    f.CategoryButtons1Categories5Items0Click();
    ASSERT_EQ(f.currentEditor()->record().end(), 3);
    prompts.answers = {false};
    f.SkasujKomunikatClick();
    EXPECT_EQ(f.currentEditor()->record().end(), 3);
    prompts.answers = {true};
    f.SkasujKomunikatClick();
    EXPECT_EQ(prompts.questions.back(), QStringLiteral("Czy na pewno skasować komunikat?"));
    EXPECT_EQ(f.currentEditor()->record(), MessageRecord{});
    EXPECT_EQ(f.currentEditor()->currentFont(), 4);
    EXPECT_EQ(f.kindCaption(), QStringLiteral("Rodaj komunikatu: pojedyńczy"));
}

TEST_F(MainWindow, ItemsGoInAtTheCursorAsTheirCells) {
    TForm1& f = open();
    f.FormatZwyklyClick();
    f.insertEffect(EffectCode::Typewriter);
    f.EfektyPauzaClick();
    f.WstawCzasClick();
    f.WstawDateClick();
    f.WstawTemperatureClick();
    const MessageRecord& r = f.currentEditor()->record();
    const Cell want[] = {{0x50, 0x80}, {0xF0, 0x10}, {12, 0x01},   {0xF0, 0x01},
                         {2, 0x01},    {0x13, 0xFF}, {0x23, 0xFE}, {0x33, 0xFA}};
    ASSERT_EQ(r.end(), 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(r.cell(i), want[i]) << i;
    EXPECT_EQ(f.grid(1).col(), 8);
}

TEST_F(MainWindow, LoadedMessageShowsItsKindAndBadFilesAreReported) {
    MessageRecord lower;
    lower.setCell(0, {2, 'X'});
    lower.setKind(2);
    writeBytes(dir / "lower.kom",
               std::vector<std::uint8_t>(lower.bytes.begin(), lower.bytes.end()));
    writeBytes(dir / "short.kom", std::vector<std::uint8_t>(100, 1));
    TForm1& f = open();
    f.showPage(3);
    prompts.files = {QString::fromStdString((dir / "lower.kom").string())};
    f.WczytajKomunikatClick();
    EXPECT_EQ(f.editor(3).record(), lower);
    EXPECT_EQ(f.kindCaption(), QStringLiteral("Rodaj komunikatu: dolny"));

    prompts.files = {QString::fromStdString((dir / "short.kom").string())};
    f.WczytajKomunikatClick();
    EXPECT_EQ(f.editor(3).record(), lower);
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].contains("short.kom"));

    // A cancelled set dialog still refreshes the caption.
    f.editor(3).setMessageKind(0);
    prompts.files = {QString()};
    f.WczytajZestawKomunikatowClick();
    EXPECT_EQ(f.kindCaption(), QStringLiteral("Rodaj komunikatu: pojedyńczy"));
}

TEST_F(MainWindow, MessageSetRoundTrip) {
    TForm1& f = open();
    for (int n = 1; n <= 8; ++n) {
        f.showPage(n);
        for (int i = 0; i < n; ++i) f.currentEditor()->insertCharacter(std::uint8_t('0' + n));
    }
    const QString file = QString::fromStdString((dir / "set.kzb").string());
    prompts.files = {file};
    f.ZapiszZestawKomunikatowClick();
    ASSERT_EQ(fs::file_size(dir / "set.kzb"), 8192u);
    std::array<MessageRecord, 8> saved;
    for (int n = 1; n <= 8; ++n) {
        saved[n - 1] = f.editor(n).record();
        f.showPage(n);
        f.currentEditor()->clear();
    }
    prompts.files = {file};
    f.WczytajZestawKomunikatowClick();
    for (int n = 1; n <= 8; ++n) EXPECT_EQ(f.editor(n).record(), saved[n - 1]) << n;
}

TEST_F(MainWindow, UserFontButtonOffersTheDialogWhenNoFontIsLoaded) {
    writeBytes(dir / "mine.fnd",
               headedFile(6, 8, 0, 128, std::vector<std::uint8_t>(128 * 8, 0x84)));
    TForm1& f = open();
    prompts.files = {QString::fromStdString((dir / "mine.fnd").string())};
    f.fontButtonClick(14);
    EXPECT_EQ(f.currentEditor()->currentFont(), 14);
    EXPECT_EQ(f.emulator().glyphs.table()[kIndexUserFont].width, 6);
    f.fontButtonClick(14); // loaded now: no second dialog
    EXPECT_TRUE(prompts.files.empty());
    EXPECT_TRUE(prompts.errors.isEmpty());
}

TEST_F(MainWindow, StatusLineClearsFiveSecondsAfterTheLastText) {
    TForm1& f = open();
    f.ShowStatus(QStringLiteral("pierwszy"));
    EXPECT_EQ(f.statusText(), QStringLiteral("pierwszy"));
    f.show();
    EXPECT_EQ(f.statusText(),
              QStringLiteral("Wersja 3.200, kompilacja 20130315. Program gotowy do pracy."));
}

TEST_F(MainWindow, GridMovesOnlyWithinTheMessage) {
    TForm1& f = open();
    DrawGrid& g = f.grid(1);
    g.selectCell(5, 0);
    EXPECT_EQ(g.col(), 0); // past the end of an empty message
    f.currentEditor()->insertCharacter('A');
    f.currentEditor()->insertCharacter('B');
    g.selectCell(0, 0);
    g.selectCell(2, 0);
    EXPECT_EQ(g.col(), 2); // the first empty cell may be clicked
    g.selectCell(3, 0);
    EXPECT_EQ(g.col(), 2);
}

namespace {

class Preview : public MainWindow {
protected:
    TForm1& openWithTime() {
        form = std::make_unique<TForm1>(
            prompts,
            [this](TickCounters& counters) {
                auto source = std::make_unique<ManualTickSource>(counters);
                ticks = source.get();
                return source;
            },
            &clock);
        QString error;
        EXPECT_TRUE(form->FormCreate(&error)) << error.toStdString();
        return *form;
    }
    ManualTickSource* ticks = nullptr;
    FixedClock clock{{2026, 12, 6, 9, 5}};
};

} // namespace

TEST_F(Preview, SecondClickStopsAndClearsTheSign) {
    TForm1& f = openWithTime();
    f.currentEditor()->insertCharacter('A');
    QString captionWhilePlaying;
    bool litWhilePlaying = false;
    QTimer::singleShot(100, &f, [&] {
        captionWhilePlaying = f.testCaption();
        // By now the A has scrolled into view: its columns are lit in the visible bytes.
        const Emulator& e = f.emulator();
        for (int y = 0; y < e.geometry.height; ++y)
            for (int x = 0; x < e.geometry.pixelWidth(); ++x)
                litWhilePlaying |= GetPixel(e.geometry, e.frame, x, y) == 1;
        EXPECT_GT(ticks->ticks(), 100u);
        EXPECT_TRUE(f.testRunning());
        f.Button1Click();
    });
    f.Button1Click(); // returns when the preview has stopped
    EXPECT_EQ(captionWhilePlaying, QStringLiteral("STOP"));
    EXPECT_TRUE(litWhilePlaying);
    EXPECT_EQ(f.testCaption(), QStringLiteral("Testuj"));
    EXPECT_FALSE(f.testRunning());
    EXPECT_EQ(f.emulator().frame, FrameBuffer{});
    EXPECT_EQ(f.emulator().bitmap.at(0, 0), kLedOff);
}

TEST_F(Preview, LowerOrEmptyMessageEndsAtOnce) {
    writeConfig("COM1\n95\n2\n12\n8\n16\n1\n");
    TForm1& f = openWithTime();
    f.Button1Click(); // empty page
    EXPECT_FALSE(f.testRunning());
    f.currentEditor()->insertCharacter('A');
    f.currentEditor()->setMessageKind(2);
    f.Button1Click();
    EXPECT_EQ(f.testCaption(), QStringLiteral("Testuj"));
}

namespace {

/// The window talking to an in-memory sign that acknowledges every frame.
class Sending : public MainWindow {
protected:
    TForm1& openWithSign() {
        TForm1& f = open();
        auto device = std::make_unique<MemoryPort>(clock);
        port = device.get();
        port->setResponder([this](std::span<const std::uint8_t> frame) {
            frames.emplace_back(frame.begin(), frame.end());
            if (onFrame) onFrame();
            // A reply frame from sign 1: F0, source, destination, status 0x80, length 0, checksum.
            std::vector<std::uint8_t> reply(kFrameCapacity);
            FrameBuilder builder(reply);
            builder.frame(1, 0, 0x80, {});
            reply.resize(builder.size());
            return reply;
        });
        f.useProtocol(std::make_unique<ComProtocol>(std::move(device), clock));
        f.settings().portName = "/dev/memory";
        return f;
    }
    FakeClock clock;
    MemoryPort* port = nullptr;
    std::vector<std::vector<std::uint8_t>> frames;
    std::function<void()> onFrame;
};

} // namespace

TEST_F(Sending, CurrentMessageAndConfigurationReachTheSign) {
    TForm1& f = openWithSign();
    f.showPage(4);
    f.WyslijKomunikatClick();
    EXPECT_EQ(frames.size(), 8u);
    EXPECT_EQ(f.statusText(), QStringLiteral("Komunikat został wysłany."));
    EXPECT_TRUE(f.isEnabled());
    EXPECT_FALSE(f.senderPopup().isVisible());
    EXPECT_TRUE(prompts.errors.isEmpty());

    // The sliders' values are sent without opening their window.
    f.settings().brightness = 100;
    f.Synchronizuj_WyslijKonfiguracjeClick();
    EXPECT_EQ(f.signConfig(), (SignConfig{1, 100, 2, 12, 0, 0, 0, 0}));
    EXPECT_EQ(f.statusText(), QStringLiteral("Konfiguracja została wysłana."));
}

TEST_F(Sending, MissingPortIsReportedOncePerCommand) {
    TForm1& f = openWithSign();
    f.settings().portName = "COM1";
    port->setOpenable(false);
    f.SynchronizujZegarWLinijceSwietlnejClick();
    EXPECT_EQ(prompts.errors, QStringList{QStringLiteral("Nie mogę otworzyć portu COM1 !")});
    EXPECT_TRUE(f.isEnabled());
}

TEST_F(Sending, EverythingRunsEachStepAndSkipsAMissingUserFont) {
    TForm1& f = openWithSign();
    f.PrzerwijSynchronizacjeClick();
    const QString log = f.syncWindow().Memo1->toPlainText();
    EXPECT_EQ(log, QStringLiteral("Wysyłam wszystkie dane do linijki, proszę czekać...\n\nZegar\n"
                                  "Komunikaty 1 do 8\nTablica symboli graficznych\nKonfiguracja\n\n"
                                  "Operacja zakończona, możesz zamknąć okno."));
    EXPECT_EQ(frames.size(), 1u + 64u + 32u + 1u);
    EXPECT_EQ(f.syncWindow().SyncState, TFormSync::Idle);
    EXPECT_TRUE(f.syncWindow().isVisible()); // stays until the user closes it
    f.syncWindow().PrzerwijSynchronizacjeClick();
    EXPECT_FALSE(f.syncWindow().isVisible());
}

TEST_F(Sending, ClosingDuringTheMessageSetLetsThatStepFinishOnly) {
    TForm1& f = openWithSign();
    onFrame = [&] {
        if (frames.size() == 10) f.syncWindow().PrzerwijSynchronizacjeClick();
    };
    f.PrzerwijSynchronizacjeClick();
    EXPECT_EQ(frames.size(), 1u + 64u); // the clock and all eight messages, nothing after
    EXPECT_FALSE(f.syncWindow().isVisible());
    EXPECT_TRUE(f.syncWindow().Memo1->toPlainText().endsWith(QStringLiteral("Proszę czekać...")));
    EXPECT_TRUE(f.isEnabled());
}

TEST_F(MainWindow, TypedPolishLettersGoInAsCodePage1250) {
    TForm1& f = open();
    DrawGrid& g = f.grid(1);
    for (const QString& text : {QStringLiteral("ż"), QStringLiteral("Ł"), QStringLiteral("a")}) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
        QApplication::sendEvent(&g, &press);
    }
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(&g, &enter);
    QKeyEvent left(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier);
    QApplication::sendEvent(&g, &left);
    QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier, QStringLiteral("\b"));
    QApplication::sendEvent(&g, &backspace);
    const MessageRecord& r = f.currentEditor()->record();
    // ż Ł a Enter, then Left and Backspace remove the "a" before the cursor.
    ASSERT_EQ(r.end(), 3);
    EXPECT_EQ(r.character(0), 0xBF);
    EXPECT_EQ(r.character(1), 0xA3);
    EXPECT_EQ(r.character(2), 13);
    EXPECT_EQ(g.col(), 2);
}
