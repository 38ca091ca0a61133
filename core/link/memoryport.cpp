#include "memoryport.h"

#include <algorithm>

namespace pixbar {

bool MemoryPort::open(const QString& location) {
    if (!m_openable || m_open) return false;
    m_open = true;
    m_location = location;
    m_incoming.clear();
    return true;
}

std::size_t MemoryPort::write(std::span<const std::uint8_t> bytes) {
    m_writes.emplace_back(bytes.begin(), bytes.end());
    if (m_responder) {
        const std::vector<std::uint8_t> reply = m_responder(bytes);
        m_incoming.insert(m_incoming.end(), reply.begin(), reply.end());
    }
    return bytes.size();
}

std::size_t MemoryPort::read(std::span<std::uint8_t> buffer) {
    ++m_reads;
    std::size_t n = std::min(buffer.size(), m_incoming.size());
    if (m_readChunk > 0) n = std::min(n, m_readChunk);
    std::copy_n(m_incoming.begin(), n, buffer.begin());
    m_incoming.erase(m_incoming.begin(), m_incoming.begin() + std::ptrdiff_t(n));
    return n;
}

bool MemoryPort::waitForData(int ms) {
    if (!m_incoming.empty()) return true;
    m_clock.sleepMs(ms);
    return !m_incoming.empty();
}

} // namespace pixbar
