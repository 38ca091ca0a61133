// The main window opens the stopwatch and the file sync mode, both over its one protocol.
#include "categorybuttons.h"
#include "memoryport.h"
#include "shelltesting.h"
#include "signframe.h"
#include "testfonts.h"
#include "unitautosync.h"
#include "unitpixbar4designer.h"
#include "unitstopwatch.h"
#include "unitsync.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

using namespace pixbar;
using namespace pixbar::testing;
namespace fs = std::filesystem;

namespace {

class ToolWindows : public DesignerFolder {
protected:
    void SetUp() override {
        DesignerFolder::SetUp();
        form = std::make_unique<TForm1>(prompts);
        QString error;
        ASSERT_TRUE(form->FormCreate(&error)) << error.toStdString();
        auto device = std::make_unique<MemoryPort>(clock);
        port = device.get();
        port->setResponder([this](std::span<const std::uint8_t> raw) {
            std::vector<std::uint8_t> frame(raw.begin(), raw.end());
            frames.push_back(frame);
            std::vector<std::uint8_t> reply(kFrameCapacity);
            FrameBuilder builder(reply);
            builder.frame(1, 0, 0x80, {});
            reply.resize(builder.size());
            return reply;
        });
        form->useProtocol(std::make_unique<ComProtocol>(std::move(device), clock));
        form->settings().portName = "/dev/memory";
    }
    /// Runs `then` from the event loop as soon as `ready` holds.
    void when(std::function<bool()> ready, std::function<void()> then) {
        auto* timer = new QTimer(form.get());
        timer->setInterval(1);
        QObject::connect(timer, &QTimer::timeout, form.get(), [=] {
            if (!ready()) return;
            timer->stop();
            timer->deleteLater();
            then();
        });
        timer->start();
    }
    FakeClock clock;
    MemoryPort* port = nullptr;
    std::vector<std::vector<std::uint8_t>> frames;
};

} // namespace

TEST_F(ToolWindows, StoperButtonShowsTheStopwatchModallyWithThePortOpen) {
    auto* button = form->findChild<QToolButton*>(QStringLiteral("ToolButton3"));
    ASSERT_TRUE(button);
    EXPECT_EQ(button->text(), QStringLiteral("Stoper"));
    EXPECT_TRUE(button->isEnabled());
    bool seen = false;
    QTimer::singleShot(0, form.get(), [&] {
        seen = form->stopwatchWindow().isVisible() && form->stopwatchWindow().isModal() &&
               port->isOpen() && port->openedLocation() == QStringLiteral("/dev/memory");
        form->stopwatchWindow().CategoryButtons1Categories0Items0Click(); // start
        form->stopwatchWindow().CategoryButtons1Categories0Items4Click(); // close
    });
    button->click();
    EXPECT_TRUE(seen);
    EXPECT_FALSE(form->stopwatchWindow().isVisible());
    EXPECT_FALSE(port->isOpen());
    EXPECT_EQ(frames.size(), 1u); // the time sent at the start
    EXPECT_TRUE(prompts.errors.isEmpty());
}

TEST_F(ToolWindows, AkcjeButtonRunsTheFileSyncModeUntilItIsLeft) {
    CategoryButtons& panel = form->categoryButtons();
    const int actions = panel.groupCount() - 1;
    ASSERT_EQ(panel.itemCount(actions), 14);
    EXPECT_EQ(panel.itemCaption(actions, 11),
              QStringLiteral("Synchronizuj zegar w linijce świetlnej"));
    EXPECT_EQ(panel.itemCaption(actions, 12),
              QStringLiteral("Przejdź to trybu synchronizacji z plikiem"));
    EXPECT_EQ(panel.itemCaption(actions, 13),
              QStringLiteral("Wyświetl na linijce bieżący komunikat"));
    bool running = false;
    // The start-up steps run once the window is on screen.
    when([&] { return form->autosyncWindow().session().active(); },
         [&] {
             running = form->autosyncWindow().isVisible();
             form->autosyncWindow().CategoryButtons1Categories0Items1Click();
         });
    panel.clickItem(actions, 12);
    EXPECT_TRUE(running);
    EXPECT_FALSE(form->autosyncWindow().session().active());
    EXPECT_FALSE(port->isOpen());
    EXPECT_EQ(frames.size(), 2u); // the clock, then the emptied slot 9
    std::ifstream in(dir / "as.cfg", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "dane.txt\n");
}

TEST_F(ToolWindows, SendingTheUserFontWithoutOneSendsNothing) {
    form->WyslijCzcionkeUzytkownikaDoLinijkiClick();
    EXPECT_TRUE(frames.empty());
    ASSERT_EQ(prompts.errors.size(), 1);
    EXPECT_EQ(prompts.errors[0],
              QStringLiteral("Nie wczytano czcionki użytkownika, nie mam czego wysłać!"));
}

TEST_F(ToolWindows, APortHeldByTheFileSyncModeStaysWithIt) {
    TForm3& sync = form->autosyncWindow();
    // Closed with the title bar, the mode keeps its port and goes on polling.
    when([&] { return sync.session().active(); }, [&] { sync.close(); });
    form->CategoryButtons1Categories6Items12Click();
    ASSERT_TRUE(sync.session().active());
    const std::size_t sent = frames.size();

    form->Synchronizuj_WyslijKonfiguracjeClick();
    EXPECT_EQ(prompts.errors, QStringList{QStringLiteral("Nie mogę otworzyć portu /dev/memory !")});
    // The stopwatch cannot have it either, and closing it leaves the port alone.
    form->ToolButton3Click();
    EXPECT_EQ(prompts.errors.size(), 2);
    EXPECT_EQ(frames.size(), sent);
    EXPECT_TRUE(port->isOpen());

    sync.session().StopSyncMode();
    EXPECT_EQ(frames.size(), sent + 1); // slot 9 emptied
    EXPECT_FALSE(port->isOpen());
}

TEST_F(ToolWindows, SendingEverythingStopsAfterTheStepDuringWhichCloseWasClicked) {
    TFormSync& sync = form->syncWindow();
    bool usable = false;
    port->setResponder([&](std::span<const std::uint8_t> raw) {
        frames.emplace_back(raw.begin(), raw.end());
        if (frames.size() == 1) {
            // The clock step runs with the main window disabled; the window stays usable.
            usable = !form->isEnabled() && sync.isEnabled() && sync.isVisible();
            sync.CategoryButtons1->clickItem(0, 0);
        }
        std::vector<std::uint8_t> reply(kFrameCapacity);
        FrameBuilder builder(reply);
        builder.frame(1, 0, 0x80, {});
        reply.resize(builder.size());
        return reply;
    });
    form->PrzerwijSynchronizacjeClick();
    EXPECT_TRUE(usable);
    EXPECT_EQ(sync.SyncState, TFormSync::AbortRequested);
    EXPECT_EQ(frames.size(), 1u); // the clock only; the messages never started
    EXPECT_FALSE(sync.isVisible());
    EXPECT_TRUE(form->isEnabled());
}
