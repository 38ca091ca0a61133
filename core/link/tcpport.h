#pragma once

#include "unitcomport.h"

#include <QString>

#include <memory>
#include <optional>

class QTcpSocket;

namespace pixbar {

/// A sign behind a serial device server in raw TCP mode is named "tcp:HOST:PORT", or
/// "tcp:[ADDRESS]:PORT" for an IPv6 address.
inline constexpr const char* kTcpPrefix = "tcp:";
/// How long opening waits for the server to accept the connection.
inline constexpr int kTcpConnectTimeoutMs = 3000;

struct TcpAddress {
    QString host;
    quint16 port = 0;
    friend bool operator==(const TcpAddress&, const TcpAddress&) = default;
};

/// True for every name that starts with "tcp:" (any case), well formed or not.
bool IsTcpPortName(const QString& name);
/// Host and port of a TCP port name; nothing when the name is not a well-formed one
/// (no host, a port outside 1..65535, an IPv6 address without brackets).
std::optional<TcpAddress> ParseTcpPortName(const QString& name);

/// The line to the sign over a TCP connection: the bytes go out and come back as they would
/// on the serial line, written at the line's pace. A connection that drops leaves the port
/// open and silent, as a sign that stopped answering would, until it is closed.
class TcpPortDevice : public PortDevice {
public:
    TcpPortDevice();
    ~TcpPortDevice() override;
    TcpPortDevice(const TcpPortDevice&) = delete;
    TcpPortDevice& operator=(const TcpPortDevice&) = delete;

    /// Connects to the server of a TCP port name; false when the name is malformed, the
    /// server refuses or does not answer within 3 s, or this program already holds it.
    bool open(const QString& location) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    std::size_t write(std::span<const std::uint8_t> bytes) override;
    void discardInput() override;
    std::size_t read(std::span<std::uint8_t> buffer) override;
    bool waitForData(int ms) override;

    /// True when the port is open but the server has closed the connection.
    bool connectionLost();

private:
    bool connected() const;

    std::unique_ptr<QTcpSocket> m_socket;
    QString m_held; ///< the address this device holds while open
    bool m_open = false;
};

/// The device of the program's own ports: a TCP port name opens a connection, every other
/// location a serial device.
class SystemPortDevice : public PortDevice {
public:
    SystemPortDevice();
    ~SystemPortDevice() override;

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
    std::unique_ptr<PortDevice> m_serial;
    TcpPortDevice m_tcp;
    PortDevice* m_active = nullptr;
};

/// True when `port` is an open TCP connection that the server has closed: nothing sent
/// through it reaches the sign any more.
bool ConnectionLost(ComPort& port);

} // namespace pixbar
