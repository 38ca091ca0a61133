#pragma once

// What the link benchmarks share: message sets timed against the line time they need.

#include "signframe.h"
#include "unitcomprotocol.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

namespace pixbar::bench {

inline constexpr std::uint16_t kSerial = 1;

/// Seconds the sign's line needs for `bytes`: 19200 baud, 8N1 is 10 bits a byte.
inline double LineSeconds(std::size_t bytes) {
    return double(bytes) * 10.0 / kBaudRate;
}

/// Bytes on the line for one message sent to slot `index` (0..7), both directions: its block
/// frames and the sign's acknowledgement of each.
inline std::size_t MessageLineBytes(std::size_t index, const std::vector<std::uint8_t>& record,
                                    std::uint16_t serial = kSerial) {
    std::size_t bytes = 0;
    for (int block = 0; block < kMessageBlocks; ++block) {
        std::vector<std::uint8_t> payload = {
            std::uint8_t(index), std::uint8_t(block * kMessageBlockUnit), kMessageBlockUnit,
            std::uint8_t(block == 0                    ? kBlockFirst
                         : block == kMessageBlocks - 1 ? kBlockLast
                                                       : 0)};
        payload.insert(payload.end(), record.begin() + block * kBlockDataSize,
                       record.begin() + (block + 1) * kBlockDataSize);
        bytes += FrameSize(kHostAddress, serial, kCommandMessageBlock, payload);
        bytes += FrameSize(serial, kHostAddress, kStatusAcknowledged, {});
    }
    return bytes;
}

/// Bytes on the line for one message set, both directions.
inline std::size_t SetLineBytes(const std::vector<std::vector<std::uint8_t>>& records,
                                std::uint16_t serial = kSerial) {
    std::size_t bytes = 0;
    for (std::size_t n = 0; n < records.size(); ++n) bytes += MessageLineBytes(n, records[n], serial);
    return bytes;
}

/// Sends random message sets to sign `serial` through an open protocol and reports each set's
/// time against the line time of its bytes.
inline void SendMessageSets(benchmark::State& state, ComProtocol& protocol,
                            std::uint16_t serial = kSerial) {
    std::mt19937 random(7);
    std::vector<std::vector<std::uint8_t>> records(kMessageCount,
                                                   std::vector<std::uint8_t>(kMessageBytes));
    for (auto& r : records)
        for (auto& b : r) b = std::uint8_t(random());
    const double boundSeconds = LineSeconds(SetLineBytes(records, serial));
    MessageSetBytes set;
    for (std::size_t n = 0; n < set.size(); ++n) set[n] = records[n];

    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (SendMessageSet(protocol, serial, set).result != ProtocolResult::Ok)
            state.SkipWithError("a message was not acknowledged");
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    protocol.Close();
    const double perSet = total / double(state.iterations());
    state.counters["bound_ms"] = boundSeconds * 1000.0;
    state.counters["set_ms"] = perSet * 1000.0;
    state.counters["x_bound"] = perSet / boundSeconds;
    state.counters["frames"] = kMessageCount * kMessageBlocks;
}

} // namespace pixbar::bench
