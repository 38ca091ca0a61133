// The sign over TCP: port names, and every command against the simulated sign on 127.0.0.1.
#include "simprocess.h"
#include "tcpport.h"

#include <QStringEncoder>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <fcntl.h>

#include <chrono>
#include <fstream>
#include <random>

namespace pixbar {
namespace {

using testing::Line;
using testing::SimProcess;
using Bytes = std::vector<std::uint8_t>;
using Seconds = std::chrono::duration<double>;
constexpr std::uint16_t kSerial = SimProcess::kSerial;

TEST(TcpPortName, HostAndPortOrNothing) {
    struct Case {
        const char* name;
        const char* host; ///< nullptr: not a well-formed TCP port name
        int port;
    };
    const Case cases[] = {
        {"tcp:127.0.0.1:4001", "127.0.0.1", 4001},
        {"TCP:sign-hall.local:23", "sign-hall.local", 23},
        {"tcp:[::1]:65535", "::1", 65535},
        {"tcp:[fe80::1%eth0]:2000", "fe80::1%eth0", 2000},
        {"tcp:::1:2000", nullptr, 0},      // IPv6 without brackets
        {"tcp:[nohost]:2000", nullptr, 0}, // brackets hold only an IPv6 address
        {"tcp:[::1]2000", nullptr, 0},
        {"tcp:host:0", nullptr, 0},
        {"tcp:host:65536", nullptr, 0},
        {"tcp:host:+23", nullptr, 0},
        {"tcp:host:", nullptr, 0},
        {"tcp::23", nullptr, 0},
        {"tcp:host", nullptr, 0},
        {"COM3", nullptr, 0},
        {"/dev/ttyUSB0", nullptr, 0},
    };
    for (const Case& c : cases) {
        const auto address = ParseTcpPortName(QString::fromLatin1(c.name));
        if (!c.host) {
            EXPECT_FALSE(address) << c.name;
            continue;
        }
        ASSERT_TRUE(address) << c.name;
        EXPECT_EQ(*address, (TcpAddress{QString::fromLatin1(c.host), quint16(c.port)})) << c.name;
    }
    EXPECT_TRUE(IsTcpPortName(QStringLiteral("Tcp:broken")));
    EXPECT_FALSE(IsTcpPortName(QStringLiteral("COM1")));
}

TEST(TcpPort, HeldByOneDeviceOfTheProgramAtATime) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    const QString name = QStringLiteral("tcp:127.0.0.1:%1").arg(server.serverPort());
    ComPort first;
    ASSERT_EQ(first.Open(name), 0);
    ComPort second;
    EXPECT_EQ(second.Open(name), 1);
    EXPECT_FALSE(second.isOpen());
    first.Close();
    EXPECT_EQ(second.Open(name), 0);
    std::uint8_t buffer[8];
    EXPECT_EQ(second.Read(buffer, sizeof buffer), 0);
    EXPECT_FALSE(ConnectionLost(second));

    // The server goes away: the port stays open, silent, and says the connection is lost.
    ASSERT_TRUE(server.waitForNewConnection(1000));
    while (QTcpSocket* accepted = server.nextPendingConnection()) accepted->abort();
    for (int i = 0; i < 100 && !ConnectionLost(second); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(ConnectionLost(second));
    EXPECT_TRUE(second.isOpen());
    EXPECT_FALSE(second.WaitForData(20));
    EXPECT_EQ(second.Close(), 0);
    EXPECT_FALSE(ConnectionLost(second));
}

TEST(SimulatedSignOverTcp, SharesTheLineWithItsPtyAndServesOneClientAtATime) {
    SimProcess sim(Line::Both);
    ASSERT_TRUE(sim.ready());
    auto tcp = sim.connect();
    ASSERT_TRUE(tcp);
    ComProtocol pty;
    pty.port().setPortsDirectory(sim.portsDir());
    ASSERT_EQ(pty.Open(QStringLiteral("COM%1").arg(SimProcess::kCom)), 0);
    EXPECT_EQ(tcp->ShowMessage(kSerial, 2), ProtocolResult::Ok);
    EXPECT_EQ(pty.ShowMessage(kSerial, 3), ProtocolResult::Ok);
    EXPECT_EQ(sim.state("shown.txt"), (Bytes{'3', '\n'}));

    // A second client is let in and sent away at once; the first keeps the line.
    QTcpSocket second;
    second.connectToHost(QHostAddress::LocalHost, quint16(sim.portName().section(':', 2).toInt()));
    ASSERT_TRUE(second.waitForConnected(1000));
    EXPECT_TRUE(second.state() == QAbstractSocket::UnconnectedState ||
                second.waitForDisconnected(2000));
    EXPECT_TRUE(sim.log().contains("tcp client turned away"));
    EXPECT_EQ(tcp->ShowMessage(kSerial, 4), ProtocolResult::Ok);
    EXPECT_EQ(sim.state("shown.txt"), (Bytes{'4', '\n'}));
    EXPECT_EQ(sim.frames(), 3);
}

Bytes RandomBytes(std::size_t n, unsigned start) {
    std::mt19937 random(start);
    Bytes b(n);
    for (auto& x : b) x = std::uint8_t(random());
    return b;
}

void WriteFile(const QString& path, const Bytes& bytes) {
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string Port(const SimProcess& sim) {
    return "--port " + sim.portName().toStdString() + " --address 4660 ";
}

TEST(PixbarctlOverTcp, EveryCommandStoresWhatItSent) {
    SimProcess sim(Line::Tcp, {"--width", "20", "--height", "16"});
    ASSERT_TRUE(sim.ready());
    const Bytes set = RandomBytes(8192, 1), message = RandomBytes(1024, 2),
                slot9 = RandomBytes(1024, 3);
    Bytes font = RandomBytes(2048, 4), symbols = RandomBytes(4096, 5);
    font[0] = symbols[0] = 12;
    font[1] = font[2] = font[3] = symbols[1] = symbols[2] = symbols[3] = 0;
    const QDir dir(sim.dir());
    WriteFile(dir.filePath("set.kzb"), set);
    WriteFile(dir.filePath("one.kom"), message);
    WriteFile(dir.filePath("nine.kom"), slot9);
    WriteFile(dir.filePath("user.fnd"), font);
    WriteFile(dir.filePath("gfx.bin"), symbols);

    struct Step {
        std::string command;
        const char* output; ///< a line the command prints
    };
    const Step steps[] = {
        {"identify", "serial number: 4660"},
        {"info", "width: 20 registers"},
        {"clock", "reply: ok"},
        {"config 70 4 20", "reply: ok"},
        {"send-set set.kzb", "reply: ok"},
        {"send-message 3 one.kom", "reply: ok"},
        {"send-font user.fnd", "reply: ok"},
        {"send-symbols gfx.bin", "reply: ok"},
        {"store 9 nine.kom", "reply: ok"},
        {"show 9", "reply: ok"},
        {"text 2 'Żółw'", "reply: ok"},
    };
    for (const Step& step : steps) {
        std::string out;
        EXPECT_EQ(sim.ctl(Port(sim) + step.command, &out), 0) << step.command << "\n" << out;
        EXPECT_NE(out.find(step.output), std::string::npos) << step.command << "\n" << out;
    }
    for (int n = 1; n <= 8; ++n) {
        const std::string name = "slot" + std::to_string(n) + ".kom";
        EXPECT_EQ(sim.state(name.c_str()),
                  n == 3 ? message : Bytes(set.begin() + (n - 1) * 1024, set.begin() + n * 1024))
            << name;
    }
    EXPECT_EQ(sim.state("slot9.kom"), slot9);
    EXPECT_EQ(sim.state("config.bin"), (Bytes{1, 70, 4, 20, 0, 0, 0, 0}));
    EXPECT_EQ(sim.state("font.fnd"), font);
    EXPECT_EQ(sim.state("symbols.bin"), symbols);
    EXPECT_EQ(sim.state("clock.txt").size(), 20u);
    EXPECT_EQ(sim.state("shown.txt"), (Bytes{'9', '\n'}));
    QStringEncoder encoder("windows-1250");
    const QByteArray text = encoder.encode(QStringLiteral("Żółw"));
    EXPECT_EQ(sim.state("slot2.txt"), Bytes(text.begin(), text.end()));
    EXPECT_EQ(sim.frames(), 1 + 1 + 1 + 1 + 64 + 8 + 16 + 32 + 1 + 1 + 1);
}

TEST(PixbarctlOverTcp, FaultsEndAsOnTheSerialLine) {
    struct Case {
        const char* fault;
        const char* command;
        int exit;   ///< the command's result
        int frames; ///< frames the sign heard
    };
    const Case cases[] = {
        {"silent", "show 1", 1, kTransactAttempts},
        {"reject", "clock", 2, 1},
        {"corrupt", "config 50 3 10", 1, kTransactAttempts},
        {"drop:3", "send-message 1 one.kom", 0, kMessageBlocks + 1},
        {"noise", "send-message 8 one.kom", 0, kMessageBlocks},
    };
    for (const Case& c : cases) {
        SimProcess sim(Line::Tcp, {"--fault", c.fault});
        ASSERT_TRUE(sim.ready()) << c.fault;
        WriteFile(QDir(sim.dir()).filePath("one.kom"), RandomBytes(1024, 6));
        std::string out;
        EXPECT_EQ(sim.ctl(Port(sim) + c.command, &out), c.exit) << c.fault << "\n" << out;
        EXPECT_EQ(sim.frames(), c.frames) << c.fault;
    }
}

TEST(PixbarctlOverTcp, SignKilledMidTransferEndsWithNoReply) {
    SimProcess sim(Line::Tcp);
    ASSERT_TRUE(sim.ready());
    WriteFile(QDir(sim.dir()).filePath("set.kzb"), RandomBytes(8192, 7));
    const std::string out = QDir(sim.dir()).filePath("ctl.out").toStdString();
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const pid_t ctl = testing::Spawn({std::string(PIXBAR_BIN_DIR) + "/pixbarctl", "--port",
                                      sim.portName().toStdString(), "--address", "4660", "send-set",
                                      QDir(sim.dir()).filePath("set.kzb").toStdString()},
                                     &files);
    posix_spawn_file_actions_destroy(&files);
    ASSERT_GT(ctl, 0);
    for (int i = 0; i < 1000 && sim.frames() < 10; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GE(sim.frames(), 10);
    sim.kill9();
    const auto killed = std::chrono::steady_clock::now();
    // Eight attempts of a frame, its polls and the pauses between them, and no more.
    const int exit = testing::WaitExit(ctl, 9000);
    const double took = Seconds(std::chrono::steady_clock::now() - killed).count();
    if (exit == -1) kill(ctl, SIGKILL), waitpid(ctl, nullptr, 0);
    EXPECT_EQ(exit, int(ProtocolResult::NoReply));
    EXPECT_LT(took, 8.0);
    std::ifstream printed(out);
    const std::string text{std::istreambuf_iterator<char>(printed), {}};
    EXPECT_NE(text.find("reply: no reply"), std::string::npos) << text;
}

TEST(PixbarctlOverTcp, NoServerEndsWithExitTenWithinThreeSeconds) {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const std::string closed = "tcp:127.0.0.1:" + std::to_string(probe.serverPort());
    probe.close(); // nothing listens there now
    // 192.0.2.1 is kept for documentation: it answers nobody, or is not routed at all.
    for (const std::string& name :
         {closed, std::string("tcp:192.0.2.1:4001"), std::string("tcp:[::1]:notaport")}) {
        SimProcess here(Line::Tcp); // only for its folder and pixbarctl
        const auto start = std::chrono::steady_clock::now();
        std::string out;
        EXPECT_EQ(here.ctl("--port '" + name + "' show 1", &out), 10) << name << "\n" << out;
        EXPECT_LT(Seconds(std::chrono::steady_clock::now() - start).count(), 4.0) << name;
        EXPECT_NE(out.find("Nie mogę otworzyć portu " + name + " !"), std::string::npos) << out;
    }
}

} // namespace
} // namespace pixbar
