#pragma once

#include "messagetext.h"

#include <array>
#include <optional>
#include <utility>
#include <vector>

namespace pixbar {

/// Code page 1250 as Qt's "windows-1250" converter knows it, read into a table once.
class CodePage1250 final : public CharacterCodec {
public:
    CodePage1250();
    std::optional<std::uint8_t> encode(char32_t character) const override;
    std::optional<char32_t> decode(std::uint8_t byte) const override;

    /// One shared instance: building the table asks the converter 256 times.
    static const CodePage1250& instance();

private:
    std::array<std::optional<char32_t>, 256> m_characters{};
    std::vector<std::pair<char32_t, std::uint8_t>> m_bytes; ///< sorted by character
};

} // namespace pixbar
