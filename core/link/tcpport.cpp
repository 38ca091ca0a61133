#include "tcpport.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QTcpSocket>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

namespace pixbar {

namespace {

using Clock = std::chrono::steady_clock;

/// Addresses held by an open TCP device of this program: a server serves one client, so a
/// second opening of the same address is refused, as a held serial port is.
class HeldAddresses {
public:
    bool take(const QString& key) {
        const std::lock_guard lock(m_mutex);
        return m_keys.insert(key).second;
    }
    void release(const QString& key) {
        const std::lock_guard lock(m_mutex);
        m_keys.erase(key);
    }

private:
    std::mutex m_mutex;
    std::set<QString> m_keys;
};

HeldAddresses& Held() {
    static HeldAddresses held;
    return held;
}

bool DigitsOnly(const QString& text) {
    if (text.isEmpty()) return false;
    for (QChar c : text)
        if (c.unicode() < '0' || c.unicode() > '9') return false;
    return true;
}

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return int(std::max<std::int64_t>(left.count(), 0));
}

/// The addresses of `host`, found by `deadline`; none when the name is unknown or the name
/// service does not answer in time. The system's own lookup has no time limit of its own,
/// so it runs beside the caller, who stops waiting for it at the deadline.
QList<QHostAddress> LookUp(const QString& host, Clock::time_point deadline) {
    QHostAddress literal;
    if (literal.setAddress(host)) return {literal};
    struct Answer {
        std::mutex mutex;
        std::condition_variable done;
        bool ready = false;
        QList<QHostAddress> addresses;
    };
    auto answer = std::make_shared<Answer>();
    std::thread([answer, host] {
        const QList<QHostAddress> found = QHostInfo::fromName(host).addresses();
        const std::lock_guard lock(answer->mutex);
        answer->addresses = found;
        answer->ready = true;
        answer->done.notify_all();
    }).detach();
    std::unique_lock lock(answer->mutex);
    if (!answer->done.wait_until(lock, deadline, [&] { return answer->ready; })) return {};
    return answer->addresses;
}

} // namespace

std::optional<TcpAddress> ParseTcpPortName(const QString& name) {
    if (!IsTcpPortName(name)) return std::nullopt;
    const QString rest = name.mid(QLatin1String(kTcpPrefix).size());
    QString host;
    QString port;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0 || rest.mid(close + 1, 1) != QLatin1String(":")) return std::nullopt;
        host = rest.mid(1, close - 1);
        if (QHostAddress(host).protocol() != QAbstractSocket::IPv6Protocol) return std::nullopt;
        port = rest.mid(close + 2);
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0) return std::nullopt;
        host = rest.left(colon);
        port = rest.mid(colon + 1);
        // An IPv6 address needs its brackets, or its last group would pass for the port.
        if (host.contains(QLatin1Char(':'))) return std::nullopt;
    }
    if (host.isEmpty() || host.contains(QLatin1Char(' ')) || !DigitsOnly(port) || port.size() > 5)
        return std::nullopt;
    const int number = port.toInt();
    if (number < 1 || number > 65535) return std::nullopt;
    return TcpAddress{host, quint16(number)};
}

TcpPortDevice::TcpPortDevice() = default;

TcpPortDevice::~TcpPortDevice() {
    close();
}

bool TcpPortDevice::open(const QString& location) {
    close();
    const auto address = ParseTcpPortName(location);
    if (!address) return false;
    const QString key = address->host.toLower() + QLatin1Char(' ') + QString::number(address->port);
    if (!Held().take(key)) return false;
    // The name, and then each of its addresses in turn, within one time limit.
    const auto deadline = Clock::now() + std::chrono::milliseconds(kTcpConnectTimeoutMs);
    std::unique_ptr<QTcpSocket> socket;
    for (const QHostAddress& ip : LookUp(address->host, deadline)) {
        auto attempt = std::make_unique<QTcpSocket>();
        attempt->connectToHost(ip, address->port);
        if (attempt->waitForConnected(RemainingMs(deadline))) {
            socket = std::move(attempt);
            break;
        }
        attempt->abort();
        if (RemainingMs(deadline) == 0) break;
    }
    if (!socket) {
        Held().release(key);
        return false;
    }
    // Frames are short and every one waits for its answer: send each at once.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket = std::move(socket);
    m_held = key;
    m_open = true;
    return true;
}

void TcpPortDevice::close() {
    if (!m_open) return;
    m_socket->abort();
    m_socket.reset();
    Held().release(m_held);
    m_held.clear();
    m_open = false;
}

bool TcpPortDevice::connected() const {
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

std::size_t TcpPortDevice::write(std::span<const std::uint8_t> bytes) {
    const auto start = Clock::now();
    std::size_t written = 0;
    if (connected()) {
        const qint64 n =
            m_socket->write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        if (n > 0) {
            // write() only buffers without an event loop; hand the frame to the network now.
            const int timeout = WriteTimeoutMs(bytes.size());
            while (connected() && m_socket->bytesToWrite() > 0)
                if (!m_socket->waitForBytesWritten(timeout)) break;
            written = std::size_t(n - std::min(m_socket->bytesToWrite(), n));
        }
    }
    // The sign hears the bytes at the line rate behind the server: return when the last one
    // has gone out there, so the wait for the answer starts where the sign can give it. A
    // lost connection costs the same time, as a write to a silent sign does.
    std::this_thread::sleep_until(start + LineTime(bytes.size()));
    return written;
}

void TcpPortDevice::discardInput() {
    if (!m_socket) return;
    char scratch[256];
    while ((connected() && m_socket->waitForReadyRead(0)) || m_socket->bytesAvailable() > 0)
        if (m_socket->read(scratch, sizeof scratch) <= 0) break;
}

std::size_t TcpPortDevice::read(std::span<std::uint8_t> buffer) {
    if (!m_socket) return 0;
    // Without an event loop the socket only fills its buffer inside a wait.
    if (m_socket->bytesAvailable() == 0 && connected()) m_socket->waitForReadyRead(0);
    const qint64 n = m_socket->read(reinterpret_cast<char*>(buffer.data()), qint64(buffer.size()));
    return n > 0 ? std::size_t(n) : 0;
}

bool TcpPortDevice::waitForData(int ms) {
    if (!m_socket) return false;
    if (m_socket->bytesAvailable() > 0) return true;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(ms, 0));
    if (connected()) m_socket->waitForReadyRead(std::max(ms, 0));
    if (m_socket->bytesAvailable() > 0) return true;
    // A closed connection answers every wait at once; it must cost the time a silent line
    // does, or the protocol's polls would spin.
    std::this_thread::sleep_until(deadline);
    return false;
}

bool TcpPortDevice::connectionLost() {
    if (!m_open) return false;
    // The socket notices a closed connection only inside a wait or a read.
    if (connected() && m_socket->bytesAvailable() == 0) m_socket->waitForReadyRead(0);
    return !connected();
}

} // namespace pixbar
