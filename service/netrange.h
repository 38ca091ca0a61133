#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace pixbar::service {

/// A network as "ADDRESS/BITS", IPv4 or IPv6.
struct NetworkRange {
    bool v6 = false;
    std::array<std::uint8_t, 16> address{}; ///< IPv4 in the first four bytes
    int bits = 0;
    friend bool operator==(const NetworkRange&, const NetworkRange&) = default;
};

/// Reads "192.168.1.0/24" or "fd00::/8"; a bare address is the one host. None when the text
/// is not one, or the address has bits set past the prefix.
std::optional<NetworkRange> ParseNetworkRange(std::string_view text);

/// True when `peer` (an address as text; IPv4 mapped into IPv6 counts as IPv4) is a loopback
/// address or lies in one of `allowed`.
bool PeerAllowed(const std::vector<NetworkRange>& allowed, std::string_view peer);

} // namespace pixbar::service
