#include "ledview.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>

namespace pixbar {

LedView::LedView(LedBitmap& bitmap, QWidget* parent) : QWidget(parent), m_bitmap(bitmap) {
    setObjectName(QStringLiteral("ImageLinijka"));
    setFixedSize(kLedBitmapWidth, kLedImageHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QRect LedView::onWidget(const LedArea& area) {
    return {area.x, kLedImageTop + area.y, area.width, area.height};
}

void LedView::updateArea(const LedArea& area) {
    if (!area.empty()) update(onWidget(area));
}

void LedView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    // The bitmap is black outside the sign, so only the sign's part is drawn from it and the
    // rest of what must be painted is filled; a repaint of changed LEDs fills nothing.
    const QRect sign = onWidget(m_bitmap.usedArea());
    const QRegion region = event->region();
    for (const QRect& r : region.subtracted(sign)) p.fillRect(r, Qt::black);
    // The bitmap's pixels are 0x00RRGGBB words: exactly QImage's RGB32, so no copy is made.
    const QImage image(reinterpret_cast<const uchar*>(m_bitmap.pixels.data()), kLedBitmapWidth,
                       kLedBitmapHeight, kLedBitmapWidth * 4, QImage::Format_RGB32);
    for (const QRect& r : region.intersected(sign))
        p.drawImage(r.topLeft(), image, r.translated(0, -kLedImageTop));
}

} // namespace pixbar
