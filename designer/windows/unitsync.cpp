#include "unitsync.h"

#include "categorybuttons.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>

namespace pixbar {

TFormSync::TFormSync(QWidget* parent)
    : QDialog(parent,
              Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("FormSync"));
    setWindowTitle(QStringLiteral("Synchronizacja z linijką świetlną"));
    setFixedSize(646, 167);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette p = Memo1->palette();
    p.setColor(QPalette::Base, QColor(64, 64, 64));
    p.setColor(QPalette::Text, QColor(0, 255, 255));
    Memo1->setPalette(p);
    QFont f(QStringLiteral("Tahoma"));
    f.setBold(true);
    Memo1->setFont(f);

    CategoryButtons1 = new CategoryButtons(this);
    const int group = CategoryButtons1->addGroup(QStringLiteral("Akcje:"));
    CategoryButtons1->addItem(group, QStringLiteral("Zamknij okno"),
                     [this] { PrzerwijSynchronizacjeClick(); });
    CategoryButtons1->setFixedWidth(150);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Memo1, 1);
    layout->addWidget(CategoryButtons1);
}

void TFormSync::showEvent(QShowEvent* event) {
    SyncState = Idle;
    QDialog::showEvent(event);
}

void TFormSync::closeEvent(QCloseEvent* event) {
    // While steps run, the window closes itself once the step in progress has ended.
    if (SyncState == Running) {
        PrzerwijSynchronizacjeClick();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TFormSync::log(const QString& line) {
    Memo1->appendPlainText(line);
}

void TFormSync::SendEverything(const std::vector<Step>& steps) {
    SyncState = Running;
    Memo1->clear();
    log(QStringLiteral("Wysyłam wszystkie dane do linijki, proszę czekać..."));
    log(QString());
    for (const Step& step : steps) {
        log(step.title);
        step.run();
        // A click on "Zamknij okno" during the step is taken now.
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (SyncState == AbortRequested) {
            hide();
            return;
        }
    }
    log(QString());
    log(QStringLiteral("Operacja zakończona, możesz zamknąć okno."));
    SyncState = Idle;
}

void TFormSync::PrzerwijSynchronizacjeClick() {
    if (SyncState != Idle) {
        SyncState = AbortRequested;
        log(QString());
        log(QStringLiteral("Proszę czekać..."));
        return;
    }
    hide();
}

} // namespace pixbar
