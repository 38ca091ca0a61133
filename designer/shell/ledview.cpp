#include "ledview.h"

#include <QImage>
#include <QPainter>

namespace pixbar {

LedView::LedView(LedBitmap& bitmap, QWidget* parent) : QWidget(parent), m_bitmap(bitmap) {
    setObjectName(QStringLiteral("ImageLinijka"));
    setFixedSize(kLedBitmapWidth, kLedImageHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LedView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    // The bitmap's pixels are 0x00RRGGBB words: exactly QImage's RGB32, so no copy is made.
    const QImage image(reinterpret_cast<const uchar*>(m_bitmap.pixels.data()), kLedBitmapWidth,
                       kLedBitmapHeight, kLedBitmapWidth * 4, QImage::Format_RGB32);
    p.drawImage(0, kLedImageTop, image);
}

} // namespace pixbar
