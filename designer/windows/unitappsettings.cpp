#include "unitappsettings.h"

#include "categorybuttons.h"
#include "pixbar.h"
#include "settingsfile.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>

namespace pixbar {

namespace {

constexpr int kClientWidth = 529;
constexpr int kClientHeight = 242;
constexpr int kPanelWidth = 180;
constexpr int kPanelLeft = kClientWidth - kPanelWidth;

QLabel* label(const QString& text, QWidget* parent, int x, int y) {
    auto* l = new QLabel(text, parent);
    l->move(x, y);
    return l;
}

} // namespace

TFormAppSettings::TFormAppSettings(ProgramSettings& settings, std::filesystem::path configFile,
                                   UserPrompts& prompts, AppSettingsHooks hooks, QWidget* parent)
    : QDialog(parent,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_settings(settings), m_configFile(std::move(configFile)), m_prompts(prompts),
      m_hooks(std::move(hooks)) {
    setObjectName(QStringLiteral("FormAppSettings"));
    setWindowTitle(QStringLiteral("Ustawienia aplikacji"));
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);

    GroupBox2 = new QGroupBox(QStringLiteral("Ustawienia transmisji"), this);
    GroupBox2->setGeometry(6, 4, kPanelLeft - 12, 54);
    label(QStringLiteral("Numer portu COM"), GroupBox2, 12, 26);
    ComboBoxCOM = new QComboBox(GroupBox2);
    ComboBoxCOM->setObjectName(QStringLiteral("ComboBoxCOM"));
    ComboBoxCOM->setEditable(true);
    ComboBoxCOM->setInsertPolicy(QComboBox::NoInsert);
    // Wide enough for a serial server's address such as tcp:192.168.100.200:4001.
    ComboBoxCOM->setGeometry(130, 22, kPanelLeft - 12 - 130 - 10, 22);
    // Transfers read the port name from here, so every edit goes straight to the settings.
    connect(ComboBoxCOM, &QComboBox::editTextChanged, this,
            [this](const QString& text) { m_settings.portName = text.toStdString(); });

    GroupBox1 = new QGroupBox(QStringLiteral("Ustawienia linijki"), this);
    GroupBox1->setGeometry(6, 62, kPanelLeft - 12, 174);
    label(QStringLiteral("Numer seryjny:"), GroupBox1, 12, 26);
    Edit1 = new QLineEdit(GroupBox1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(100, 22, 100, 22);
    label(QStringLiteral("Szerokość:"), GroupBox1, 12, 58);
    ScrollBar1 = new QScrollBar(Qt::Horizontal, GroupBox1);
    ScrollBar1->setObjectName(QStringLiteral("ScrollBar1"));
    ScrollBar1->setRange(1, kMaxRegisters);
    ScrollBar1->setPageStep(1);
    ScrollBar1->setValue(8);
    ScrollBar1->setGeometry(100, 56, 150, 18);
    Label4 = label(QStringLiteral("150cm"), GroupBox1, 260, 58);
    Label4->setFixedWidth(60);
    Label2 = label(QStringLiteral("8 rejestrów"), GroupBox1, 100, 78);
    Label2->setFixedWidth(150);
    label(QStringLiteral("Wysokość:"), GroupBox1, 12, 110);
    RadioButton1 = new QRadioButton(QStringLiteral("8 punktów - jednoliniowy"), GroupBox1);
    RadioButton1->setGeometry(100, 106, 220, 22);
    RadioButton2 = new QRadioButton(QStringLiteral("16 punktów - dwuliniowy"), GroupBox1);
    RadioButton2->setGeometry(100, 132, 220, 22);
    RadioButton1->setChecked(true);
    connect(ScrollBar1, &QScrollBar::valueChanged, this, &TFormAppSettings::ScrollBar1Change);

    CategoryButtons1 = new CategoryButtons(this);
    CategoryButtons1->setGeometry(kPanelLeft, 0, kPanelWidth, kClientHeight);
    const int actions = CategoryButtons1->addGroup(QStringLiteral("Akcje:"));
    CategoryButtons1->addItem(actions,
                              QStringLiteral("Znajdź linijkę świetlną i skonfiguruj program"),
                              [this] { CategoryButtons1Categories0Items2Click(); });
    CategoryButtons1->addItem(actions, QStringLiteral("Zapisz ustawienia i zamknij okno"),
                              [this] { CategoryButtons1Categories0Items1Click(); });
    CategoryButtons1->setItemHeight(actions, 40);

    GroupBox3 = new QGroupBox(QStringLiteral("Szukam linijki"), this);
    GroupBox3->setGeometry(0, 0, kClientWidth, kClientHeight);
    GroupBox3->setAutoFillBackground(true);
    Memo1 = new QPlainTextEdit(GroupBox3);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setGeometry(8, 20, kPanelLeft - 14, kClientHeight - 52);
    Memo1->setStyleSheet(QStringLiteral(
        "QPlainTextEdit { background-color: rgb(79, 79, 79); color: aqua; font-weight: bold; }"));
    ProgressBar1 = new QProgressBar(GroupBox3);
    ProgressBar1->setGeometry(8, kClientHeight - 26, kPanelLeft - 14, 18);
    ProgressBar1->setTextVisible(false);
    CategoryButtons2 = new CategoryButtons(GroupBox3);
    CategoryButtons2->setObjectName(QStringLiteral("CategoryButtons2"));
    CategoryButtons2->setGeometry(kPanelLeft, 16, kPanelWidth - 6, kClientHeight - 22);
    const int finish = CategoryButtons2->addGroup(QStringLiteral("Akcje:"));
    CategoryButtons2->addItem(finish, QStringLiteral("Zakończ"),
                              [this] { CategoryButtons2Categories0Items0Click(); });
    GroupBox3->hide();
    CategoryButtons2->setEnabled(false);
}

void TFormAppSettings::setPortText(const QString& text) {
    ComboBoxCOM->setEditText(text);
    m_settings.portName = text.toStdString();
}

void TFormAppSettings::FormShow() {
    // Edits of an earlier showing that were not saved are dropped.
    ProgramSettings saved = m_settings;
    if (ReadLdCfg(m_configFile, saved) == 0) {
        m_settings = saved;
        if (m_hooks.settingsReloaded) m_hooks.settingsReloaded();
    }
    setPortText(QString::fromStdString(m_settings.portName));
    ScrollBar1->setValue(m_settings.signWidth);
    ScrollBar1Change();
    (m_settings.signHeight == 8 ? RadioButton1 : RadioButton2)->setChecked(true);
    Edit1->setText(QString::number(m_settings.signSerial));

    GroupBox3->hide();
    CategoryButtons2->setEnabled(false);
    Memo1->clear();

    PortTable table{};
    if (m_hooks.protocol) m_hooks.protocol().port().EnumeratePorts(table);
    const QString text = ComboBoxCOM->currentText();
    {
        const QSignalBlocker block(ComboBoxCOM);
        ComboBoxCOM->clear();
        for (int n = 0; n < kPortTableSize; ++n)
            if (table[n]) ComboBoxCOM->addItem(QStringLiteral("COM%1").arg(n));
        ComboBoxCOM->setCurrentIndex(-1);
    }
    setPortText(text);
}

void TFormAppSettings::ScrollBar1Change() {
    const int w = ScrollBar1->value();
    Label4->setText(QString::fromStdString(SignLengthText(w)));
    Label2->setText(QString::fromStdString(RegisterCountText(w)));
}

void TFormAppSettings::CategoryButtons1Categories0Items1Click() {
    m_settings.signWidth = ScrollBar1->value();
    if (const auto serial = ParseSerialNumber(Edit1->text().toStdString()))
        m_settings.signSerial = *serial;
    m_settings.signHeight = RadioButton1->isChecked() ? 8 : 16;
    m_settings.portName = ComboBoxCOM->currentText().toStdString();
    SaveLdCfg(m_configFile, m_settings, m_prompts);
    if (m_hooks.geometryChanged) m_hooks.geometryChanged();
    m_closing = true;
    accept();
    m_closing = false;
}

void TFormAppSettings::CategoryButtons1Categories0Items2Click() {
    GroupBox3->raise();
    GroupBox3->show();
    CategoryButtons2->setEnabled(false);
    Memo1->clear();
    processEvents();
    if (!m_hooks.protocol) return;

    m_reportLine = -1;
    m_searching = true;
    const SearchResult found =
        SearchForSign(m_hooks.protocol(), *this, ComboBoxCOM->currentText().trimmed());
    m_searching = false;
    showReport();
    if (found.found) {
        ScrollBar1->setValue(found.info.width); // the scroll bar keeps it within 1..24
        (found.info.height == 16 ? RadioButton2 : RadioButton1)->setChecked(true);
        setPortText(found.port);
        Edit1->setText(QString::number(found.info.serial));
        // The port goes into ld.cfg at once; size and serial number only when saved.
        SaveLdCfg(m_configFile, m_settings, m_prompts);
    }
    CategoryButtons2->setEnabled(true);
}

void TFormAppSettings::CategoryButtons2Categories0Items0Click() {
    GroupBox3->hide();
}

bool TFormAppSettings::finishEnabled() const {
    return CategoryButtons2->isEnabled();
}

int TFormAppSettings::exec() {
    if (parentWidget())
        move(parentWidget()->geometry().center() - QPoint(width() / 2, height() / 2));
    return QDialog::exec();
}

void TFormAppSettings::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TFormAppSettings::closeEvent(QCloseEvent* event) {
    if (m_closing) {
        QDialog::closeEvent(event);
        return;
    }
    // The close box closes the window as its button does; a search runs to its end first.
    event->ignore();
    if (!m_searching) CategoryButtons1Categories0Items1Click();
}

void TFormAppSettings::reject() {
    // Escape, likewise.
    if (!m_searching) CategoryButtons1Categories0Items1Click();
}

void TFormAppSettings::log(const QString& line) {
    Memo1->appendPlainText(line);
}

void TFormAppSettings::reportStarts() {
    m_reportLine = Memo1->document()->isEmpty() ? 0 : Memo1->blockCount();
}

void TFormAppSettings::showReport() {
    if (m_reportLine < 0) return;
    // From the end upwards, so the headline becomes the first line in sight.
    Memo1->moveCursor(QTextCursor::End);
    Memo1->ensureCursorVisible();
    QTextCursor headline(Memo1->document()->findBlockByNumber(m_reportLine));
    Memo1->setTextCursor(headline);
    Memo1->ensureCursorVisible();
}

void TFormAppSettings::setProgressMaximum(int maximum) {
    ProgressBar1->setMaximum(maximum);
}

void TFormAppSettings::setProgress(int position) {
    ProgressBar1->setValue(position);
}

void TFormAppSettings::processEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace pixbar
