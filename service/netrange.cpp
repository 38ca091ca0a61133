#include "netrange.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <string>

namespace pixbar::service {

namespace {

constexpr int kV4Bits = 32;
constexpr int kV6Bits = 128;
/// ::ffff:a.b.c.d, how a dual-stack listener names an IPv4 peer.
constexpr std::array<std::uint8_t, 12> kMappedPrefix{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
constexpr std::uint8_t kLoopbackV4First = 127;

std::optional<NetworkRange> parseAddress(std::string_view text) {
    const std::string s(text);
    NetworkRange r;
    if (inet_pton(AF_INET, s.c_str(), r.address.data()) == 1) {
        r.bits = kV4Bits;
        return r;
    }
    if (inet_pton(AF_INET6, s.c_str(), r.address.data()) == 1) {
        r.v6 = true;
        r.bits = kV6Bits;
        return r;
    }
    return std::nullopt;
}

/// An IPv4 address mapped into IPv6 becomes the IPv4 one.
NetworkRange unmapped(NetworkRange r) {
    if (r.v6 && std::equal(kMappedPrefix.begin(), kMappedPrefix.end(), r.address.begin())) {
        std::array<std::uint8_t, 16> v4{};
        std::copy_n(r.address.begin() + kMappedPrefix.size(), 4, v4.begin());
        r = {false, v4, kV4Bits};
    }
    return r;
}

bool inRange(const NetworkRange& range, const NetworkRange& host) {
    if (range.v6 != host.v6) return false;
    for (int bit = 0; bit < range.bits; ++bit) {
        const int mask = 0x80 >> (bit % 8);
        if ((range.address[bit / 8] & mask) != (host.address[bit / 8] & mask)) return false;
    }
    return true;
}

bool isLoopback(const NetworkRange& host) {
    if (!host.v6) return host.address[0] == kLoopbackV4First;
    return std::all_of(host.address.begin(), host.address.end() - 1, [](auto b) { return b == 0; }) &&
           host.address.back() == 1;
}

} // namespace

std::optional<NetworkRange> ParseNetworkRange(std::string_view text) {
    const auto slash = text.find('/');
    std::optional<NetworkRange> r = parseAddress(text.substr(0, slash));
    if (!r) return std::nullopt;
    if (slash != std::string_view::npos) {
        const std::string_view digits = text.substr(slash + 1);
        int bits = -1;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), bits);
        if (ec != std::errc{} || end != digits.data() + digits.size() || digits.empty() ||
            bits < 0 || bits > r->bits)
            return std::nullopt;
        r->bits = bits;
    }
    // "192.168.1.5/24" is a mistake for one of two things; the user says which.
    for (int bit = r->bits; bit < (r->v6 ? kV6Bits : kV4Bits); ++bit)
        if (r->address[bit / 8] & (0x80 >> (bit % 8))) return std::nullopt;
    return r;
}

bool PeerAllowed(const std::vector<NetworkRange>& allowed, std::string_view peer) {
    const std::optional<NetworkRange> parsed = parseAddress(peer);
    if (!parsed) return false;
    const NetworkRange host = unmapped(*parsed);
    // The machine's own programs may always use the relay, as they may the HTTP side.
    if (isLoopback(host)) return true;
    return std::any_of(allowed.begin(), allowed.end(),
                       [&](const NetworkRange& range) { return inRange(range, host); });
}

} // namespace pixbar::service
