#include "unitautosync.h"

#include "categorybuttons.h"

#include <QCoreApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace pixbar {

namespace {

constexpr int kPollMs = 1000;
constexpr int kStatusMs = 5000;
constexpr int kPanelWidth = 121;

QString statusPrefix() {
    return QStringLiteral("STATUS:");
}

} // namespace

TForm3::TForm3(ProtocolSource protocol, TargetSource target, UserPrompts& prompts,
               std::filesystem::path configFile, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_prompts(prompts),
      m_session(std::move(protocol), std::move(target), static_cast<SyncView&>(*this)),
      m_configFile(std::move(configFile)) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Synchronizacja linijki z plikiem"));
    setModal(true);
    setAutoFillBackground(true);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);

    QFont bold(QStringLiteral("Tahoma"));
    bold.setPixelSize(13);
    bold.setBold(true);
    QPalette lime;
    lime.setColor(QPalette::WindowText, QColor(0, 255, 0));
    Label1 = new QLabel(QStringLiteral("Nazwa pliku z danymi:"), this);
    LabelStatus = new QLabel(statusPrefix(), this);
    for (QLabel* l : {Label1, LabelStatus}) {
        l->setFont(bold);
        l->setPalette(lime);
    }
    EditPlik = new QLineEdit(QString::fromLatin1(kDefaultDataFile), this);
    EditPlik->setObjectName(QStringLiteral("EditPlik"));
    EditPlik->setReadOnly(true);
    QPalette field = EditPlik->palette();
    field.setColor(QPalette::Base, QColor(128, 128, 128));
    field.setColor(QPalette::Text, QColor(0, 255, 255));
    EditPlik->setPalette(field);

    CategoryButtons1 = new CategoryButtons(this);
    const int group = CategoryButtons1->addGroup(QStringLiteral("Akcje:"));
    CategoryButtons1->addItem(group, QStringLiteral("Wybierz plik"),
                              [this] { CategoryButtons1Categories0Items0Click(); });
    CategoryButtons1->addItem(group, QStringLiteral("Wyjdź z trybu"),
                              [this] { CategoryButtons1Categories0Items1Click(); });
    CategoryButtons1->setFixedWidth(kPanelWidth);

    auto* left = new QVBoxLayout;
    left->setContentsMargins(10, 10, 10, 10);
    left->addWidget(Label1);
    left->addWidget(EditPlik);
    left->addSpacing(12);
    left->addWidget(LabelStatus);
    left->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(left, 1);
    layout->addWidget(CategoryButtons1);
    resize(541, 138);

    TimerSynchro.setInterval(kPollMs);
    connect(&TimerSynchro, &QTimer::timeout, this, &TForm3::TimerSynchroTimer);
    Timer1.setInterval(kStatusMs);
    connect(&Timer1, &QTimer::timeout, this, &TForm3::Timer1Timer);
    FormCreate();
}

void TForm3::FormCreate() {
    std::string name;
    // Names are kept as the file system spells them, so any file the dialog offers opens again.
    if (LoadSyncConfig(m_configFile, name) == 0)
        EditPlik->setText(QFile::decodeName(QByteArray::fromStdString(name)));
}

void TForm3::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (parentWidget()) move(parentWidget()->geometry().center() - rect().center());
    // The window is put on screen first; the start-up steps then run with their texts seen.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!isVisible()) return;
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                            QEventLoop::X11ExcludeTimers);
            repaint();
            FormShow();
        },
        Qt::QueuedConnection);
}

void TForm3::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    // Minimising is not closing.
    if (!event->spontaneous()) FormClose();
}

void TForm3::FormShow() {
    m_session.StartSyncMode();
}

void TForm3::FormClose() {
    const QByteArray name = QFile::encodeName(EditPlik->text());
    SaveSyncConfig(m_configFile, std::string_view(name.constData(), std::size_t(name.size())));
}

void TForm3::TimerSynchroTimer() {
    m_session.PollDataFile(EditPlik->text());
}

void TForm3::Timer1Timer() {
    LabelStatus->setText(statusPrefix());
    Timer1.stop();
}

void TForm3::CategoryButtons1Categories0Items0Click() {
    const QString file =
        m_prompts.openFile(QStringLiteral("Pliki tekstowe (*.txt);;Wszystkie pliki (*.*)"),
                           QStringLiteral("txt"), QString());
    if (file.isEmpty()) return;
    EditPlik->setText(file);
    m_session.fileChosen(file);
}

void TForm3::CategoryButtons1Categories0Items1Click() {
    m_session.StopSyncMode();
    reject();
}

void TForm3::showStatus(const QString& text) {
    Timer1.stop();
    LabelStatus->setText(statusPrefix() + text);
    Timer1.start();
    // Painted at once: the text must be seen while the sign is being talked to.
    LabelStatus->repaint();
}

void TForm3::setPolling(bool on) {
    if (on)
        TimerSynchro.start();
    else
        TimerSynchro.stop();
}

} // namespace pixbar
