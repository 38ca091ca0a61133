#pragma once

#include "ledmessagecon.h"
#include "pixbar.h"
#include "player.h"
#include "previewdriver.h"
#include "prompts.h"
#include "settings.h"
#include "stopwatch.h"
#include "transfers.h"
#include "unitcomprotocol.h"

#include <QImage>
#include <QMainWindow>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QTabWidget;
class QUndoGroup;
class QToolBar;
class QToolButton;
class QMenu;

namespace pixbar {

class CategoryButtons;
class DrawGrid;
class TFormGFXSymbols;
class LedView;
class TForm2;
class TFormAppSettings;
class TFormPixbarSettings;
class TForm3;
class TFormSenderPopup;
class TFormStopwatch;
class TFormSync;

/// The main window: eight message pages, the emulated sign, the button panel and the menus.
class TForm1 : public QMainWindow, private TransferUi {
    Q_OBJECT
public:
    /// Makes the tick source that counts down the player's counters.
    using TickFactory = std::function<std::unique_ptr<TickSource>(TickCounters&)>;

    /// Time for the preview can be injected; by default the real 12 ms tick and the
    /// computer's clock are used.
    explicit TForm1(UserPrompts& prompts, TickFactory ticks = {}, const Clock* clock = nullptr,
                    QWidget* parent = nullptr);
    ~TForm1() override;

    /// Loads the fonts, ld.cfg and the graphic symbol table. False when the designer cannot
    /// run; `error` then names the file.
    bool FormCreate(QString* error);

    /// Shows a text in the status line for five seconds.
    void ShowStatus(const QString& text);

    // Commands of the menus, the tool bar and the button panel.
    void WczytajKomunikatClick();
    void ZapiszKomunikatClick();
    void WczytajZestawKomunikatowClick();
    void ZapiszZestawKomunikatowClick();
    /// "Eksportuj animację (GIF)...": the current page's preview as an animated GIF.
    void EksportujAnimacjeClick();
    void WczytajCzcionkeUzytkownikaClick();
    void Zamknij1Click();
    void Wklej1Click();
    void SkasujKomunikatClick();
    void FormatZwyklyClick();
    void FormatInwersjaClick();
    void EfektyPauzaClick();
    void insertEffect(EffectCode code);
    void WstawCzasClick();
    void WstawDateClick();
    void WstawTemperatureClick();
    /// Font buttons 1..12 and 14.
    void fontButtonClick(int font);
    /// The message kind button: single -> upper -> lower -> single, on a 16-pixel sign only.
    void CategoryButtons1Categories5Items0Click();
    /// "Symbol graficzny": picks a symbol in the symbol table window and inserts its columns.
    void WstawSymbolGraficznyClick();
    /// Shows the sign settings window modally.
    void Ustawienialinijkiwietlnej1Click();
    /// Shows the application settings window modally.
    void Ustawieniaprogramu1Click();
    /// "Znak ASCII": a code of the current font picked in the character table.
    void WstawZnakASCIIClick();
    /// "Symbol": a symbol of font 15 picked in the character table's second page.
    void WstawSymbolClick();
    /// "Testuj": starts the preview of the current page, or stops the one that is playing.
    void Button1Click();
    // Commands that talk to the sign.
    void WyslijKomunikatClick();
    void Synchronizuj_WyslijZestawKomunikatowClick();
    void Synchronizuj_WyslijKonfiguracjeClick();
    void WyslijCzcionkeUzytkownikaDoLinijkiClick();
    void Synchronizuj_WyslijTabliceSymboliGraficznychClick();
    void SynchronizujZegarWLinijceSwietlnejClick();
    /// "Wyślij wszystko bezwarunkowo": every transfer in turn, in the synchronisation window.
    void PrzerwijSynchronizacjeClick();
    void WyswietlNaLinijceBiezacyKomunikatClick();
    /// "Wyświetl komunikat nr:" 1..8.
    void WyswietlNaLinijceKomunikatClick(int number);
    /// "Stoper": shows the stopwatch window modally.
    void ToolButton3Click();
    /// "Przejdź to trybu synchronizacji z plikiem": shows the file sync window modally.
    void CategoryButtons1Categories6Items12Click();
    /// Talks to the sign through another protocol object (tests use an in-memory port).
    void useProtocol(std::unique_ptr<ComProtocol> protocol);

    /// Shows message page n (1..8).
    void showPage(int n);

    // Undo, redo and the cell clipboard of the current page.
    void CofnijClick();
    void PonowClick();
    void WytnijClick();
    void KopiujClick();
    /// Loads a *.kom into the current page, or a *.kzb into all pages, as the load commands do.
    void loadMessageFile(const QString& file);
    void loadMessageSetFile(const QString& file);
    /// Follows the current page: the undo stack of its grid.
    QUndoGroup& undoGroup() { return *m_undoGroup; }

    // What tests and other windows read.
    MessageContainer& editor(int n) { return *m_editors[n - 1]; }
    MessageContainer* currentEditor() { return m_current; }
    int currentMessage() const { return m_messageNumber; }
    DrawGrid& grid(int n) { return *m_grids[n - 1]; }
    Emulator& emulator() { return m_emu; }
    ProgramSettings& settings() { return m_settings; }
    const SignConfig& signConfig() const { return m_signConfig; }
    PreviewSettings& previewSettings() { return m_preview; }
    bool testRunning() const { return m_testRunning; }
    QString testCaption() const;
    QString kindCaption() const;
    QString statusText() const;
    CategoryButtons& categoryButtons() { return *m_panel; }
    TFormPixbarSettings& pixbarSettings() { return *m_pixbarSettings; }
    TFormSync& syncWindow() { return *m_sync; }
    TForm2& charTable() { return *m_charTable; }
    TFormAppSettings& appSettings() { return *m_appSettings; }
    TFormSenderPopup& senderPopup() { return *m_popup; }
    TFormGFXSymbols& gfxSymbols() { return *m_gfxSymbols; }
    TFormStopwatch& stopwatchWindow() { return *m_stopwatch; }
    TForm3& autosyncWindow() { return *m_autosync; }
    QString startDirectory() const { return m_startDirectory; }
    /// The 16 x 32 shading drawn behind the current font's button.
    const QImage& highlightImage() const { return m_highlight; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenus();
    void buildToolBar();
    void buildPages();
    void buildPanel();
    /// Undo, redo, cut and copy: the page histories, their menu items and dropped files.
    void buildEditing();
    void updateClipboardActions();
    void drawFontButton(QPainter& painter, const QRect& rect, int item);
    void updateKindCaption();
    void repaintCurrentGrid();
    void refreshLeds();
    /// Reloads everything that depends on the sign geometry.
    bool applyGeometry(QString* error);
    MessageEditors editorList();

    void setTestCaptions(bool running);
    SignTarget signTarget() const;
    void setMessageKindFromMenu(std::uint8_t kind);
    /// An error box for a command that cannot be carried out; the focus goes back to the grid.
    void refuse(const QString& text);

    // What a transfer shows.
    void showStatus(const QString& text) override { ShowStatus(text); }
    void showPopup(const QString& text) override;
    void setPopupText(const QString& text) override;
    void hidePopup() override;
    void error(const QString& text) override { m_prompts.error(text); }
    void processEvents() override;

    UserPrompts& m_prompts;
    QString m_startDirectory;
    Emulator m_emu;
    ProgramSettings m_settings;
    SignConfig m_signConfig = kInitialSignConfig;
    PreviewSettings m_preview;
    std::unique_ptr<TickSource> m_ticks;
    std::unique_ptr<Clock> m_ownClock;
    const Clock* m_clock = nullptr;
    std::unique_ptr<PreviewDriver> m_driver;
    bool m_testRunning = false;
    QToolButton* m_testButton = nullptr;
    int m_actionsGroup = -1;
    TFormPixbarSettings* m_pixbarSettings = nullptr;
    TFormSenderPopup* m_popup = nullptr;
    TFormSync* m_sync = nullptr;
    TForm2* m_charTable = nullptr;
    TFormAppSettings* m_appSettings = nullptr;
    TFormGFXSymbols* m_gfxSymbols = nullptr;
    TForm3* m_autosync = nullptr;
    TFormStopwatch* m_stopwatch = nullptr;
    SystemTickCount m_tickCount;
    std::unique_ptr<ComProtocol> m_protocol;
    std::unique_ptr<Transfers> m_transfers;
    std::array<MessageContainer*, kMessageSetCount> m_editorPointers{};
    std::array<std::unique_ptr<MessageContainer>, kMessageSetCount> m_editors;
    std::array<DrawGrid*, kMessageSetCount> m_grids{};
    MessageContainer* m_current = nullptr;
    int m_messageNumber = 1;
    QImage m_highlight;

    LedView* m_leds = nullptr;
    QToolBar* m_toolBar = nullptr;
    QTabWidget* m_pages = nullptr;
    CategoryButtons* m_panel = nullptr;
    QLabel* m_status = nullptr;
    QTimer m_statusTimer;
    QTimer m_expandTimer;
    int m_kindGroup = -1;
    int m_fontGroup = -1;
    QMenu* m_editMenu = nullptr;
    QAction* m_cutAction = nullptr;
    QAction* m_copyAction = nullptr;
    // Last, so it goes first: a page's stack leaving the group while the window is destroyed
    // would report to the window after its editors are gone.
    std::unique_ptr<QUndoGroup> m_undoGroup;
};

} // namespace pixbar
