// The designer, pixbarctl sync and the service's own jobs share one sign through pixbard's
// relay: the designer's port is tcp:127.0.0.1:PORT of the relay, in front of the simulated sign.
#include "serviceprocess.h"
#include "settings.h"
#include "shelltesting.h"
#include "syncrun.h"
#include "unitappsettings.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>
#include <thread>

using namespace pixbar;
using namespace pixbar::testing;

namespace {

/// One frame the simulated sign received, as its log line has it.
struct LoggedFrame {
    int command = -1;
    std::vector<std::uint8_t> payload;
};

std::vector<LoggedFrame> LoggedFrames(const SimProcess& sim) {
    std::vector<LoggedFrame> frames;
    for (const QByteArray& line : sim.frameLines()) {
        LoggedFrame f;
        bool ok = false;
        const int cmd = line.indexOf("cmd=0x"), data = line.indexOf("data=");
        if (cmd >= 0) f.command = line.mid(cmd + 6, 2).toInt(&ok, 16);
        if (data >= 0) {
            const QByteArray bytes = QByteArray::fromHex(line.mid(data + 5).trimmed());
            f.payload.assign(bytes.begin(), bytes.end());
        }
        frames.push_back(std::move(f));
    }
    return frames;
}

/// Whether `f` is block `block` of a transfer of `command` carrying `image` (whose blocks are
/// 128 bytes each; header byte 0 is `first`).
bool IsBlockOf(const LoggedFrame& f, int command, std::uint8_t first,
               const std::vector<std::uint8_t>& image, int block) {
    if (f.command != command || f.payload.size() != kBlockPayloadSize || f.payload[0] != first ||
        f.payload[1] != std::uint8_t(block * f.payload[2]))
        return false;
    const auto from = image.begin() + block * std::ptrdiff_t(kBlockDataSize);
    return std::equal(from, from + kBlockDataSize, f.payload.begin() + kBlockHeaderSize);
}

/// Where a transfer's blocks lie in the log: they must follow each other with nothing of
/// anyone else between them (a retried block may repeat). The index of its first frame and
/// one past its last, or nothing when its blocks are missing, out of order or interleaved.
struct Run {
    std::size_t begin = 0, end = 0;
};
std::optional<Run> FindRun(const std::vector<LoggedFrame>& log,
                           const std::vector<std::pair<std::uint8_t, const std::vector<std::uint8_t>*>>&
                               parts,
                           int command, int blocks) {
    // The sequence of (part, block) the transfer sends, in order.
    std::vector<std::pair<std::size_t, int>> expected;
    for (std::size_t p = 0; p < parts.size(); ++p)
        for (int b = 0; b < blocks; ++b) expected.emplace_back(p, b);
    const auto matches = [&](const LoggedFrame& f, std::size_t step) {
        const auto [p, b] = expected[step];
        return IsBlockOf(f, command, parts[p].first, *parts[p].second, b);
    };
    for (std::size_t start = 0; start < log.size(); ++start) {
        if (!matches(log[start], 0)) continue;
        std::size_t step = 0, i = start + 1;
        for (; i < log.size() && step + 1 < expected.size(); ++i) {
            if (matches(log[i], step + 1)) ++step;
            else if (!matches(log[i], step)) return std::nullopt; // someone else's frame
        }
        if (step + 1 != expected.size()) return std::nullopt;
        return Run{start, i};
    }
    return std::nullopt;
}

std::vector<std::uint8_t> Page(TForm1& f, int page) {
    f.showPage(page);
    const auto& bytes = f.currentEditor()->record().bytes;
    return {bytes.begin(), bytes.end()};
}

class DesignerThroughRelay : public DesignerFolder {
protected:
    /// The sign on TCP and pixbard with a relay on a free port in front of it.
    void startService() {
        sim = std::make_unique<SimProcess>(Line::Tcp, std::vector<std::string>{"--width", "12"});
        ASSERT_TRUE(sim->ready());
        const int port = FreePort();
        relay = QStringLiteral("tcp:127.0.0.1:%1").arg(port);
        service = std::make_unique<ServiceProcess>(
            *sim, std::vector<std::string>{"relay = 127.0.0.1:" + std::to_string(port)});
        ASSERT_TRUE(service->ready()) << service->log();
    }
    void TearDown() override {
        service.reset();
        sim.reset();
        DesignerFolder::TearDown();
    }

    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<ServiceProcess> service;
    QString relay;
};

TEST_F(DesignerThroughRelay, SetSyncAndServiceJobsTakeTheLineInTurn) {
    ASSERT_NO_FATAL_FAILURE(startService());
    SyncRun sync(*sim, {}, relay);
    sync.write("0 1 Start\n");
    ASSERT_TRUE(sync.slotHolds(SyncRecord(1, 1, "Start "), 10000ms)) << sync.output();

    writeConfig(relay.toStdString() + "\n90\n2\n12\n12\n8\n4660\n");
    TForm1& f = openForm();
    f.show();
    std::vector<std::vector<std::uint8_t>> pages;
    for (int page = 1; page <= kMessageCount; ++page) {
        f.showPage(page);
        for (char c : "Strona " + std::to_string(page)) f.currentEditor()->keyPress(std::uint8_t(c));
        pages.push_back(Page(f, page));
    }

    // While the designer holds the line: a user font and a configuration through the API, the
    // status asked on the way, and a new line for the sync.
    std::vector<std::uint8_t> font = {12, 0, 0, 0};
    for (std::size_t i = 0; i < kUserFontSendBytes; ++i) font.push_back(std::uint8_t(i * 7 + 1));
    int fontStatus = 0, configStatus = 0;
    std::string statusDuringSet;
    std::thread api([&] {
        auto client = service->client();
        std::this_thread::sleep_for(800ms);
        if (auto a = client->Get(ServiceProcess::kSignPath)) statusDuringSet = a->body;
        auto put = client->Put((std::string(ServiceProcess::kSignPath) + "/userfont").c_str(),
                               std::string(font.begin(), font.end()), "application/octet-stream");
        fontStatus = put ? put->status : -1;
        put = client->Put((std::string(ServiceProcess::kSignPath) + "/config").c_str(),
                          R"({"brightness":40,"speed":7,"displayTime":3})", "application/json");
        configStatus = put ? put->status : -1;
    });
    QTimer::singleShot(3000, [&] { sync.write("1 2 W trakcie\n"); });
    f.Synchronizuj_WyslijZestawKomunikatowClick();
    api.join();

    EXPECT_EQ(f.statusText(), QStringLiteral("Zestaw komunikatów został wysłany."));
    EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join('|').toStdString();
    EXPECT_NE(statusDuringSet.find("\"relayClient\":\"127.0.0.1:"), std::string::npos)
        << statusDuringSet;
    EXPECT_EQ(fontStatus, 200) << service->log();
    EXPECT_EQ(configStatus, 200) << service->log();
    EXPECT_TRUE(sync.slotHolds(SyncRecord(0, 2, "W trakcie "), 15000ms)) << sync.output();

    // Every record exactly as its sender sent it.
    for (int n = 1; n <= kMessageCount; ++n)
        EXPECT_EQ(sim->state(("slot" + std::to_string(n) + ".kom").c_str()), pages[n - 1])
            << "slot " << n;
    EXPECT_EQ(sim->state("font.fnd"), std::vector<std::uint8_t>(font.begin(),
                                                               font.begin() + kUserFontSendBytes));
    const SignConfig config = BuildSignConfig(40, 7, 3);
    EXPECT_EQ(sim->state("config.bin"), std::vector<std::uint8_t>(config.begin(), config.end()));

    // No transfer shares the line with another: the designer's 64 blocks, then the font's 16
    // that came while they went out, each without a stranger's frame among them.
    const auto log = LoggedFrames(*sim);
    std::vector<std::pair<std::uint8_t, const std::vector<std::uint8_t>*>> set, image;
    for (int n = 0; n < kMessageCount; ++n) set.emplace_back(std::uint8_t(n), &pages[n]);
    image.emplace_back(0, &font);
    const auto designer = FindRun(log, set, kCommandMessageBlock, kMessageBlocks);
    const auto fontRun = FindRun(log, image, kCommandUserFontBlock, kUserFontBlocks);
    ASSERT_TRUE(designer) << sim->log().toStdString();
    ASSERT_TRUE(fontRun) << sim->log().toStdString();
    EXPECT_GE(fontRun->begin, designer->end);
    // The sync's new line went out after the designer let the line go.
    const auto synced = SyncRecord(0, 2, "W trakcie ");
    std::size_t syncAt = 0;
    for (std::size_t i = 0; i < log.size(); ++i)
        if (log[i].command == kCommandStoreSlot9 && log[i].payload == synced) syncAt = i;
    EXPECT_GE(syncAt, designer->end);
    EXPECT_TRUE(syncAt < fontRun->begin || syncAt >= fontRun->end);

    // Once everybody is quiet the relay has no client (a waiting retry of the sync may still
    // take a turn of its own first).
    std::string status;
    EXPECT_TRUE(WaitFor(
        [&] {
            const auto answer = service->client()->Get(ServiceProcess::kSignPath);
            status = answer ? answer->body : std::string();
            return status.find("\"relayClient\":null") != std::string::npos;
        },
        10000ms))
        << status;
}

TEST_F(DesignerThroughRelay, SearchFindsTheSignBehindTheRelay) {
    ASSERT_NO_FATAL_FAILURE(startService());
    writeConfig("COM1\n90\n2\n12\n8\n8\n1\n");
    openForm();
    TFormAppSettings& w = form->appSettings();
    w.FormShow();
    w.ComboBoxCOM->setEditText(relay);
    w.CategoryButtons1Categories0Items2Click();
    const QStringList lines = w.Memo1->toPlainText().split(QLatin1Char('\n'));
    EXPECT_EQ(lines.value(0), QStringLiteral("Szukam na porcie ") + relay);
    EXPECT_EQ(lines.value(2), QStringLiteral("Port: ") + relay);
    EXPECT_EQ(lines.value(3), QStringLiteral("Numer seryjny: 4660"));
    EXPECT_EQ(w.ComboBoxCOM->currentText(), relay);
    EXPECT_EQ(w.ScrollBar1->value(), 12);
    EXPECT_EQ(readFile(dir / "ld.cfg"), relay.toStdString() + "\n90\n2\n12\n8\n8\n1\n");
}

} // namespace
