#include "unitgfxsymbolstable.h"

#include "categorybuttons.h"
#include "unitgfxsymbolseditor.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>

namespace pixbar {

namespace {

constexpr int kExpandMs = 1000;

const char* const kNoRoom = "Wybrany symbol nie zmieści się w tablicy, wybierz kursorem inne "
                            "miejsce lub zmniejsz szerokość symbolu!";
const char* const kTaken =
    "Wybrany symbol nie zmieści się w miejscu wskazanym przez kursor, wskaż inne miejsce i "
    "spróbuj ponownie, lub usuń symbole znajdujące się pod i z prawej strony kursora, lub "
    "zmniejsz szerokość symbolu!";
const char* const kDeleteQuestion =
    "Czy na pewno chcesz usunąć symbol graficzny pod kursorem?\nUWAGA: Usunięcie symbolu "
    "spowoduje że nie będzie on wyświetlany w komunkatach, nawet jeśli został on wcześniej "
    "wstawiony!";
const char* const kNoSymbol = "Błąd! Nie wybrano symbolu graficznego!";

/// The top 16 rows of a picture as lit (any colour but black) and unlit pixels.
PixelGrid toPixels(const QImage& image) {
    PixelGrid grid;
    grid.width = image.width();
    grid.height = std::min(image.height(), int(kStagingColumnBytes));
    grid.lit.resize(std::size_t(grid.width) * grid.height);
    for (int y = 0; y < grid.height; ++y)
        for (int x = 0; x < grid.width; ++x)
            grid.lit[std::size_t(y) * grid.width + x] = (image.pixel(x, y) & 0x00FFFFFF) != 0;
    return grid;
}

} // namespace

SymbolGrid::SymbolGrid(std::function<void(int, QImage&)> paintCell, QWidget* parent)
    : QWidget(parent), m_paintCell(std::move(paintCell)),
      m_cellBitmap(kSymbolCellWidth, kSymbolCellHeight, QImage::Format_RGB32) {
    setObjectName(QStringLiteral("DrawGrid1"));
    setFixedSize(kSymbolGridColumns * kCellWidth, kSymbolGridRows * kCellHeight);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SymbolGrid::setCurrent(int col, int row) {
    m_col = std::clamp(col, 0, kSymbolGridColumns - 1);
    m_row = std::clamp(row, 0, kSymbolGridRows - 1);
    update();
}

void SymbolGrid::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    for (int i = 0; i < kSymbolGridCells; ++i) {
        m_paintCell(i, m_cellBitmap);
        p.drawImage((i % kSymbolGridColumns) * kCellWidth, (i / kSymbolGridColumns) * kCellHeight,
                    m_cellBitmap);
    }
}

void SymbolGrid::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    setCurrent(at.x() / kCellWidth, at.y() / kCellHeight);
    emit pressed();
}

void SymbolGrid::mouseDoubleClickEvent(QMouseEvent*) {
    emit doubleClicked();
}

void SymbolGrid::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Left:
        setCurrent(m_col - 1, m_row);
        break;
    case Qt::Key_Right:
        setCurrent(m_col + 1, m_row);
        break;
    case Qt::Key_Up:
        setCurrent(m_col, m_row - 1);
        break;
    case Qt::Key_Down:
        setCurrent(m_col, m_row + 1);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

TFormGFXSymbols::TFormGFXSymbols(GlyphSets& glyphs, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), m_glyphs(glyphs), m_prompts(prompts), m_table(glyphs) {
    setObjectName(QStringLiteral("FormGFXSymbols"));
    setWindowTitle(QStringLiteral("Tablica symboli graficznych"));
    setWindowFlag(Qt::Tool);
    setModal(true);

    DrawGrid1 = new SymbolGrid(
        [this](int cell, QImage& picture) { DrawGrid1DrawCell(cell, picture); }, this);
    connect(DrawGrid1, &SymbolGrid::pressed, this, &TFormGFXSymbols::DrawGrid1HightlightSymbol);
    connect(DrawGrid1, &SymbolGrid::doubleClicked, this, &TFormGFXSymbols::DrawGrid1SelectSymbol);

    CategoryButtons1 = new CategoryButtons(this);
    const int group = CategoryButtons1->addGroup(QStringLiteral("Akcje:"));
    CategoryButtons1->addItem(group, QStringLiteral("Wybierz"),
                              [this] { DrawGrid1SelectSymbol(); });
    CategoryButtons1->addItem(group, QStringLiteral("Wczytaj z pliku"),
                              [this] { WczytajSymbolGraficznyZPlikuClick(); });
    CategoryButtons1->addItem(group, QStringLiteral("Usuń"),
                              [this] { UsunSymbolGraficznyClick(); });
    CategoryButtons1->addItem(group, QStringLiteral("Zamknij okno"),
                              [this] { CategoryButtons1Categories0Items3Click(); });
    CategoryButtons1->addItem(group, QStringLiteral("Zaprojektuj nowy"),
                              [this] { ZaprojektujNowySymbolGraficznyClick(); });
    CategoryButtons1->addItem(group, QStringLiteral("Zmień istniejący"),
                              [this] { ZmienIstniejacySymbolGraficznyClick(); });

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(DrawGrid1, 0, Qt::AlignTop);
    layout->addWidget(CategoryButtons1, 1);
    setFixedSize(674, 267);

    // Centred on this window, which is centred on the main window.
    m_editor = new TFormEdytorSymboliGraficznych(this);

    m_expandTimer.setInterval(kExpandMs);
    connect(&m_expandTimer, &QTimer::timeout, this,
            &TFormGFXSymbols::TimerExpandCategoryButtonsTimer);
    m_expandTimer.start();
}

void TFormGFXSymbols::resetChoice() {
    m_selectedStart = 0;
    m_selectedWidth = 0;
}

void TFormGFXSymbols::DrawGrid1DrawCell(int cell, QImage& picture) {
    const bool marked = m_highlight[std::size_t(cell)] || cell == DrawGrid1->cell();
    PaintSymbolCell(m_glyphs.entry(kIndexGraphicSymbols), cell, marked,
                    Image32{reinterpret_cast<std::uint32_t*>(picture.bits()), picture.width(),
                            picture.height(), int(picture.bytesPerLine() / 4)});
}

void TFormGFXSymbols::DrawGrid1HightlightSymbol() {
    m_highlight = SymbolHighlight(m_glyphs.symbolMap(), DrawGrid1->cell());
    DrawGrid1->update();
}

void TFormGFXSymbols::DrawGrid1SelectSymbol() {
    const unsigned k = unsigned(DrawGrid1->cell()) + 1;
    // Codes 255 and 256 never hold a symbol.
    const SymbolSpan s = k <= kLastSymbolCode ? m_table.find(k) : SymbolSpan{};
    m_selectedStart = s.start;
    m_selectedWidth = s.width;
    accept();
}

void TFormGFXSymbols::WczytajSymbolGraficznyZPlikuClick() {
    m_staging.clear();
    const QString file =
        m_prompts.openPicture(QStringLiteral("Wybierz plik graficzny z symbolem"),
                              QStringLiteral("Bitmaps (*.bmp)"), QStringLiteral("."));
    if (file.isEmpty()) return;
    const QImage image(file);
    if (image.isNull()) {
        m_prompts.error(QStringLiteral("Nie można wczytać pliku graficznego %1.")
                            .arg(QFileInfo(file).fileName()));
        return;
    }
    const unsigned start = unsigned(DrawGrid1->cell()) + 1;
    // A picture wider than the staging holds is wider than any table.
    if (!ConvertPicture(toPixels(image), m_staging)) {
        m_prompts.error(QString::fromUtf8(kNoRoom));
    } else {
        switch (m_table.place(start, m_staging)) {
        case PlaceResult::Placed:
            break;
        case PlaceResult::NoRoom:
            m_prompts.error(QString::fromUtf8(kNoRoom));
            break;
        case PlaceResult::Taken:
            m_prompts.error(QString::fromUtf8(kTaken));
            break;
        }
    }
    DrawGrid1HightlightSymbol();
    save();
}

unsigned TFormGFXSymbols::codeUnderCursorOrClose() {
    unsigned k = unsigned(DrawGrid1->cell()) + 1;
    if (k >= unsigned(kSymbolGridCells)) {
        k = 0;
        close();
    }
    return k;
}

void TFormGFXSymbols::UsunSymbolGraficznyClick() {
    const SymbolSpan s = m_table.find(codeUnderCursorOrClose());
    if (s.found() && m_prompts.question(QString::fromUtf8(kDeleteQuestion))) m_table.remove(s);
    DrawGrid1HightlightSymbol();
    save();
}

void TFormGFXSymbols::ZaprojektujNowySymbolGraficznyClick() {
    m_editor->setMode(EditorMode::New);
    m_editor->exec();
}

void TFormGFXSymbols::ZmienIstniejacySymbolGraficznyClick() {
    const SymbolSpan s = m_table.find(codeUnderCursorOrClose());
    if (!s.found()) {
        m_prompts.error(QString::fromUtf8(kNoSymbol));
        return;
    }
    SymbolPicture& picture = m_editor->picture();
    picture.bytes = m_table.columns(s);
    picture.pixelWidth = int(8 * s.width);
    picture.height = int(m_table.height());
    picture.start = s.start;
    m_editor->setMode(EditorMode::Editing);
    m_editor->exec();
    if (m_editor->mode() != EditorMode::Save) return;
    m_table.writeColumns(picture.start, picture.bytes);
    DrawGrid1->update();
    save();
}

void TFormGFXSymbols::CategoryButtons1Categories0Items3Click() {
    m_selectedStart = 0;
    close();
}

void TFormGFXSymbols::TimerExpandCategoryButtonsTimer() {
    if (isVisible()) CategoryButtons1->expandAll();
}

void TFormGFXSymbols::save() {
    const FileResult r = m_table.commit();
    DrawGrid1->update();
    if (!r) m_prompts.error(QString::fromStdString(r.message()));
}

void TFormGFXSymbols::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (parentWidget())
        move(parentWidget()->geometry().center() - QPoint(width() / 2, height() / 2));
    DrawGrid1HightlightSymbol();
}

void TFormGFXSymbols::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        m_selectedStart = 0;
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace pixbar
