// The stopwatch window over an in-memory sign.
#include "categorybuttons.h"
#include "unitstopwatch.h"
#include "windowtesting.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>

namespace pixbar {
namespace {

using namespace pixbar::testing;

class StopwatchWindow : public ::testing::Test {
protected:
    StopwatchWindow() {
        rig.port->setResponder([this](std::span<const std::uint8_t> raw) {
            sent.push_back(Decode(Bytes(raw.begin(), raw.end()), 2));
            return answer ? Reply(2, 0, 0x80) : Bytes{};
        });
        rig.port->close();
        form = std::make_unique<TFormStopwatch>(
            [this]() -> ComProtocol& { return *rig.protocol; },
            [] {
                return SignTarget{QStringLiteral("/dev/memory"), 2};
            },
            prompts, ticks);
    }
    ~StopwatchWindow() override { form.reset(); }

    /// The text of the last text frame the sign got.
    std::string lastText() const {
        for (auto it = sent.rbegin(); it != sent.rend(); ++it)
            if (it->command == kCommandText)
                return std::string(it->payload.begin() + 6, it->payload.end() - 1);
        return {};
    }
    QString display() const { return form->LabelStopwatchDisplay->text(); }

    Rig rig;
    ManualTickCount ticks{50000};
    ScriptedPrompts prompts;
    std::vector<Sent> sent;
    bool answer = true;
    std::unique_ptr<TFormStopwatch> form;
};

TEST_F(StopwatchWindow, LooksAsTheOperatorExpectsWhenShown) {
    ShowActive(form.get());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Stoper"));
    EXPECT_TRUE(rig.port->isOpen());
    EXPECT_EQ(display(), QStringLiteral("00:00:00"));
    EXPECT_EQ(form->displayColour(), QColor(255, 255, 0));
    EXPECT_EQ(form->Label2->text(), QStringLiteral("Tekst"));
    const QStringList captions = {QStringLiteral("Start (Spacja)"), QStringLiteral("Kasuj (K)"),
                                  QStringLiteral("Pokaż tekst (T)"),
                                  QStringLiteral("Wyświetl komunikat nr  ..."),
                                  QStringLiteral("Zamknij okno")};
    ASSERT_EQ(form->CategoryButtons1->itemCount(0), captions.size());
    for (int i = 0; i < captions.size(); ++i)
        EXPECT_EQ(form->CategoryButtons1->itemCaption(0, i), captions[i]);
    EXPECT_FALSE(form->TimerStopwatch.isActive());
    EXPECT_TRUE(sent.empty());
}

TEST_F(StopwatchWindow, SpaceStartsAndStopsAndTheTickShowsAndSendsTheTime) {
    ShowActive(form.get());
    TypeKey(form.get(), Qt::Key_Space, QStringLiteral(" "));
    EXPECT_EQ(form->state(), StopwatchState::Running);
    EXPECT_EQ(form->startCaption(), QStringLiteral("Stop (Spacja)"));
    EXPECT_EQ(form->displayColour(), QColor(0, 255, 0));
    EXPECT_TRUE(form->TimerStopwatch.isActive());
    EXPECT_EQ(form->TimerStopwatch.interval(), 250);
    ticks.advance(3661000);
    form->TimerStopwatchTimer();
    EXPECT_EQ(display(), QStringLiteral("01:01:01"));
    EXPECT_EQ(lastText(), "\\E0201:01:01");
    ticks.advance(1000);
    TypeKey(form.get(), Qt::Key_Space, QStringLiteral(" "));
    EXPECT_EQ(form->state(), StopwatchState::Stopped);
    EXPECT_EQ(form->startCaption(), QStringLiteral("Start (Spacja)"));
    EXPECT_EQ(form->displayColour(), QColor(255, 255, 0));
    EXPECT_FALSE(form->TimerStopwatch.isActive());
    EXPECT_EQ(lastText(), "\\E0201:01:02");
}

TEST_F(StopwatchWindow, KeysGoToTheTextFieldUntilEnter) {
    ShowActive(form.get());
    form->EditFastMsg->setFocus();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), form->EditFastMsg);
    for (const char* c : {"T", "a", " ", "k"}) TypeKey(form.get(), c[0], QString::fromLatin1(c));
    EXPECT_EQ(form->EditFastMsg->text(), QStringLiteral("Ta k"));
    EXPECT_EQ(form->state(), StopwatchState::Stopped);
    EXPECT_TRUE(sent.empty());

    TypeKey(form.get(), Qt::Key_Return, QStringLiteral("\r"));
    EXPECT_FALSE(form->EditFastMsg->hasFocus());
    TypeKey(form.get(), Qt::Key_Space, QStringLiteral(" "));
    EXPECT_EQ(form->state(), StopwatchState::Running);
    TypeKey(form.get(), Qt::Key_T, QStringLiteral("t"));
    EXPECT_EQ(form->state(), StopwatchState::TextShown);
    EXPECT_EQ(lastText(), "Ta k");
    ticks.advance(5000);
    TypeKey(form.get(), Qt::Key_K, QStringLiteral("K"));
    EXPECT_EQ(display(), QStringLiteral("00:00:00"));
    EXPECT_EQ(lastText(), "Ta k"); // the text stays on the sign
}

TEST_F(StopwatchWindow, MessageMenuAsksTheSignForTheChosenMessage) {
    ShowActive(form.get());
    const QList<QAction*> items = form->PopupMenuShowMsgNo->actions();
    ASSERT_EQ(items.size(), 8);
    EXPECT_EQ(items[0]->text(), QStringLiteral("&1"));
    EXPECT_EQ(items[0]->objectName(), QStringLiteral("N11"));
    EXPECT_EQ(items[7]->objectName(), QStringLiteral("N81"));
    items[4]->trigger();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].command, kCommandShowSlot1 + 4);
    answer = false;
    items[0]->trigger();
    EXPECT_EQ(prompts.errors, QStringList{QStringLiteral("Nie mogę wysłać komendy do linijki!")});
}

TEST_F(StopwatchWindow, FailedTimeSendTurnsTheDisplayRed) {
    ShowActive(form.get());
    form->CategoryButtons1Categories0Items0Click();
    answer = false;
    form->TimerStopwatchTimer();
    EXPECT_EQ(form->displayColour(), QColor(255, 0, 0));
    EXPECT_TRUE(prompts.errors.isEmpty());
    EXPECT_TRUE(form->TimerStopwatch.isActive());
}

TEST_F(StopwatchWindow, PortThatCannotOpenClosesTheWindowAgain) {
    rig.port->setOpenable(false);
    ShowActive(form.get());
    EXPECT_EQ(prompts.errors, QStringList{QStringLiteral("Nie mogę otworzyć portu /dev/memory !")});
    QApplication::processEvents();
    EXPECT_FALSE(form->isVisible());
}

TEST_F(StopwatchWindow, ClosingStopsTheTickAndClosesThePort) {
    ShowActive(form.get());
    form->CategoryButtons1Categories0Items0Click();
    form->CategoryButtons1Categories0Items4Click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->TimerStopwatch.isActive());
    EXPECT_FALSE(rig.port->isOpen());
    // Shown again, the next start counts from zero.
    ShowActive(form.get());
    ticks.advance(9000);
    form->CategoryButtons1Categories0Items0Click();
    EXPECT_EQ(lastText(), "\\E0200:00:00");
    form->close();
    EXPECT_FALSE(rig.port->isOpen());
}

TEST_F(StopwatchWindow, CollapsedGroupOpensAgainOnTheNextExpandTick) {
    EXPECT_TRUE(form->TimerExpandCategoryButtons.isActive());
    EXPECT_EQ(form->TimerExpandCategoryButtons.interval(), 2000);
    form->CategoryButtons1->setExpanded(0, false);
    ASSERT_FALSE(form->CategoryButtons1->isExpanded(0));
    form->TimerExpandCategoryButtonsTimer();
    EXPECT_TRUE(form->CategoryButtons1->isExpanded(0));
}

} // namespace
} // namespace pixbar
