#pragma once

#include "autosyncsession.h"
#include "prompts.h"

#include <QDialog>
#include <QTimer>

#include <filesystem>

class QLabel;
class QLineEdit;

namespace pixbar {

class CategoryButtons;

/// "Synchronizacja linijki z plikiem": while the mode runs, the first line of a data file that
/// another program rewrites goes to slot 9 of the sign each time the file changes.
/// The data file's name is kept in as.cfg.
class TForm3 : public QDialog, private SyncView {
    Q_OBJECT
public:
    TForm3(ProtocolSource protocol, TargetSource target, UserPrompts& prompts,
           std::filesystem::path configFile, QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QLineEdit* EditPlik = nullptr;
    QLabel* LabelStatus = nullptr;
    CategoryButtons* CategoryButtons1 = nullptr;
    QTimer TimerSynchro;
    QTimer Timer1;

    /// Reads as.cfg (done once, when the window is made).
    void FormCreate();
    /// Starts the mode each time the window is shown.
    void FormShow();
    /// Any closing writes as.cfg; a running mode goes on polling.
    void FormClose();
    void TimerSynchroTimer();
    void Timer1Timer();
    /// "Wybierz plik".
    void CategoryButtons1Categories0Items0Click();
    /// "Wyjdź z trybu".
    void CategoryButtons1Categories0Items1Click();

    SyncSession& session() { return m_session; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showStatus(const QString& text) override;
    void setPolling(bool on) override;

    UserPrompts& m_prompts;
    SyncSession m_session;
    std::filesystem::path m_configFile;
};

} // namespace pixbar
