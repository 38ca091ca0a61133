// The designer at rest: its tick thread sleeps while no preview plays and runs again for the
// next one.

#include "shelltesting.h"
#include "unitpixbar4designer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

using namespace pixbar;
using namespace pixbar::testing;

namespace {

/// Runs the event loop for `ms` milliseconds.
void idle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

class RestingDesigner : public DesignerFolder {
protected:
    TForm1& openWithFastTick() {
        form = std::make_unique<TForm1>(prompts, [this](TickCounters& counters) {
            auto source = std::make_unique<RealTickSource>(counters, std::chrono::milliseconds(1));
            ticks = source.get();
            return source;
        });
        QString error;
        EXPECT_TRUE(form->FormCreate(&error)) << error.toStdString();
        form->show();
        return *form;
    }
    /// Processes events until the tick rests (at most 2 s).
    bool waitUntilResting() {
        QElapsedTimer waited;
        waited.start();
        while (!ticks->resting() && waited.elapsed() < 2000) idle(5);
        return ticks->resting();
    }
    RealTickSource* ticks = nullptr;
};

} // namespace

TEST_F(RestingDesigner, TheTickSleepsUntilAPreviewAndAgainAfterIt) {
    TForm1& f = openWithFastTick();
    idle(100); // a hundred periods of the injected tick
    EXPECT_TRUE(ticks->resting());
    EXPECT_EQ(ticks->wakeups(), 0u);
    EXPECT_EQ(ticks->ticks(), 0u);

    f.currentEditor()->insertCharacter('A');
    std::uint64_t frozen = 0;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        bool tickingWhilePlaying = false;
        // The second click comes once the tick has run 30 times since this preview began.
        QTimer poller;
        QObject::connect(&poller, &QTimer::timeout, &f, [&] {
            if (ticks->ticks() < frozen + 30) return;
            tickingWhilePlaying = !ticks->resting() && f.testRunning();
            poller.stop();
            f.Button1Click();
        });
        poller.start(2);
        f.Button1Click(); // returns when the preview has stopped
        EXPECT_TRUE(tickingWhilePlaying);
        EXPECT_FALSE(f.testRunning());
        ASSERT_TRUE(waitUntilResting());
        EXPECT_GE(ticks->ticks(), frozen + 30);
        frozen = ticks->ticks();
        const std::uint64_t wakeups = ticks->wakeups();
        idle(50);
        EXPECT_EQ(ticks->ticks(), frozen);
        EXPECT_EQ(ticks->wakeups(), wakeups);
    }
}
