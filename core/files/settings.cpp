#include "settings.h"

#include "diskfiles.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <sstream>
#include <string_view>

namespace pixbar {

namespace {

constexpr std::size_t kMaxLine = 254;

std::string_view trim(std::string_view s) {
    constexpr std::string_view ws = " \t\r\n";
    const auto first = s.find_first_not_of(ws);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(ws) - first + 1);
}

/// The whole line as a decimal integer: one optional sign, then digits and nothing else.
std::optional<int> wholeInteger(std::string_view s) {
    const bool plus = !s.empty() && s.front() == '+';
    if (plus) s.remove_prefix(1);
    // from_chars reads a minus of its own, which after a plus would be a second sign.
    if (s.empty() || (plus && s.front() == '-')) return std::nullopt;
    int value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc{} || end != s.data() + s.size()) return std::nullopt;
    return value;
}

} // namespace

int ReadLdCfg(const std::filesystem::path& file, ProgramSettings& settings) {
    std::ifstream in = OpenRegularFile(file);
    if (!in) return 1;
    std::array<std::string, kConfigLines> lines;
    for (auto& line : lines) {
        if (!std::getline(in, line)) break;
        if (line.size() > kMaxLine) line.resize(kMaxLine);
        line = std::string(trim(line));
    }
    const auto number = [&](int i, int fallback) {
        return wholeInteger(lines[i]).value_or(fallback);
    };
    const ProgramSettings defaults;
    settings.portName = lines[0].empty() ? defaults.portName : lines[0];
    settings.brightness = number(1, ProgramSettings::kBrightnessLineDefault);
    settings.scrollSpeed = number(2, defaults.scrollSpeed);
    settings.displayTimePosition = number(3, defaults.displayTimePosition);
    settings.signWidth = number(4, defaults.signWidth);
    settings.signHeight = number(5, defaults.signHeight);
    settings.signSerial = number(6, defaults.signSerial);
    return 0;
}

int WriteLdCfg(const std::filesystem::path& file, const ProgramSettings& settings) {
    std::ostringstream out;
    out << trim(settings.portName) << '\n'
        << settings.brightness << '\n'
        << settings.scrollSpeed << '\n'
        << settings.displayTimePosition << '\n'
        << settings.signWidth << '\n'
        << settings.signHeight << '\n'
        << settings.signSerial << '\n';
    const std::string text = out.str();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    return CommitFile(file, std::span(bytes, text.size())) ? 0 : 1;
}

void SanitizeGeometry(ProgramSettings& settings) {
    if (settings.signWidth < 1 || settings.signWidth > 24) settings.signWidth = 8;
    if (settings.signHeight != 8 && settings.signHeight != 16) settings.signHeight = 8;
}

SignConfig BuildSignConfig(int brightness, int scrollSpeed, int displayTimePosition) {
    SignConfig c{};
    c[0] = displayTimePosition < kDisplayTimeNoSwitch ? 1 : 0;
    c[1] = std::uint8_t(brightness);
    c[2] = std::uint8_t(scrollSpeed);
    c[3] = std::uint8_t(displayTimePosition);
    return c;
}

std::string DisplayTimeText(int p) {
    if (p >= kDisplayTimeNoSwitch) return "nie przełączaj";
    if (p <= 10) return std::to_string(p) + "s";
    switch (p) {
    case 11:
        return "20s";
    case 12:
        return "30s";
    case 13:
        return "40s";
    case 14:
        return "60s";
    default:
        break;
    }
    const int a = p - 13;
    return std::to_string(a / 2) + "min" + (a % 2 ? "30s" : "");
}

std::optional<std::uint16_t> ParseSerialNumber(std::string_view text) {
    text = trim(text);
    if (text.empty()) return std::nullopt;
    unsigned value = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9') return std::nullopt;
        // Only the low 16 bits are kept, so any number of digits can be taken.
        value = (value * 10 + unsigned(ch - '0')) & 0xFFFFu;
    }
    return std::uint16_t(value);
}

std::string SignLengthText(int registers) {
    static constexpr int kLengthsCm[] = {22,  44,  60,  80,  96,  115, 132, 150,
                                         170, 190, 205, 225, 240, 260, 280, 300};
    if (registers < 1 || registers > int(std::size(kLengthsCm))) return {};
    return std::to_string(kLengthsCm[registers - 1]) + "cm";
}

std::string RegisterCountText(int registers) {
    return std::to_string(registers) + " rejestrów";
}

} // namespace pixbar
