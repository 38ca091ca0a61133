#include "simulatedsign.h"

#include <cstdio>
#include <fstream>
#include <system_error>

namespace pixbar {

namespace {
constexpr std::uint8_t kNoiseMax = 0xEF; ///< noise never holds a start or escape byte
constexpr int kNoiseMaxBytes = 16;
constexpr std::uint8_t kCorruptMask = 0x5A;
} // namespace

bool ParseFault(const std::string& text, SignFault& fault, int& dropFrame) {
    if (text == "silent")
        fault = SignFault::Silent;
    else if (text == "reject")
        fault = SignFault::Reject;
    else if (text == "corrupt")
        fault = SignFault::Corrupt;
    else if (text == "noise")
        fault = SignFault::Noise;
    else if (text.rfind("drop:", 0) == 0) {
        try {
            std::size_t used = 0;
            const int k = std::stoi(text.substr(5), &used);
            if (k < 1 || used != text.size() - 5) return false;
            fault = SignFault::Drop;
            dropFrame = k;
        } catch (const std::exception&) {
            return false;
        }
    } else {
        return false;
    }
    return true;
}

SimulatedSign::SimulatedSign(SignOptions options) : m_options(std::move(options)) {}

std::string SimulatedSign::describe(const FrameDecoder& frame) {
    std::string line;
    char head[96];
    std::snprintf(head, sizeof head, "frame cmd=0x%02X dst=0x%04X len=%zu data=", frame.code(),
                  frame.destination(), frame.payloadSize());
    line = head;
    for (std::uint8_t b : frame.payload()) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
    }
    return line;
}

void SimulatedSign::writeState(const std::string& name, std::span<const std::uint8_t> bytes) const {
    if (m_options.stateDirectory.empty()) return;
    // Written beside and renamed, so a reader never sees half a file.
    const auto target = m_options.stateDirectory / name;
    auto temporary = target;
    temporary += ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out) return;
    }
    std::error_code ec;
    std::filesystem::rename(temporary, target, ec);
}

void SimulatedSign::writeState(const std::string& name, const std::string& text) const {
    writeState(name, std::span<const std::uint8_t>(
                         reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

bool SimulatedSign::storeBlock(std::span<const std::uint8_t> payload,
                               std::span<std::uint8_t> image) {
    // Header byte 1 counts units of 128 / byte 2 bytes: 4 for messages, 16 for images.
    const std::uint8_t unit = payload[2];
    if (unit == 0 || kBlockDataSize % unit != 0) return false;
    const std::size_t offset = std::size_t(payload[1]) * (kBlockDataSize / unit);
    if (offset + kBlockDataSize > image.size()) return false;
    std::copy(payload.begin() + kBlockHeaderSize, payload.end(),
              image.begin() + std::ptrdiff_t(offset));
    return true;
}

std::uint8_t SimulatedSign::apply(const FrameDecoder& frame,
                                  std::vector<std::uint8_t>& replyPayload) {
    const auto p = frame.payload();
    const std::uint8_t command = frame.code();
    if (frame.isIdentify()) return kStatusAcknowledged;
    if (command >= kCommandStoreSlot1 && command < kCommandStoreSlot1 + kMessageCount) {
        if (p.size() != kMessageBytes) return kStatusRefused;
        const int slot = command - kCommandStoreSlot1 + 1;
        std::copy(p.begin(), p.end(), m_slots[slot - 1].begin());
        m_textIsNewer[std::size_t(slot - 1)] = false;
        writeState("slot" + std::to_string(slot) + ".kom", m_slots[slot - 1]);
        return kStatusAcknowledged;
    }
    if (command >= kCommandShowSlot1 && command <= kCommandShowSlot9) {
        m_shown = command - kCommandShowSlot1 + 1;
        writeState("shown.txt", std::to_string(m_shown) + "\n");
        return kStatusAcknowledged;
    }
    switch (command) {
    case kCommandStoreSlot9:
        if (p.size() != kMessageBytes) return kStatusRefused;
        std::copy(p.begin(), p.end(), m_slots[kSlotCount - 1].begin());
        m_textIsNewer[kSlotCount - 1] = false;
        writeState("slot9.kom", m_slots[kSlotCount - 1]);
        return kStatusAcknowledged;
    case kCommandQueryInfo:
        replyPayload = {m_options.width, m_options.height};
        for (char c : m_options.version) replyPayload.push_back(std::uint8_t(c));
        return kStatusAcknowledged;
    case kCommandSetClock: {
        if (p.size() != kClockPayloadSize) return kStatusRefused;
        std::copy(p.begin(), p.end(), m_clock.begin());
        m_hasClock = true;
        char text[64];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d\n", 2000 + p[0], p[1], p[2],
                      p[3], p[4], p[5]);
        writeState("clock.txt", std::string(text));
        return kStatusAcknowledged;
    }
    case kCommandConfiguration:
        if (p.size() != kSignConfigSize) return kStatusRefused;
        std::copy(p.begin(), p.end(), m_config.begin());
        m_hasConfig = true;
        writeState("config.bin", m_config);
        return kStatusAcknowledged;
    case kCommandMessageBlock: {
        if (p.size() != kBlockPayloadSize || p[0] >= kMessageCount) return kStatusRefused;
        auto& slot = m_slots[p[0]];
        if (!storeBlock(p, slot)) return kStatusRefused;
        m_textIsNewer[p[0]] = false;
        writeState("slot" + std::to_string(p[0] + 1) + ".kom", slot);
        return kStatusAcknowledged;
    }
    case kCommandUserFontBlock:
        if (p.size() != kBlockPayloadSize || !storeBlock(p, m_font)) return kStatusRefused;
        m_hasFont = true;
        writeState("font.fnd", m_font);
        return kStatusAcknowledged;
    case kCommandSymbolBlock:
        if (p.size() != kBlockPayloadSize || !storeBlock(p, m_symbols)) return kStatusRefused;
        m_hasSymbols = true;
        writeState("symbols.bin", m_symbols);
        return kStatusAcknowledged;
    case kCommandText: {
        if (p.size() < kTextOverhead || p[0] >= kSlotCount) return kStatusRefused;
        const std::size_t length = std::size_t(p[3]) << 8 | p[4];
        if (p.size() != length + kTextOverhead || p[5] != kTextMarker || p[6 + length] != 0)
            return kStatusRefused;
        m_texts[p[0]].assign(p.begin() + 6, p.begin() + 6 + std::ptrdiff_t(length));
        m_textIsNewer[p[0]] = true;
        writeState("slot" + std::to_string(p[0] + 1) + ".txt", m_texts[p[0]]);
        return kStatusAcknowledged;
    }
    default:
        return kStatusRefused;
    }
}

std::vector<std::uint8_t> SimulatedSign::encode(std::uint8_t status,
                                                std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> buffer(kFrameCapacity);
    FrameBuilder builder(buffer);
    if (m_options.fault != SignFault::Corrupt) {
        builder.frame(m_options.serial, kHostAddress, status, payload);
    } else {
        builder.begin();
        const std::uint8_t header[] = {std::uint8_t(m_options.serial >> 8),
                                       std::uint8_t(m_options.serial & 0xFF),
                                       0,
                                       0,
                                       status,
                                       std::uint8_t(payload.size() >> 8),
                                       std::uint8_t(payload.size() & 0xFF)};
        for (std::uint8_t b : header) builder.put(b);
        builder.setChecksum(builder.checksum() ^ kCorruptMask);
        builder.putChecksum();
        for (std::uint8_t b : payload) builder.put(b);
        builder.putChecksum();
    }
    buffer.resize(builder.size());
    if (m_options.fault == SignFault::Noise) {
        std::uniform_int_distribution<int> count(1, kNoiseMaxBytes);
        std::uniform_int_distribution<int> byte(0, kNoiseMax);
        std::vector<std::uint8_t> noisy(std::size_t(count(m_random)));
        for (auto& b : noisy) b = std::uint8_t(byte(m_random));
        noisy.insert(noisy.end(), buffer.begin(), buffer.end());
        return noisy;
    }
    return buffer;
}

std::vector<std::uint8_t> SimulatedSign::handle(const FrameDecoder& frame) {
    ++m_frames;
    switch (m_options.fault) {
    case SignFault::Silent:
        return {};
    case SignFault::Drop:
        if (m_frames == std::uint64_t(m_options.dropFrame)) return {};
        break;
    case SignFault::Reject:
        return encode(kStatusRefused, {});
    case SignFault::Corrupt:
        return encode(kStatusAcknowledged, {});
    default:
        break;
    }
    std::vector<std::uint8_t> payload;
    const std::uint8_t status = apply(frame, payload);
    return encode(status, payload);
}

} // namespace pixbar
