#pragma once

#include "portdevice.h"

#include <QString>

#include <memory>
#include <optional>

class QTcpSocket;

namespace pixbar {

/// How long opening waits for the server to accept the connection.
inline constexpr int kTcpConnectTimeoutMs = 3000;

struct TcpAddress {
    QString host;
    quint16 port = 0;
    friend bool operator==(const TcpAddress&, const TcpAddress&) = default;
};

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

} // namespace pixbar
