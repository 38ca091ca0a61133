#pragma once

#include "linkclock.h"
#include "signframe.h"
#include "unitcomport.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

namespace pixbar {

/// Result of every protocol operation.
enum class ProtocolResult : int {
    Ok = 0,        ///< a valid reply with status 0x80
    NoReply = 1,   ///< no valid reply after all attempts
    Rejected = 2,  ///< a valid reply with another status
    BadSlot = 100, ///< slot or message number out of range; nothing was sent
    TooLong = 101, ///< the frame would not fit the 5120-byte frame buffer; nothing was sent
};

/// Command bytes of the sign.
inline constexpr std::uint8_t kCommandSetClock = 0x11;
inline constexpr std::uint8_t kCommandConfiguration = 0x13;
inline constexpr std::uint8_t kCommandStoreSlot1 = 0x01; ///< slots 1..8: 0x01..0x08
inline constexpr std::uint8_t kCommandStoreSlot9 = 0x15;
inline constexpr std::uint8_t kCommandShowSlot1 = 0x16; ///< slots 1..8: 0x16..0x1D
inline constexpr std::uint8_t kCommandShowSlot9 = 0x1E;
inline constexpr std::uint8_t kCommandQueryInfo = 0x21;
inline constexpr std::uint8_t kCommandMessageBlock = 0x22;
inline constexpr std::uint8_t kCommandUserFontBlock = 0x24;
inline constexpr std::uint8_t kCommandSymbolBlock = 0x25;
inline constexpr std::uint8_t kCommandText = 0x26;

/// Attempts, polls and pauses of one transaction.
inline constexpr int kTransactAttempts = 8;
inline constexpr int kTransactPolls = 11;
inline constexpr int kTransactPollMs = 20;
inline constexpr int kRetryPauseMs = 500;
inline constexpr int kTextPolls = 11;
inline constexpr int kTextPollMs = 10;
inline constexpr int kIdentifyPolls = 51;
inline constexpr int kIdentifyPollMs = 100;
/// Longest stretch a wait for a reply or a pause between attempts runs without the wait pump.
inline constexpr int kWaitPumpMs = 50;

/// Block transfers: 4 header bytes and 128 data bytes a frame.
inline constexpr std::size_t kBlockHeaderSize = 4;
inline constexpr std::size_t kBlockDataSize = 128;
inline constexpr std::size_t kBlockPayloadSize = kBlockHeaderSize + kBlockDataSize;
inline constexpr int kMessageBlocks = 8;
inline constexpr int kUserFontBlocks = 16;
inline constexpr int kSymbolTableBlocks = 32;
inline constexpr std::uint8_t kMessageBlockUnit = 32; ///< header byte 2 of message blocks
inline constexpr std::uint8_t kImageBlockUnit = 8;    ///< header byte 2 of image blocks
inline constexpr std::uint8_t kBlockFirst = 1;        ///< header byte 3 of block 0
inline constexpr std::uint8_t kBlockLast = 2;         ///< header byte 3 of the last block
inline constexpr std::size_t kMessageBytes = 1024;
inline constexpr std::size_t kUserFontSendBytes = kUserFontBlocks * kBlockDataSize;
inline constexpr std::size_t kSymbolTableSendBytes = kSymbolTableBlocks * kBlockDataSize;

inline constexpr std::size_t kSignConfigSize = 8;
inline constexpr std::size_t kClockPayloadSize = 6;
inline constexpr std::size_t kVersionSize = 5;
inline constexpr std::size_t kInfoReplySize = 2 + kVersionSize;
inline constexpr std::uint8_t kTextMarker = 0x02; ///< payload byte 5 of a text
inline constexpr std::size_t kTextOverhead = 7;   ///< text payload bytes besides the text
inline constexpr int kSlotCount = 9;
inline constexpr int kMessageCount = 8;

/// The records of a message set, message 1 first; each is sent as SendMessageBlocks sends one.
using MessageSetBytes = std::array<std::span<const std::uint8_t>, kMessageCount>;

/// How sending a set ended.
struct MessageSetResult {
    ProtocolResult result = ProtocolResult::Ok;
    int failedMessage = 0; ///< 1..8: the message the sign did not take; 0 when all went out
};

/// The sign's clock payload for a local time; byte 5 carries the seconds.
std::array<std::uint8_t, kClockPayloadSize> ClockPayload(const LocalTime& t);

/// The sign's serial protocol over one ComPort: framing, retries and the command set.
/// Not reentrant: one operation at a time.
class ComProtocol {
public:
    /// Talks through the system's serial ports with the system clock.
    ComProtocol();
    ComProtocol(std::unique_ptr<PortDevice> device, LinkClock& clock);

    int Open(const QString& name) { return m_port.Open(name); }
    int Close() { return m_port.Close(); }
    ComPort& port() { return m_port; }

    /// Appends one logical byte to the outgoing frame, stuffed, and XORs it into the checksum.
    void PutByte(std::uint8_t b);
    /// The reply parser: one raw byte from the line.
    void FeedByte(std::uint8_t raw);

    /// Up to eight attempts of frame, poll and pause.
    ProtocolResult Transact(std::uint16_t address, std::uint8_t command,
                            std::span<const std::uint8_t> payload);
    /// One attempt with 10 ms polls (texts).
    ProtocolResult TransactOnce(std::uint16_t address, std::uint8_t command,
                                std::span<const std::uint8_t> payload);

    /// Asks whichever sign is on the line for its serial number.
    ProtocolResult Identify(std::uint16_t& serial);
    /// Width in registers, height in pixels and the five version characters.
    ProtocolResult QueryInfo(std::uint16_t address, std::uint8_t& width, std::uint8_t& height,
                             std::array<char, kVersionSize>& version);
    ProtocolResult SetClock(std::uint16_t address);
    ProtocolResult SendConfiguration(std::uint16_t address,
                                     std::span<const std::uint8_t, kSignConfigSize> config);
    /// Message `number` (1..8) as eight acknowledged blocks; stops at the first failure.
    ProtocolResult SendMessageBlocks(std::uint16_t address, int number,
                                     std::span<const std::uint8_t> record);
    /// The user font image (header included) as 16 blocks; bytes past `image` are zeros.
    ProtocolResult SendUserFont(std::uint16_t address, std::span<const std::uint8_t> image);
    /// The symbol table image (header included) as 32 blocks; bytes past `image` are zeros.
    ProtocolResult SendSymbolTable(std::uint16_t address, std::span<const std::uint8_t> image);
    /// The whole record in one frame into slot 1..9.
    ProtocolResult StoreMessage(std::uint16_t address, int slot,
                                std::span<const std::uint8_t> record);
    ProtocolResult ShowMessage(std::uint16_t address, int slot);
    /// A code page 1250 text for slot 1..9; TooLong when its frame would not fit.
    ProtocolResult SendText(std::uint16_t address, int slot, std::span<const std::uint8_t> text);

    /// Called between block frames and after a text so a window can repaint.
    void setEventPump(std::function<void()> pump) { m_pump = std::move(pump); }
    /// Called at least every kWaitPumpMs while the link waits for a reply or pauses before a
    /// retry, so windows repaint; it must not start another operation of this object.
    void setWaitPump(std::function<void()> pump) { m_waitPump = std::move(pump); }

    bool success() const { return m_success; }
    bool error() const { return m_error; }
    int parserState() const { return m_decoder.state(); }
    std::uint16_t replySource() const { return m_decoder.source(); }
    std::uint8_t replyStatus() const { return m_decoder.code(); }
    std::span<const std::uint8_t> replyPayload() const { return m_decoder.payload(); }
    /// The frame last built (stuffed, as written).
    std::span<const std::uint8_t> frame() const { return m_builder.bytes(); }

private:
    ProtocolResult run(std::uint16_t address, std::uint8_t command,
                       std::span<const std::uint8_t> payload, int attempts, int polls, int pollMs);
    void buildFrame(std::uint16_t address, std::uint8_t command,
                    std::span<const std::uint8_t> payload);
    /// Waits and reads until a reply is parsed or the polls' time is spent.
    void poll(int polls, int pollMs, bool stopOnError);
    ProtocolResult sendBlocks(std::uint16_t address, std::uint8_t command, int blocks,
                              std::uint8_t headerByte0, std::uint8_t unit,
                              std::span<const std::uint8_t> data);
    /// Copies `size` bytes of `data` into the payload area, zeros past its end.
    std::span<const std::uint8_t> padded(std::span<const std::uint8_t> data, std::size_t size);
    void pump() {
        if (m_pump) m_pump();
    }
    /// A pause of `ms`, in slices with the wait pump between them when there is one.
    void pause(int ms);

    LinkClock& m_clock;
    std::array<std::uint8_t, kReplyCapacity> m_reply{};
    std::array<std::uint8_t, kFrameCapacity> m_frame{};
    std::array<std::uint8_t, kFrameCapacity> m_payload{};
    std::array<std::uint8_t, kReplyCapacity> m_readBuffer{};
    FrameDecoder m_decoder{m_reply};
    FrameBuilder m_builder{m_frame};
    bool m_success = false;
    bool m_error = false;
    int m_refusedFrames = 0; ///< refusals so far, so a read can tell one of its own
    ComPort m_port;
    std::function<void()> m_pump;
    std::function<void()> m_waitPump;
};

/// Messages 1..8 as block transfers, in order; stops at the first one the sign does not take,
/// so nothing after a refusal is sent. `starting(n)` runs before message n goes out.
MessageSetResult SendMessageSet(ComProtocol& protocol, std::uint16_t address,
                                const MessageSetBytes& records,
                                const std::function<void(int)>& starting = {});

} // namespace pixbar
