// Building the main window: menus, tool bar, message pages and the button panel.
#include "unitpixbar4designer.h"

#include "categorybuttons.h"
#include "drawgrid.h"
#include "ledview.h"
#include "palette.h"

#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>

namespace pixbar {

namespace {

const char* const kPageCaptions[] = {"Komunikat 1", "Komunikat 2", "Komunikat 3", "Komunikat 4",
                                     "Komunikat 5", "Komunikat 6", "Komunikat 7", "Kominikat 8"};
constexpr int kFontButtons = 14;
constexpr int kGraphicSymbolsButton = 13;

const QColor kSampleNormal(0, 100, 100);
const QColor kSampleGrey(80, 80, 80);
const QColor kSampleMaroon(100, 10, 50);
const QColor kSampleBlack(0, 0, 0);

using textform::EffectCaption;
using textform::kEffectCaptions;

QString fromTable(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

void TForm1::buildMenus() {
    QMenu* plik = menuBar()->addMenu(QStringLiteral("&Plik"));
    QMenu* wczytaj = plik->addMenu(QStringLiteral("&Wczytaj"));
    wczytaj->addAction(QStringLiteral("&Komunikat"), this, &TForm1::WczytajKomunikatClick);
    wczytaj->addAction(QStringLiteral("&Zestaw Komunikatów"), this,
                       &TForm1::WczytajZestawKomunikatowClick);
    wczytaj->addAction(QStringLiteral("&Czcionkę użytkownika (14)"), this,
                       &TForm1::WczytajCzcionkeUzytkownikaClick);
    QMenu* zapisz = plik->addMenu(QStringLiteral("Zapi&sz"));
    zapisz->addAction(QStringLiteral("&Komunikat"), this, &TForm1::ZapiszKomunikatClick);
    zapisz->addAction(QStringLiteral("&Zestaw komunikatów"), this,
                      &TForm1::ZapiszZestawKomunikatowClick);
    plik->addAction(QStringLiteral("&Eksportuj animację (GIF)..."), this,
                    &TForm1::EksportujAnimacjeClick);
    plik->addAction(QStringLiteral("&Zamknij"), this, &TForm1::Zamknij1Click);

    QMenu* edycja = menuBar()->addMenu(QStringLiteral("&Edycja"));
    m_editMenu = edycja;
    QAction* paste =
        edycja->addAction(QStringLiteral("&Wklej tekst ze schowka"), this, &TForm1::Wklej1Click);
    paste->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    edycja->addAction(QStringLiteral("S&kasuj bieżący komunikat"), this,
                      &TForm1::SkasujKomunikatClick);

    QMenu* format = menuBar()->addMenu(QStringLiteral("&Format"));
    format->addAction(QStringLiteral("&Zwykły"), this, &TForm1::FormatZwyklyClick);
    format->addAction(QStringLiteral("&Inwersja"), this, &TForm1::FormatInwersjaClick);

    QMenu* efekty = menuBar()->addMenu(QStringLiteral("&Efekty"));
    efekty->addAction(QStringLiteral("Pauza"), this, &TForm1::EfektyPauzaClick);
    for (const EffectCaption& e : kEffectCaptions) {
        // The menu has always spelt this one without its accent.
        const QString caption = e.code == EffectCode::SlideFromTop ? QStringLiteral("Najazd z gory")
                                                                   : fromTable(e.caption);
        efekty->addAction(caption, this, [this, code = e.code] { insertEffect(code); });
    }

    QMenu* wstaw = menuBar()->addMenu(QStringLiteral("W&staw"));
    wstaw->addAction(QStringLiteral("Symbol &graficzny"), this, &TForm1::WstawSymbolGraficznyClick);
    wstaw->addAction(QStringLiteral("&Data (rok/miesiąc/dzień)"), this, &TForm1::WstawDateClick);
    wstaw->addAction(QStringLiteral("&Czas"), this, &TForm1::WstawCzasClick);
    wstaw->addAction(QStringLiteral("&Temperatura"), this, &TForm1::WstawTemperatureClick);
    wstaw->addAction(QStringLiteral("&Znak ASCII"), this, &TForm1::WstawZnakASCIIClick);
    wstaw->addAction(QStringLiteral("&Symbol"), this, &TForm1::WstawSymbolClick);

    QMenu* ustawienia = menuBar()->addMenu(QStringLiteral("&Ustawienia"));
    ustawienia->addAction(QStringLiteral("&Ustawienia aplikacji"), this,
                          &TForm1::Ustawieniaprogramu1Click);
    ustawienia->addAction(QStringLiteral("Ustawienia &linijki świetlnej"), this,
                          &TForm1::Ustawienialinijkiwietlnej1Click);
}

void TForm1::buildToolBar() {
    m_toolBar = new QToolBar(centralWidget());
    m_toolBar->setObjectName(QStringLiteral("ToolBar2"));
    m_toolBar->setGeometry(0, 162, 578, 38);
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolBar->setIconSize(QSize(16, 16));
    m_toolBar->setMovable(false);
    m_toolBar->setStyleSheet(
        QStringLiteral("QToolBar { spacing: 0px; padding: 0px; border: 0px; }"));
    const auto button = [this](const QString& caption, QStyle::StandardPixmap icon) {
        auto* b = new QToolButton(m_toolBar);
        b->setText(caption);
        b->setIcon(style()->standardIcon(icon));
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setFixedSize(71, 36);
        m_toolBar->addWidget(b);
        return b;
    };
    m_testButton = button(QStringLiteral("Testuj"), QStyle::SP_MediaPlay);
    m_testButton->setObjectName(QStringLiteral("ToolButton1"));
    connect(m_testButton, &QToolButton::clicked, this, &TForm1::Button1Click);

    connect(button(QStringLiteral("Skasuj"), QStyle::SP_DialogDiscardButton), &QToolButton::clicked,
            this, &TForm1::SkasujKomunikatClick);

    QToolButton* load = button(QStringLiteral("Wczytaj"), QStyle::SP_DialogOpenButton);
    auto* loadMenu = new QMenu(load);
    loadMenu->addAction(QStringLiteral("Komunikat"), this, &TForm1::WczytajKomunikatClick);
    loadMenu->addAction(QStringLiteral("Zestaw komunikatow"), this,
                        &TForm1::WczytajZestawKomunikatowClick);
    loadMenu->addAction(QStringLiteral("Czcionkę użytkownika (14)"), this,
                        &TForm1::WczytajCzcionkeUzytkownikaClick);
    load->setMenu(loadMenu);
    load->setPopupMode(QToolButton::MenuButtonPopup);
    connect(load, &QToolButton::clicked, this, &TForm1::WczytajKomunikatClick);

    QToolButton* save = button(QStringLiteral("Zapisz"), QStyle::SP_DialogSaveButton);
    auto* saveMenu = new QMenu(save);
    saveMenu->addAction(QStringLiteral("Komunikat"), this, &TForm1::ZapiszKomunikatClick);
    saveMenu->addAction(QStringLiteral("Zestaw komunikatow"), this,
                        &TForm1::ZapiszZestawKomunikatowClick);
    save->setMenu(saveMenu);
    save->setPopupMode(QToolButton::InstantPopup);

    QToolButton* send = button(QStringLiteral("Wyślij"), QStyle::SP_ArrowUp);
    auto* sendMenu = new QMenu(send);
    sendMenu->addAction(QStringLiteral("Komunikat"), this, &TForm1::WyslijKomunikatClick);
    sendMenu->addAction(QStringLiteral("Zestaw komunikatów"), this,
                        &TForm1::Synchronizuj_WyslijZestawKomunikatowClick);
    sendMenu->addAction(QStringLiteral("Konfigurację"), this,
                        &TForm1::Synchronizuj_WyslijKonfiguracjeClick);
    sendMenu->addAction(QStringLiteral("Czcionkę użytkownika (14)"), this,
                        &TForm1::WyslijCzcionkeUzytkownikaDoLinijkiClick);
    sendMenu->addAction(QStringLiteral("Tablicę symboli graficznych"), this,
                        &TForm1::Synchronizuj_WyslijTabliceSymboliGraficznychClick);
    sendMenu->addSeparator();
    sendMenu->addAction(QStringLiteral("Zsynchronizuj zegar linijki świetlnej"), this,
                        &TForm1::SynchronizujZegarWLinijceSwietlnejClick);
    sendMenu->addSeparator();
    sendMenu->addAction(QStringLiteral("Wyślij wszystko bezwarunkowo"), this,
                        &TForm1::PrzerwijSynchronizacjeClick);
    send->setMenu(sendMenu);
    send->setPopupMode(QToolButton::InstantPopup);

    QToolButton* message = button(QStringLiteral("Komunikat"), QStyle::SP_FileIcon);
    auto* messageMenu = new QMenu(message);
    messageMenu->addAction(QStringLiteral("&Wyświetl bieżący komunikat na linijce świetlnej"), this,
                           &TForm1::WyswietlNaLinijceBiezacyKomunikatClick);
    QMenu* showNumber = messageMenu->addMenu(QStringLiteral("Wyświetl komunikat nr:"));
    for (int n = 1; n <= kMessageSetCount; ++n)
        showNumber->addAction(QString::number(n), this,
                              [this, n] { WyswietlNaLinijceKomunikatClick(n); });
    QMenu* fmt = messageMenu->addMenu(QStringLiteral("&Format"));
    fmt->addAction(QStringLiteral("&Zwykły"), this, &TForm1::FormatZwyklyClick);
    fmt->addAction(QStringLiteral("&Inwersja"), this, &TForm1::FormatInwersjaClick);
    QMenu* eff = messageMenu->addMenu(QStringLiteral("&Efekty"));
    for (const EffectCaption& e : kEffectCaptions) {
        if (e.code == EffectCode::BlinkInverse || e.code == EffectCode::BlinkScreen) continue;
        const QString caption = e.code == EffectCode::Scroller ? QStringLiteral("&Scroller")
                                                               : fromTable(e.caption);
        eff->addAction(caption, this, [this, code = e.code] { insertEffect(code); });
    }
    QMenu* ins = messageMenu->addMenu(QStringLiteral("&Wstaw"));
    ins->addAction(QStringLiteral("Symbol &graficzny"), this, &TForm1::WstawSymbolGraficznyClick);
    ins->addAction(QStringLiteral("&Data (rok/miesiąc/dzień)"), this, &TForm1::WstawDateClick);
    ins->addAction(QStringLiteral("&Czas"), this, &TForm1::WstawCzasClick);
    ins->addAction(QStringLiteral("&Temperatura"), this, &TForm1::WstawTemperatureClick);
    ins->addAction(QStringLiteral("&Znak ASCII"), this, &TForm1::WstawZnakASCIIClick);
    ins->addAction(QStringLiteral("&Symbol"), this, &TForm1::WstawSymbolClick);
    QMenu* kind = messageMenu->addMenu(QStringLiteral("&Rodzaj"));
    kind->addAction(QStringLiteral("&Pojedyńczy"), this, [this] { setMessageKindFromMenu(0); });
    kind->addAction(QStringLiteral("&Górny"), this, [this] { setMessageKindFromMenu(1); });
    kind->addAction(QStringLiteral("&Dolny"), this, [this] { setMessageKindFromMenu(2); });
    message->setMenu(messageMenu);
    message->setPopupMode(QToolButton::InstantPopup);

    QToolButton* stopwatch = button(QStringLiteral("Stoper"), QStyle::SP_BrowserReload);
    stopwatch->setObjectName(QStringLiteral("ToolButton3"));
    connect(stopwatch, &QToolButton::clicked, this, &TForm1::ToolButton3Click);
    QToolButton* settings = button(QStringLiteral("Ustawienia"), QStyle::SP_FileDialogDetailedView);
    auto* settingsMenu = new QMenu(settings);
    settingsMenu->addAction(QStringLiteral("Ustawienia &aplikacji"), this,
                            &TForm1::Ustawieniaprogramu1Click);
    settingsMenu->addAction(QStringLiteral("Ustawienia &linijki świetlnej"), this,
                            &TForm1::Ustawienialinijkiwietlnej1Click);
    settings->setMenu(settingsMenu);
    settings->setPopupMode(QToolButton::InstantPopup);
}

void TForm1::buildPages() {
    m_pages = new QTabWidget(centralWidget());
    m_pages->setObjectName(QStringLiteral("PageControl2"));
    m_pages->setGeometry(0, 202, 578, 414);
    for (int i = 0; i < kMessageSetCount; ++i) {
        auto* grid = new DrawGrid;
        grid->setObjectName(QStringLiteral("DrawGrid%1").arg(i + 1));
        grid->setEditor(m_editors[i].get());
        m_grids[i] = grid;
        m_pages->addTab(grid, QString::fromUtf8(kPageCaptions[i]));
    }
    connect(m_pages, &QTabWidget::currentChanged, this, [this](int index) { showPage(index + 1); });
}

void TForm1::buildPanel() {
    m_panel = new CategoryButtons(centralWidget());
    m_panel->setGeometry(580, 138, 377, 478);
    m_panel->setAfterDraw([this](QPainter& p, const QRect& r, int group, int item) {
        if (group == m_fontGroup) drawFontButton(p, r, item);
    });

    m_fontGroup = m_panel->addGroup(fromTable(textform::kGroupFonts));
    for (int i = 0; i < kFontButtons; ++i) {
        const int font = i + 1;
        m_panel->addItem(m_fontGroup, QString(), [this, font] {
            if (font == kGraphicSymbolsButton)
                WstawSymbolGraficznyClick();
            else
                fontButtonClick(font);
        });
    }
    m_panel->setItemHeight(m_fontGroup, 28);

    const int format = m_panel->addGroup(fromTable(textform::kGroupFormat));
    m_panel->addItem(format, fromTable(textform::kCaptionNormal), [this] { FormatZwyklyClick(); });
    m_panel->addItem(format, fromTable(textform::kCaptionInverse), [this] { FormatInwersjaClick(); });

    const int timed = m_panel->addGroup(fromTable(textform::kGroupTimed));
    m_panel->addItem(timed, fromTable(textform::kCaptionPause), [this] { EfektyPauzaClick(); });

    const int graphic = m_panel->addGroup(fromTable(textform::kGroupGraphic));
    for (const EffectCaption& e : kEffectCaptions)
        m_panel->addItem(graphic, fromTable(e.caption),
                         [this, code = e.code] { insertEffect(code); });
    m_panel->addItem(graphic, QStringLiteral("Scroller migający"), {});

    const int insert = m_panel->addGroup(fromTable(textform::kGroupInsert));
    m_panel->addItem(
        insert, fromTable(textform::kCaptionDate), [this] { WstawDateClick(); },
        QStringLiteral("Wstaw aktualną datę"));
    m_panel->addItem(
        insert, fromTable(textform::kCaptionTime), [this] { WstawCzasClick(); },
        QStringLiteral("Wstaw aktualną godzinę i minutę"));
    m_panel->addItem(
        insert, fromTable(textform::kCaptionTemperature), [this] { WstawTemperatureClick(); },
        QStringLiteral("Wstaw temperaturę odczytaną z czujnika"));
    m_panel->addItem(insert, QStringLiteral("Znak ASCII"), [this] { WstawZnakASCIIClick(); });
    m_panel->addItem(insert, QStringLiteral("Symbol"), [this] { WstawSymbolClick(); });

    m_kindGroup = m_panel->addGroup(QStringLiteral("Ustawienia komunikatu"));
    m_panel->addItem(m_kindGroup, QStringLiteral("Rodzaj komunikatu: pojedyńczy"),
                     [this] { CategoryButtons1Categories5Items0Click(); });

    m_actionsGroup = m_panel->addGroup(QStringLiteral("Akcje"));
    const int actions = m_actionsGroup;
    m_panel->addItem(actions, QStringLiteral("Testuj komunikat"), [this] { Button1Click(); });
    m_panel->addItem(actions, QStringLiteral("Skasuj komunikat"),
                     [this] { SkasujKomunikatClick(); });
    m_panel->addItem(actions, QStringLiteral("Wczytaj komunikat"),
                     [this] { WczytajKomunikatClick(); });
    m_panel->addItem(actions, QStringLiteral("Wczytaj zestaw komunikatów"),
                     [this] { WczytajZestawKomunikatowClick(); });
    m_panel->addItem(actions, QStringLiteral("Zapisz komunikat"),
                     [this] { ZapiszKomunikatClick(); });
    m_panel->addItem(actions, QStringLiteral("Zapisz zestaw komunikatów"),
                     [this] { ZapiszZestawKomunikatowClick(); });
    m_panel->addItem(actions, QStringLiteral("Wczytaj czcionkę użytkownika (nr 14)"),
                     [this] { WczytajCzcionkeUzytkownikaClick(); });
    m_panel->addItem(actions, QStringLiteral("Wyślij komunikat do linijki świetlnej"),
                     [this] { WyslijKomunikatClick(); });
    m_panel->addItem(actions, QStringLiteral("Wyślij zestaw komunikatów do linijki świetlnej"),
                     [this] { Synchronizuj_WyslijZestawKomunikatowClick(); });
    m_panel->addItem(actions, QStringLiteral("Wyślij konfigurację do linijki świetlnej"),
                     [this] { Synchronizuj_WyslijKonfiguracjeClick(); });
    m_panel->addItem(actions,
                     QStringLiteral("Wyślij czcionkę użytkownika (nr 14) do linijki świetlnej"),
                     [this] { WyslijCzcionkeUzytkownikaDoLinijkiClick(); });
    m_panel->addItem(actions, QStringLiteral("Synchronizuj zegar w linijce świetlnej"),
                     [this] { SynchronizujZegarWLinijceSwietlnejClick(); });
    m_panel->addItem(actions, QStringLiteral("Przejdź to trybu synchronizacji z plikiem"),
                     [this] { CategoryButtons1Categories6Items12Click(); });
    m_panel->addItem(actions, QStringLiteral("Wyświetl na linijce bieżący komunikat"),
                     [this] { WyswietlNaLinijceBiezacyKomunikatClick(); });
}

void TForm1::drawFontButton(QPainter& painter, const QRect& rect, int item) {
    const int font = item + 1;
    const QRect inner = rect.adjusted(4, 4, -4, -4);
    if (m_current && font == m_current->currentFont()) painter.drawImage(inner, m_highlight);

    const FontTable& table = m_emu.glyphs.table();
    std::string text;
    int index = font - 1;
    QColor colour = kSampleNormal;
    if (font == kGraphicSymbolsButton) {
        text = "SYMBOLE GRAFICZNE";
        index = 9;
        colour = kSampleMaroon;
    } else if (font == kFontUser) {
        const FontEntry& user = table[kIndexUserFont];
        if (user.data) {
            text = textform::FontCaption(font, user.width, user.height);
        } else {
            // Ę and Ż are written as the LED fonts' own glyph codes 12 and 17.
            text = "WCZYTAJ CZCIONK\x0C U\x11YTKOWNIKA";
            index = 9;
            colour = kSampleBlack;
        }
    } else {
        const FontEntry& e = table[index];
        text = textform::FontCaption(font, e.width, e.height);
        if (m_emu.geometry.height < 16 && e.height > 8) colour = kSampleGrey;
    }
    const int top = rect.top() + (font <= 6 ? 8 : 4);
    QImage canvas(rect.size(), QImage::Format_ARGB32);
    canvas.fill(Qt::transparent);
    Image32 target{reinterpret_cast<std::uint32_t*>(canvas.bits()), canvas.width(), canvas.height(),
                   int(canvas.bytesPerLine() / 4)};
    DrawTextPreview(table[index], target, 0xFF000000u | colour.rgb(), 4, top - rect.top(), text);
    painter.drawImage(rect.topLeft(), canvas);
}

} // namespace pixbar
