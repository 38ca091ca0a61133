#include "signframe.h"

namespace pixbar {

void FrameBuilder::append(std::uint8_t raw) {
    if (m_size >= m_buffer.size()) {
        m_overflow = true;
        return;
    }
    m_buffer[m_size++] = raw;
}

void FrameBuilder::begin() {
    m_size = 0;
    m_overflow = false;
    append(kFrameStart);
    m_checksum = kHeaderChecksumStart;
}

void FrameBuilder::put(std::uint8_t b) {
    m_checksum ^= b;
    if (b >= kEscape) {
        append(kEscape);
        append(static_cast<std::uint8_t>(b + kEscapeOffset));
    } else {
        append(b);
    }
}

void FrameBuilder::frame(std::uint16_t source, std::uint16_t destination, std::uint8_t code,
                         std::span<const std::uint8_t> payload) {
    begin();
    put(static_cast<std::uint8_t>(source >> 8));
    put(static_cast<std::uint8_t>(source & 0xFF));
    put(static_cast<std::uint8_t>(destination >> 8));
    put(static_cast<std::uint8_t>(destination & 0xFF));
    put(code);
    put(static_cast<std::uint8_t>(payload.size() >> 8));
    put(static_cast<std::uint8_t>(payload.size() & 0xFF));
    putChecksum();
    for (std::uint8_t b : payload) put(b);
    putChecksum();
}

std::size_t FrameSize(std::uint16_t source, std::uint16_t destination, std::uint8_t code,
                      std::span<const std::uint8_t> payload) {
    std::uint8_t header[kHeaderBytes - 1] = {static_cast<std::uint8_t>(source >> 8),
                                             static_cast<std::uint8_t>(source & 0xFF),
                                             static_cast<std::uint8_t>(destination >> 8),
                                             static_cast<std::uint8_t>(destination & 0xFF),
                                             code,
                                             static_cast<std::uint8_t>(payload.size() >> 8),
                                             static_cast<std::uint8_t>(payload.size() & 0xFF)};
    std::size_t size = 1;
    std::uint8_t sum = kHeaderChecksumStart;
    for (std::uint8_t b : header) {
        sum ^= b;
        size += StuffedSize(b);
    }
    size += StuffedSize(sum);
    sum = 0;
    for (std::uint8_t b : payload) {
        sum ^= b;
        size += StuffedSize(b);
    }
    return size + StuffedSize(sum);
}

bool FrameDecoder::destinationHighMatches(std::uint8_t b) const {
    if (m_anyDestination) return true;
    for (std::uint16_t d : m_destinations)
        if ((d >> 8) == b) return true;
    return m_acceptIdentify && (kIdentifyDestination >> 8) == b;
}

FrameDecoder::Event FrameDecoder::feed(std::uint8_t raw) {
    std::uint8_t b = raw;
    bool start = false;
    if (m_escape) {
        // A raw 0xFF right after 0xF0 is the stuffed 0xEF, not a new frame.
        m_escape = false;
        b = static_cast<std::uint8_t>(raw - kEscapeOffset);
    } else if (raw == kFrameStart) {
        m_state = 0;
        start = true;
    } else if (raw == kEscape) {
        m_escape = true;
        return Event::None;
    }

    switch (m_state) {
    case 0:
        if (start) {
            m_remaining = 0;
            m_received = 0;
            m_checksum = kHeaderChecksumStart;
            m_identify = false;
            m_state = 1;
        }
        return Event::None;
    case 1:
        m_checksum ^= b;
        m_source = static_cast<std::uint16_t>(b << 8);
        m_state = 2;
        return Event::None;
    case 2:
        m_checksum ^= b;
        m_source |= b;
        m_state = 3;
        return Event::None;
    case 3:
        m_checksum ^= b;
        if (!destinationHighMatches(b)) {
            m_state = 0;
            return Event::Rejected;
        }
        m_destination = static_cast<std::uint16_t>(b << 8);
        m_state = 4;
        return Event::None;
    case 4: {
        m_checksum ^= b;
        const std::uint16_t d = static_cast<std::uint16_t>(m_destination | b);
        const bool identify = m_acceptIdentify && d == kIdentifyDestination;
        if (d != m_destinations[0] && d != m_destinations[1] && !identify && !m_anyDestination) {
            m_state = 0;
            return Event::Rejected;
        }
        m_destination = d;
        m_state = 5;
        return Event::None;
    }
    case 5:
        m_checksum ^= b;
        m_code = b;
        if (m_acceptIdentify && m_destination == kIdentifyDestination && b == kIdentifyCommand) {
            m_identify = true;
            m_state = 0;
            return Event::Complete;
        }
        m_state = 6;
        return Event::None;
    case 6:
        m_checksum ^= b;
        m_remaining = static_cast<std::uint16_t>(b << 8);
        m_state = 7;
        return Event::None;
    case 7:
        m_checksum ^= b;
        m_remaining |= b;
        m_state = 8;
        return Event::None;
    case 8:
        if (b != m_checksum || m_remaining > m_area.size()) {
            // A frame longer than the payload area is refused here, before any byte is stored.
            m_state = 0;
            return Event::Rejected;
        }
        m_checksum = 0;
        m_state = m_remaining > 0 ? 9 : 10;
        return Event::None;
    case 9:
        m_checksum ^= b;
        m_area[m_received++] = b;
        if (--m_remaining == 0) m_state = 10;
        return Event::None;
    case 10:
        m_state = 0;
        // With no payload the checksum byte is taken without comparison.
        if (m_received == 0 || b == m_checksum) return Event::Complete;
        return Event::Rejected;
    default:
        m_state = 0;
        return Event::None;
    }
}

} // namespace pixbar
