// The application settings window: the saved settings, the sign's size and the sign search.
#include "categorybuttons.h"
#include "memoryport.h"
#include "shelltesting.h"
#include "signframe.h"
#include "testfonts.h"
#include "unitappsettings.h"
#include "unitpixbar4designer.h"
#include "unitpixbarsettings.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>

using namespace pixbar;
using namespace pixbar::testing;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReplyFrame(std::uint16_t source, std::uint8_t status, const Bytes& payload = {}) {
    Bytes buffer(kFrameCapacity);
    FrameBuilder builder(buffer);
    builder.frame(source, 0, status, payload);
    buffer.resize(builder.size());
    return buffer;
}

/// Memory ports behind ttyS0.. of a fake system: a sign answers on the chosen one.
struct SignOnAPort {
    FakeClock clock;
    MemoryPort* port = nullptr;
    std::vector<SystemPort> system;
    QString signLocation;
    std::uint16_t serial = 4660;
    Bytes info{12, 16, '0', '1', '0', '7', 'B'};

    std::unique_ptr<ComProtocol> protocol(const QString& dumpDir) {
        auto device = std::make_unique<MemoryPort>(clock);
        port = device.get();
        auto p = std::make_unique<ComProtocol>(std::move(device), clock);
        p->port().setPortsDirectory({});
        p->port().setDumpDirectory(dumpDir);
        p->port().setSystemPorts([this] { return system; });
        port->setResponder([this](std::span<const std::uint8_t> raw) -> Bytes {
            if (port->openedLocation() != signLocation) return {};
            Bytes area(kFrameCapacity);
            FrameDecoder decoder(area);
            decoder.setDestinations(serial);
            decoder.setAcceptIdentify(true);
            bool done = false;
            for (std::uint8_t b : raw) done = decoder.feed(b) == FrameDecoder::Event::Complete;
            if (!done) return {};
            if (decoder.isIdentify()) return ReplyFrame(serial, 0x80);
            if (decoder.code() == kCommandQueryInfo) return ReplyFrame(serial, 0x80, info);
            return ReplyFrame(serial, 0x80);
        });
        return p;
    }
    void addPort(int com, bool sign) {
        const QString location = QStringLiteral("/dev/ttyS%1").arg(com - 1);
        system.push_back({QStringLiteral("ttyS%1").arg(com - 1), location});
        if (sign) signLocation = location;
    }
};

class AppSettings : public DesignerFolder {
protected:
    std::string config() { return readFile(dir / "ld.cfg"); }
    TFormAppSettings& open() {
        openForm();
        form->useProtocol(sign.protocol(QString::fromStdString(dir.string())));
        return form->appSettings();
    }
    QStringList memo(TFormAppSettings& w) {
        return w.Memo1->toPlainText().split(QLatin1Char('\n'));
    }
    QStringList portList(TFormAppSettings& w) {
        QStringList items;
        for (int i = 0; i < w.ComboBoxCOM->count(); ++i) items << w.ComboBoxCOM->itemText(i);
        return items;
    }

    SignOnAPort sign;
};

TEST_F(AppSettings, WindowLooksAsDesigned) {
    TFormAppSettings& w = open();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Ustawienia aplikacji"));
    EXPECT_EQ(w.size(), QSize(529, 242));
    EXPECT_TRUE(w.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(w.GroupBox1->title(), QStringLiteral("Ustawienia linijki"));
    EXPECT_EQ(w.GroupBox2->title(), QStringLiteral("Ustawienia transmisji"));
    EXPECT_EQ(w.GroupBox3->title(), QStringLiteral("Szukam linijki"));
    EXPECT_EQ(w.RadioButton1->text(), QStringLiteral("8 punktów - jednoliniowy"));
    EXPECT_EQ(w.RadioButton2->text(), QStringLiteral("16 punktów - dwuliniowy"));
    EXPECT_EQ(w.CategoryButtons1->itemCaption(0, 0),
              QStringLiteral("Znajdź linijkę świetlną i skonfiguruj program"));
    EXPECT_EQ(w.CategoryButtons1->itemCaption(0, 1),
              QStringLiteral("Zapisz ustawienia i zamknij okno"));
    EXPECT_EQ(w.CategoryButtons2->itemCaption(0, 0), QStringLiteral("Zakończ"));
    EXPECT_EQ(w.ScrollBar1->minimum(), 1);
    EXPECT_EQ(w.ScrollBar1->maximum(), 24);
    EXPECT_TRUE(w.ComboBoxCOM->isEditable());
    EXPECT_TRUE(w.Memo1->isReadOnly());
    EXPECT_TRUE(w.GroupBox3->isHidden());
}

TEST_F(AppSettings, WidthLabelsFollowTheScrollBar) {
    TFormAppSettings& w = open();
    struct Case {
        int width;
        const char* length;
        const char* registers;
    };
    const Case cases[] = {{1, "22cm", "1 rejestrów"},
                          {8, "150cm", "8 rejestrów"},
                          {16, "300cm", "16 rejestrów"},
                          {17, "", "17 rejestrów"},
                          {24, "", "24 rejestrów"}};
    for (const Case& c : cases) {
        w.ScrollBar1->setValue(c.width);
        EXPECT_EQ(w.Label4->text(), QString::fromUtf8(c.length)) << c.width;
        EXPECT_EQ(w.Label2->text(), QString::fromUtf8(c.registers)) << c.width;
    }
}

TEST_F(AppSettings, ShowingLoadsLdCfgAndListsThePorts) {
    sign.addPort(4, false);
    sign.addPort(1, false);
    sign.addPort(12, false);
    TFormAppSettings& w = open();
    // Unsaved edits of an earlier showing are dropped.
    w.Edit1->setText(QStringLiteral("99"));
    writeConfig("  COM3 \n80\n5\n20\n17\n16\n4660\n");
    w.FormShow();
    EXPECT_EQ(w.ComboBoxCOM->currentText(), QStringLiteral("COM3"));
    EXPECT_EQ(portList(w), (QStringList{"COM1", "COM4", "COM12"}));
    EXPECT_EQ(w.ScrollBar1->value(), 17);
    EXPECT_EQ(w.Label4->text(), QString());
    EXPECT_TRUE(w.RadioButton2->isChecked());
    EXPECT_EQ(w.Edit1->text(), QStringLiteral("4660"));
    EXPECT_TRUE(w.GroupBox3->isHidden());
    EXPECT_FALSE(w.finishEnabled());
    EXPECT_EQ(form->settings().portName, "COM3");
    // The sliders of the sign settings window follow the file too.
    EXPECT_EQ(form->pixbarSettings().ScrollBarBrightness->value(), 80);
    EXPECT_EQ(form->pixbarSettings().ScrollBarSpeed->value(), 5);
    // The emulated sign keeps its size until the settings are saved.
    EXPECT_EQ(form->emulator().geometry.width, 8);
}

TEST_F(AppSettings, WithoutLdCfgTheCurrentValuesStay) {
    TFormAppSettings& w = open();
    form->settings().signSerial = 321;
    form->settings().portName = "COM7";
    w.FormShow();
    EXPECT_EQ(w.Edit1->text(), QStringLiteral("321"));
    EXPECT_EQ(w.ComboBoxCOM->currentText(), QStringLiteral("COM7"));
    EXPECT_TRUE(w.RadioButton1->isChecked());
    EXPECT_EQ(w.ScrollBar1->value(), 8);
}

TEST_F(AppSettings, SavingWritesLdCfgAndRebuildsTheSign) {
    writeConfig("COM1\n95\n2\n12\n8\n8\n1\n");
    TFormAppSettings& w = open();
    w.FormShow();
    w.ComboBoxCOM->setEditText(QStringLiteral("COM5"));
    w.ScrollBar1->setValue(12);
    w.RadioButton2->setChecked(true);
    w.Edit1->setText(QStringLiteral("70000"));
    std::vector<std::uint32_t>& leds = form->emulator().bitmap.pixels;
    std::fill(leds.begin(), leds.end(), kLedOn);
    w.CategoryButtons1->clickItem(0, 1);
    EXPECT_EQ(config(), "COM5\n95\n2\n12\n12\n16\n4464\n");
    EXPECT_EQ(form->settings().signSerial, 4464);
    const SignGeometry& g = form->emulator().geometry;
    EXPECT_EQ(g.width, 12);
    EXPECT_EQ(g.height, 16);
    EXPECT_EQ(g.stride, 14);
    // The picture starts again from a dark sign.
    EXPECT_TRUE(std::all_of(leds.begin(), leds.end(),
                            [](std::uint32_t p) { return p == kLedGap || p == kLedOff; }));
    EXPECT_TRUE(prompts.errors.isEmpty());
}

TEST_F(AppSettings, ASerialNumberThatIsNotANumberIsIgnored) {
    writeConfig("COM1\n95\n2\n12\n8\n8\n77\n");
    TFormAppSettings& w = open();
    for (const char* text : {"abc", "-1", "", "12x"}) {
        w.FormShow();
        w.Edit1->setText(QString::fromLatin1(text));
        w.CategoryButtons1Categories0Items1Click();
        EXPECT_EQ(form->settings().signSerial, 77) << text;
        EXPECT_EQ(config(), "COM1\n95\n2\n12\n8\n8\n77\n") << text;
    }
}

TEST_F(AppSettings, AGeometryChangeEmptiesTheUserFont) {
    writeBytes(dir / "user.fnd", headedFile(8, 8, 0, 2, Bytes(16, 0xFF)));
    TFormAppSettings& w = open();
    ASSERT_TRUE(form->emulator().glyphs.LoadUserFont(dir / "user.fnd"));
    ASSERT_NE(form->emulator().glyphs.table()[kIndexUserFont].data, nullptr);
    w.FormShow();
    w.CategoryButtons1Categories0Items1Click();
    EXPECT_EQ(form->emulator().glyphs.table()[kIndexUserFont].data, nullptr);
    EXPECT_NE(form->emulator().glyphs.table()[kIndexGraphicSymbols].data, nullptr);
}

TEST_F(AppSettings, AMissingSymbolTableOnSavingIsReported) {
    TFormAppSettings& w = open();
    fs::remove(dir / kSymbolTableFile);
    w.FormShow();
    w.CategoryButtons1Categories0Items1Click();
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_TRUE(prompts.errors[0].contains(QString::fromLatin1(kSymbolTableFile)))
        << prompts.errors[0].toStdString();
}

TEST_F(AppSettings, SearchFindsTheSignOnItsPortAndKeepsItsPort) {
    writeConfig("COM1\n95\n2\n12\n8\n8\n1\n");
    sign.addPort(1, false);
    sign.addPort(4, true);
    sign.info = {30, 8, '0', '1', '0', '7', 'B'};
    TFormAppSettings& w = open();
    w.FormShow();
    w.CategoryButtons1->clickItem(0, 0);
    EXPECT_TRUE(w.GroupBox3->isVisibleTo(&w));
    const QStringList expected{
        QStringLiteral("Szukam na porcie COM1"),
        QStringLiteral("Brak odpowiedzi"),
        QStringLiteral("Szukam na porcie COM4"),
        QStringLiteral("Znalazłem linijkę świetlną :-)"),
        QStringLiteral("Port: COM4"),
        QStringLiteral("Numer seryjny: 4660"),
        QStringLiteral("Wersja oprogramowania: 01.07"),
        QStringLiteral("Naciśnij - 'Zakończ' by zamknąć okno"),
    };
    EXPECT_EQ(memo(w), expected);
    EXPECT_EQ(w.ProgressBar1->maximum(), 4);
    EXPECT_EQ(w.ProgressBar1->value(), 4);
    EXPECT_TRUE(w.finishEnabled());
    EXPECT_EQ(w.ScrollBar1->value(), 24); // the sign said 30
    EXPECT_TRUE(w.RadioButton1->isChecked());
    EXPECT_EQ(w.ComboBoxCOM->currentText(), QStringLiteral("COM4"));
    EXPECT_EQ(w.Edit1->text(), QStringLiteral("4660"));
    // Only the port is saved at once, and transfers use it from now on.
    EXPECT_EQ(config(), "COM4\n95\n2\n12\n8\n8\n1\n");
    EXPECT_EQ(form->settings().portName, "COM4");
    EXPECT_EQ(form->settings().signSerial, 1);

    w.CategoryButtons2->clickItem(0, 0);
    EXPECT_TRUE(w.GroupBox3->isHidden());
    EXPECT_EQ(w.Edit1->text(), QStringLiteral("4660"));
    w.CategoryButtons1->clickItem(0, 1);
    EXPECT_EQ(config(), "COM4\n95\n2\n12\n24\n8\n4660\n");
}

TEST_F(AppSettings, SearchSelectsTheHeightTheSignReports) {
    sign.addPort(2, true);
    TFormAppSettings& w = open();
    w.FormShow();
    w.CategoryButtons1Categories0Items2Click();
    EXPECT_TRUE(w.RadioButton2->isChecked());
    EXPECT_EQ(w.ScrollBar1->value(), 12);
}

TEST_F(AppSettings, SearchWithoutPortsOrSignsGivesTheChecklists) {
    TFormAppSettings& w = open();
    w.FormShow();
    w.CategoryButtons1Categories0Items2Click();
    EXPECT_EQ(memo(w).value(0),
              QStringLiteral("Błąd, nie znalazłem żadnych portów COM w systemie!"));
    EXPECT_EQ(memo(w).size(), 4);
    EXPECT_TRUE(w.finishEnabled());

    sign.addPort(3, false);
    w.FormShow();
    EXPECT_TRUE(w.Memo1->toPlainText().isEmpty());
    w.CategoryButtons1Categories0Items2Click();
    const QStringList lines = memo(w);
    ASSERT_EQ(lines.size(), 2 + 7);
    EXPECT_EQ(lines[1], QStringLiteral("Brak odpowiedzi"));
    EXPECT_EQ(lines[2],
              QStringLiteral("Błąd, nie znalazłem linijki na żadnym z dostępnych portów COM!"));
    EXPECT_TRUE(w.finishEnabled());
    EXPECT_EQ(form->settings().portName, "COM1");
}

TEST_F(AppSettings, CloseBoxAndEscapeSaveAndCloseAsTheButtonDoes) {
    TFormAppSettings& w = open();
    const std::vector<std::function<void()>> ways = {
        [&] { w.close(); },
        [&] {
            QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(&w, &esc);
        },
    };
    int width = 3;
    for (const auto& leave : ways) {
        bool ran = false;
        QTimer::singleShot(0, &w, [&] {
            ran = true;
            EXPECT_TRUE(w.isVisible());
            w.ScrollBar1->setValue(width);
            leave();
        });
        form->Ustawieniaprogramu1Click();
        EXPECT_TRUE(ran);
        EXPECT_FALSE(w.isVisible());
        EXPECT_EQ(form->settings().signWidth, width);
        EXPECT_NE(config().find("\n" + std::to_string(width) + "\n8\n"), std::string::npos)
            << config();
        ++width;
    }
}

TEST_F(AppSettings, ASearchInProgressKeepsTheWindowOpen) {
    TFormAppSettings& w = open();
    sign.addPort(1, false);
    sign.addPort(2, true);
    bool tried = false;
    QTimer::singleShot(0, &w, [&] {
        sign.port->setResponder([&](std::span<const std::uint8_t>) {
            if (!tried) {
                tried = true;
                w.close();
                QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(&w, &esc);
            }
            return Bytes{};
        });
        w.CategoryButtons1Categories0Items2Click();
        EXPECT_TRUE(w.isVisible());
        EXPECT_TRUE(w.finishEnabled());
        w.CategoryButtons1->clickItem(0, 1);
    });
    form->Ustawieniaprogramu1Click();
    EXPECT_TRUE(tried);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(AppSettings, AFailedSearchIsShownFromItsHeadline) {
    TFormAppSettings& w = open();
    for (int com = 1; com <= 12; ++com) sign.addPort(com, false);
    w.show();
    w.CategoryButtons1Categories0Items2Click();
    const QString first = w.Memo1->cursorForPosition(QPoint(4, 4)).block().text();
    EXPECT_EQ(first, QStringLiteral("Błąd, nie znalazłem linijki na żadnym z dostępnych portów COM!"));
    w.CategoryButtons1->clickItem(0, 1);
}

TEST_F(AppSettings, MenuAndToolButtonOpenTheWindow) {
    TFormAppSettings& w = open();
    std::vector<QAction*> actions;
    for (QAction* menu : form->menuBar()->actions())
        if (menu->text() == QStringLiteral("&Ustawienia"))
            for (QAction* a : menu->menu()->actions())
                if (a->text() == QStringLiteral("&Ustawienia aplikacji")) actions.push_back(a);
    for (QToolButton* b : form->findChildren<QToolButton*>())
        if (b->text() == QStringLiteral("Ustawienia") && b->menu())
            for (QAction* a : b->menu()->actions())
                if (a->text() == QStringLiteral("Ustawienia &aplikacji")) actions.push_back(a);
    ASSERT_EQ(actions.size(), 2u);
    for (QAction* a : actions) {
        EXPECT_TRUE(a->isEnabled());
        bool shown = false;
        QTimer::singleShot(0, &w, [&] {
            shown = w.isVisible() && w.isModal();
            w.CategoryButtons1Categories0Items1Click();
        });
        a->trigger();
        EXPECT_TRUE(shown);
    }
}

} // namespace
