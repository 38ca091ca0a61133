#include "serviceconfig.h"

#include "settings.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <set>
#include <sstream>

namespace pixbar::service {

namespace {

constexpr std::size_t kMaxConfigSize = 1 << 20;
constexpr std::size_t kMaxSignName = 32;
constexpr int kMaxRegisters = 24;

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

bool parseInt(std::string_view text, long long min, long long max, long long& out) {
    long long v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc{} || end != text.data() + text.size() || v < min || v > max) return false;
    out = v;
    return true;
}

bool validSignName(std::string_view name) {
    return !name.empty() && name.size() <= kMaxSignName &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
           });
}

bool anyAddress(std::string_view host) {
    return host == "0.0.0.0" || host == "::" || host == "*";
}

/// Two listeners that would take the same port: one address, or one of them on every address.
bool sameListen(std::string_view h1, std::uint16_t p1, std::string_view h2, std::uint16_t p2) {
    return p1 == p2 && (h1 == h2 || anyAddress(h1) || anyAddress(h2));
}

class Parser {
public:
    ServiceConfig config;

    void line(int number, std::string_view raw) {
        m_line = number;
        std::string_view text = trim(raw);
        if (text.empty() || text.front() == '#' || text.front() == ';') return;
        if (text.front() == '[') {
            section(text);
            return;
        }
        const auto eq = text.find('=');
        if (eq == std::string_view::npos) {
            problem("expected \"key = value\" or a [section]");
            return;
        }
        const std::string key(trim(text.substr(0, eq)));
        const std::string_view value = trim(text.substr(eq + 1));
        if (m_section == Section::None)
            problem("\"" + key + "\" stands before any [section]");
        else if (m_section == Section::Sign)
            signKey(key, value);
        else if (m_section == Section::Http)
            httpKey(key, value);
        else if (m_section == Section::Mqtt)
            mqttKey(key, value);
        // Keys of sections this service does not know are left to the programs that do.
    }

    void finish() {
        for (const SignEntry& s : config.signs)
            if (s.port.empty())
                problem(s.line, "sign \"" + s.name + "\" has no port");
        if (config.signs.empty()) problem(0, "no [sign NAME] section");
        for (auto s = config.signs.begin(); s != config.signs.end(); ++s) {
            if (s->relayPort == 0) continue;
            const bool shared = std::any_of(config.signs.begin(), s, [&](const SignEntry& o) {
                return o.relayPort != 0 && sameListen(o.relayHost, o.relayPort, s->relayHost, s->relayPort);
            });
            if (shared)
                problem(s->relayLine, "relay " + s->relay + " is already another sign's relay");
            else if (sameListen(s->relayHost, s->relayPort, config.http.host, config.http.port))
                problem(s->relayLine, "relay " + s->relay + " is the HTTP listen address");
        }
        if (config.http.tlsCert.empty() != config.http.tlsKey.empty())
            problem(m_httpLine, "tls-cert and tls-key go together");
    }

private:
    enum class Section { None, Sign, Http, Mqtt, Other };

    void problem(std::string text) { problem(m_line, std::move(text)); }
    void problem(int line, std::string text) {
        config.problems.push_back(line > 0 ? "line " + std::to_string(line) + ": " + text : text);
    }

    void section(std::string_view text) {
        if (text.back() != ']') {
            problem("a section line ends with ]");
            m_section = Section::Other;
            return;
        }
        const std::string_view inner = trim(text.substr(1, text.size() - 2));
        if (inner == "mqtt") {
            m_section = Section::Mqtt;
            return;
        }
        if (inner == "http") {
            m_section = Section::Http;
            m_httpLine = m_line;
            return;
        }
        if (inner.starts_with("sign") && (inner.size() == 4 || std::isspace(static_cast<unsigned char>(inner[4])))) {
            const std::string_view name = trim(inner.substr(4));
            m_section = Section::Sign;
            SignEntry entry;
            entry.name = std::string(name);
            entry.line = m_line;
            if (!validSignName(name))
                problem("a sign's name is 1 to 32 letters, digits, - or _");
            else if (name == "group" || name == "service")
                // <base>/group/... and <base>/service/... are the MQTT side's own topics.
                problem("\"" + entry.name + "\" is kept for MQTT topics; name the sign otherwise");
            else if (m_names.count(entry.name))
                problem("sign \"" + entry.name + "\" appears twice");
            m_names.insert(entry.name);
            config.signs.push_back(std::move(entry));
            return;
        }
        m_section = Section::Other;
    }

    void number(std::string_view key, std::string_view value, long long min, long long max,
                auto& out) {
        long long v = 0;
        if (!parseInt(value, min, max, v)) {
            problem(std::string(key) + " is a whole number from " + std::to_string(min) + " to " +
                    std::to_string(max));
            return;
        }
        out = static_cast<std::remove_reference_t<decltype(out)>>(v);
    }

    void signKey(const std::string& key, std::string_view value) {
        SignEntry& s = config.signs.back();
        if (key == "port") {
            s.port = std::string(value);
            if (s.port.empty()) problem("port is empty");
        } else if (key == "address") {
            number(key, value, 0, 0xFFFF, s.address);
        } else if (key == "width") {
            number(key, value, 1, kMaxRegisters, s.width);
        } else if (key == "height") {
            number(key, value, 8, 16, s.height);
            if (s.height != 8 && s.height != 16) problem("height is 8 or 16");
        } else if (key == "brightness") {
            number(key, value, 1, 100, s.brightness);
        } else if (key == "speed") {
            number(key, value, 1, 20, s.speed);
        } else if (key == "displaytime") {
            number(key, value, 0, kDisplayTimeNoSwitch, s.displayTime);
        } else if (key == "groups") {
            s.groups.clear();
            std::string_view rest = value;
            while (!rest.empty()) {
                const auto comma = rest.find(',');
                const std::string_view group = trim(rest.substr(0, comma));
                if (!validSignName(group))
                    problem("a group's name is 1 to 32 letters, digits, - or _");
                else
                    s.groups.emplace_back(group);
                if (comma == std::string_view::npos) break;
                rest.remove_prefix(comma + 1);
            }
        } else if (key == "relay") {
            s.relay = std::string(value);
            s.relayLine = m_line;
            if (!ParseListenAddress(value, s.relayHost, s.relayPort))
                problem("relay is HOST:PORT, e.g. 127.0.0.1:4101");
        } else if (key == "relay-allow") {
            s.relayAllow.clear();
            std::string_view rest = value;
            if (trim(rest).empty()) problem("relay-allow lists networks, e.g. 192.168.1.0/24");
            while (!trim(rest).empty()) {
                const auto comma = rest.find(',');
                const std::string_view item = trim(rest.substr(0, comma));
                if (auto range = ParseNetworkRange(item))
                    s.relayAllow.push_back(*range);
                else
                    problem("\"" + std::string(item) +
                            "\" is not a network ADDRESS/BITS, e.g. 192.168.1.0/24 or fd00::/8");
                if (comma == std::string_view::npos) break;
                rest.remove_prefix(comma + 1);
            }
        } else if (!m_laterSignKeys.count(key)) {
            problem("unknown key \"" + key + "\" in [sign]");
        }
    }

    void httpKey(const std::string& key, std::string_view value) {
        HttpEntry& h = config.http;
        if (key == "listen") {
            h.listen = std::string(value);
            if (!ParseListenAddress(value, h.host, h.port))
                problem("listen is HOST:PORT, e.g. 127.0.0.1:8420");
        } else if (key == "token-file") {
            h.tokenFile = std::string(value);
        } else if (key == "tls-cert") {
            h.tlsCert = std::string(value);
        } else if (key == "tls-key") {
            h.tlsKey = std::string(value);
        } else {
            problem("unknown key \"" + key + "\" in [http]");
        }
    }

    void mqttKey(const std::string& key, std::string_view value) {
        MqttEntry& m = config.mqtt;
        const std::string v(value);
        if (key == "host")
            m.host = v;
        else if (key == "port")
            number(key, value, 1, 65535, m.port);
        else if (key == "user")
            m.user = v;
        else if (key == "password-file")
            m.passwordFile = v;
        else if (key == "tls-ca")
            m.tlsCa = v;
        else if (key == "tls-cert")
            m.tlsCert = v;
        else if (key == "tls-key")
            m.tlsKey = v;
        else if (key == "client-id") {
            m.clientId = v;
            if (!validSignName(v)) problem("client-id is 1 to 32 letters, digits, - or _");
        } else if (key == "base") {
            m.base = v;
            if (v.empty() || v.find_first_of("+#") != std::string::npos || v.front() == '/' || v.back() == '/')
                problem("base is a topic without + or # and without a leading or trailing /");
        } else if (key == "discovery-prefix")
            m.discoveryPrefix = v;
        else
            problem("unknown key \"" + key + "\" in [mqtt]");
    }

    // Keys that belong to the schedule of a sign.
    const std::set<std::string> m_laterSignKeys{"schedule"};
    std::set<std::string> m_names;
    Section m_section = Section::None;
    int m_line = 0;
    int m_httpLine = 0;
};

} // namespace

bool ParseListenAddress(std::string_view text, std::string& host, std::uint16_t& port) {
    text = trim(text);
    std::string_view h, p;
    if (text.starts_with("[")) {
        const auto close = text.find("]:");
        if (close == std::string_view::npos) return false;
        h = text.substr(1, close - 1);
        p = text.substr(close + 2);
    } else {
        const auto colon = text.rfind(':');
        if (colon == std::string_view::npos || text.find(':') != colon) return false;
        h = text.substr(0, colon);
        p = text.substr(colon + 1);
    }
    long long n = 0;
    if (h.empty() || !parseInt(p, 1, 65535, n)) return false;
    host = std::string(h);
    port = std::uint16_t(n);
    return true;
}

bool IsLoopbackHost(std::string_view host) {
    return host == "localhost" || host == "::1" || host.starts_with("127.");
}

ServiceConfig ParseServiceConfig(std::string_view text) {
    Parser parser;
    int number = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        parser.line(++number, text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    parser.finish();
    return std::move(parser.config);
}

ServiceConfig ReadServiceConfig(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    ServiceConfig failed;
    if (!in || std::filesystem::is_directory(file)) {
        failed.problems.push_back(file.string() + ": cannot be read");
        return failed;
    }
    std::string text(kMaxConfigSize + 1, '\0');
    in.read(text.data(), std::streamsize(text.size()));
    text.resize(std::size_t(in.gcount()));
    if (text.size() > kMaxConfigSize) {
        failed.problems.push_back(file.string() + ": larger than 1 MiB");
        return failed;
    }
    return ParseServiceConfig(text);
}

ServiceConfig ConfigFromLdCfg(const std::filesystem::path& ldCfg) {
    ProgramSettings settings;
    ReadLdCfg(ldCfg, settings);
    SanitizeGeometry(settings);
    ServiceConfig config;
    SignEntry sign;
    sign.name = kDefaultSignName;
    sign.port = settings.portName;
    sign.address = std::uint16_t(settings.signSerial);
    sign.width = settings.signWidth;
    sign.height = settings.signHeight;
    sign.brightness = std::clamp(settings.brightness, 1, 100);
    sign.speed = std::clamp(settings.scrollSpeed, 1, 20);
    sign.displayTime = std::clamp(settings.displayTimePosition, 0, kDisplayTimeNoSwitch);
    config.signs.push_back(sign);
    return config;
}

} // namespace pixbar::service
