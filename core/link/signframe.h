#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace pixbar {

/// Bytes of the sign's frame: start byte, stuffing, checksum start and fixed sizes.
inline constexpr std::uint8_t kFrameStart = 0xFF;
inline constexpr std::uint8_t kEscape = 0xF0;       ///< lead byte of a stuffed pair
inline constexpr std::uint8_t kEscapeOffset = 0x10; ///< stuffed byte = logical + 0x10
inline constexpr std::uint8_t kHeaderChecksumStart = 0xE3;
inline constexpr std::uint8_t kStatusAcknowledged = 0x80;
inline constexpr std::uint8_t kStatusRefused = 0x81;  ///< what the simulated sign sends back
inline constexpr std::uint16_t kHostAddress = 0x0000; ///< the program's own address
inline constexpr std::uint16_t kIdentifyDestination = 0xFF55;
inline constexpr std::uint8_t kIdentifyCommand = 0xAA;
inline constexpr std::size_t kFrameCapacity = 5120; ///< stuffed bytes of one outgoing frame
inline constexpr std::size_t kReplyCapacity = 1024; ///< payload bytes of one reply
inline constexpr std::size_t kHeaderBytes = 8;      ///< logical bytes 1..8 of a frame

/// Raw bytes a logical byte takes on the line: 2 for 0xF0..0xFF, else 1.
inline constexpr std::size_t StuffedSize(std::uint8_t b) {
    return b >= kEscape ? 2 : 1;
}

/// Builds one stuffed frame into a caller's buffer, keeping the running XOR checksum.
class FrameBuilder {
public:
    explicit FrameBuilder(std::span<std::uint8_t> buffer) : m_buffer(buffer) {}

    /// Starts a frame: the raw start byte and the header checksum's starting value.
    void begin();
    /// Adds one logical byte (stuffed) and XORs it into the checksum.
    void put(std::uint8_t b);
    /// Adds the running checksum itself; afterwards the running value is 0.
    void putChecksum() { put(m_checksum); }
    /// Writes a complete frame: header, header checksum, payload, payload checksum.
    void frame(std::uint16_t source, std::uint16_t destination, std::uint8_t code,
               std::span<const std::uint8_t> payload);

    std::uint8_t checksum() const { return m_checksum; }
    void setChecksum(std::uint8_t c) { m_checksum = c; }
    /// True when a byte did not fit; the frame is then incomplete and must not be sent.
    bool overflowed() const { return m_overflow; }
    std::size_t size() const { return m_size; }
    std::span<const std::uint8_t> bytes() const { return m_buffer.first(m_size); }

private:
    void append(std::uint8_t raw);

    std::span<std::uint8_t> m_buffer;
    std::size_t m_size = 0;
    std::uint8_t m_checksum = 0;
    bool m_overflow = false;
};

/// Stuffed size of a whole frame with this header and payload (checksums included).
std::size_t FrameSize(std::uint16_t source, std::uint16_t destination, std::uint8_t code,
                      std::span<const std::uint8_t> payload);

/// The reply parser of the sign's frames, one raw byte at a time.
///
/// It accepts frames addressed to one destination (the program: 0x0000) and, for the
/// simulated sign, a second one plus the short identify frame. Payload bytes land in a
/// caller's area; a frame announcing more than the area holds is rejected at its length.
class FrameDecoder {
public:
    enum class Event : std::uint8_t { None, Complete, Rejected };

    explicit FrameDecoder(std::span<std::uint8_t> payloadArea) : m_area(payloadArea) {}

    /// Destinations accepted; the second one is optional.
    void setDestinations(std::uint16_t first) { m_destinations = {first, first}; }
    void setDestinations(std::uint16_t first, std::uint16_t second) {
        m_destinations = {first, second};
    }
    /// Accepts FF 00 00 F0 0F 55 AA (no length, no checksum) as a complete frame.
    void setAcceptIdentify(bool on) { m_acceptIdentify = on; }
    /// Accepts every destination, for a reader that passes frames on instead of answering.
    void setAcceptAnyDestination(bool on) { m_anyDestination = on; }

    Event feed(std::uint8_t raw);

    int state() const { return m_state; }
    bool escapePending() const { return m_escape; }
    std::uint16_t source() const { return m_source; }
    std::uint16_t destination() const { return m_destination; }
    /// Command byte of a request, status byte of a reply.
    std::uint8_t code() const { return m_code; }
    bool isIdentify() const { return m_identify; }
    std::size_t payloadSize() const { return m_received; }
    std::span<const std::uint8_t> payload() const { return {m_area.data(), m_received}; }

private:
    bool destinationHighMatches(std::uint8_t b) const;

    std::span<std::uint8_t> m_area;
    std::array<std::uint16_t, 2> m_destinations{kHostAddress, kHostAddress};
    bool m_acceptIdentify = false;
    bool m_anyDestination = false;

    std::uint8_t m_state = 0;
    bool m_escape = false;
    std::uint16_t m_remaining = 0;
    std::uint16_t m_source = 0;
    std::uint16_t m_destination = 0;
    std::uint8_t m_code = 0;
    std::uint8_t m_checksum = 0;
    std::size_t m_received = 0;
    bool m_identify = false;
};

} // namespace pixbar
