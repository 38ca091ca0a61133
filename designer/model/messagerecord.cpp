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

} // namespace pixbar
