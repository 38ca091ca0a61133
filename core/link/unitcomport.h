#pragma once

#include "portdevice.h"

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace pixbar {

/// Entry n is 1 when a port COMn exists.
inline constexpr int kPortTableSize = 256;
using PortTable = std::array<std::uint8_t, kPortTableSize>;

inline constexpr const char* kPortDumpFile = "com-ports.dump";
inline constexpr const char* kDefaultPortsDirectory = "ports";

/// First COM number of each family of system serial devices; ports of other families are
/// numbered from kOtherPortsFirst on, in name order.
inline constexpr int kFirstComTtyS = 1;
inline constexpr int kFirstComTtyUSB = 33;
inline constexpr int kFirstComTtyACM = 65;
inline constexpr int kOtherPortsFirst = 97;
inline constexpr int kPortsPerFamily = 32;

/// A serial device of the system as Qt lists it, e.g. ttyUSB0 at /dev/ttyUSB0.
struct SystemPort {
    QString name;
    QString location;
};

/// A port under its COM number: a numbered system device or a link of the ports folder.
struct NumberedPort {
    int number = 0;
    QString location;
    bool link = false;
    friend bool operator==(const NumberedPort&, const NumberedPort&) = default;
};

/// Number of a COM name ("COM12", any case): the digits after "com" up to the first
/// non-digit, or -1 when the name is not "com" followed by a digit.
int ComNumber(const QString& name);

/// Gives the system's serial devices and the ports folder's COMn links their COM numbers:
/// ttySk -> COM(k+1), ttyUSBk -> COM(33+k), ttyACMk -> COM(65+k) for k < 32, every other
/// device after them from COM97 on in name order; a link wins over a device of its number.
/// The result is ordered by number.
std::vector<NumberedPort> NumberPorts(const std::vector<SystemPort>& system,
                                      const QString& portsDirectory);

/// The serial devices QSerialPortInfo lists (never ptys or links).
std::vector<SystemPort> SystemSerialPorts();

/// A serial device of the system (QSerialPort), closed.
std::unique_ptr<PortDevice> MakeSerialPortDevice();

/// The serial port of the sign, opened by COM name or device path.
class ComPort {
public:
    /// A port over the system's serial devices.
    ComPort();
    explicit ComPort(std::unique_ptr<PortDevice> device);
    ~ComPort();
    ComPort(const ComPort&) = delete;
    ComPort& operator=(const ComPort&) = delete;

    /// 0 when the port is open, 1 when it cannot be opened (it then stays closed). While this
    /// object or another ComPort of the process holds a port, opening it again fails with 1
    /// and the holder keeps it.
    int Open(const QString& name);
    std::uint16_t Write(const std::uint8_t* buffer, std::uint16_t count);
    /// What has arrived so far, possibly nothing; returns at once.
    std::uint16_t Read(std::uint8_t* buffer, std::uint16_t capacity);
    /// Waits up to `ms` for incoming bytes; true as soon as some are waiting.
    bool WaitForData(int ms);
    /// Drops what has arrived unread (a late answer to an earlier frame).
    void DiscardInput();
    /// Always 0; closing a closed port does nothing.
    int Close();
    bool isOpen() const;

    /// Fills `table` and writes com-ports.dump; 1 when a port number of 256 or more was met.
    int EnumeratePorts(PortTable& table);

    /// The device a name opens: a path as given; "COMn" the numbered port n; else the name.
    /// Empty when a COM name has no port.
    QString resolve(const QString& name) const;

    void setPortsDirectory(const QString& dir) { m_portsDirectory = dir; }
    const QString& portsDirectory() const { return m_portsDirectory; }
    /// Folder of com-ports.dump (the working directory unless set).
    void setDumpDirectory(const QString& dir) { m_dumpDirectory = dir; }
    /// Replaces the list of system serial devices (tests).
    void setSystemPorts(std::function<std::vector<SystemPort>()> source) {
        m_systemPorts = std::move(source);
    }
    PortDevice& device() { return *m_device; }

private:
    std::unique_ptr<PortDevice> m_device;
    QString m_portsDirectory = QString::fromLatin1(kDefaultPortsDirectory);
    QString m_dumpDirectory = QStringLiteral(".");
    QString m_heldKey; ///< the device this object holds, empty when closed
    std::function<std::vector<SystemPort>()> m_systemPorts = SystemSerialPorts;
};

/// Writes the table and the dump file for numbered ports; 1 at a number of 256 or more.
int FillPortTable(const std::vector<NumberedPort>& ports, PortTable& table,
                  const QString& dumpPath);

} // namespace pixbar
