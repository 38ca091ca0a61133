#pragma once

#include "netrange.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pixbar::service {

/// Where `pixbard` listens when the config names no address.
inline constexpr const char* kDefaultListen = "127.0.0.1:8420";
/// The sign a service without a config serves.
inline constexpr const char* kDefaultSignName = "linijka";

/// One sign of the service, as a `[sign NAME]` section describes it.
struct SignEntry {
    std::string name;
    std::string port;          ///< COMn, a device path or tcp:HOST:PORT
    std::uint16_t address = 1; ///< the sign's serial number
    int width = 8;             ///< registers, 1..24
    int height = 8;            ///< pixels, 8 or 16
    int brightness = 90;       ///< the configuration the service starts with
    int speed = 2;
    int displayTime = 12;
    std::vector<std::string> groups; ///< MQTT groups the sign belongs to
    std::string relay; ///< HOST:PORT of the sign's TCP relay; empty: no relay
    std::string relayHost;
    std::uint16_t relayPort = 0;
    /// Networks besides loopback whose programs may use the relay.
    std::vector<NetworkRange> relayAllow;
    int relayLine = 0;
    int line = 0; ///< line of the section header, for messages
};

struct HttpEntry {
    std::string listen = kDefaultListen;
    std::string host = "127.0.0.1";
    std::uint16_t port = 8420;
    std::filesystem::path tokenFile; ///< empty: no token
    std::filesystem::path tlsCert;
    std::filesystem::path tlsKey;
};

/// The MQTT side; off while `host` is empty.
struct MqttEntry {
    std::string host;
    std::uint16_t port = 1883;
    std::string user;
    std::filesystem::path passwordFile;
    std::filesystem::path tlsCa;
    std::filesystem::path tlsCert;
    std::filesystem::path tlsKey;
    std::string clientId; ///< empty: pixbard-<hostname>
    std::string base = "pixbar";
    std::string discoveryPrefix = "homeassistant"; ///< empty: no Home Assistant discovery
};

struct ServiceConfig {
    std::vector<SignEntry> signs;
    HttpEntry http;
    MqttEntry mqtt;
    std::vector<std::string> problems; ///< "line 3: ..." for each problem; empty when usable

    bool ok() const { return problems.empty(); }
};

/// Reads the INI text of a config; every problem is named with its line.
ServiceConfig ParseServiceConfig(std::string_view text);
/// Reads a config file; a file that cannot be read is one problem.
ServiceConfig ReadServiceConfig(const std::filesystem::path& file);
/// The service of a designer user: one sign named "linijka" described by `ldCfg` (port,
/// serial number, width, height and the starting configuration); defaults without the file.
ServiceConfig ConfigFromLdCfg(const std::filesystem::path& ldCfg);

/// Splits "HOST:PORT" or "[IPv6]:PORT"; false when it is not one.
bool ParseListenAddress(std::string_view text, std::string& host, std::uint16_t& port);
/// True for 127.0.0.0/8, ::1 and "localhost".
bool IsLoopbackHost(std::string_view host);

} // namespace pixbar::service
