#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>
#include <vector>

class QPlainTextEdit;

namespace pixbar {

class CategoryButtons;

/// "Synchronizacja z linijką świetlną": runs every transfer in turn and logs each step.
class TFormSync : public QDialog {
    Q_OBJECT
public:
    enum State : std::uint32_t { Idle = 0, Running = 1, AbortRequested = 2 };

    struct Step {
        QString title;
        std::function<void()> run;
    };

    explicit TFormSync(QWidget* parent = nullptr);

    /// Runs the steps in order, logging each title first; stops after the step during which
    /// "Zamknij okno" was pressed, and then closes the window.
    void SendEverything(const std::vector<Step>& steps);
    /// "Zamknij okno": asks a running transfer to stop after its step, or closes the window.
    void PrzerwijSynchronizacjeClick();

    std::uint32_t SyncState = Idle;
    QPlainTextEdit* Memo1 = nullptr;
    CategoryButtons* CategoryButtons1 = nullptr; ///< "Akcje:" with "Zamknij okno"

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void log(const QString& line);
};

} // namespace pixbar
