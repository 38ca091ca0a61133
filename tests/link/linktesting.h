#pragma once

#include "memoryport.h"
#include "signframe.h"
#include "unitcomprotocol.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace pixbar::testing {

using Bytes = std::vector<std::uint8_t>;

/// A stuffed reply frame from the sign.
inline Bytes Reply(std::uint16_t source, std::uint16_t destination, std::uint8_t status,
                   const Bytes& payload = {}) {
    Bytes buffer(kFrameCapacity);
    FrameBuilder builder(buffer);
    builder.frame(source, destination, status, payload);
    buffer.resize(builder.size());
    return buffer;
}

/// The logical content of one written frame, decoded as the sign would.
struct Sent {
    std::uint16_t destination = 0;
    std::uint8_t command = 0;
    Bytes payload;
    bool identify = false;
};

inline Sent Decode(const Bytes& raw, std::uint16_t destination = 1) {
    Bytes area(kFrameCapacity);
    FrameDecoder decoder(area);
    decoder.setDestinations(destination);
    decoder.setAcceptIdentify(true);
    Sent sent;
    bool done = false;
    for (std::uint8_t b : raw) done = decoder.feed(b) == FrameDecoder::Event::Complete;
    if (done) {
        sent.destination = decoder.destination();
        sent.command = decoder.code();
        sent.payload.assign(decoder.payload().begin(), decoder.payload().end());
        sent.identify = decoder.isIdentify();
    }
    return sent;
}

/// A protocol on a memory port with a fake clock; the port answers through `answer`.
struct Rig {
    FakeClock clock;
    MemoryPort* port = nullptr;
    std::unique_ptr<ComProtocol> protocol;

    Rig() {
        auto device = std::make_unique<MemoryPort>(clock);
        port = device.get();
        protocol = std::make_unique<ComProtocol>(std::move(device), clock);
        protocol->port().setPortsDirectory({});
        protocol->port().setSystemPorts([] { return std::vector<SystemPort>{}; });
        port->open(QStringLiteral("/dev/memory"));
    }
    /// Every frame is acknowledged by sign 1.
    void acknowledgeAll() {
        port->setResponder([](std::span<const std::uint8_t>) { return Reply(1, 0, 0x80); });
    }
};

} // namespace pixbar::testing
