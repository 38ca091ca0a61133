#pragma once

// The words of the text form of messages, shared by its reading and its writing.

#include "messagerecord.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace pixbar::textform {

inline constexpr std::uint8_t kMaxPause = 0xFF;
inline constexpr std::uint8_t kMaxGraphicColumn = 254;
inline constexpr std::string_view kSectionOpen = "[message";

/// Effect names, by effect code (index 0 unused): the captions in lower case without Polish
/// marks.
inline constexpr std::array<std::string_view, kEffectCodeCount + 1> kEffectNames{
    "",
    "scroller",
    "tekst stojacy",
    "najazd z dolu",
    "najazd z gory",
    "roleta z dolu",
    "roleta z gory",
    "piksele",
    "mrugaj inwersja",
    "mrugaj ekranem",
    "linie z dolu",
    "linie z gory",
    "maszyna do pisania"};

/// Message kinds by byte 1023.
inline constexpr std::array<std::string_view, 3> kKindNames{"single", "upper", "lower"};

inline void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

} // namespace pixbar::textform
