#include "unitmain.h"

#include <QCoreApplication>
#include <QFont>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

constexpr int kClientWidth = 649;
constexpr int kClientHeight = 246;
constexpr int kMemoWidth = 496;
constexpr int kPanelWidth = 153;
constexpr int kButtonWidth = 145;
constexpr int kButtonHeight = 24;
constexpr int kFontPixels = 11;

const char* const kCaptionStart = "Rozpocznij";
const char* const kCaptionFinish = "Zakończ";
const char* const kCaptionCancel = "Anuluj";
const char* const kWelcome = "Naciśnij \"Rozpocznij\" aby uruchomić instalację programu";

// Teal panel, a sky-blue-to-blue group bar, light grey gradient buttons that darken to
// 0xD6D5D9 when hovered or pressed.
const char* const kPanelStyle = R"(
#CategoryButtons1 { background: #008080; }
#CategoryButtons1Categories0 {
    color: white; font-weight: bold; padding: 2px 6px;
    background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #A6CAF0, stop:1 #0000FF);
}
#CategoryButtons1 QPushButton {
    font-weight: bold; text-align: left; padding: 2px 8px;
    border: 1px solid #8C8C8C; border-radius: 3px;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #FFFFFF, stop:1 #F2F2F2);
}
#CategoryButtons1 QPushButton:hover, #CategoryButtons1 QPushButton:pressed {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ECEBEE, stop:1 #D6D5D9);
}
)";

} // namespace

TForm1::TForm1(std::unique_ptr<instalacja::InstallPlatform> platform, QWidget* parent)
    : QWidget(parent), m_platform(std::move(platform)),
      m_interpreter(*m_platform, [this](const std::string& line) { appendLog(line); }) {
    setObjectName("Form1");
    setWindowTitle("Instalator");
    QFont font("Tahoma");
    font.setPixelSize(kFontPixels);
    setFont(font);
    resize(kClientWidth, kClientHeight);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setMinimumWidth(kMemoWidth);
    // The welcome line and an empty line; the run's lines follow below them.
    Memo1->setPlainText(QString(kWelcome) + "\n");

    CategoryButtons1 = new QFrame(this);
    CategoryButtons1->setObjectName("CategoryButtons1");
    CategoryButtons1->setFixedWidth(kPanelWidth);
    CategoryButtons1->setStyleSheet(kPanelStyle);
    CategoryButtons1Categories0 = new QLabel("Instalacja", CategoryButtons1);
    CategoryButtons1Categories0->setObjectName("CategoryButtons1Categories0");
    CategoryButtons1Categories0Items0 = new QPushButton(kCaptionStart, CategoryButtons1);
    CategoryButtons1Categories0Items0->setObjectName("CategoryButtons1Categories0Items0");
    CategoryButtons1Categories0Items1 = new QPushButton(kCaptionCancel, CategoryButtons1);
    CategoryButtons1Categories0Items1->setObjectName("CategoryButtons1Categories0Items1");
    for (QPushButton* button :
         {CategoryButtons1Categories0Items0, CategoryButtons1Categories0Items1}) {
        button->setFixedSize(kButtonWidth, kButtonHeight);
        button->setCursor(Qt::PointingHandCursor);
    }

    auto* panelLayout = new QVBoxLayout(CategoryButtons1);
    panelLayout->setContentsMargins(2, 2, 2, 2);
    panelLayout->setSpacing(2);
    panelLayout->addWidget(CategoryButtons1Categories0);
    panelLayout->addWidget(CategoryButtons1Categories0Items0, 0, Qt::AlignRight);
    panelLayout->addWidget(CategoryButtons1Categories0Items1, 0, Qt::AlignRight);
    panelLayout->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Memo1, 1);
    layout->addWidget(CategoryButtons1);

    connect(CategoryButtons1Categories0Items0, &QPushButton::clicked, this,
            &TForm1::CategoryButtons1Categories0Items0Click);
    connect(CategoryButtons1Categories0Items1, &QPushButton::clicked, this,
            &TForm1::CategoryButtons1Categories0Items1Click);

    m_errorBox = [](const QString& text) {
        QMessageBox box(QMessageBox::Critical, "Błąd", text, QMessageBox::Ok);
        box.exec();
    };
    FormCreate();
}

void TForm1::FormCreate() {
    m_interpreter.fetchSystemFolders();
}

void TForm1::appendLog(const std::string& line) {
    Memo1->appendPlainText(QString::fromStdString(line));
    Memo1->verticalScrollBar()->setValue(Memo1->verticalScrollBar()->maximum());
    // Show each line as it comes; clicks wait until the run is over.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TForm1::CategoryButtons1Categories0Items0Click() {
    if (CategoryButtons1Categories0Items0->text() == kCaptionFinish) {
        close();
        return;
    }
    const instalacja::RunResult result = m_interpreter.RunScript(instalacja::kScriptFile);
    if (result == instalacja::RunResult::WordMissing) {
        const instalacja::MissingWord& missing = m_interpreter.missingWord();
        m_errorBox(QString("Indeks poza zakresem (%1): w wierszu %2 skryptu brakuje słowa.")
                       .arg(missing.wordIndex)
                       .arg(missing.lineNumber));
        return;
    }
    CategoryButtons1Categories0Items0->setText(kCaptionFinish);
}

void TForm1::CategoryButtons1Categories0Items1Click() {
    close();
}
