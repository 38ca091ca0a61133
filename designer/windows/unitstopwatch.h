#pragma once

#include "prompts.h"
#include "stopwatchsession.h"

#include <QDialog>
#include <QTimer>

class QLabel;
class QLineEdit;
class QMenu;

namespace pixbar {

class CategoryButtons;

/// "Stoper": the sign shows a running time, the operator's own text or a stored message.
/// The port stays open while the window is shown.
class TFormStopwatch : public QDialog, private StopwatchView {
    Q_OBJECT
public:
    TFormStopwatch(ProtocolSource protocol, TargetSource target, UserPrompts& prompts,
                   const TickCount& ticks, QWidget* parent = nullptr);

    QLabel* LabelStopwatchDisplay = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* EditFastMsg = nullptr;
    CategoryButtons* CategoryButtons1 = nullptr;
    QMenu* PopupMenuShowMsgNo = nullptr;
    QTimer TimerStopwatch;
    QTimer TimerExpandCategoryButtons;

    /// Opens the port; when it cannot, says so and closes the window again.
    void FormShow();
    /// Any closing: the port is closed and the tick stops.
    void FormCloseQuery();
    /// Space starts and stops, K resets, T shows the text, unless the text field has the focus.
    void FormKeyPress(QChar key);
    /// Enter in the text field gives the keys back to the window.
    void EditFastMsgKeyPress(int key);
    void TimerStopwatchTimer() { m_session.tick(); }
    void TimerExpandCategoryButtonsTimer();
    /// "Start (Spacja)" / "Stop (Spacja)".
    void CategoryButtons1Categories0Items0Click() { m_session.startStop(); }
    /// "Kasuj (K)".
    void CategoryButtons1Categories0Items1Click() { m_session.reset(); }
    /// "Pokaż tekst (T)".
    void CategoryButtons1Categories0Items2Click();
    /// "Wyświetl komunikat nr  ...": the menu of messages 1..8 at the mouse pointer.
    void CategoryButtons1Categories0Items3Click();
    /// "Zamknij okno".
    void CategoryButtons1Categories0Items4Click();
    /// Item N of the message menu (its tag 1..8).
    void N11Click(int tag);

    StopwatchState state() const { return m_session.state(); }
    /// The display's colour as drawn.
    QColor displayColour() const;
    QString startCaption() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showTime(const QString& text) override;
    void setColour(StopwatchColour colour) override;
    void setRunning(bool running) override;
    void error(const QString& text) override { m_prompts.error(text); }

    UserPrompts& m_prompts;
    StopwatchSession m_session;
    int m_group = 0;
};

} // namespace pixbar
