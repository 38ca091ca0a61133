#pragma once

// What the simulated sign shows: the message it was told to show, played with the designer's
// player, the configuration, fonts and symbols it received and its own clock.

#include "player.h"
#include "simulatedsign.h"
#include "timing.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace pixbar {

/// Font number of the cells a live text (slot 9, the stopwatch) is shown in.
inline constexpr std::uint8_t kLiveTextFont = 1;

/// A copy of what the sign holds, taken on the line's thread and used by the face.
struct SignContent {
    std::array<MessageRecord, kSlotCount> records{};
    std::array<std::string, kSlotCount> texts;
    std::array<bool, kSlotCount> showsText{};
    int shown = 0;
    std::optional<std::array<std::uint8_t, kSignConfigSize>> config;
    std::optional<std::vector<std::uint8_t>> userFont;
    std::optional<std::vector<std::uint8_t>> symbols;
    std::optional<std::array<std::uint8_t, kClockPayloadSize>> clock;

    static SignContent of(const SimulatedSign& sign);
};

/// What the face plays: one test of the player, and the glyphs it draws with.
struct FacePlan {
    MessageRecord record;
    MessageRecord following; ///< the page below an upper message
    PreviewSettings settings;
    std::optional<std::vector<std::uint8_t>> userFont;
    std::optional<std::vector<std::uint8_t>> symbols;

    friend bool operator==(const FacePlan& a, const FacePlan& b) {
        return a.record == b.record && a.following == b.following &&
               a.settings.speed == b.settings.speed &&
               a.settings.DisplayTimePosition == b.settings.DisplayTimePosition &&
               a.settings.switching == b.settings.switching && a.userFont == b.userFont &&
               a.symbols == b.symbols;
    }
};

/// The slot the last "show" chose (slot 1 before any), paired with the next slot when it is an
/// upper message; a slot whose last content was a text shows that text standing.
FacePlan PlanFace(const SignContent& content);
/// A text as the sign shows it live: standing, in font kLiveTextFont.
MessageRecord LiveTextRecord(const std::string& text);

/// The sign's own clock: the time it was last set to, running on; the computer's time before
/// it is set.
class SignClock final : public Clock {
public:
    void set(const std::array<std::uint8_t, kClockPayloadSize>& payload,
             std::chrono::steady_clock::time_point when = std::chrono::steady_clock::now());
    LocalDateTime now() const override;
    /// The time `elapsed` after the clock was set; the computer's time when it never was.
    LocalDateTime at(std::chrono::steady_clock::duration elapsed) const;

private:
    std::optional<std::array<std::uint8_t, kClockPayloadSize>> m_payload;
    std::chrono::steady_clock::time_point m_setAt;
    SystemClock m_system;
};

/// Hands the content from the line's thread to the window's.
class SharedContent {
public:
    void publish(SignContent content);
    /// The content when it changed since `generation` (which is then updated).
    std::optional<SignContent> takeNewer(std::uint64_t& generation) const;

private:
    mutable std::mutex m_mutex;
    SignContent m_content;
    std::uint64_t m_generation = 0;
};

} // namespace pixbar
