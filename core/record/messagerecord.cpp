#include "messagerecord.h"

namespace pixbar {

int MessageRecord::end() const {
    for (int i = 0; i < kCellCount; ++i)
        if (bytes[2 * i] == kCellEnd) return i;
    return kCellCount - 1;
}

void MessageRecord::setKind(std::uint8_t kind) {
    bytes[kKindOffset] = kind <= static_cast<std::uint8_t>(MessageKind::Lower) ? kind : 0;
}

namespace {

constexpr std::uint8_t kSymbolAttribute = kClassText | kFontSymbols;
constexpr std::uint8_t kSymbolPairs[][2] = {{0x80, 0x81}, {0x82, 0x83}};

} // namespace

int SymbolCells(std::uint8_t code, std::array<Cell, 2>& cells) {
    for (const auto& pair : kSymbolPairs) {
        if (code == pair[0] || code == pair[1]) {
            cells = {Cell{kSymbolAttribute, pair[0]}, Cell{kSymbolAttribute, pair[1]}};
            return 2;
        }
    }
    cells[0] = {kSymbolAttribute, code};
    return 1;
}

bool IsSymbolPair(std::uint8_t code, std::uint8_t next) {
    for (const auto& pair : kSymbolPairs)
        if (code == pair[0] && next == pair[1]) return true;
    return false;
}

} // namespace pixbar
