#include "unitcomport.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <set>
#include <thread>

namespace pixbar {

namespace {

class SerialPortDevice : public PortDevice {
public:
    bool open(const QString& location) override {
        // Opening by the resolved device keeps one lock file per device, whichever link or
        // name led to it, so a second opener is refused.
        const QString target = QFileInfo(location).canonicalFilePath();
        if (target.isEmpty()) return false;
        m_port.setPortName(target);
        m_port.setBaudRate(kBaudRate);
        m_port.setDataBits(QSerialPort::Data8);
        m_port.setParity(QSerialPort::NoParity);
        m_port.setStopBits(QSerialPort::OneStop);
        m_port.setFlowControl(QSerialPort::NoFlowControl);
        if (!m_port.open(QIODevice::ReadWrite)) return false;
        // Modem lines only after open(); a pseudo-terminal refuses them and still counts.
        m_port.setDataTerminalReady(true);
        m_port.setRequestToSend(true);
        // Bytes that arrived before this program opened the port are no reply to it.
        m_port.clear(QSerialPort::AllDirections);
        m_port.clearError();
        return true;
    }

    void close() override {
        if (m_port.isOpen()) m_port.close();
        m_port.clearError();
    }

    bool isOpen() const override { return m_port.isOpen(); }

    std::size_t write(std::span<const std::uint8_t> bytes) override {
        const auto start = std::chrono::steady_clock::now();
        const qint64 n =
            m_port.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        if (n < 0) {
            m_port.clearError();
            return 0;
        }
        // write() only buffers without an event loop; push the frame out now.
        const int timeout = WriteTimeoutMs(bytes.size());
        while (m_port.bytesToWrite() > 0) {
            if (!m_port.waitForBytesWritten(timeout)) break;
        }
        const qint64 left = m_port.bytesToWrite();
        m_port.clearError();
        // The driver takes the bytes at once, but the sign hears them only at the line rate
        // (a pseudo-terminal has no line at all): return when the last one has gone out, so
        // the wait for the answer starts where the sign can give it.
        std::this_thread::sleep_until(start + LineTime(bytes.size()));
        return std::size_t(n - std::min(left, n));
    }

    void discardInput() override {
        m_port.clear(QSerialPort::Input);
        char scratch[256];
        while (m_port.waitForReadyRead(0) || m_port.bytesAvailable() > 0)
            if (m_port.read(scratch, sizeof scratch) <= 0) break;
        m_port.clearError();
    }

    std::size_t read(std::span<std::uint8_t> buffer) override {
        if (m_port.bytesAvailable() == 0) {
            // Without an event loop the port only fills its buffer inside a wait.
            m_port.waitForReadyRead(0);
            m_port.clearError();
        }
        const qint64 n = m_port.read(reinterpret_cast<char*>(buffer.data()), qint64(buffer.size()));
        return n > 0 ? std::size_t(n) : 0;
    }

    bool waitForData(int ms) override {
        if (m_port.bytesAvailable() > 0) return true;
        m_port.waitForReadyRead(std::max(ms, 0));
        m_port.clearError();
        return m_port.bytesAvailable() > 0;
    }

private:
    QSerialPort m_port;
};

int FamilyNumber(const QString& name) {
    struct Family {
        const char* prefix;
        int first;
    };
    static constexpr Family kFamilies[] = {
        {"ttyS", kFirstComTtyS}, {"ttyUSB", kFirstComTtyUSB}, {"ttyACM", kFirstComTtyACM}};
    for (const Family& f : kFamilies) {
        const QString prefix = QString::fromLatin1(f.prefix);
        if (!name.startsWith(prefix) || name.size() == prefix.size()) continue;
        bool ok = false;
        const int k = name.mid(prefix.size()).toInt(&ok);
        const bool digitsOnly = std::all_of(name.begin() + prefix.size(), name.end(),
                                            [](QChar c) { return c.isDigit(); });
        if (ok && digitsOnly && k >= 0 && k < kPortsPerFamily) return f.first + k;
    }
    return -1;
}

} // namespace

int ComNumber(const QString& name) {
    if (name.size() <= 3 || name.left(3).compare(QStringLiteral("com"), Qt::CaseInsensitive) != 0)
        return -1;
    if (!name[3].isDigit() || name[3].unicode() > 0x7F) return -1;
    long long n = 0;
    for (qsizetype i = 3; i < name.size() && name[i].unicode() >= '0' && name[i].unicode() <= '9';
         ++i) {
        n = n * 10 + (name[i].unicode() - '0');
        if (n > 1000000) break; // far beyond any table entry; stays "too big"
    }
    return int(n);
}

std::vector<NumberedPort> NumberPorts(const std::vector<SystemPort>& system,
                                      const QString& portsDirectory) {
    std::map<int, NumberedPort> byNumber;
    std::vector<SystemPort> others;
    for (const SystemPort& p : system) {
        const int n = FamilyNumber(p.name);
        if (n < 0 || byNumber.count(n)) {
            others.push_back(p);
            continue;
        }
        byNumber[n] = {n, p.location, false};
    }
    std::sort(others.begin(), others.end(),
              [](const SystemPort& a, const SystemPort& b) { return a.name < b.name; });
    int next = kOtherPortsFirst;
    for (const SystemPort& p : others) {
        while (byNumber.count(next)) ++next;
        byNumber[next] = {next, p.location, false};
    }
    if (!portsDirectory.isEmpty()) {
        const QDir dir(portsDirectory);
        const QStringList names =
            dir.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        std::set<int> linked;
        for (const QString& name : names) {
            const int n = ComNumber(name);
            // The first link of a number in name order wins; "COM5" sorts before "COM5a".
            if (n < 0 || linked.count(n)) continue;
            linked.insert(n);
            byNumber[n] = {n, dir.filePath(name), true};
        }
    }
    std::vector<NumberedPort> result;
    result.reserve(byNumber.size());
    for (auto& [n, port] : byNumber) result.push_back(port);
    return result;
}

std::vector<SystemPort> SystemSerialPorts() {
    std::vector<SystemPort> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports.push_back({info.portName(), info.systemLocation()});
    return ports;
}

int FillPortTable(const std::vector<NumberedPort>& ports, PortTable& table,
                  const QString& dumpPath) {
    table.fill(0);
    // Without the dump file the table is still filled; only the lines are skipped.
    std::FILE* dump = std::fopen(QFile::encodeName(dumpPath).constData(), "wb");
    int result = 0;
    for (const NumberedPort& p : ports) {
        if (dump) {
            std::fprintf(dump, "%s - ",
                         QStringLiteral("com%1").arg(p.number).toLatin1().constData());
            std::fprintf(dump, "%d\n", p.number);
        }
        if (p.number >= kPortTableSize) {
            result = 1;
            break;
        }
        table[p.number] = 1;
    }
    if (dump) std::fclose(dump);
    return result;
}

std::unique_ptr<PortDevice> MakeSerialPortDevice() {
    return std::make_unique<SerialPortDevice>();
}

ComPort::ComPort() : ComPort(std::make_unique<SystemPortDevice>()) {}

ComPort::ComPort(std::unique_ptr<PortDevice> device) : m_device(std::move(device)) {}

ComPort::~ComPort() {
    Close();
}

QString ComPort::resolve(const QString& name) const {
    if (name.contains(QLatin1Char('/'))) return name;
    const int n = ComNumber(name);
    const bool comName =
        n >= 0 && std::all_of(name.begin() + 3, name.end(), [](QChar c) { return c.isDigit(); });
    if (!comName) return name;
    for (const NumberedPort& p : NumberPorts(m_systemPorts(), m_portsDirectory))
        if (p.number == n) return p.location;
    return {};
}

namespace {

/// The devices the ComPorts of this process hold, by the file they lead to. The system's
/// own lock does not stop a second open from the same process (nor from root at all).
std::set<QString>& HeldDevices() {
    static std::set<QString> held;
    return held;
}

QString DeviceKey(const QString& location) {
    const QString target = QFileInfo(location).canonicalFilePath();
    return target.isEmpty() ? location : target;
}

} // namespace

int ComPort::Open(const QString& name) {
    // A port in use stays with its holder (the stopwatch, the file sync mode): a further
    // open fails as it would for a port another program holds.
    if (!m_heldKey.isEmpty()) return 1;
    Close(); // a device opened underneath (tests) is opened again
    // A serial server's address is no device of this machine.
    if (IsTcpPortName(name)) return m_device->open(name) ? 0 : 1;
    QString location = resolve(name);
    if (location.isEmpty()) return 1;
    // A bare device name such as ttyUSB0 lives in /dev.
    if (!location.contains(QLatin1Char('/'))) location = QStringLiteral("/dev/") + location;
    const QString key = DeviceKey(location);
    if (HeldDevices().count(key)) return 1;
    if (!m_device->open(location)) return 1;
    HeldDevices().insert(key);
    m_heldKey = key;
    return 0;
}

std::uint16_t ComPort::Write(const std::uint8_t* buffer, std::uint16_t count) {
    if (!m_device->isOpen()) return 0;
    return std::uint16_t(m_device->write({buffer, count}));
}

std::uint16_t ComPort::Read(std::uint8_t* buffer, std::uint16_t capacity) {
    if (!m_device->isOpen()) return 0;
    return std::uint16_t(m_device->read({buffer, capacity}));
}

bool ComPort::WaitForData(int ms) {
    if (!m_device->isOpen()) return false;
    return m_device->waitForData(ms);
}

void ComPort::DiscardInput() {
    if (m_device->isOpen()) m_device->discardInput();
}

int ComPort::Close() {
    if (m_device && m_device->isOpen()) m_device->close();
    if (!m_heldKey.isEmpty()) HeldDevices().erase(m_heldKey);
    m_heldKey.clear();
    return 0;
}

bool ComPort::isOpen() const {
    return m_device->isOpen();
}

int ComPort::EnumeratePorts(PortTable& table) {
    const auto ports = NumberPorts(m_systemPorts(), m_portsDirectory);
    return FillPortTable(ports, table,
                         QDir(m_dumpDirectory).filePath(QString::fromLatin1(kPortDumpFile)));
}

} // namespace pixbar
