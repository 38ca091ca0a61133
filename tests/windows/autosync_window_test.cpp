// The file sync window over an in-memory sign.
#include "categorybuttons.h"
#include "unitautosync.h"
#include "windowtesting.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>

#include <fstream>

namespace pixbar {
namespace {

using namespace pixbar::testing;
namespace fs = std::filesystem;

void WriteText(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

std::string ReadText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class AutosyncWindow : public ::testing::Test {
protected:
    AutosyncWindow() {
        rig.port->setResponder([this](std::span<const std::uint8_t> raw) {
            sent.push_back(Decode(Bytes(raw.begin(), raw.end()), 6));
            return Reply(6, 0, 0x80);
        });
        rig.port->close();
    }
    ~AutosyncWindow() override { form.reset(); }

    fs::path path(const char* name) const { return fs::path(dir.path().toStdString()) / name; }
    TForm3& make() {
        form = std::make_unique<TForm3>([this]() -> ComProtocol& { return *rig.protocol; },
                                        [] {
                                            return SignTarget{QStringLiteral("/dev/memory"), 6};
                                        },
                                        prompts, path("as.cfg"));
        return *form;
    }
    QString status() const { return form->LabelStatus->text(); }
    /// A data file with its own modification second.
    QString data(const std::string& line, int second = 1) {
        WriteText(path("dane.txt"), line);
        fs::last_write_time(path("dane.txt"),
                            fs::file_time_type(std::chrono::seconds(1700000000 + second)));
        return QString::fromStdString(path("dane.txt").string());
    }

    QTemporaryDir dir;
    Rig rig;
    ScriptedPrompts prompts;
    std::vector<Sent> sent;
    std::unique_ptr<TForm3> form;
};

TEST_F(AutosyncWindow, TheNameComesFromAsCfgOrIsDaneTxt) {
    EXPECT_EQ(make().EditPlik->text(), QStringLiteral("dane.txt"));
    EXPECT_TRUE(form->EditPlik->isReadOnly());
    EXPECT_EQ(form->Label1->text(), QStringLiteral("Nazwa pliku z danymi:"));
    EXPECT_EQ(status(), QStringLiteral("STATUS:"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Synchronizacja linijki z plikiem"));
    EXPECT_EQ(form->CategoryButtons1->itemCaption(0, 0), QStringLiteral("Wybierz plik"));
    EXPECT_EQ(form->CategoryButtons1->itemCaption(0, 1), QStringLiteral("Wyjdź z trybu"));
    WriteText(path("as.cfg"), "  /srv/kursy.txt \n");
    EXPECT_EQ(make().EditPlik->text(), QStringLiteral("/srv/kursy.txt"));
}

TEST_F(AutosyncWindow, ShowingStartsTheModeAndEachChangeIsSent) {
    TForm3& f = make();
    WriteText(path("as.cfg"), "x\n");
    f.EditPlik->setText(data("0 2 Kurs EUR\n"));
    ShowActive(&f);
    EXPECT_TRUE(rig.port->isOpen());
    EXPECT_TRUE(f.TimerSynchro.isActive());
    EXPECT_EQ(f.TimerSynchro.interval(), 1000);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].command, kCommandSetClock);
    EXPECT_EQ(status(), QStringLiteral("STATUS:Synchronizuję czas w linijce"));

    f.TimerSynchroTimer();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].command, kCommandStoreSlot9);
    MessageRecord expected;
    ASSERT_EQ(BuildSyncRecord("0 2 Kurs EUR\n", expected), SyncError::None);
    EXPECT_EQ(sent[1].payload, Bytes(expected.bytes.begin(), expected.bytes.end()));
    EXPECT_EQ(status(), QStringLiteral("STATUS:OK"));
    EXPECT_TRUE(f.Timer1.isActive());
    f.Timer1Timer();
    EXPECT_EQ(status(), QStringLiteral("STATUS:"));
    EXPECT_FALSE(f.Timer1.isActive());

    f.TimerSynchroTimer(); // unchanged: nothing
    EXPECT_EQ(sent.size(), 2u);
    data("0 2 A\n", 2);
    f.TimerSynchroTimer();
    EXPECT_EQ(sent.size(), 3u);
}

/// Counts the paints of a widget.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

TEST_F(AutosyncWindow, TheWindowIsOnScreenBeforeTheClockIsSet) {
    TForm3& f = make();
    PaintCounter counter;
    f.LabelStatus->installEventFilter(&counter);
    int paintsAtClock = -1;
    QString statusAtClock;
    rig.port->setResponder([&](std::span<const std::uint8_t> raw) {
        sent.push_back(Decode(Bytes(raw.begin(), raw.end()), 6));
        if (sent.size() == 1) {
            paintsAtClock = counter.paints;
            statusAtClock = status();
        }
        return Reply(6, 0, 0x80);
    });
    ShowActive(&f);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].command, kCommandSetClock);
    // Painted with each start-up text before the sign was asked.
    EXPECT_GE(paintsAtClock, 2);
    EXPECT_EQ(statusAtClock, QStringLiteral("STATUS:Synchronizuję czas w linijce"));
    EXPECT_TRUE(f.session().active());
}

TEST_F(AutosyncWindow, ChosenFileIsTakenAtOnceAndTheTitleBarCloseKeepsTheModeRunning) {
    TForm3& f = make();
    ShowActive(&f);
    const QString file = data("1 1 Hej");
    prompts.files.push_back(file);
    f.CategoryButtons1Categories0Items0Click();
    EXPECT_EQ(prompts.filters,
              QStringList{QStringLiteral("Pliki tekstowe (*.txt);;Wszystkie pliki (*.*)")});
    EXPECT_EQ(f.EditPlik->text(), file);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].command, kCommandStoreSlot9);

    f.close();
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(ReadText(path("as.cfg")), file.toStdString() + "\n");
    EXPECT_TRUE(f.TimerSynchro.isActive());
    EXPECT_TRUE(rig.port->isOpen());
    data("1 1 Nowy", 5);
    f.TimerSynchroTimer();
    EXPECT_EQ(sent.size(), 3u);
}

TEST_F(AutosyncWindow, LeavingClearsSlotNineClosesThePortAndSavesTheName) {
    TForm3& f = make();
    f.EditPlik->setText(data("1 1 A"));
    ShowActive(&f);
    f.TimerSynchroTimer();
    f.CategoryButtons1Categories0Items1Click();
    EXPECT_FALSE(f.isVisible());
    EXPECT_FALSE(f.TimerSynchro.isActive());
    EXPECT_FALSE(rig.port->isOpen());
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[2].command, kCommandStoreSlot9);
    EXPECT_EQ(sent[2].payload, Bytes(kRecordSize, 0));
    EXPECT_EQ(ReadText(path("as.cfg")), f.EditPlik->text().toStdString() + "\n");
}

TEST_F(AutosyncWindow, PortFailureIsShownInTheStatusAndNothingPolls) {
    TForm3& f = make();
    rig.port->setOpenable(false);
    ShowActive(&f);
    EXPECT_EQ(status(), QStringLiteral("STATUS:Nie mogę otworzyć portu /dev/memory !"));
    EXPECT_FALSE(f.TimerSynchro.isActive());
    EXPECT_TRUE(prompts.errors.isEmpty());
    // Choosing a file while idle only changes the name.
    prompts.files.push_back(data("1 1 A"));
    f.CategoryButtons1Categories0Items0Click();
    EXPECT_TRUE(sent.empty());
}

} // namespace
} // namespace pixbar
