#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace pixbar {

inline constexpr const char* kConfigFile = "ld.cfg";
inline constexpr int kConfigLines = 7;
inline constexpr int kDisplayTimeNoSwitch = 134; ///< "nie przełączaj"

/// The seven values kept in ld.cfg. A missing or broken line of the file gives the value here,
/// except for the brightness, whose line defaults to 95 while the slider starts at 90.
struct ProgramSettings {
    static constexpr int kBrightnessLineDefault = 95;

    std::string portName = "COM1";
    int brightness = 90;
    int scrollSpeed = 2;
    int displayTimePosition = 12;
    int signWidth = 8;  ///< registers
    int signHeight = 8; ///< pixels
    int signSerial = 1;

    friend bool operator==(const ProgramSettings&, const ProgramSettings&) = default;
};

/// Reads ld.cfg: 0 when read, 1 when it cannot be opened (missing, a folder, a device,
/// unreadable; then nothing changes). Lines are trimmed; an empty port line gives "COM1" and a
/// line that is not one optional sign followed by digits takes its default.
int ReadLdCfg(const std::filesystem::path& file, ProgramSettings& settings);
/// Writes the seven lines, each ended by a line feed: 0 written, 1 the file cannot be written
/// (then the old file stays as it was).
int WriteLdCfg(const std::filesystem::path& file, const ProgramSettings& settings);

/// A sign geometry the emulator can draw: width 1..24 registers, height 8 or 16 pixels.
/// Values read from a hand-edited ld.cfg are brought into that range (8 and 8 otherwise).
void SanitizeGeometry(ProgramSettings& settings);

/// The sign's 8-byte configuration block: switching flag, brightness, speed, display time.
using SignConfig = std::array<std::uint8_t, 8>;
inline constexpr SignConfig kInitialSignConfig{1, 90, 2, 12, 0, 0, 0, 0};
SignConfig BuildSignConfig(int brightness, int scrollSpeed, int displayTimePosition);

/// "0s" .. "10s", "20s" .. "60s", "1min" .. "60min" in half minutes, "nie przełączaj" (UTF-8).
std::string DisplayTimeText(int position);

/// The sign's serial number typed as decimal digits (white space around them allowed), kept to
/// its low 16 bits; nothing for any other text, a sign included.
std::optional<std::uint16_t> ParseSerialNumber(std::string_view text);

/// Physical length of a sign of `registers` registers ("150cm"); empty above 16 registers.
std::string SignLengthText(int registers);
/// "8 rejestrów" (UTF-8).
std::string RegisterCountText(int registers);

} // namespace pixbar
