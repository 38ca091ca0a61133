#include "unitstopwatch.h"

#include "categorybuttons.h"

#include <QCursor>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QVBoxLayout>

namespace pixbar {

namespace {

constexpr int kTickMs = 250;
constexpr int kExpandMs = 2000;
constexpr int kPanelWidth = 196; // wide enough for "Wyświetl komunikat nr  ..." on one line
constexpr int kButtonHeight = 22;
const QColor kYellow(255, 255, 0);
const QColor kLime(0, 255, 0);
const QColor kRed(255, 0, 0);

QString startText() {
    return QStringLiteral("Start (Spacja)");
}

} // namespace

TFormStopwatch::TFormStopwatch(ProtocolSource protocol, TargetSource target, UserPrompts& prompts,
                               const TickCount& ticks, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_prompts(prompts),
      m_session(std::move(protocol), std::move(target), ticks, static_cast<StopwatchView&>(*this)) {
    setObjectName(QStringLiteral("FormStopwatch"));
    setWindowTitle(QStringLiteral("Stoper"));
    setModal(true);
    setAutoFillBackground(true);
    QPalette grey = palette();
    grey.setColor(QPalette::Window, QColor(128, 128, 128));
    setPalette(grey);

    LabelStopwatchDisplay = new QLabel(QStringLiteral("00:00:00"), this);
    LabelStopwatchDisplay->setObjectName(QStringLiteral("LabelStopwatchDisplay"));
    LabelStopwatchDisplay->setAlignment(Qt::AlignCenter);
    QFont big(QStringLiteral("Tahoma"));
    big.setPixelSize(64);
    big.setBold(true);
    LabelStopwatchDisplay->setFont(big);
    Label2 = new QLabel(QStringLiteral("Tekst"), this);
    EditFastMsg = new QLineEdit(this);
    EditFastMsg->setObjectName(QStringLiteral("EditFastMsg"));
    connect(EditFastMsg, &QLineEdit::returnPressed, this, [this] { EditFastMsgKeyPress(13); });

    CategoryButtons1 = new CategoryButtons(this);
    m_group = CategoryButtons1->addGroup(QStringLiteral("Akcje:"));
    CategoryButtons1->addItem(m_group, startText(),
                              [this] { CategoryButtons1Categories0Items0Click(); });
    CategoryButtons1->addItem(m_group, QStringLiteral("Kasuj (K)"),
                              [this] { CategoryButtons1Categories0Items1Click(); });
    CategoryButtons1->addItem(m_group, QStringLiteral("Pokaż tekst (T)"),
                              [this] { CategoryButtons1Categories0Items2Click(); });
    CategoryButtons1->addItem(m_group, QStringLiteral("Wyświetl komunikat nr  ..."),
                              [this] { CategoryButtons1Categories0Items3Click(); });
    CategoryButtons1->addItem(m_group, QStringLiteral("Zamknij okno"),
                              [this] { CategoryButtons1Categories0Items4Click(); });
    // All five buttons fit the window's height without a scroll bar.
    CategoryButtons1->setItemHeight(m_group, kButtonHeight);
    CategoryButtons1->setFixedWidth(kPanelWidth);

    PopupMenuShowMsgNo = new QMenu(this);
    PopupMenuShowMsgNo->setObjectName(QStringLiteral("PopupMenuShowMsgNo"));
    for (int n = 1; n <= kMessageCount; ++n) {
        QAction* item = PopupMenuShowMsgNo->addAction(QStringLiteral("&%1").arg(n));
        item->setObjectName(QStringLiteral("N%1").arg(n) + QLatin1Char('1'));
        item->setData(n);
        connect(item, &QAction::triggered, this, [this, item] { N11Click(item->data().toInt()); });
    }

    auto* text = new QHBoxLayout;
    text->addWidget(Label2);
    text->addWidget(EditFastMsg, 1);
    auto* left = new QVBoxLayout;
    left->setContentsMargins(8, 4, 8, 8);
    left->addWidget(LabelStopwatchDisplay, 1);
    left->addLayout(text);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(left, 1);
    layout->addWidget(CategoryButtons1);
    resize(674, 143);

    // Keys go to the window first unless the text field has them: no other control takes
    // the focus, and the window watches the keys of its button panel.
    for (QWidget* w : findChildren<QWidget*>()) {
        if (w == EditFastMsg) continue;
        w->setFocusPolicy(Qt::NoFocus);
        w->installEventFilter(this);
    }
    // The window itself holds the focus whenever the text field does not.
    setFocusPolicy(Qt::StrongFocus);
    setColour(StopwatchColour::Yellow);

    TimerStopwatch.setInterval(kTickMs);
    connect(&TimerStopwatch, &QTimer::timeout, this, &TFormStopwatch::TimerStopwatchTimer);
    TimerExpandCategoryButtons.setInterval(kExpandMs);
    connect(&TimerExpandCategoryButtons, &QTimer::timeout, this,
            &TFormStopwatch::TimerExpandCategoryButtonsTimer);
    TimerExpandCategoryButtons.start();
}

void TFormStopwatch::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (parentWidget()) move(parentWidget()->geometry().center() - rect().center());
    FormShow();
}

void TFormStopwatch::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    // Minimising is not closing.
    if (!event->spontaneous()) FormCloseQuery();
}

void TFormStopwatch::FormShow() {
    if (m_session.open()) {
        // Space starts the count straight away; a click puts the focus into the text field.
        setFocus();
        return;
    }
    // Closed once the window is up, so a modal run of the window ends at once.
    QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
}

void TFormStopwatch::FormCloseQuery() {
    m_session.close();
}

namespace {

/// The keys of the window's commands: Space, K and T in either case.
bool isCommandKey(const QKeyEvent* event) {
    const QString text = event->text();
    if (text.size() != 1) return false;
    const QChar c = text[0].toUpper();
    return c == QLatin1Char(' ') || c == QLatin1Char('K') || c == QLatin1Char('T');
}

} // namespace

bool TFormStopwatch::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && isCommandKey(static_cast<QKeyEvent*>(event))) {
        FormKeyPress(static_cast<QKeyEvent*>(event)->text()[0]);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFormStopwatch::keyPressEvent(QKeyEvent* event) {
    if (isCommandKey(event)) {
        FormKeyPress(event->text()[0]);
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFormStopwatch::FormKeyPress(QChar key) {
    if (EditFastMsg->hasFocus()) return;
    if (key == QLatin1Char(' '))
        CategoryButtons1Categories0Items0Click();
    else if (key.toUpper() == QLatin1Char('K'))
        CategoryButtons1Categories0Items1Click();
    else if (key.toUpper() == QLatin1Char('T'))
        CategoryButtons1Categories0Items2Click();
}

void TFormStopwatch::EditFastMsgKeyPress(int key) {
    if (key == 13) {
        EditFastMsg->clearFocus();
        setFocus();
    }
}

void TFormStopwatch::TimerExpandCategoryButtonsTimer() {
    CategoryButtons1->expandAll();
}

void TFormStopwatch::CategoryButtons1Categories0Items2Click() {
    m_session.showText(EditFastMsg->text());
}

void TFormStopwatch::CategoryButtons1Categories0Items3Click() {
    PopupMenuShowMsgNo->popup(QCursor::pos());
}

void TFormStopwatch::CategoryButtons1Categories0Items4Click() {
    TimerStopwatch.stop();
    reject();
}

void TFormStopwatch::N11Click(int tag) {
    m_session.showMessage(tag);
}

void TFormStopwatch::showTime(const QString& text) {
    LabelStopwatchDisplay->setText(text);
    LabelStopwatchDisplay->repaint();
}

void TFormStopwatch::setColour(StopwatchColour colour) {
    QPalette p = LabelStopwatchDisplay->palette();
    p.setColor(QPalette::WindowText, colour == StopwatchColour::Yellow ? kYellow
                                     : colour == StopwatchColour::Lime ? kLime
                                                                       : kRed);
    LabelStopwatchDisplay->setPalette(p);
}

QColor TFormStopwatch::displayColour() const {
    return LabelStopwatchDisplay->palette().color(QPalette::WindowText);
}

void TFormStopwatch::setRunning(bool running) {
    if (running)
        TimerStopwatch.start();
    else
        TimerStopwatch.stop();
    CategoryButtons1->setItemCaption(m_group, 0,
                                     running ? QStringLiteral("Stop (Spacja)") : startText());
}

QString TFormStopwatch::startCaption() const {
    return CategoryButtons1->itemCaption(m_group, 0);
}

} // namespace pixbar
