// The designer's own CPU (its GUI thread and the tick thread, from getrusage) while a 24 x 16
// scroller plays for 20 s in its main window, above the idle designer's, against the floor:
// a bare Qt window that repaints the same area as often in the same time (its cost scaled to
// the designer's count of repaints), above the same idle, measured in the same run. Needs a display: run it under Xvfb with
// QT_QPA_PLATFORM=xcb. Goal: ratio at most 1.25.

#include "designer_setup.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <fstream>

using namespace playerbench;
using namespace designerbench;

namespace {

constexpr int kPhaseMs = 20000;

double processCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

/// Counts the sign view's paint events and the pixels they cover.
class PaintCounter : public QObject {
public:
    long paints = 0;
    QRect area;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            ++paints;
            area = area.united(static_cast<QPaintEvent*>(e)->rect());
        }
        return false;
    }
};

/// The floor: a window that only repaints `area` from a bitmap, `count` times in `ms`.
class BareWindow : public QWidget {
public:
    BareWindow(const LedBitmap& bitmap) : m_bitmap(bitmap) {
        setFixedSize(kLedBitmapWidth, kLedImageHeight);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    void paintEvent(QPaintEvent* e) override {
        QPainter p(this);
        const QImage image(reinterpret_cast<const uchar*>(m_bitmap.pixels.data()),
                           kLedBitmapWidth, kLedBitmapHeight, kLedBitmapWidth * 4,
                           QImage::Format_RGB32);
        for (const QRect& r : e->region())
            p.drawImage(r.topLeft(), image, r.translated(0, -kLedImageTop));
    }

private:
    const LedBitmap& m_bitmap;
};

} // namespace

static void BM_DesignerScrollerAgainstBareWindow(benchmark::State& state) {
    designerApp("bench_designer_cpu");
    const DesignerFolder folder("pixbar-designer-cpu");

    for (auto _ : state) {
        SilentPrompts prompts;
        TForm1 form(prompts);
        QString error;
        if (!form.FormCreate(&error)) {
            state.SkipWithError(error.toStdString().c_str());
            break;
        }
        form.show();
        idle(1000); // shown and settled
        form.editor(1).loadRecord(textMessage(200));
        QWidget* view = form.findChild<QWidget*>(QStringLiteral("ImageLinijka"));
        PaintCounter counter;
        view->installEventFilter(&counter);

        double t0 = processCpuSeconds();
        idle(kPhaseMs);
        const double idleCpu = processCpuSeconds() - t0;

        bool stillPlaying = false;
        QTimer::singleShot(kPhaseMs, &form, [&] {
            stillPlaying = form.testRunning();
            form.Button1Click();
        });
        QElapsedTimer wall;
        wall.start();
        t0 = processCpuSeconds();
        form.Button1Click(); // returns when the preview has stopped
        const double playCpu = processCpuSeconds() - t0;
        const double playWall = double(wall.elapsed()) / 1000.0;
        view->removeEventFilter(&counter);
        if (!stillPlaying) state.SkipWithError("the preview ended before its time");

        BareWindow bare(form.emulator().bitmap);
        bare.move(0, 0);
        bare.show();
        idle(500);
        const QRect area = counter.area;
        const int interval =
            counter.paints > 0 ? int(std::lround(double(kPhaseMs) / double(counter.paints)))
                               : kPhaseMs;
        QTimer repaint;
        repaint.setTimerType(Qt::PreciseTimer);
        QObject::connect(&repaint, &QTimer::timeout, &bare, [&] { bare.update(area); });
        PaintCounter bareCounter;
        bare.installEventFilter(&bareCounter);
        repaint.start(interval);
        t0 = processCpuSeconds();
        idle(kPhaseMs);
        const double bareCpu = processCpuSeconds() - t0;
        repaint.stop();
        bare.removeEventFilter(&bareCounter);

        const double designer = playCpu - idleCpu * playWall / (kPhaseMs / 1000.0);
        // The floor per repaint, times the designer's repaints.
        const double floor = (bareCpu - idleCpu) * double(counter.paints) /
                             double(std::max(bareCounter.paints, 1L));
        const double core = kPhaseMs / 1000.0;
        state.counters["idle_percent"] = 100.0 * idleCpu / core;
        state.counters["designer_percent"] = 100.0 * designer / playWall;
        state.counters["floor_percent"] = 100.0 * floor / core;
        state.counters["ratio"] = (designer / playWall) / (floor / core);
        state.counters["paints"] = double(counter.paints);
        state.counters["bare_paints"] = double(bareCounter.paints);
        state.counters["area_px"] = double(area.width()) * area.height();
    }
}
BENCHMARK(BM_DesignerScrollerAgainstBareWindow)->Iterations(1)->Unit(benchmark::kSecond);
