#pragma once

#include <QString>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace pixbar {

class ComPort;
class TcpPortDevice;

inline constexpr int kBaudRate = 19200;

/// Time `bytes` take on the sign's line at 19200 baud, 8N1 (ten bits a byte).
inline std::chrono::microseconds LineTime(std::size_t bytes) {
    return std::chrono::microseconds(std::int64_t(bytes) * 10 * 1'000'000 / kBaudRate);
}

/// Upper bound for handing one frame on (to the serial driver or the network): the line
/// time plus a margin.
inline int WriteTimeoutMs(std::size_t bytes) {
    return 1000 + static_cast<int>(bytes * 10 * 1000 / kBaudRate);
}

/// The byte pipe under a ComPort: the real serial device, a TCP connection to a serial
/// server, or a memory port in tests.
class PortDevice {
public:
    virtual ~PortDevice() = default;
    /// Opens the device at `location` for exclusive use at 19200 baud, 8N1, no flow control.
    virtual bool open(const QString& location) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    /// Writes every byte and returns once they have left on the line (as a synchronous
    /// write to a serial port does); returns the count written.
    virtual std::size_t write(std::span<const std::uint8_t> bytes) = 0;
    /// Drops every byte that has arrived and not been read.
    virtual void discardInput() = 0;
    /// Takes what has arrived, at most `buffer.size()` bytes; never waits.
    virtual std::size_t read(std::span<std::uint8_t> buffer) = 0;
    /// Waits up to `ms` for incoming bytes; true when some are waiting.
    virtual bool waitForData(int ms) = 0;
};

/// A sign behind a serial device server in raw TCP mode is named "tcp:HOST:PORT", or
/// "tcp:[ADDRESS]:PORT" for an IPv6 address.
inline constexpr const char* kTcpPrefix = "tcp:";

/// True for every name that starts with "tcp:" (any case), well formed or not.
bool IsTcpPortName(const QString& name);

/// The device of the program's own ports, chosen by the name it is opened with: a TCP port
/// name opens a connection to the serial server, every other location (a device path; a
/// ComPort turns COMn into one first) the serial device there.
class SystemPortDevice : public PortDevice {
public:
    SystemPortDevice();
    ~SystemPortDevice() override;
    SystemPortDevice(const SystemPortDevice&) = delete;
    SystemPortDevice& operator=(const SystemPortDevice&) = delete;

    bool open(const QString& location) override;
    void close() override;
    bool isOpen() const override;
    std::size_t write(std::span<const std::uint8_t> bytes) override;
    void discardInput() override;
    std::size_t read(std::span<std::uint8_t> buffer) override;
    bool waitForData(int ms) override;

    /// True when the open port is a TCP connection that the server has closed.
    bool connectionLost();

private:
    /// The device that serves `location`: the TCP one for a TCP port name.
    PortDevice& deviceFor(const QString& location);

    std::unique_ptr<PortDevice> m_serial;
    std::unique_ptr<TcpPortDevice> m_tcp;
    PortDevice* m_active = nullptr;
};

/// True when `port` is an open TCP connection that the server has closed: nothing sent
/// through it reaches the sign any more.
bool ConnectionLost(ComPort& port);

} // namespace pixbar
