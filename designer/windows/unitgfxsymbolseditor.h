#pragma once

#include "symboltable.h"

#include <QDialog>
#include <QImage>

class QScrollArea;
class QToolBar;

namespace pixbar {

class CategoryButtons;

/// "Edytor symboli graficznych": paints one symbol pixel by pixel, each pixel a 16 x 16
/// square. It keeps its picture between showings; the caller reads `mode()` afterwards to
/// learn whether the picture is to be written back.
class TFormEdytorSymboliGraficznych : public QDialog {
    Q_OBJECT
public:
    explicit TFormEdytorSymboliGraficznych(QWidget* parent = nullptr);

    SymbolPicture& picture() { return m_picture; }
    const SymbolPicture& picture() const { return m_picture; }
    EditorMode mode() const { return m_mode; }
    void setMode(EditorMode mode) { m_mode = mode; }
    int zoom() const { return m_zoom; }
    /// The painted picture, as shown in `Image`.
    const QImage& bitmap() const { return m_bitmap; }

    /// Toggles the pixel under a press at (x, y) of the image and repaints.
    void ImageMouseDown(int x, int y);
    void ZakonczMalowanieIZapiszClick();
    void ZakonczMalowanieIPorzucClick();
    /// Paints the picture into `Image` (window shown, every pixel change).
    void paintPicture();

    QWidget* Image = nullptr;
    CategoryButtons* CategoryButtons1 = nullptr;
    QToolBar* ToolBar1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    class ImageView;
    int m_zoom = kEditorZoom;
    SymbolPicture m_picture;
    EditorMode m_mode = EditorMode::New;
    QImage m_bitmap;
    QScrollArea* m_scrollBox = nullptr;
};

} // namespace pixbar
