// The device a port name opens: a connection for a TCP name, the serial device for a path.
#include "memoryport.h"
#include "portdevice.h"
#include "unitcomport.h"

#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <random>
#include <vector>

namespace pixbar {
namespace {

/// A pseudo-terminal: the test keeps the master, the device under test opens the slave.
class Pty {
public:
    Pty() {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0)
            m_slave = QString::fromLocal8Bit(ptsname(m_master));
    }
    ~Pty() { closeMaster(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool ok() const { return !m_slave.isEmpty(); }
    const QString& slave() const { return m_slave; }
    void closeMaster() {
        if (m_master >= 0) ::close(m_master);
        m_master = -1;
    }
    /// What has reached the master within `ms`.
    std::vector<std::uint8_t> take(int ms) {
        std::vector<std::uint8_t> bytes;
        pollfd fd{m_master, POLLIN, 0};
        while (::poll(&fd, 1, ms) > 0) {
            std::uint8_t buffer[64];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n <= 0) break;
            bytes.insert(bytes.end(), buffer, buffer + n);
            ms = 50;
        }
        return bytes;
    }

private:
    int m_master = -1;
    QString m_slave;
};

TEST(PortLineTime, TenBitsAByteAt19200Baud) {
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> size(0, 6000);
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(LineTime(std::size_t(1920 * k)), std::chrono::seconds(k)) << k;
    for (int i = 0; i < 500; ++i) {
        const std::size_t n = size(random);
        // One more byte is 520.8 us more on the line, and the write's limit grows with it.
        const auto more = LineTime(n + 1) - LineTime(n);
        EXPECT_GE(more.count(), 520) << n;
        EXPECT_LE(more.count(), 521) << n;
        EXPECT_EQ(WriteTimeoutMs(n),
                  1000 + std::chrono::duration_cast<std::chrono::milliseconds>(LineTime(n)).count())
            << n;
    }
}

TEST(SystemPortDevice, TheNameChoosesTheConnectionOrTheSerialDevice) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    const QString port = QString::number(server.serverPort());
    // A link whose path holds "tcp:" further on is still a device of this machine.
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("tcp:127.0.0.1:") + port);
    ASSERT_EQ(symlink(pty.slave().toLocal8Bit().constData(), link.toLocal8Bit().constData()), 0);

    enum class Via { Tcp, Serial, Refused };
    struct Case {
        QString location;
        Via via;
    };
    const Case cases[] = {
        {QStringLiteral("tcp:127.0.0.1:") + port, Via::Tcp},
        {QStringLiteral("TCP:localhost:") + port, Via::Tcp},
        {pty.slave(), Via::Serial},
        {link, Via::Serial},
        {QStringLiteral("tcp:127.0.0.1:0"), Via::Refused},
        {QStringLiteral("tcp:127.0.0.1"), Via::Refused},
        {QStringLiteral("/dev/does-not-exist"), Via::Refused},
    };
    const std::vector<std::uint8_t> bytes{0x5A, 0x01, 0xA5};
    SystemPortDevice device;
    for (const Case& c : cases) {
        const bool opened = device.open(c.location);
        EXPECT_EQ(opened, c.via != Via::Refused) << c.location.toStdString();
        EXPECT_EQ(device.isOpen(), opened) << c.location.toStdString();
        if (!opened) continue;
        EXPECT_EQ(device.write(bytes), bytes.size()) << c.location.toStdString();
        if (c.via == Via::Tcp) {
            ASSERT_TRUE(server.waitForNewConnection(1000)) << c.location.toStdString();
            QTcpSocket* accepted = server.nextPendingConnection();
            ASSERT_NE(accepted, nullptr);
            std::vector<std::uint8_t> got;
            while (got.size() < bytes.size() && accepted->waitForReadyRead(1000))
                for (char b : accepted->readAll()) got.push_back(std::uint8_t(b));
            EXPECT_EQ(got, bytes) << c.location.toStdString();
            accepted->abort();
            delete accepted;
        } else {
            EXPECT_EQ(pty.take(1000), bytes) << c.location.toStdString();
            EXPECT_FALSE(server.hasPendingConnections()) << c.location.toStdString();
        }
        device.close();
        EXPECT_FALSE(device.isOpen());
    }
    // Closed, it takes nothing and gives nothing.
    std::uint8_t buffer[4];
    EXPECT_EQ(device.write(bytes), 0u);
    EXPECT_EQ(device.read(buffer), 0u);
    EXPECT_FALSE(device.waitForData(0));
}

TEST(SystemPortDevice, OnlyATcpConnectionIsEverLost) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    ComPort serial;
    ASSERT_EQ(serial.Open(pty.slave()), 0);
    EXPECT_FALSE(ConnectionLost(serial));
    // The far end of a serial line going away is a silent sign, not a lost connection.
    pty.closeMaster();
    EXPECT_FALSE(ConnectionLost(serial));
    serial.Close();

    FakeClock clock;
    ComPort memory(std::make_unique<MemoryPort>(clock));
    ASSERT_EQ(memory.Open(QStringLiteral("/dev/memory")), 0);
    EXPECT_FALSE(ConnectionLost(memory));

    ComPort closed;
    EXPECT_FALSE(ConnectionLost(closed));
}

} // namespace
} // namespace pixbar
