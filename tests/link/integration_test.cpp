// The link against the simulated sign on a real pseudo-terminal.
#include "linktesting.h"
#include "signsearch.h"
#include "simprocess.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>

extern char** environ;

namespace pixbar {
namespace {

using testing::Bytes;

using SimulatedSignProcess = testing::SimProcess;
constexpr int kCom = SimulatedSignProcess::kCom;
constexpr std::uint16_t kSerial = SimulatedSignProcess::kSerial;

bool WriteBytes(const QString& path, const Bytes& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(reinterpret_cast<const char*>(bytes.data()),
                                                   qint64(bytes.size())) == qint64(bytes.size());
}

Bytes RandomBytes(std::size_t n, unsigned start) {
    std::mt19937 random(start);
    Bytes b(n);
    for (auto& x : b) x = std::uint8_t(random());
    return b;
}

TEST(SignOnPty, IdentifyAndInfoAsConfigured) {
    SimulatedSignProcess sim({"--width", "20", "--height", "16", "--version", "02.01"});
    ASSERT_TRUE(sim.ready());
    auto protocol = sim.connect();
    ASSERT_TRUE(protocol);
    std::uint16_t serial = 0;
    EXPECT_EQ(protocol->Identify(serial), ProtocolResult::Ok);
    EXPECT_EQ(serial, kSerial);
    std::uint8_t width = 0, height = 0;
    std::array<char, kVersionSize> version{};
    EXPECT_EQ(protocol->QueryInfo(kSerial, width, height, version), ProtocolResult::Ok);
    EXPECT_EQ(width, 20);
    EXPECT_EQ(height, 16);
    EXPECT_EQ(std::string(version.begin(), version.end()), "02.01");
    EXPECT_EQ(sim.frames(), 2);
}

TEST(SignOnPty, EveryCommandStoresWhatWasSent) {
    SimulatedSignProcess sim;
    ASSERT_TRUE(sim.ready());
    auto protocol = sim.connect();
    ASSERT_TRUE(protocol);
    const Bytes message = RandomBytes(1024, 1);
    const Bytes slot9 = RandomBytes(1024, 2);
    const std::array<std::uint8_t, kSignConfigSize> config{1, 90, 2, 12, 0, 0, 0, 0};
    Bytes font = RandomBytes(1000, 3);
    font[0] = 12, font[1] = font[2] = font[3] = 0;
    Bytes symbols = RandomBytes(4096, 4);
    symbols[0] = 12, symbols[1] = symbols[2] = symbols[3] = 0;
    QStringEncoder encoder("windows-1250");
    const QByteArray text = encoder.encode(QStringLiteral("Zażółć gęślą jaźń \\E02"));

    EXPECT_EQ(protocol->SendMessageBlocks(kSerial, 2, message), ProtocolResult::Ok);
    EXPECT_EQ(protocol->StoreMessage(kSerial, 9, slot9), ProtocolResult::Ok);
    EXPECT_EQ(protocol->SendConfiguration(kSerial, config), ProtocolResult::Ok);
    EXPECT_EQ(protocol->SendUserFont(kSerial, font), ProtocolResult::Ok);
    EXPECT_EQ(protocol->SendSymbolTable(kSerial, symbols), ProtocolResult::Ok);
    EXPECT_EQ(protocol->SetClock(kSerial), ProtocolResult::Ok);
    EXPECT_EQ(protocol->ShowMessage(kSerial, 4), ProtocolResult::Ok);
    EXPECT_EQ(protocol->SendText(
                  kSerial, 3,
                  {reinterpret_cast<const std::uint8_t*>(text.data()), std::size_t(text.size())}),
              ProtocolResult::Ok);
    protocol->Close();

    EXPECT_EQ(sim.state("slot2.kom"), message);
    EXPECT_EQ(sim.state("slot9.kom"), slot9);
    EXPECT_EQ(sim.state("config.bin"), Bytes(config.begin(), config.end()));
    Bytes paddedFont = font;
    paddedFont.resize(kUserFontSendBytes, 0);
    EXPECT_EQ(sim.state("font.fnd"), paddedFont);
    EXPECT_EQ(sim.state("symbols.bin"), symbols);
    const Bytes clock = sim.state("clock.txt");
    ASSERT_EQ(clock.size(), 20u);
    EXPECT_EQ(std::string(clock.begin(), clock.begin() + 3), "20" + std::to_string(clock[2] - '0'));
    EXPECT_EQ(sim.state("shown.txt"), (Bytes{'4', '\n'}));
    EXPECT_EQ(sim.state("slot3.txt"), Bytes(text.begin(), text.end()));
    EXPECT_EQ(sim.frames(), 8 + 1 + 1 + 16 + 32 + 1 + 1 + 1);
}

TEST(SignOnPty, PortIsExclusive) {
    SimulatedSignProcess sim;
    ASSERT_TRUE(sim.ready());
    auto first = sim.connect();
    ASSERT_TRUE(first);
    ComPort second;
    second.setPortsDirectory(sim.portsDir());
    EXPECT_EQ(second.Open("COM5"), 1);
    EXPECT_FALSE(second.isOpen());
    first->Close();
    EXPECT_EQ(second.Open("com5"), 0);
    std::uint8_t buffer[8];
    EXPECT_EQ(second.Read(buffer, sizeof buffer), 0);
    EXPECT_EQ(second.Close(), 0);
}

TEST(SignOnPty, EnumerationFindsTheLink) {
    SimulatedSignProcess sim;
    ASSERT_TRUE(sim.ready());
    ComPort port;
    port.setPortsDirectory(sim.portsDir());
    port.setDumpDirectory(sim.dir());
    PortTable table{};
    EXPECT_EQ(port.EnumeratePorts(table), 0);
    EXPECT_EQ(table[kCom], 1);
    QFile dump(QDir(sim.dir()).filePath("com-ports.dump"));
    ASSERT_TRUE(dump.open(QIODevice::ReadOnly));
    EXPECT_TRUE(dump.readAll().contains("com5 - 5\n"));
}

TEST(SignFaults, RejectIsOneFrame) {
    SimulatedSignProcess sim({"--fault", "reject"});
    ASSERT_TRUE(sim.ready());
    auto protocol = sim.connect();
    ASSERT_TRUE(protocol);
    EXPECT_EQ(protocol->ShowMessage(kSerial, 1), ProtocolResult::Rejected);
    EXPECT_EQ(protocol->replyStatus(), 0x81);
    EXPECT_EQ(sim.frames(), 1);
}

TEST(SignFaults, SilentSignGetsEightAttempts) {
    SimulatedSignProcess sim({"--fault", "silent"});
    ASSERT_TRUE(sim.ready());
    auto protocol = sim.connect();
    ASSERT_TRUE(protocol);
    EXPECT_EQ(protocol->ShowMessage(kSerial, 1), ProtocolResult::NoReply);
    EXPECT_EQ(sim.frames(), kTransactAttempts);
}

TEST(SignFaults, CorruptRepliesAreNeverASuccess) {
    SimulatedSignProcess sim({"--fault", "corrupt"});
    ASSERT_TRUE(sim.ready());
    auto protocol = sim.connect();
    ASSERT_TRUE(protocol);
    const std::array<std::uint8_t, kSignConfigSize> config{1, 50, 3, 10, 0, 0, 0, 0};
    EXPECT_EQ(protocol->SendConfiguration(kSerial, config), ProtocolResult::NoReply);
    EXPECT_EQ(sim.frames(), kTransactAttempts);
}

TEST(SignFaults, DroppedFrameIsSentAgain) {
    SimulatedSignProcess sim({"--fault", "drop:3"});
    ASSERT_TRUE(sim.ready());
    auto protocol = sim.connect();
    ASSERT_TRUE(protocol);
    const Bytes message = RandomBytes(1024, 9);
    EXPECT_EQ(protocol->SendMessageBlocks(kSerial, 1, message), ProtocolResult::Ok);
    EXPECT_EQ(sim.frames(), kMessageBlocks + 1);
    EXPECT_EQ(sim.state("slot1.kom"), message);
}

TEST(SignFaults, LineNoiseBetweenFramesIsSkipped) {
    SimulatedSignProcess sim({"--fault", "noise"});
    ASSERT_TRUE(sim.ready());
    auto protocol = sim.connect();
    ASSERT_TRUE(protocol);
    const Bytes message = RandomBytes(1024, 10);
    EXPECT_EQ(protocol->SendMessageBlocks(kSerial, 8, message), ProtocolResult::Ok);
    EXPECT_EQ(sim.frames(), kMessageBlocks);
    EXPECT_EQ(sim.state("slot8.kom"), message);
}

TEST(Pixbarctl, SendSetInfoAndText) {
    SimulatedSignProcess sim;
    ASSERT_TRUE(sim.ready());
    const Bytes set = RandomBytes(8192, 11);
    ASSERT_TRUE(WriteBytes(QDir(sim.dir()).filePath("set.kzb"), set));
    std::string out;
    EXPECT_EQ(sim.ctl("--port COM5 --address 4660 send-set set.kzb", &out), 0) << out;
    for (int n = 1; n <= 8; ++n) {
        const std::string name = "slot" + std::to_string(n) + ".kom";
        EXPECT_EQ(sim.state(name.c_str()),
                  Bytes(set.begin() + (n - 1) * 1024, set.begin() + n * 1024));
    }
    EXPECT_EQ(sim.ctl("--port COM5 --address 4660 info", &out), 0) << out;
    EXPECT_NE(out.find("serial number: 4660"), std::string::npos) << out;
    EXPECT_NE(out.find("width: 12"), std::string::npos) << out;
    EXPECT_NE(out.find("version: 01.07"), std::string::npos) << out;
    EXPECT_EQ(sim.ctl("--port com5 --address 0x1234 text 2 'Żółw ąę'", &out), 0) << out;
    QStringEncoder encoder("windows-1250");
    const QByteArray expected = encoder.encode(QStringLiteral("Żółw ąę"));
    EXPECT_EQ(sim.state("slot2.txt"), Bytes(expected.begin(), expected.end()));
}

TEST(Pixbarctl, StoreShowConfigAndExitCodes) {
    SimulatedSignProcess sim;
    ASSERT_TRUE(sim.ready());
    const Bytes record = RandomBytes(1024, 12);
    ASSERT_TRUE(WriteBytes(QDir(sim.dir()).filePath("one.kom"), record));
    std::string out;
    EXPECT_EQ(sim.ctl("--port COM5 --address 4660 store 9 one.kom", &out), 0) << out;
    EXPECT_EQ(sim.state("slot9.kom"), record);
    EXPECT_EQ(sim.ctl("--port COM5 --address 4660 show 9", &out), 0) << out;
    EXPECT_EQ(sim.state("shown.txt"), (Bytes{'9', '\n'}));
    EXPECT_EQ(sim.ctl("--port COM5 --address 4660 config 80 5 134", &out), 0) << out;
    EXPECT_EQ(sim.state("config.bin"), (Bytes{0, 80, 5, 134, 0, 0, 0, 0}));

    EXPECT_EQ(sim.ctl("--port COM5 show 10", &out), 100) << out;
    EXPECT_EQ(sim.ctl("--port COM9 show 1", &out), 10) << out;
    EXPECT_NE(out.find("Nie mogę otworzyć portu COM9 !"), std::string::npos) << out;
    EXPECT_EQ(sim.ctl("--port COM5 config 0 5 12", &out), 64) << out;
    EXPECT_EQ(sim.ctl("--port COM5 store 1 missing.kom", &out), 64) << out;
    EXPECT_EQ(sim.ctl("--port COM5 text 1 '€uro ✓'", &out), 64) << out;
    EXPECT_EQ(sim.ctl("--port COM5", &out), 64) << out;
    EXPECT_EQ(sim.ctl("--port COM5 launch", &out), 64) << out;
    EXPECT_EQ(sim.ctl("ports", &out), 0) << out;
    EXPECT_NE(out.find("COM5\t"), std::string::npos) << out;
    EXPECT_TRUE(QFileInfo(QDir(sim.dir()).filePath("com-ports.dump")).exists());
}

TEST(Pixbarctl, RejectingSignGivesExitCode2) {
    SimulatedSignProcess sim({"--fault", "reject"});
    ASSERT_TRUE(sim.ready());
    std::string out;
    EXPECT_EQ(sim.ctl("--port COM5 --address 4660 clock", &out), 2) << out;
    EXPECT_EQ(sim.frames(), 1);
}

/// Records the search's log and progress.
class SearchLog : public SearchUi {
public:
    QStringList lines;
    int maximum = 0;
    int position = -1;
    void log(const QString& line) override { lines << line; }
    void setProgressMaximum(int m) override { maximum = m; }
    void setProgress(int p) override { position = p; }
    void processEvents() override {}
};

TEST(SignSearch, FindsTheSimulatedSignThroughThePortsFolder) {
    SimulatedSignProcess sim({"--width", "12", "--height", "16", "--version", "0107A"});
    ASSERT_TRUE(sim.ready());
    ComProtocol protocol;
    protocol.port().setPortsDirectory(sim.portsDir());
    protocol.port().setDumpDirectory(sim.dir());
    // Only the sign's link is tried; the machine's own serial devices are left alone.
    protocol.port().setSystemPorts([] { return std::vector<SystemPort>{}; });
    SearchLog log;
    const SearchResult found = SearchForSign(protocol, log);
    ASSERT_TRUE(found.found) << log.lines.join('\n').toStdString();
    EXPECT_EQ(found.port, QStringLiteral("COM%1").arg(kCom));
    EXPECT_EQ(found.info.serial, kSerial);
    EXPECT_EQ(found.info.width, 12);
    EXPECT_EQ(found.info.height, 16);
    EXPECT_EQ(VersionText(found.info.version), QStringLiteral("01.07"));
    EXPECT_EQ(log.lines.value(0), QStringLiteral("Szukam na porcie COM%1").arg(kCom));
    EXPECT_EQ(log.lines.value(3), QStringLiteral("Numer seryjny: %1").arg(kSerial));
    EXPECT_EQ(log.position, log.maximum);
    EXPECT_FALSE(protocol.port().isOpen());
    EXPECT_EQ(sim.frames(), 2);
}

TEST(Pixbarctl, SendsMessagesWrittenAsText) {
    SimulatedSignProcess sim;
    ASSERT_TRUE(sim.ready());
    const auto text = [&](const char* name, const std::string& content) {
        const std::string utf8 = content;
        return WriteBytes(QDir(sim.dir()).filePath(name), Bytes(utf8.begin(), utf8.end()));
    };
    ASSERT_TRUE(text("m.txt", "{effect 1}{inverse}{font 2}AB{time}\n"));
    ASSERT_TRUE(text("set.txt", "[message 1]\nA\n\n[message 8]\n{kind lower}\n{time}\n"));
    ASSERT_TRUE(text("bad.txt", "{font 16}A"));
    std::string out;
    EXPECT_EQ(sim.ctl("--port COM5 --address 4660 send-message 3 m.txt", &out), 0) << out;
    Bytes example{0xF0, 0x10, 0x01, 0x01, 0x50, 0x81, 0x02, 0x41, 0x02, 0x42, 0x12, 0xFF};
    example.resize(1024, 0);
    EXPECT_EQ(sim.state("slot3.kom"), example);

    EXPECT_EQ(sim.ctl("--port COM5 --address 4660 send-set set.txt", &out), 0) << out;
    Bytes first{0x03, 'A'}, last{0x13, 0xFF};
    first.resize(1024, 0);
    last.resize(1024, 0);
    last[1023] = 2;
    EXPECT_EQ(sim.state("slot1.kom"), first);
    EXPECT_EQ(sim.state("slot5.kom"), Bytes(1024, 0));
    EXPECT_EQ(sim.state("slot8.kom"), last);

    const int frames = sim.frames();
    EXPECT_EQ(sim.ctl("--port COM5 send-message 1 bad.txt", &out), 64) << out;
    EXPECT_NE(out.find("bad.txt:1:7: font out of range in {font 16} (1..15)"), std::string::npos)
        << out;
    EXPECT_EQ(sim.frames(), frames);
}

} // namespace
} // namespace pixbar
