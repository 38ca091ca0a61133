#include "unitpixbar4designer.h"

#include "categorybuttons.h"
#include "drawgrid.h"
#include "ledview.h"
#include "unitappsettings.h"
#include "unitautosync.h"
#include "unitchartable.h"
#include "unitformsender.h"
#include "unitgfxsymbolstable.h"
#include "unitpixbarsettings.h"
#include "unitstopwatch.h"
#include "unitsync.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStyle>
#include <QTabWidget>
#include <QThread>
#include <QToolBar>
#include <QToolButton>

namespace pixbar {

namespace {

const char* const kKindCaptions[] = {"Rodaj komunikatu: pojedyńczy", "Rodaj komunikatu: górny",
                                     "Rodaj komunikatu: dolny"};
const char* const kPageCaptions[] = {"Komunikat 1", "Komunikat 2", "Komunikat 3", "Komunikat 4",
                                     "Komunikat 5", "Komunikat 6", "Komunikat 7", "Kominikat 8"};
constexpr int kStatusMs = 5000;
constexpr int kExpandMs = 2000;
constexpr int kFontButtons = 14;
constexpr int kGraphicSymbolsButton = 13;
constexpr std::uint8_t kSymbolFontAttribute = kClassText | kFontSymbols;

const QColor kSampleNormal(0, 100, 100);
const QColor kSampleGrey(80, 80, 80);
const QColor kSampleMaroon(100, 10, 50);
const QColor kSampleBlack(0, 0, 0);

std::filesystem::path toPath(const QString& s) {
    return std::filesystem::path(s.toStdString());
}

struct EffectCommand {
    const char* caption;
    EffectCode code;
};

/// The effect commands in the order of the menus and the button panel.
constexpr EffectCommand kEffectCommands[] = {
    {"Scroller", EffectCode::Scroller},
    {"Tekst stojący", EffectCode::StandingText},
    {"Najazd z dołu", EffectCode::SlideFromBottom},
    {"Najazd z góry", EffectCode::SlideFromTop},
    {"Roleta z dołu", EffectCode::BlindFromBottom},
    {"Roleta z góry", EffectCode::BlindFromTop},
    {"Piksele", EffectCode::Pixels},
    {"Linie z dołu", EffectCode::LinesFromBottom},
    {"Linie z góry", EffectCode::LinesFromTop},
    {"Mrugaj inwersją", EffectCode::BlinkInverse},
    {"Mrugaj ekranem", EffectCode::BlinkScreen},
    {"Maszyna do pisania", EffectCode::Typewriter},
};

} // namespace

TForm1::TForm1(UserPrompts& prompts, TickFactory ticks, const Clock* clock, QWidget* parent)
    : QMainWindow(parent), m_prompts(prompts), m_startDirectory(QDir::currentPath()),
      m_clock(clock) {
    setObjectName(QStringLiteral("Form1"));
    // The 12 ms tick runs from here until the program ends.
    m_ticks = ticks ? ticks(m_emu.counters) : std::make_unique<RealTickSource>(m_emu.counters);
    if (!m_clock) {
        m_ownClock = std::make_unique<SystemClock>();
        m_clock = m_ownClock.get();
    }
    m_driver = std::make_unique<PreviewDriver>(m_emu, *m_ticks, *m_clock, m_preview);
    useProtocol(std::make_unique<ComProtocol>());
    m_popup = new TFormSenderPopup(this);
    m_sync = new TFormSync(this);
    m_charTable = new TForm2(m_emu.glyphs.table(), this);
    m_gfxSymbols = new TFormGFXSymbols(m_emu.glyphs, m_prompts, this);
    // Both hold the port open while shown, through whichever protocol object is current.
    const ProtocolSource protocol = [this]() -> ComProtocol& { return *m_protocol; };
    const TargetSource target = [this] { return signTarget(); };
    m_autosync =
        new TForm3(protocol, target, m_prompts, toPath(m_startDirectory) / kSyncConfigFile, this);
    m_stopwatch = new TFormStopwatch(protocol, target, m_prompts, m_tickCount, this);
    m_emu.glyphs.setStartDirectory(toPath(m_startDirectory));
    for (int i = 0; i < kMessageSetCount; ++i) {
        m_editors[i] =
            std::make_unique<MessageContainer>(EditorContext{m_emu.glyphs.table(), m_emu.geometry});
        m_editorPointers[i] = m_editors[i].get();
    }
    m_current = m_editors[0].get();

    // The current font's shading: green and blue 192 + 2y down the 32 rows.
    m_highlight = QImage(16, 32, QImage::Format_RGB32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 16; ++x) m_highlight.setPixel(x, y, qRgb(0, 192 + 2 * y, 192 + 2 * y));

    QWidget* central = new QWidget(this);
    central->setAutoFillBackground(true);
    QPalette pal = central->palette();
    pal.setColor(QPalette::Window, QColor(192, 192, 192));
    central->setPalette(pal);
    setCentralWidget(central);

    m_leds = new LedView(m_emu.bitmap, central);
    m_leds->move(0, 0);
    buildMenus();
    buildToolBar();
    buildPages();
    buildPanel();

    m_status = new QLabel(this);
    m_status->setMinimumWidth(500);
    statusBar()->addWidget(m_status);
    statusBar()->setFixedHeight(22);
    m_statusTimer.setSingleShot(true);
    connect(&m_statusTimer, &QTimer::timeout, this, [this] { m_status->clear(); });
    m_expandTimer.setInterval(kExpandMs);
    connect(&m_expandTimer, &QTimer::timeout, this, [this] { m_panel->expandAll(); });
    m_expandTimer.start();

    setMinimumSize(600, 650);
    resize(960, 644 + menuBar()->sizeHint().height() + 22);
}

TForm1::~TForm1() = default;

bool TForm1::FormCreate(QString* error) {
    setWindowTitle(QStringLiteral("Centrum sterowania linijką świetlną"));
    m_current = m_editors[0].get();
    m_messageNumber = 1;
    m_emu.bitmap.fillBlack();

    const FileResult fonts = m_emu.glyphs.LoadBuiltInFonts(".");
    if (!fonts) {
        if (error) *error = QString::fromStdString(fonts.message());
        return false;
    }
    // Without ld.cfg the defaults stand, so a first start still has a sign to draw.
    ReadLdCfg(toPath(m_startDirectory) / kConfigFile, m_settings);
    m_signConfig = kInitialSignConfig;
    m_preview = PreviewSettings{};
    if (!applyGeometry(error)) return false;
    // The sign settings window exists from the start: taking the saved slider positions runs
    // the handlers of the sliders that move, which also set the preview's timing.
    if (!m_pixbarSettings)
        m_pixbarSettings = new TFormPixbarSettings(m_settings, m_preview, m_signConfig,
                                                   toPath(m_startDirectory) / kConfigFile, this);
    m_pixbarSettings->loadFromSettings();
    if (!m_appSettings) {
        AppSettingsHooks hooks;
        hooks.protocol = [this]() -> ComProtocol& { return *m_protocol; };
        hooks.settingsReloaded = [this] { m_pixbarSettings->loadFromSettings(); };
        hooks.geometryChanged = [this] {
            QString why;
            if (applyGeometry(&why)) return;
            // Without its symbol table the designer cannot go on: every running event loop
            // (the settings window's and the program's) ends.
            m_prompts.error(why);
            if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(1);
        };
        m_appSettings = new TFormAppSettings(m_settings, toPath(m_startDirectory) / kConfigFile,
                                             std::move(hooks), this);
    }
    showPage(1);
    return true;
}

bool TForm1::applyGeometry(QString* error) {
    SanitizeGeometry(m_settings);
    m_emu.geometry.set(m_settings.signWidth, m_settings.signHeight);
    const FileResult symbols = InitEmulator(m_emu);
    m_emu.bitmap.fillBlack();
    refreshLeds();
    if (!symbols) {
        if (error) *error = QString::fromStdString(symbols.message());
        return false;
    }
    for (DrawGrid* g : m_grids) g->invalidate();
    m_panel->repaintButtons();
    return true;
}

void TForm1::refreshLeds() {
    RenderLeds(m_emu.geometry, m_emu.frame, m_emu.bitmap);
    m_leds->update();
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    ShowStatus(QStringLiteral("Wersja 3.200, kompilacja 20130315. Program gotowy do pracy."));
}

void TForm1::closeEvent(QCloseEvent* event) {
    WriteLdCfg(toPath(m_startDirectory) / kConfigFile, m_settings);
    // A preview still playing ends at its next pass.
    m_testRunning = false;
    m_driver->stop();
    event->accept();
}

void TForm1::ShowStatus(const QString& text) {
    m_statusTimer.stop();
    m_status->setText(text);
    m_statusTimer.start(kStatusMs);
    m_status->repaint();
}

QString TForm1::statusText() const {
    return m_status->text();
}

MessageEditors TForm1::editorList() {
    return MessageEditors(m_editorPointers);
}

// ---- layout -------------------------------------------------------------------------------

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
    plik->addAction(QStringLiteral("&Zamknij"), this, &TForm1::Zamknij1Click);

    QMenu* edycja = menuBar()->addMenu(QStringLiteral("&Edycja"));
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
    for (const EffectCommand& e : kEffectCommands) {
        // The menu has always spelt this one without its accent.
        const QString caption = e.code == EffectCode::SlideFromTop ? QStringLiteral("Najazd z gory")
                                                                   : QString::fromUtf8(e.caption);
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
    for (const EffectCommand& e : kEffectCommands) {
        if (e.code == EffectCode::BlinkInverse || e.code == EffectCode::BlinkScreen) continue;
        const QString caption = e.code == EffectCode::Scroller ? QStringLiteral("&Scroller")
                                                               : QString::fromUtf8(e.caption);
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

    m_fontGroup = m_panel->addGroup(QStringLiteral("Czcionki"));
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

    const int format = m_panel->addGroup(QStringLiteral("Format"));
    m_panel->addItem(format, QStringLiteral("Zwykły"), [this] { FormatZwyklyClick(); });
    m_panel->addItem(format, QStringLiteral("Inwersja"), [this] { FormatInwersjaClick(); });

    const int timed = m_panel->addGroup(QStringLiteral("Efekty czasowe"));
    m_panel->addItem(timed, QStringLiteral("Pauza"), [this] { EfektyPauzaClick(); });

    const int graphic = m_panel->addGroup(QStringLiteral("Efekty graficzne"));
    for (const EffectCommand& e : kEffectCommands)
        m_panel->addItem(graphic, QString::fromUtf8(e.caption),
                         [this, code = e.code] { insertEffect(code); });
    m_panel->addItem(graphic, QStringLiteral("Scroller migający"), {});

    const int insert = m_panel->addGroup(QStringLiteral("Wstaw w komunikat"));
    m_panel->addItem(
        insert, QStringLiteral("Data (Rok/Miesiąc/Dzień)"), [this] { WstawDateClick(); },
        QStringLiteral("Wstaw aktualną datę"));
    m_panel->addItem(
        insert, QStringLiteral("Czas (Godzina/Minuta)"), [this] { WstawCzasClick(); },
        QStringLiteral("Wstaw aktualną godzinę i minutę"));
    m_panel->addItem(
        insert, QStringLiteral("Temperatura"), [this] { WstawTemperatureClick(); },
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
            text = "14] " + std::to_string(user.width) + "x" + std::to_string(user.height) +
                   " ABCDE abcde 12345";
        } else {
            // Ę and Ż are written as the LED fonts' own glyph codes 12 and 17.
            text = "WCZYTAJ CZCIONK\x0C U\x11YTKOWNIKA";
            index = 9;
            colour = kSampleBlack;
        }
    } else {
        const FontEntry& e = table[index];
        text = std::to_string(font) + "] " + std::to_string(e.width) + "x" +
               std::to_string(e.height) + " ABCDE abcde 12345";
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

// ---- pages and captions -------------------------------------------------------------------

void TForm1::showPage(int n) {
    m_current = m_editors[n - 1].get();
    m_messageNumber = n;
    if (m_pages->currentIndex() != n - 1) m_pages->setCurrentIndex(n - 1);
    m_panel->repaintButtons();
    updateKindCaption();
}

QString TForm1::kindCaption() const {
    return m_panel->itemCaption(m_kindGroup, 0);
}

void TForm1::updateKindCaption() {
    if (!m_current) return;
    const std::uint8_t kind = m_current->messageKind();
    m_panel->setItemCaption(m_kindGroup, 0,
                            QString::fromUtf8(kKindCaptions[std::min<int>(kind, 2)]));
}

void TForm1::repaintCurrentGrid() {
    m_grids[m_messageNumber - 1]->invalidate();
}

// ---- preview ------------------------------------------------------------------------------

QString TForm1::testCaption() const {
    return m_testButton->text();
}

void TForm1::setTestCaptions(bool running) {
    m_testButton->setText(running ? QStringLiteral("STOP") : QStringLiteral("Testuj"));
    m_panel->setItemCaption(m_actionsGroup, 0,
                            running ? QStringLiteral("Zatrzymaj test komunikatu")
                                    : QStringLiteral("Testuj komunikat"));
}

void TForm1::Button1Click() {
    if (QWidget* focused = QApplication::focusWidget()) focused->clearFocus();
    if (m_testRunning) {
        // A click from inside the running preview: it stops at its next pass.
        setTestCaptions(false);
        m_testRunning = false;
        m_driver->stop();
        return;
    }
    m_testRunning = true;
    setTestCaptions(true);
    std::array<MessageRecord, kPageCount> pages;
    for (int i = 0; i < kPageCount; ++i) pages[i] = m_editors[i]->record();
    m_driver->setRepaint([this] { m_leds->update(); });
    if (m_driver->start(pages, m_messageNumber - 1))
        m_driver->run([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
    m_testRunning = false;
    setTestCaptions(false);
}

// ---- transfers ----------------------------------------------------------------------------

void TForm1::useProtocol(std::unique_ptr<ComProtocol> protocol) {
    m_protocol = std::move(protocol);
    m_transfers = std::make_unique<Transfers>(*m_protocol, static_cast<TransferUi&>(*this));
}

SignTarget TForm1::signTarget() const {
    return {QString::fromStdString(m_settings.portName).trimmed(),
            std::uint16_t(m_settings.signSerial)};
}

void TForm1::showPopup(const QString& text) {
    m_popup->LabelDescription->setText(text);
    m_popup->move(geometry().center() - m_popup->rect().center());
    m_popup->show();
    setEnabled(false);
    processEvents();
}

void TForm1::setPopupText(const QString& text) {
    m_popup->LabelDescription->setText(text);
}

void TForm1::hidePopup() {
    m_popup->hide();
    setEnabled(true);
}

void TForm1::processEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TForm1::WyslijKomunikatClick() {
    m_transfers->sendMessage(signTarget(), m_messageNumber, m_current->record());
}

void TForm1::Synchronizuj_WyslijZestawKomunikatowClick() {
    std::array<const MessageRecord*, kMessageSetCount> records;
    for (int i = 0; i < kMessageSetCount; ++i) records[i] = &m_editors[i]->record();
    m_transfers->sendMessageSet(signTarget(), records);
}

void TForm1::Synchronizuj_WyslijKonfiguracjeClick() {
    // The sliders' values go out even when their window was never opened.
    m_signConfig = BuildSignConfig(m_settings.brightness, m_settings.scrollSpeed,
                                   m_settings.displayTimePosition);
    m_transfers->sendConfiguration(signTarget(), m_signConfig);
}

void TForm1::WyslijCzcionkeUzytkownikaDoLinijkiClick() {
    const HeadedImage& image = m_emu.glyphs.userFontImage();
    m_transfers->sendUserFont(signTarget(), std::span(image.bytes.data(), image.size));
}

void TForm1::Synchronizuj_WyslijTabliceSymboliGraficznychClick() {
    const HeadedImage& image = m_emu.glyphs.symbolTableImage();
    m_transfers->sendSymbolTable(signTarget(), std::span(image.bytes.data(), image.size));
}

void TForm1::SynchronizujZegarWLinijceSwietlnejClick() {
    m_transfers->setClock(signTarget());
}

void TForm1::WyswietlNaLinijceBiezacyKomunikatClick() {
    m_transfers->showMessage(signTarget(), m_messageNumber, true);
}

void TForm1::WyswietlNaLinijceKomunikatClick(int number) {
    m_transfers->showMessage(signTarget(), number, false);
}

void TForm1::PrzerwijSynchronizacjeClick() {
    std::vector<TFormSync::Step> steps{
        {QStringLiteral("Zegar"), [this] { SynchronizujZegarWLinijceSwietlnejClick(); }},
        {QStringLiteral("Komunikaty 1 do 8"),
         [this] { Synchronizuj_WyslijZestawKomunikatowClick(); }},
        {QStringLiteral("Tablica symboli graficznych"),
         [this] { Synchronizuj_WyslijTabliceSymboliGraficznychClick(); }}};
    if (m_emu.glyphs.table()[kIndexUserFont].width != 0)
        steps.push_back({QStringLiteral("Czcionka użytkownika"),
                         [this] { WyslijCzcionkeUzytkownikaDoLinijkiClick(); }});
    steps.push_back(
        {QStringLiteral("Konfiguracja"), [this] { Synchronizuj_WyslijKonfiguracjeClick(); }});

    m_sync->show();
    m_sync->move(m_sync->x(), y() + 40);
    setEnabled(false);
    m_sync->SendEverything(steps);
    setEnabled(true);
}

void TForm1::ToolButton3Click() {
    m_stopwatch->exec();
}

void TForm1::CategoryButtons1Categories6Items12Click() {
    m_autosync->exec();
}

void TForm1::setMessageKindFromMenu(std::uint8_t kind) {
    if (m_emu.geometry.height < 16 && kind != 0) {
        m_prompts.error(
            QStringLiteral("Ta opcja nie jest dostępna w linijce o wysokości 8 pikseli!"));
        return;
    }
    m_current->setMessageKind(kind);
    updateKindCaption();
}

// ---- file commands ------------------------------------------------------------------------

void TForm1::WczytajKomunikatClick() {
    const QString file = m_prompts.openFile(QStringLiteral("Pojedynczy komunikat (*.kom)"),
                                            QStringLiteral("kom"), QString());
    if (!file.isEmpty()) {
        MessageFileError why = MessageFileError::None;
        if (m_current->load(toPath(file), &why) != 0)
            m_prompts.error(QString::fromStdString(MessageFileErrorText(why, toPath(file))));
    }
    updateKindCaption();
}

void TForm1::ZapiszKomunikatClick() {
    const QString file = m_prompts.saveFile(
        QStringLiteral("Pojedynczy komunikat (*.kom);;Zbiór komunikatów (*.kzb)"),
        QStringLiteral("kom"));
    if (file.isEmpty()) return;
    MessageFileError why = MessageFileError::None;
    if (m_current->save(toPath(file), &why) != 0)
        m_prompts.error(QString::fromStdString(MessageFileErrorText(why, toPath(file))));
}

void TForm1::WczytajZestawKomunikatowClick() {
    const QString file = m_prompts.openFile(QStringLiteral("Zbiór komunikatów (*.kzb)"),
                                            QStringLiteral("kzb"), QString());
    if (!file.isEmpty()) {
        MessageFileError why = MessageFileError::None;
        if (LoadMessageSet(toPath(file), editorList(), &why) != 0)
            m_prompts.error(QString::fromStdString(MessageFileErrorText(why, toPath(file))));
    }
    updateKindCaption();
}

void TForm1::ZapiszZestawKomunikatowClick() {
    const QString file =
        m_prompts.saveFile(QStringLiteral("Zbiór komunikatów (*.kzb)"), QStringLiteral("kzb"));
    if (file.isEmpty()) return;
    MessageFileError why = MessageFileError::None;
    if (SaveMessageSet(toPath(file), editorList(), &why) != 0)
        m_prompts.error(QString::fromStdString(MessageFileErrorText(why, toPath(file))));
}

void TForm1::WczytajCzcionkeUzytkownikaClick() {
    const QString file = m_prompts.openFile(QStringLiteral("Pliki czcionek użytkownika (*.fnd)"),
                                            QStringLiteral("fnd"), QStringLiteral("."));
    if (file.isEmpty()) return;
    const FileResult r = m_emu.glyphs.LoadUserFont(toPath(file));
    if (!r) m_prompts.error(QString::fromStdString(r.message()));
    repaintCurrentGrid();
    m_panel->repaintButtons();
}

void TForm1::Zamknij1Click() {
    if (m_prompts.question(QStringLiteral("Czy na pewno wyjść z programu?"))) close();
}

// ---- editing commands ---------------------------------------------------------------------

void TForm1::fontButtonClick(int font) {
    if (font == kFontUser && !m_emu.glyphs.table()[kIndexUserFont].data)
        WczytajCzcionkeUzytkownikaClick();
    if (m_current && m_current->setFont(font) != 0)
        m_prompts.error(
            QStringLiteral("Ta czcionka nie jest dostępna w linijce o wysokości 8 pikseli!"));
    m_panel->repaintButtons();
}

void TForm1::FormatZwyklyClick() {
    m_current->insertCell(kAttrFormat, kFormatNormal);
}
void TForm1::FormatInwersjaClick() {
    m_current->insertCell(kAttrFormat, kFormatInverse);
}

void TForm1::EfektyPauzaClick() {
    m_current->insertItem({kAttrLead, kLeadPause}, {kDefaultPause, kParameterMark});
}

void TForm1::insertEffect(EffectCode code) {
    m_current->insertItem({kAttrLead, kLeadEffect}, {std::uint8_t(code), kParameterMark});
}

void TForm1::WstawCzasClick() {
    m_current->insertTime();
}
void TForm1::WstawDateClick() {
    m_current->insertDate();
}
void TForm1::WstawTemperatureClick() {
    m_current->insertTemperature();
}

void TForm1::WstawSymbolGraficznyClick() {
    if (!m_current) return;
    m_gfxSymbols->resetChoice();
    m_gfxSymbols->exec();
    const unsigned start = m_gfxSymbols->selectedStart();
    if (start > 0)
        for (unsigned i = 0; i < m_gfxSymbols->selectedWidth(); ++i)
            m_current->insertCell(kFontGraphicSymbols, std::uint8_t(start + i));
    m_panel->repaintButtons();
}

void TForm1::CategoryButtons1Categories5Items0Click() {
    if (m_emu.geometry.height < 16) {
        m_prompts.error(
            QStringLiteral("Ta opcja nie jest dostępna w linijce o wysokości 8 pikseli!"));
        return;
    }
    m_current->setMessageKind(std::uint8_t((m_current->messageKind() + 1) % 3));
    updateKindCaption();
}

void TForm1::Ustawienialinijkiwietlnej1Click() {
    m_pixbarSettings->exec();
}

void TForm1::Ustawieniaprogramu1Click() {
    m_appSettings->exec();
}

void TForm1::WstawZnakASCIIClick() {
    if (!m_current) return;
    m_charTable->CharTableFont = std::uint8_t(m_current->currentAttribute() & kFontMask);
    m_charTable->CharTablePage = 0;
    m_charTable->exec();
    const std::uint8_t code = m_charTable->CharTableResult;
    if (code != 0) m_current->insertCell(m_current->currentAttribute(), code);
}

void TForm1::WstawSymbolClick() {
    if (!m_current) return;
    m_charTable->CharTableFont = kFontSymbols;
    m_charTable->CharTablePage = 1;
    m_charTable->exec();
    const std::uint8_t code = m_charTable->CharTableResult;
    if (code == 0) return;
    // Two symbols are drawn over two cells and always go in as their pair.
    if (code == 0x80 || code == 0x81) {
        m_current->insertCell(kSymbolFontAttribute, 0x80);
        m_current->insertCell(kSymbolFontAttribute, 0x81);
    } else if (code == 0x82 || code == 0x83) {
        m_current->insertCell(kSymbolFontAttribute, 0x82);
        m_current->insertCell(kSymbolFontAttribute, 0x83);
    } else {
        m_current->insertCell(kSymbolFontAttribute, code);
    }
}

void TForm1::Wklej1Click() {
    // The clipboard's text goes in as code page 1250 bytes, each one typed at the cursor.
    QStringEncoder encode("windows-1250");
    const QByteArray bytes = encode(QApplication::clipboard()->text());
    for (char c : bytes) m_current->keyPress(static_cast<std::uint8_t>(c));
}

void TForm1::SkasujKomunikatClick() {
    if (!m_prompts.question(QStringLiteral("Czy na pewno skasować komunikat?"))) return;
    m_current->clear();
    updateKindCaption();
    m_panel->repaintButtons();
}

} // namespace pixbar
