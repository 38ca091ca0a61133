#include "ledview.h"

#include <QImage>

#include <gtest/gtest.h>

using namespace pixbar;

namespace {

/// The widget painted over a green picture, only within `region`.
QImage painted(LedView& view, const QRegion& region) {
    QImage image(view.size(), QImage::Format_RGB32);
    image.fill(Qt::green);
    // The painted part lands at the target offset; keep it where it lies on the widget.
    view.render(&image, region.boundingRect().topLeft(), region, QWidget::RenderFlags());
    return image;
}

} // namespace

// Whatever part of the sign view is painted, it is covered whole: the LED bitmap where the sign
// lies, black in the margins and beside the sign, and nothing outside the part asked for.
TEST(LedView, PaintsTheAskedPartWholeFromTheBitmapAndBlackBesideTheSign) {
    SignGeometry g;
    g.set(12, 16);
    FrameBuffer frame{};
    for (std::size_t i = 0; i < frame.size(); i += 5) frame[i] = std::uint8_t(0x5A + i);
    LedBitmap bitmap;
    RenderLeds(g, frame, bitmap);
    LedView view(bitmap);
    const QRect sign = LedView::onWidget(bitmap.usedArea());
    EXPECT_EQ(sign, QRect(0, kLedImageTop, 8 * 12 * 7, 16 * 7));

    const QRect changed = LedView::onWidget(LedArea{56, 14, 112, 21});
    for (const QRegion& region : {QRegion(view.rect()), QRegion(changed),
                                  QRegion(QRect(600, 0, 360, 132)).united(changed)}) {
        const QImage image = painted(view, region);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                QRgb want = qRgb(0, 255, 0);
                if (region.contains(QPoint(x, y)))
                    want = sign.contains(x, y) ? (0xFF000000 | bitmap.at(x, y - kLedImageTop))
                                               : qRgb(0, 0, 0);
                if (image.pixel(x, y) != want) {
                    ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex
                                  << image.pixel(x, y) << " not " << want;
                    return;
                }
            }
    }
}
