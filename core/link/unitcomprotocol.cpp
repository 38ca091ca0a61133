#include "unitcomprotocol.h"

#include <algorithm>

namespace pixbar {

namespace {
constexpr std::uint8_t kYearOffset = 0x30; ///< low byte of the year + 0x30 = year - 2000
} // namespace

std::array<std::uint8_t, kClockPayloadSize> ClockPayload(const LocalTime& t) {
    return {static_cast<std::uint8_t>((t.year & 0xFF) + kYearOffset),
            static_cast<std::uint8_t>(t.month),
            static_cast<std::uint8_t>(t.day),
            static_cast<std::uint8_t>(t.hour),
            static_cast<std::uint8_t>(t.minute),
            static_cast<std::uint8_t>(t.second)};
}

ComProtocol::ComProtocol() : m_clock(SystemLinkClock::instance()) {}

ComProtocol::ComProtocol(std::unique_ptr<PortDevice> device, LinkClock& clock)
    : m_clock(clock), m_port(std::move(device)) {}

void ComProtocol::PutByte(std::uint8_t b) {
    m_builder.put(b);
}

void ComProtocol::FeedByte(std::uint8_t raw) {
    switch (m_decoder.feed(raw)) {
    case FrameDecoder::Event::Complete:
        m_success = true;
        break;
    case FrameDecoder::Event::Rejected:
        m_success = false;
        m_error = true;
        ++m_refusedFrames;
        break;
    case FrameDecoder::Event::None:
        break;
    }
}

void ComProtocol::buildFrame(std::uint16_t address, std::uint8_t command,
                             std::span<const std::uint8_t> payload) {
    m_builder.frame(kHostAddress, address, command, payload);
}

void ComProtocol::poll(int polls, int pollMs, bool stopOnError) {
    // The polls' total time is the wait before giving up; within it every arrival is read
    // at once instead of after a fixed sleep, so a reply is taken as soon as it is complete.
    const std::int64_t deadline = m_clock.elapsedMs() + std::int64_t(polls) * pollMs;
    for (;;) {
        const std::int64_t remaining = deadline - m_clock.elapsedMs();
        m_port.WaitForData(
            int(std::clamp<std::int64_t>(remaining, 0, std::min(pollMs, kWaitPumpMs))));
        if (m_waitPump) m_waitPump();
        const std::uint16_t n =
            m_port.Read(m_readBuffer.data(), std::uint16_t(m_readBuffer.size()));
        for (std::uint16_t i = 0; i < n; ++i) {
            const int refused = m_refusedFrames;
            FeedByte(m_readBuffer[i]);
            // The rest of a read after a complete or refused frame is dropped, but only of
            // that read: later reads are taken whole, or a reply could be pieced together
            // from every other byte of the line.
            if (m_success || (stopOnError && m_refusedFrames != refused)) break;
        }
        if (m_success || m_clock.elapsedMs() >= deadline) return;
    }
}

ProtocolResult ComProtocol::run(std::uint16_t address, std::uint8_t command,
                                std::span<const std::uint8_t> payload, int attempts, int polls,
                                int pollMs) {
    if (FrameSize(kHostAddress, address, command, payload) > kFrameCapacity)
        return ProtocolResult::TooLong;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        // The parser is not reset: the next raw 0xFF starts a new reply anyway.
        m_success = false;
        m_error = false;
        buildFrame(address, command, payload);
        // Bytes that came before this frame cannot answer it: a late reply to an earlier
        // frame would otherwise acknowledge this one.
        m_port.DiscardInput();
        m_port.Write(m_builder.bytes().data(), std::uint16_t(m_builder.size()));
        poll(polls, pollMs, true);
        if (m_success)
            return m_decoder.code() == kStatusAcknowledged ? ProtocolResult::Ok
                                                           : ProtocolResult::Rejected;
        if (attempt < attempts) pause(kRetryPauseMs);
    }
    return ProtocolResult::NoReply;
}

void ComProtocol::pause(int ms) {
    if (!m_waitPump) {
        m_clock.sleepMs(ms);
        return;
    }
    for (int left = ms; left > 0; left -= kWaitPumpMs) {
        m_clock.sleepMs(std::min(left, kWaitPumpMs));
        m_waitPump();
    }
}

ProtocolResult ComProtocol::Transact(std::uint16_t address, std::uint8_t command,
                                     std::span<const std::uint8_t> payload) {
    return run(address, command, payload, kTransactAttempts, kTransactPolls, kTransactPollMs);
}

ProtocolResult ComProtocol::TransactOnce(std::uint16_t address, std::uint8_t command,
                                         std::span<const std::uint8_t> payload) {
    return run(address, command, payload, 1, kTextPolls, kTextPollMs);
}

ProtocolResult ComProtocol::Identify(std::uint16_t& serial) {
    m_success = false;
    m_builder.begin();
    PutByte(0x00);
    PutByte(0x00);
    PutByte(kIdentifyDestination >> 8);
    PutByte(kIdentifyDestination & 0xFF);
    PutByte(kIdentifyCommand);
    m_port.DiscardInput();
    m_port.Write(m_builder.bytes().data(), std::uint16_t(m_builder.size()));
    // Any sign may answer; a refused frame does not end the wait.
    poll(kIdentifyPolls, kIdentifyPollMs, false);
    if (!m_success) return ProtocolResult::NoReply;
    if (m_decoder.code() != kStatusAcknowledged) return ProtocolResult::Rejected;
    serial = m_decoder.source();
    return ProtocolResult::Ok;
}

ProtocolResult ComProtocol::QueryInfo(std::uint16_t address, std::uint8_t& width,
                                      std::uint8_t& height,
                                      std::array<char, kVersionSize>& version) {
    const ProtocolResult r = Transact(address, kCommandQueryInfo, {});
    if (r != ProtocolResult::Ok) return r;
    // A shorter reply than width, height and version leaves the missing values 0.
    std::array<std::uint8_t, kInfoReplySize> info{};
    const auto payload = m_decoder.payload();
    std::copy_n(payload.begin(), std::min(payload.size(), info.size()), info.begin());
    width = info[0];
    height = info[1];
    for (std::size_t i = 0; i < kVersionSize; ++i) version[i] = char(info[2 + i]);
    return r;
}

ProtocolResult ComProtocol::SetClock(std::uint16_t address) {
    const auto payload = ClockPayload(m_clock.localTime());
    return Transact(address, kCommandSetClock, payload);
}

ProtocolResult
ComProtocol::SendConfiguration(std::uint16_t address,
                               std::span<const std::uint8_t, kSignConfigSize> config) {
    return Transact(address, kCommandConfiguration, config);
}

std::span<const std::uint8_t> ComProtocol::padded(std::span<const std::uint8_t> data,
                                                  std::size_t size) {
    const std::size_t n = std::min(data.size(), size);
    std::copy_n(data.begin(), n, m_payload.begin());
    std::fill(m_payload.begin() + std::ptrdiff_t(n), m_payload.begin() + std::ptrdiff_t(size), 0);
    return {m_payload.data(), size};
}

ProtocolResult ComProtocol::sendBlocks(std::uint16_t address, std::uint8_t command, int blocks,
                                       std::uint8_t headerByte0, std::uint8_t unit,
                                       std::span<const std::uint8_t> data) {
    for (int index = 0; index < blocks; ++index) {
        const std::size_t from = std::size_t(index) * kBlockDataSize;
        const auto part = from < data.size() ? data.subspan(from) : std::span<const std::uint8_t>{};
        std::array<std::uint8_t, kBlockDataSize> block{};
        std::copy_n(part.begin(), std::min(part.size(), kBlockDataSize), block.begin());
        m_payload[0] = headerByte0;
        m_payload[1] = static_cast<std::uint8_t>(index * unit);
        m_payload[2] = unit;
        m_payload[3] = index == 0 ? kBlockFirst : index == blocks - 1 ? kBlockLast : 0;
        std::copy(block.begin(), block.end(), m_payload.begin() + kBlockHeaderSize);
        const ProtocolResult r = Transact(address, command, {m_payload.data(), kBlockPayloadSize});
        pump();
        if (r != ProtocolResult::Ok) return r;
    }
    return ProtocolResult::Ok;
}

ProtocolResult ComProtocol::SendMessageBlocks(std::uint16_t address, int number,
                                              std::span<const std::uint8_t> record) {
    if (number < 1 || number > kMessageCount) return ProtocolResult::BadSlot;
    return sendBlocks(address, kCommandMessageBlock, kMessageBlocks,
                      static_cast<std::uint8_t>(number - 1), kMessageBlockUnit,
                      record.first(std::min(record.size(), kMessageBytes)));
}

ProtocolResult ComProtocol::SendUserFont(std::uint16_t address,
                                         std::span<const std::uint8_t> image) {
    return sendBlocks(address, kCommandUserFontBlock, kUserFontBlocks, 0, kImageBlockUnit,
                      image.first(std::min(image.size(), kUserFontSendBytes)));
}

ProtocolResult ComProtocol::SendSymbolTable(std::uint16_t address,
                                            std::span<const std::uint8_t> image) {
    return sendBlocks(address, kCommandSymbolBlock, kSymbolTableBlocks, 0, kImageBlockUnit,
                      image.first(std::min(image.size(), kSymbolTableSendBytes)));
}

ProtocolResult ComProtocol::StoreMessage(std::uint16_t address, int slot,
                                         std::span<const std::uint8_t> record) {
    if (slot < 1 || slot > kSlotCount) return ProtocolResult::BadSlot;
    const std::uint8_t command =
        slot == kSlotCount ? kCommandStoreSlot9 : std::uint8_t(kCommandStoreSlot1 + slot - 1);
    return Transact(address, command, padded(record, kMessageBytes));
}

ProtocolResult ComProtocol::ShowMessage(std::uint16_t address, int slot) {
    if (slot < 1 || slot > kSlotCount) return ProtocolResult::BadSlot;
    const std::uint8_t command =
        slot == kSlotCount ? kCommandShowSlot9 : std::uint8_t(kCommandShowSlot1 + slot - 1);
    return Transact(address, command, {});
}

ProtocolResult ComProtocol::SendText(std::uint16_t address, int slot,
                                     std::span<const std::uint8_t> text) {
    if (slot < 1 || slot > kSlotCount) return ProtocolResult::BadSlot;
    if (text.size() + kTextOverhead > m_payload.size()) return ProtocolResult::TooLong;
    const std::size_t length = text.size();
    m_payload[0] = static_cast<std::uint8_t>(slot - 1);
    m_payload[1] = 0x00;
    m_payload[2] = 0x00;
    m_payload[3] = static_cast<std::uint8_t>(length >> 8);
    m_payload[4] = static_cast<std::uint8_t>(length & 0xFF);
    m_payload[5] = kTextMarker;
    std::copy(text.begin(), text.end(), m_payload.begin() + 6);
    m_payload[6 + length] = 0x00;
    // run() refuses the frame when its stuffed size would not fit the frame buffer.
    const ProtocolResult r =
        TransactOnce(address, kCommandText, {m_payload.data(), length + kTextOverhead});
    if (r != ProtocolResult::TooLong) pump();
    return r;
}

MessageSetResult SendMessageSet(ComProtocol& protocol, std::uint16_t address,
                                const MessageSetBytes& records,
                                const std::function<void(int)>& starting) {
    for (int n = 1; n <= kMessageCount; ++n) {
        if (starting) starting(n);
        const ProtocolResult r =
            protocol.SendMessageBlocks(address, n, records[std::size_t(n - 1)]);
        if (r != ProtocolResult::Ok) return {r, n};
    }
    return {};
}

} // namespace pixbar
