#include "unitgfxsymbolseditor.h"

#include "categorybuttons.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

namespace pixbar {

namespace {
constexpr int kInitialImageWidth = 640;
constexpr int kInitialImageHeight = 337;
} // namespace

/// Shows the editor's bitmap and passes presses on to the editor.
class TFormEdytorSymboliGraficznych::ImageView : public QWidget {
public:
    ImageView(TFormEdytorSymboliGraficznych* editor, QWidget* parent)
        : QWidget(parent), m_editor(editor) {
        setObjectName(QStringLiteral("Image"));
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, m_editor->bitmap()); }
    void mousePressEvent(QMouseEvent* event) override {
        const QPoint p = event->position().toPoint();
        m_editor->ImageMouseDown(p.x(), p.y());
    }

private:
    TFormEdytorSymboliGraficznych* m_editor;
};

TFormEdytorSymboliGraficznych::TFormEdytorSymboliGraficznych(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormEdytorSymboliGraficznych"));
    setWindowTitle(QStringLiteral("Edytor symboli graficznych"));
    setWindowFlag(Qt::Tool);
    setModal(true);

    m_bitmap = QImage(kInitialImageWidth, kInitialImageHeight, QImage::Format_RGB32);
    m_bitmap.fill(Qt::black);

    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->addAction(style()->standardIcon(QStyle::SP_FileDialogDetailedView), QString());

    m_scrollBox = new QScrollArea(this);
    m_scrollBox->setObjectName(QStringLiteral("ScrollBox1"));
    m_scrollBox->setBackgroundRole(QPalette::Dark);
    Image = new ImageView(this, m_scrollBox);
    Image->setFixedSize(m_bitmap.size());
    m_scrollBox->setWidget(Image);

    CategoryButtons1 = new CategoryButtons(this);
    const int file = CategoryButtons1->addGroup(QStringLiteral("Plik"));
    CategoryButtons1->addItem(file, QStringLiteral("Wczytaj z pliku BMP"), {});
    CategoryButtons1->addItem(file, QStringLiteral("Zapisz do pliku BMP"), {});
    const int symbol = CategoryButtons1->addGroup(QStringLiteral("Symbol"));
    CategoryButtons1->addItem(symbol, QStringLiteral("Zakończ malowanie i zapisz"),
                              [this] { ZakonczMalowanieIZapiszClick(); });
    CategoryButtons1->addItem(symbol, QStringLiteral("Zakończ malowanie i porzuć"),
                              [this] { ZakonczMalowanieIPorzucClick(); });
    CategoryButtons1->setFixedWidth(210);

    auto* left = new QVBoxLayout;
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(0);
    left->addWidget(ToolBar1);
    left->addWidget(m_scrollBox, 1);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(left, 1);
    layout->addWidget(CategoryButtons1);
    resize(806, 384);
}

void TFormEdytorSymboliGraficznych::paintPicture() {
    const int w = m_picture.pixelWidth * m_zoom;
    const int h = m_picture.height * m_zoom;
    m_bitmap = QImage(w, h, QImage::Format_RGB32);
    if (!m_bitmap.isNull())
        PaintSymbolPicture(m_picture, m_zoom,
                           Image32{reinterpret_cast<std::uint32_t*>(m_bitmap.bits()), w, h,
                                   int(m_bitmap.bytesPerLine() / 4)});
    Image->setFixedSize(std::max(w, 0), std::max(h, 0));
    Image->update();
}

void TFormEdytorSymboliGraficznych::ImageMouseDown(int x, int y) {
    if (m_picture.toggleAt(x, y, m_zoom)) paintPicture();
}

void TFormEdytorSymboliGraficznych::ZakonczMalowanieIZapiszClick() {
    m_mode = m_mode == EditorMode::Editing ? EditorMode::Save : EditorMode::NewDone;
    close();
}

void TFormEdytorSymboliGraficznych::ZakonczMalowanieIPorzucClick() {
    m_mode = EditorMode::Discard;
    close();
}

void TFormEdytorSymboliGraficznych::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (parentWidget())
        move(parentWidget()->geometry().center() - QPoint(width() / 2, height() / 2));
    paintPicture();
}

} // namespace pixbar
