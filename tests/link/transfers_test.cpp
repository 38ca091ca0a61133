#include "linktesting.h"
#include "transfers.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

using namespace pixbar;
using namespace pixbar::testing;

namespace {

/// Records what the user would see, in order.
struct RecordingUi : TransferUi {
    QStringList events;
    bool popupShown = false;
    void showStatus(const QString& t) override { events << "status: " + t; }
    void showPopup(const QString& t) override {
        popupShown = true;
        events << "popup: " + t;
    }
    void setPopupText(const QString& t) override { events << "popup text: " + t; }
    void hidePopup() override {
        popupShown = false;
        events << "popup hidden";
    }
    void error(const QString& t) override { events << "error: " + t; }
    void processEvents() override {}
};

class TransferCommands : public ::testing::Test {
protected:
    void SetUp() override { rig.acknowledgeAll(); }
    /// Frames the sign received, decoded.
    std::vector<Sent> sent() const {
        std::vector<Sent> out;
        for (const auto& w : rig.port->writes()) out.push_back(Decode(w, 7));
        return out;
    }
    Rig rig;
    RecordingUi ui;
    Transfers transfers{*rig.protocol, ui};
    SignTarget sign{QStringLiteral("/dev/memory"), 7};
};

} // namespace

TEST_F(TransferCommands, MessageGoesOutAsEightBlocksAndIsReported) {
    MessageRecord r;
    r.setCell(0, {2, 'A'});
    EXPECT_TRUE(transfers.sendMessage(sign, 3, r));
    EXPECT_EQ(ui.events,
              (QStringList{"status: Wysyłam komunikat numer 3", "popup: Wysyłam komunikat numer 3",
                           "status: Komunikat został wysłany.", "popup hidden"}));
    const auto frames = sent();
    ASSERT_EQ(frames.size(), 8u);
    for (const Sent& s : frames) {
        EXPECT_EQ(s.destination, 7);
        EXPECT_EQ(s.command, kCommandMessageBlock);
    }
    EXPECT_EQ(frames[0].payload[kBlockHeaderSize + 1], 'A');
    EXPECT_FALSE(rig.port->isOpen()); // closed again after the command
}

TEST_F(TransferCommands, MissingPortIsNamedAndNothingElseHappens) {
    rig.port->close();
    rig.port->setOpenable(false);
    sign.portName = QStringLiteral("COM9");
    const std::array<std::uint8_t, 8> config{1, 90, 2, 12, 0, 0, 0, 0};
    EXPECT_FALSE(transfers.sendConfiguration(sign, config));
    EXPECT_EQ(ui.events, (QStringList{"status: Wysyłam konfigurację.",
                                      "error: Nie mogę otworzyć portu COM9 !"}));
    EXPECT_FALSE(ui.popupShown);
    EXPECT_TRUE(rig.port->writes().empty());
}

TEST_F(TransferCommands, SetStopsAtTheMessageTheSignRefuses) {
    int frames = 0;
    rig.port->setResponder([&](std::span<const std::uint8_t>) {
        // The first block of message 3 is the 17th frame.
        return Reply(7, 0, ++frames == 17 ? 0x81 : 0x80);
    });
    std::array<MessageRecord, 8> records;
    std::array<const MessageRecord*, 8> set;
    for (int i = 0; i < 8; ++i) set[i] = &records[i];
    EXPECT_FALSE(transfers.sendMessageSet(sign, set));
    EXPECT_EQ(frames, 17);
    EXPECT_TRUE(ui.events.contains("error: Nie mogę wysłać komunikatu numer 3 do linijki!"));
    EXPECT_FALSE(ui.events.contains("status: Wysyłam komunikat numer 4"));
    EXPECT_FALSE(ui.events.contains("status: Zestaw komunikatów został wysłany."));
    EXPECT_EQ(ui.events.back(), "popup hidden");
    EXPECT_FALSE(rig.port->isOpen());
}

TEST_F(TransferCommands, WholeSetEndsWithItsOwnStatus) {
    std::array<MessageRecord, 8> records;
    std::array<const MessageRecord*, 8> set;
    for (int i = 0; i < 8; ++i) set[i] = &records[i];
    EXPECT_TRUE(transfers.sendMessageSet(sign, set));
    EXPECT_EQ(sent().size(), 64u);
    EXPECT_EQ(ui.events.first(), "popup: ");
    EXPECT_TRUE(ui.events.contains("popup text: Wysyłam komunikat numer 8"));
    EXPECT_EQ(ui.events.mid(ui.events.size() - 2),
              (QStringList{"status: Zestaw komunikatów został wysłany.", "popup hidden"}));
}

TEST_F(TransferCommands, SilentSignGivesTheCommandsFailureBox) {
    rig.port->setResponder([](std::span<const std::uint8_t>) { return Bytes{}; });
    const std::uint8_t image[12] = {12, 0, 0, 0, 8, 0, 8, 0, 0, 0, 0, 0};
    EXPECT_FALSE(transfers.sendUserFont(sign, image));
    EXPECT_TRUE(ui.events.contains("error: Nie mogę wysłać komendy do linijki!"));
    EXPECT_EQ(rig.port->writes().size(),
              std::size_t(kTransactAttempts)); // the first block, 8 times
    ui.events.clear();
    EXPECT_FALSE(transfers.setClock(sign));
    EXPECT_EQ(ui.events, (QStringList{"status: Synchronizuję zegar.", "popup: Synchronizuję zegar.",
                                      "error: Nie mogę zsynchronizować zegara w linijce świetlnej!",
                                      "popup hidden"}));
}

TEST(TransferEvents, PendingClicksAreTakenBeforeTheErrorBox) {
    // A click held back during the wait (the stop of a run of every transfer) must reach
    // its window before a modal error box would swallow it.
    struct CountingUi : RecordingUi {
        int pumps = 0;
        int pumpsAtError = -1;
        void processEvents() override { ++pumps; }
        void error(const QString& t) override {
            pumpsAtError = pumps;
            RecordingUi::error(t);
        }
    };
    Rig rig;
    rig.port->setResponder([](std::span<const std::uint8_t>) { return Bytes{}; });
    const SignTarget sign{QStringLiteral("/dev/memory"), 7};
    CountingUi clockUi;
    EXPECT_FALSE(Transfers(*rig.protocol, clockUi).setClock(sign));
    EXPECT_GE(clockUi.pumpsAtError, 1);
    CountingUi setUi;
    std::array<MessageRecord, 8> records;
    std::array<const MessageRecord*, 8> set;
    for (int i = 0; i < 8; ++i) set[i] = &records[i];
    EXPECT_FALSE(Transfers(*rig.protocol, setUi).sendMessageSet(sign, set));
    // The pump before the first message, and the one after its failure.
    EXPECT_GE(setUi.pumpsAtError, 2);
}

TEST_F(TransferCommands, NoUserFontIsRefusedAndNothingIsSent) {
    EXPECT_FALSE(transfers.sendUserFont(sign, {}));
    EXPECT_EQ(ui.events,
              (QStringList{"error: Nie wczytano czcionki użytkownika, nie mam czego wysłać!"}));
    EXPECT_TRUE(rig.port->writes().empty());
}

TEST_F(TransferCommands, ShowingASlotUsesNoPopup) {
    EXPECT_TRUE(transfers.showMessage(sign, 5, true));
    EXPECT_TRUE(transfers.showMessage(sign, 2, false));
    EXPECT_EQ(ui.events, (QStringList{"status: Uruchamiam komunikat numer 5",
                                      "status: Wyświetlam komunikat numer 2"}));
    const auto frames = sent();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].command, kCommandShowSlot1 + 4);
    EXPECT_EQ(frames[1].command, kCommandShowSlot1 + 1);
}
