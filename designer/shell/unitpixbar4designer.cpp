#include "unitpixbar4designer.h"

#include "categorybuttons.h"
#include "drawgrid.h"
#include "ledview.h"
#include "pagehistory.h"
#include "settingsfile.h"
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
#include <QScreen>
#include <QStatusBar>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStyle>
#include <QTabWidget>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QUndoGroup>

#include <optional>

namespace pixbar {

namespace {

const char* const kKindCaptions[] = {"Rodaj komunikatu: pojedyńczy", "Rodaj komunikatu: górny",
                                     "Rodaj komunikatu: dolny"};
constexpr int kStatusMs = 5000;
constexpr int kExpandMs = 2000;

std::filesystem::path toPath(const QString& s) {
    return std::filesystem::path(s.toStdString());
}

} // namespace

TForm1::TForm1(UserPrompts& prompts, TickFactory ticks, const Clock* clock, QWidget* parent)
    : QMainWindow(parent), m_prompts(prompts), m_startDirectory(QDir::currentPath()),
      m_clock(clock) {
    setObjectName(QStringLiteral("Form1"));
    // The 12 ms tick thread lives from here until the program ends; it ticks only while a
    // preview plays and sleeps without waking otherwise.
    m_ticks = ticks ? ticks(m_emu.counters) : std::make_unique<RealTickSource>(m_emu.counters);
    if (!m_clock) {
        m_ownClock = std::make_unique<SystemClock>();
        m_clock = m_ownClock.get();
    }
    m_driver = std::make_unique<PreviewDriver>(m_emu, *m_ticks, *m_clock, m_preview);
    useProtocol(std::make_unique<ComProtocol>());
    m_popup = new TFormSenderPopup(this);
    // Not a child of the main window: it stays usable while the main window is disabled.
    m_sync = new TFormSync(nullptr);
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
    buildEditing();

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
    // The client area (tool bar, pages, panel and status bar, below the menu) is 960 x 644,
    // in the middle of the desktop.
    resize(960, 644 + menuBar()->sizeHint().height());
    if (const QScreen* desktop = screen())
        move(desktop->availableGeometry().center() - rect().center());
}

TForm1::~TForm1() {
    delete m_sync;
}

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
        m_pixbarSettings =
            new TFormPixbarSettings(m_settings, m_preview, m_signConfig,
                                    toPath(m_startDirectory) / kConfigFile, m_prompts, this);
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
                                             m_prompts, std::move(hooks), this);
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
    SaveLdCfg(toPath(m_startDirectory) / kConfigFile, m_settings, m_prompts);
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
    m_driver->setRepaintArea([this](const LedArea& area) { m_leds->updateArea(area); });
    if (m_driver->start(pages, m_messageNumber - 1))
        m_driver->run([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
    m_testRunning = false;
    setTestCaptions(false);
}

// ---- transfers ----------------------------------------------------------------------------

void TForm1::useProtocol(std::unique_ptr<ComProtocol> protocol) {
    m_protocol = std::move(protocol);
    // Windows repaint while the sign is waited for; timers wait for the end of the
    // operation, and so do clicks unless a transfer has disabled this window: then only
    // "Zamknij okno" of a run of every transfer can take one, and it starts nothing.
    m_protocol->setWaitPump([this] {
        QCoreApplication::processEvents(
            (isEnabled() ? QEventLoop::ExcludeUserInputEvents : QEventLoop::AllEvents) |
            QEventLoop::X11ExcludeTimers);
    });
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
    // A font dropped by a change of the sign's size counts as not loaded.
    const bool loaded = m_emu.glyphs.table()[kIndexUserFont].width != 0;
    m_transfers->sendUserFont(signTarget(), std::span(image.bytes.data(), loaded ? image.size : 0));
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
    m_sync->move(geometry().center().x() - m_sync->width() / 2, y() + 40);
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

void TForm1::refuse(const QString& text) {
    m_prompts.error(text);
    // Typing goes on in the message, as after a command that was carried out.
    m_grids[m_messageNumber - 1]->setFocus();
}

void TForm1::setMessageKindFromMenu(std::uint8_t kind) {
    if (m_emu.geometry.height < 16 && kind != 0) {
        refuse(QStringLiteral("Ta opcja nie jest dostępna w linijce o wysokości 8 pikseli!"));
        return;
    }
    const PageStep step(grid(m_messageNumber));
    m_current->setMessageKind(kind);
    updateKindCaption();
}

// ---- file commands ------------------------------------------------------------------------

void TForm1::WczytajKomunikatClick() {
    const QString file = m_prompts.openFile(QStringLiteral("Pojedynczy komunikat (*.kom)"),
                                            QStringLiteral("kom"), QString());
    if (!file.isEmpty()) loadMessageFile(file);
    updateKindCaption();
}

void TForm1::loadMessageFile(const QString& file) {
    const PageStep step(grid(m_messageNumber));
    MessageFileError why = MessageFileError::None;
    if (m_current->load(toPath(file), &why) != 0)
        m_prompts.error(QString::fromStdString(MessageFileErrorText(why, toPath(file))));
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
    if (!file.isEmpty()) loadMessageSetFile(file);
    updateKindCaption();
}

void TForm1::loadMessageSetFile(const QString& file) {
    // One step on every page the set changes.
    std::array<std::optional<PageStep>, kMessageSetCount> steps;
    for (int i = 0; i < kMessageSetCount; ++i) steps[i].emplace(*m_grids[i]);
    MessageFileError why = MessageFileError::None;
    if (LoadMessageSet(toPath(file), editorList(), &why) != 0)
        m_prompts.error(QString::fromStdString(MessageFileErrorText(why, toPath(file))));
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
        refuse(QStringLiteral("Ta czcionka nie jest dostępna w linijce o wysokości 8 pikseli!"));
    m_panel->repaintButtons();
}

void TForm1::FormatZwyklyClick() {
    const PageStep step(grid(m_messageNumber));
    m_current->insertCell(kAttrFormat, kFormatNormal);
}
void TForm1::FormatInwersjaClick() {
    const PageStep step(grid(m_messageNumber));
    m_current->insertCell(kAttrFormat, kFormatInverse);
}

void TForm1::EfektyPauzaClick() {
    const PageStep step(grid(m_messageNumber));
    m_current->insertItem({kAttrLead, kLeadPause}, {kDefaultPause, kParameterMark});
}

void TForm1::insertEffect(EffectCode code) {
    const PageStep step(grid(m_messageNumber));
    m_current->insertItem({kAttrLead, kLeadEffect}, {std::uint8_t(code), kParameterMark});
}

void TForm1::WstawCzasClick() {
    const PageStep step(grid(m_messageNumber));
    m_current->insertTime();
}
void TForm1::WstawDateClick() {
    const PageStep step(grid(m_messageNumber));
    m_current->insertDate();
}
void TForm1::WstawTemperatureClick() {
    const PageStep step(grid(m_messageNumber));
    m_current->insertTemperature();
}

void TForm1::WstawSymbolGraficznyClick() {
    if (!m_current) return;
    const PageStep step(grid(m_messageNumber));
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
        refuse(QStringLiteral("Ta opcja nie jest dostępna w linijce o wysokości 8 pikseli!"));
        return;
    }
    const PageStep step(grid(m_messageNumber));
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
    const PageStep step(grid(m_messageNumber));
    m_charTable->CharTableFont = std::uint8_t(m_current->currentAttribute() & kFontMask);
    m_charTable->CharTablePage = 0;
    m_charTable->exec();
    const std::uint8_t code = m_charTable->CharTableResult;
    if (code != 0) m_current->insertCell(m_current->currentAttribute(), code);
}

void TForm1::WstawSymbolClick() {
    if (!m_current) return;
    const PageStep step(grid(m_messageNumber));
    m_charTable->CharTableFont = kFontSymbols;
    m_charTable->CharTablePage = 1;
    m_charTable->exec();
    const std::uint8_t code = m_charTable->CharTableResult;
    if (code == 0) return;
    // Two symbols are drawn over two cells and always go in as their pair.
    std::array<Cell, 2> cells;
    const int count = SymbolCells(code, cells);
    for (int i = 0; i < count; ++i)
        m_current->insertCell(cells[std::size_t(i)].attribute, cells[std::size_t(i)].character);
}

void TForm1::Wklej1Click() {
    // Cells copied from a page go in as cells; any other text is typed byte for byte.
    const QString status =
        PasteClipboard(grid(m_messageNumber), QApplication::clipboard()->mimeData());
    if (!status.isEmpty()) ShowStatus(status);
}

void TForm1::SkasujKomunikatClick() {
    if (!m_prompts.question(QStringLiteral("Czy na pewno skasować komunikat?"))) return;
    const PageStep step(grid(m_messageNumber));
    m_current->clear();
    updateKindCaption();
    m_panel->repaintButtons();
}

} // namespace pixbar
