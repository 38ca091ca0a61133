#pragma once

#include "prompts.h"
#include "settings.h"
#include "signsearch.h"

#include <QDialog>

#include <filesystem>
#include <functional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QRadioButton;
class QScrollBar;

namespace pixbar {

class CategoryButtons;

/// What the settings window needs of the main window.
struct AppSettingsHooks {
    /// The program's one protocol object (its port lists the COM ports too).
    std::function<ComProtocol&()> protocol;
    /// ld.cfg was read again: the sign settings window takes its sliders from the settings.
    std::function<void()> settingsReloaded;
    /// The saved width and height become the sign's: the emulator, symbol table and LEDs are
    /// rebuilt for them.
    std::function<void()> geometryChanged;
};

/// "Ustawienia aplikacji": the sign's COM port, serial number and size, and the search for a
/// sign on every COM port. Left only through its action buttons.
class TFormAppSettings : public QDialog, private SearchUi {
    Q_OBJECT
public:
    TFormAppSettings(ProgramSettings& settings, std::filesystem::path configFile,
                     UserPrompts& prompts, AppSettingsHooks hooks, QWidget* parent = nullptr);

    QGroupBox* GroupBox1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QComboBox* ComboBoxCOM = nullptr;
    QLineEdit* Edit1 = nullptr;
    QScrollBar* ScrollBar1 = nullptr;
    QLabel* Label2 = nullptr; ///< "8 rejestrów"
    QLabel* Label4 = nullptr; ///< "150cm"
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    CategoryButtons* CategoryButtons1 = nullptr;
    CategoryButtons* CategoryButtons2 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

    /// Reloads ld.cfg into the controls and refreshes the port list (each showing does).
    void FormShow();
    void ScrollBar1Change();
    /// "Znajdź linijkę świetlną i skonfiguruj program".
    void CategoryButtons1Categories0Items2Click();
    /// "Zapisz ustawienia i zamknij okno".
    void CategoryButtons1Categories0Items1Click();
    /// "Zakończ": hides the search panel.
    void CategoryButtons2Categories0Items0Click();

    /// True while "Zakończ" can be pressed.
    bool finishEnabled() const;
    int exec() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void log(const QString& line) override;
    void setProgressMaximum(int maximum) override;
    void setProgress(int position) override;
    void processEvents() override;
    void reportStarts() override;
    void setPortText(const QString& text);
    /// Scrolls the log so the closing report is seen from its headline.
    void showReport();

    ProgramSettings& m_settings;
    std::filesystem::path m_configFile;
    UserPrompts& m_prompts;
    AppSettingsHooks m_hooks;
    bool m_closing = false;
    bool m_searching = false;
    int m_reportLine = -1; ///< first line of the search's closing report, -1: none
};

} // namespace pixbar
