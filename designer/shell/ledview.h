#pragma once

#include "pixbar.h"

#include <QWidget>

namespace pixbar {

/// ImageLinijka: the emulated sign, the LED bitmap between 10-pixel black margins.
class LedView : public QWidget {
    Q_OBJECT
public:
    LedView(LedBitmap& bitmap, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {kLedBitmapWidth, kLedImageHeight}; }
    /// Schedules a repaint of the part of the widget that shows `area` of the bitmap.
    void updateArea(const LedArea& area);
    /// Where `area` of the bitmap lies on the widget.
    static QRect onWidget(const LedArea& area);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    LedBitmap& m_bitmap;
};

} // namespace pixbar
