// The sign's replies: any bytes on the line, fed to the frame parser byte by byte and given to
// a whole transaction as the sign's answer. An independent reading of the line checks that
// nothing but a well-formed frame addressed to the program, with both checksums right, is
// ever taken: the parser's frame must be exactly that, and a transaction's success needs one.
#include "fuzzsupport.h"

#include "memoryport.h"
#include "signframe.h"
#include "unitcomprotocol.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

using namespace pixbar;

namespace {

struct Frame {
    std::uint16_t source = 0;
    std::uint16_t destination = 0;
    std::uint8_t code = 0;
    std::vector<std::uint8_t> payload;
};

/// The logical bytes after a start byte, when they are exactly one frame for the program.
std::optional<Frame> readFrame(const std::vector<std::uint8_t>& b) {
    if (b.size() < kHeaderBytes + 1) return std::nullopt;
    std::uint8_t sum = kHeaderChecksumStart;
    for (std::size_t i = 0; i < kHeaderBytes - 1; ++i) sum ^= b[i];
    if (b[kHeaderBytes - 1] != sum) return std::nullopt;
    Frame f;
    f.source = std::uint16_t(b[0] << 8 | b[1]);
    f.destination = std::uint16_t(b[2] << 8 | b[3]);
    f.code = b[4];
    const std::size_t length = std::size_t(b[5] << 8 | b[6]);
    if (f.destination != kHostAddress || length > kReplyCapacity) return std::nullopt;
    if (b.size() != kHeaderBytes + length + 1) return std::nullopt;
    f.payload.assign(b.begin() + kHeaderBytes, b.begin() + std::ptrdiff_t(kHeaderBytes + length));
    std::uint8_t payloadSum = 0;
    for (std::uint8_t x : f.payload) payloadSum ^= x;
    // The sign's empty replies carry a checksum byte that is not compared.
    if (length > 0 && b.back() != payloadSum) return std::nullopt;
    return f;
}

/// The frame that begins at raw start byte `at`, read with no escape pending.
std::optional<Frame> frameAt(std::span<const std::uint8_t> raw, std::size_t at) {
    std::vector<std::uint8_t> logical;
    bool escape = false;
    for (std::size_t i = at + 1; i < raw.size(); ++i) {
        if (escape) {
            escape = false;
            logical.push_back(std::uint8_t(raw[i] - kEscapeOffset));
        } else if (raw[i] == kFrameStart) {
            return std::nullopt;
        } else if (raw[i] == kEscape) {
            escape = true;
            continue;
        } else {
            logical.push_back(raw[i]);
        }
        if (logical.size() < kHeaderBytes) continue;
        // The header tells the frame's whole size; only then is it read.
        const std::size_t length = std::size_t(logical[5] << 8 | logical[6]);
        if (length > kReplyCapacity) return std::nullopt;
        if (logical.size() == kHeaderBytes + length + 1) return readFrame(logical);
    }
    return std::nullopt;
}

bool someFrame(std::span<const std::uint8_t> raw, bool acknowledged) {
    for (std::size_t i = 0; i < raw.size(); ++i)
        if (raw[i] == kFrameStart)
            if (auto f = frameAt(raw, i); f && (f->code == kStatusAcknowledged) == acknowledged)
                return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Reader in(data, size);
    const std::size_t chunk = in.u8() % 17;
    const auto line = in.rest();

    // The parser alone, byte by byte, against the same bytes read independently.
    std::array<std::uint8_t, kReplyCapacity> area{};
    FrameDecoder decoder(area);
    std::vector<std::uint8_t> sinceStart;
    bool escape = false;
    for (std::uint8_t raw : line) {
        const FrameDecoder::Event event = decoder.feed(raw);
        if (escape) {
            escape = false;
            sinceStart.push_back(std::uint8_t(raw - kEscapeOffset));
        } else if (raw == kFrameStart) {
            sinceStart.clear();
        } else if (raw == kEscape) {
            escape = true;
        } else {
            sinceStart.push_back(raw);
        }
        if (event != FrameDecoder::Event::Complete) continue;
        const auto frame = readFrame(sinceStart);
        fuzz::Check(frame.has_value(), "a frame that is not one was taken");
        fuzz::Check(decoder.source() == frame->source && decoder.code() == frame->code,
                    "the taken frame's header differs");
        fuzz::Check(std::equal(frame->payload.begin(), frame->payload.end(),
                               decoder.payload().begin(), decoder.payload().end()),
                    "the taken frame's payload differs");
        sinceStart.clear();
    }

    // A whole transaction with these bytes as the sign's answer.
    FakeClock clock;
    auto port = std::make_unique<MemoryPort>(clock);
    port->setReadChunk(chunk);
    const std::vector<std::uint8_t> answer(line.begin(), line.end());
    port->setResponder([&](std::span<const std::uint8_t>) { return answer; });
    ComProtocol protocol(std::move(port), clock);
    if (protocol.Open("fuzz") != 0) std::abort();
    const std::uint8_t payload[] = {1, 2, 0xF0, 0xFF};
    const ProtocolResult r = protocol.TransactOnce(0x1234, kCommandSetClock, payload);
    if (r == ProtocolResult::Ok)
        fuzz::Check(someFrame(line, true), "success without an acknowledging frame");
    if (r == ProtocolResult::Rejected)
        fuzz::Check(someFrame(line, false), "a refusal without a frame");
    protocol.Close();
    return 0;
}
