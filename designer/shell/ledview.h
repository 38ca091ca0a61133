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

protected:
    void paintEvent(QPaintEvent*) override;

private:
    LedBitmap& m_bitmap;
};

} // namespace pixbar
