#pragma once

#include "signframe.h"
#include "unitcomprotocol.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace pixbar {

/// How the simulated sign misbehaves.
enum class SignFault : std::uint8_t {
    None,
    Silent,  ///< never answers
    Reject,  ///< answers every frame with status 0x81 and stores nothing
    Corrupt, ///< answers with a wrong header checksum
    Drop,    ///< loses frame number K (counted from 1): no answer, nothing stored
    Noise,   ///< sends line noise before each answer
};

struct SignOptions {
    std::uint16_t serial = 1;
    std::uint8_t width = 12;
    std::uint8_t height = 8;
    std::array<char, kVersionSize> version{'0', '1', '.', '0', '7'};
    SignFault fault = SignFault::None;
    int dropFrame = 0;
    std::filesystem::path stateDirectory; ///< empty: keep everything in memory only
};

/// Reads "silent", "reject", "corrupt", "noise" or "drop:K"; false for anything else.
bool ParseFault(const std::string& text, SignFault& fault, int& dropFrame);

/// What the sign does with one received frame: keep what it carries and build the answer.
class SimulatedSign {
public:
    explicit SimulatedSign(SignOptions options);

    /// Handles a complete frame and returns the raw bytes to send back (possibly none).
    std::vector<std::uint8_t> handle(const FrameDecoder& frame);
    /// One log line describing a received frame.
    static std::string describe(const FrameDecoder& frame);

    const std::array<std::uint8_t, kMessageBytes>& slot(int n) const { return m_slots[n - 1]; }
    std::uint64_t framesReceived() const { return m_frames; }

    // What the sign holds, for its face.
    /// The text last sent to slot n (1..9), code page 1250.
    const std::string& text(int n) const { return m_texts[n - 1]; }
    /// True when slot n (1..9) last received a text rather than a message.
    bool showsText(int n) const { return m_textIsNewer[n - 1]; }
    /// The slot the last "show" command chose; 0 before any.
    int shown() const { return m_shown; }
    const std::array<std::uint8_t, kSignConfigSize>* config() const {
        return m_hasConfig ? &m_config : nullptr;
    }
    const std::array<std::uint8_t, kUserFontSendBytes>* userFont() const {
        return m_hasFont ? &m_font : nullptr;
    }
    const std::array<std::uint8_t, kSymbolTableSendBytes>* symbols() const {
        return m_hasSymbols ? &m_symbols : nullptr;
    }
    const std::array<std::uint8_t, kClockPayloadSize>* clock() const {
        return m_hasClock ? &m_clock : nullptr;
    }

private:
    /// Status of a frame after storing what it carries; 0x81 when it makes no sense.
    std::uint8_t apply(const FrameDecoder& frame, std::vector<std::uint8_t>& replyPayload);
    bool storeBlock(std::span<const std::uint8_t> payload, std::span<std::uint8_t> image);
    void writeState(const std::string& name, std::span<const std::uint8_t> bytes) const;
    void writeState(const std::string& name, const std::string& text) const;
    std::vector<std::uint8_t> encode(std::uint8_t status, std::span<const std::uint8_t> payload);

    SignOptions m_options;
    std::array<std::array<std::uint8_t, kMessageBytes>, kSlotCount> m_slots{};
    std::array<std::string, kSlotCount> m_texts;
    std::array<std::uint8_t, kSignConfigSize> m_config{};
    std::array<std::uint8_t, kUserFontSendBytes> m_font{};
    std::array<std::uint8_t, kSymbolTableSendBytes> m_symbols{};
    std::array<std::uint8_t, kClockPayloadSize> m_clock{};
    int m_shown = 0;
    std::array<bool, kSlotCount> m_textIsNewer{};
    bool m_hasConfig = false;
    bool m_hasFont = false;
    bool m_hasSymbols = false;
    bool m_hasClock = false;
    std::uint64_t m_frames = 0;
    std::minstd_rand m_random{12345};
};

} // namespace pixbar
