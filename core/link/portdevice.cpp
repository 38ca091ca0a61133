#include "portdevice.h"

#include "tcpport.h"
#include "unitcomport.h"

namespace pixbar {

bool IsTcpPortName(const QString& name) {
    return name.startsWith(QLatin1String(kTcpPrefix), Qt::CaseInsensitive);
}

SystemPortDevice::SystemPortDevice()
    : m_serial(MakeSerialPortDevice()), m_tcp(std::make_unique<TcpPortDevice>()) {}

SystemPortDevice::~SystemPortDevice() {
    close();
}

PortDevice& SystemPortDevice::deviceFor(const QString& location) {
    if (IsTcpPortName(location)) return *m_tcp;
    return *m_serial;
}

bool SystemPortDevice::open(const QString& location) {
    close();
    PortDevice& device = deviceFor(location);
    if (!device.open(location)) return false;
    m_active = &device;
    return true;
}

void SystemPortDevice::close() {
    if (m_active) m_active->close();
    m_active = nullptr;
}

bool SystemPortDevice::isOpen() const {
    return m_active && m_active->isOpen();
}

std::size_t SystemPortDevice::write(std::span<const std::uint8_t> bytes) {
    return m_active ? m_active->write(bytes) : 0;
}

void SystemPortDevice::discardInput() {
    if (m_active) m_active->discardInput();
}

std::size_t SystemPortDevice::read(std::span<std::uint8_t> buffer) {
    return m_active ? m_active->read(buffer) : 0;
}

bool SystemPortDevice::waitForData(int ms) {
    return m_active && m_active->waitForData(ms);
}

bool SystemPortDevice::connectionLost() {
    return m_active == m_tcp.get() && m_tcp->connectionLost();
}

bool ConnectionLost(ComPort& port) {
    PortDevice& device = port.device();
    if (auto* system = dynamic_cast<SystemPortDevice*>(&device)) return system->connectionLost();
    if (auto* tcp = dynamic_cast<TcpPortDevice*>(&device)) return tcp->connectionLost();
    return false;
}

} // namespace pixbar
