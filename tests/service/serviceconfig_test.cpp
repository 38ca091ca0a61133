#include "serviceconfig.h"
#include "settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace pixbar::service {
namespace {

const std::string kShop = "[sign shop]\nport = tcp:127.0.0.1:41100\n";

TEST(ServiceConfig, GoodConfigsGiveTheirValues) {
    struct Case {
        const char* name;
        std::string text;
        std::function<void(const ServiceConfig&)> check;
    };
    const std::vector<Case> cases = {
        {"defaults of a sign", kShop,
         [](const ServiceConfig& c) {
             ASSERT_EQ(c.signs.size(), 1u);
             const SignEntry& s = c.signs[0];
             EXPECT_EQ(s.name, "shop");
             EXPECT_EQ(s.port, "tcp:127.0.0.1:41100");
             EXPECT_EQ(s.line, 1);
             EXPECT_EQ(std::tie(s.address, s.width, s.height, s.brightness, s.speed, s.displayTime),
                       std::make_tuple(std::uint16_t(1), 8, 8, 90, 2, 12));
             EXPECT_EQ(c.http.host, "127.0.0.1");
             EXPECT_EQ(c.http.port, 8420);
             EXPECT_TRUE(c.http.tokenFile.empty());
         }},
        {"every key at its limits, CRLF, comments and blank lines",
         "# shop window\r\n\r\n[sign a-1_B]\r\n  port=COM3  \r\n; the old one\r\naddress = 65535\r\n"
         "width = 24\r\nheight = 16\r\nbrightness = 1\r\nspeed = 20\r\ndisplaytime = 134\r\n"
         "[sign b]\nport = /dev/ttyUSB0\naddress = 0\nwidth = 1\nbrightness = 100\nspeed = 1\n"
         "displaytime = 0\n",
         [](const ServiceConfig& c) {
             ASSERT_EQ(c.signs.size(), 2u);
             const SignEntry& a = c.signs[0];
             EXPECT_EQ(a.name, "a-1_B");
             EXPECT_EQ(a.port, "COM3");
             EXPECT_EQ(a.line, 3);
             EXPECT_EQ(std::tie(a.address, a.width, a.height, a.brightness, a.speed, a.displayTime),
                       std::make_tuple(std::uint16_t(65535), 24, 16, 1, 20, 134));
             const SignEntry& b = c.signs[1];
             EXPECT_EQ(b.line, 12);
             EXPECT_EQ(std::tie(b.address, b.width, b.height, b.brightness, b.speed, b.displayTime),
                       std::make_tuple(std::uint16_t(0), 1, 8, 100, 1, 0));
         }},
        {"http section, IPv6 listen, TLS pair",
         kShop + "[http]\nlisten = [::1]:9000\ntoken-file = /etc/pixbard/token\n"
                 "tls-cert = c.pem\ntls-key = k.pem\n",
         [](const ServiceConfig& c) {
             EXPECT_EQ(c.http.listen, "[::1]:9000");
             EXPECT_EQ(c.http.host, "::1");
             EXPECT_EQ(c.http.port, 9000);
             EXPECT_EQ(c.http.tokenFile, "/etc/pixbard/token");
             EXPECT_EQ(c.http.tlsCert, "c.pem");
             EXPECT_EQ(c.http.tlsKey, "k.pem");
         }},
        {"keys of other programs' sections are theirs",
         "[weather]\nbroker = x\nwidth = 99\n" + kShop + "[schedule]\nfoo = bar\n[http]\nlisten = 0.0.0.0:80\n",
         [](const ServiceConfig& c) {
             ASSERT_EQ(c.signs.size(), 1u);
             EXPECT_EQ(c.signs[0].width, 8);
             EXPECT_EQ(c.http.host, "0.0.0.0");
             EXPECT_EQ(c.http.port, 80);
         }},
        {"keys kept for later in a sign", kShop + "relay = 127.0.0.1:4101\n",
         [](const ServiceConfig& c) { EXPECT_EQ(c.signs.size(), 1u); }},
        {"groups and the mqtt section",
         kShop + "groups = front, all ,north\n[mqtt]\nhost = broker.lan\nport = 8883\n"
                 "client-id = shop-1\nbase = shops/pixbar\ndiscovery-prefix =\n",
         [](const ServiceConfig& c) {
             ASSERT_EQ(c.signs.size(), 1u);
             EXPECT_EQ(c.signs[0].groups, (std::vector<std::string>{"front", "all", "north"}));
             EXPECT_EQ(c.mqtt.host, "broker.lan");
             EXPECT_EQ(c.mqtt.port, 8883);
             EXPECT_EQ(c.mqtt.clientId, "shop-1");
             EXPECT_EQ(c.mqtt.base, "shops/pixbar");
             EXPECT_EQ(c.mqtt.discoveryPrefix, "");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ServiceConfig config = ParseServiceConfig(c.text);
        EXPECT_TRUE(config.ok()) << ::testing::PrintToString(config.problems);
        c.check(config);
    }
}

TEST(ServiceConfig, EveryProblemIsNamedWithItsLine) {
    struct Case {
        std::string text;
        std::vector<std::string> problems;
    };
    const auto range = [](int line, const char* key, int min, int max) {
        return "line " + std::to_string(line) + ": " + key + " is a whole number from " +
               std::to_string(min) + " to " + std::to_string(max);
    };
    const std::vector<Case> cases = {
        {kShop + "colour = red\n", {"line 3: unknown key \"colour\" in [sign]"}},
        {kShop + "width = 0\n", {range(3, "width", 1, 24)}},
        {kShop + "width = 25\n", {range(3, "width", 1, 24)}},
        {kShop + "width = 8x\n", {range(3, "width", 1, 24)}},
        {kShop + "height = 12\n", {"line 3: height is 8 or 16"}},
        {kShop + "height = 17\n", {range(3, "height", 8, 16)}},
        {kShop + "brightness = 0\n", {range(3, "brightness", 1, 100)}},
        {kShop + "brightness = 101\n", {range(3, "brightness", 1, 100)}},
        {kShop + "speed = 21\n", {range(3, "speed", 1, 20)}},
        {kShop + "displaytime = 135\n", {range(3, "displaytime", 0, 134)}},
        {kShop + "address = 70000\n", {range(3, "address", 0, 65535)}},
        {kShop + "address = -1\n", {range(3, "address", 0, 65535)}},
        {kShop + "address =\n", {range(3, "address", 0, 65535)}},
        {kShop + "\n" + kShop, {"line 4: sign \"shop\" appears twice"}},
        {"[sign sh op]\nport = COM1\n", {"line 1: a sign's name is 1 to 32 letters, digits, - or _"}},
        {"[sign]\nport = COM1\n", {"line 1: a sign's name is 1 to 32 letters, digits, - or _"}},
        {"[sign " + std::string(33, 'a') + "]\nport = COM1\n",
         {"line 1: a sign's name is 1 to 32 letters, digits, - or _"}},
        {kShop + "[sign back]\nwidth = 10\n", {"line 3: sign \"back\" has no port"}},
        {kShop + "[sign back]\nport =\n", {"line 4: port is empty", "line 3: sign \"back\" has no port"}},
        {"", {"no [sign NAME] section"}},
        {"[http]\nlisten = 127.0.0.1:1\n", {"no [sign NAME] section"}},
        {kShop + "[http]\nlisten = 8420\n", {"line 4: listen is HOST:PORT, e.g. 127.0.0.1:8420"}},
        {kShop + "[http]\nlisten = localhost:0\n", {"line 4: listen is HOST:PORT, e.g. 127.0.0.1:8420"}},
        {kShop + "[http]\nlisten = ::1:80\n", {"line 4: listen is HOST:PORT, e.g. 127.0.0.1:8420"}},
        {kShop + "[http]\nlisten = :80\n", {"line 4: listen is HOST:PORT, e.g. 127.0.0.1:8420"}},
        {kShop + "\n[http]\ntls-cert = c.pem\n", {"line 4: tls-cert and tls-key go together"}},
        {kShop + "[http]\ntls-key = k.pem\n", {"line 3: tls-cert and tls-key go together"}},
        {kShop + "[http]\nport = 80\n", {"line 4: unknown key \"port\" in [http]"}},
        {kShop + "[mqtt]\nbroker = x\n", {"line 4: unknown key \"broker\" in [mqtt]"}},
        {"[sign group]\nport = COM1\n",
         {"line 1: \"group\" is kept for MQTT topics; name the sign otherwise"}},
        {"[sign service]\nport = COM1\n",
         {"line 1: \"service\" is kept for MQTT topics; name the sign otherwise"}},
        {kShop + "[mqtt]\nport = 0\n", {"line 4: port is a whole number from 1 to 65535"}},
        {kShop + "[mqtt]\nbase = pixbar/#\n",
         {"line 4: base is a topic without + or # and without a leading or trailing /"}},
        {kShop + "groups = front, a b\n", {"line 3: a group's name is 1 to 32 letters, digits, - or _"}},
        {"port = COM1\n" + kShop, {"line 1: \"port\" stands before any [section]"}},
        {kShop + "just words\n", {"line 3: expected \"key = value\" or a [section]"}},
        {kShop + "[http\n", {"line 3: a section line ends with ]"}},
        {"[sign a]\nport = COM1\nwidth = 0\n[sign a]\nport = COM2\nspeed = 0\n",
         {range(3, "width", 1, 24), "line 4: sign \"a\" appears twice", range(6, "speed", 1, 20)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const ServiceConfig config = ParseServiceConfig(c.text);
        EXPECT_FALSE(config.ok());
        EXPECT_EQ(config.problems, c.problems);
    }
}

TEST(ServiceConfig, AFileThatCannotBeReadIsOneProblem) {
    const auto dir = std::filesystem::temp_directory_path();
    const ServiceConfig missing = ReadServiceConfig(dir / "pixbard-no-such.conf");
    ASSERT_EQ(missing.problems.size(), 1u);
    EXPECT_NE(missing.problems[0].find("cannot be read"), std::string::npos);
    EXPECT_EQ(ReadServiceConfig(dir).problems.size(), 1u);
}

TEST(ServiceConfig, WithoutAConfigTheDesignersSignIsServed) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("pixbard-ldcfg-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    struct Case {
        const char* name;
        std::optional<ProgramSettings> file; ///< nothing: no ld.cfg at all
        SignEntry expected;
    };
    const auto settings = [](std::string port, int b, int s, int d, int w, int h, int serial) {
        ProgramSettings p;
        p.portName = std::move(port);
        p.brightness = b;
        p.scrollSpeed = s;
        p.displayTimePosition = d;
        p.signWidth = w;
        p.signHeight = h;
        p.signSerial = serial;
        return p;
    };
    const auto entry = [](std::string port, int address, int w, int h, int b, int s, int d) {
        SignEntry e;
        e.name = kDefaultSignName;
        e.port = std::move(port);
        e.address = std::uint16_t(address);
        e.width = w;
        e.height = h;
        e.brightness = b;
        e.speed = s;
        e.displayTime = d;
        return e;
    };
    const std::vector<Case> cases = {
        {"no ld.cfg", std::nullopt, entry("COM1", 1, 8, 8, 90, 2, 12)},
        {"the designer's values", settings("COM7", 40, 5, 134, 16, 16, 4660),
         entry("COM7", 4660, 16, 16, 40, 5, 134)},
        {"a TCP port", settings("tcp:10.0.0.5:4001", 100, 20, 0, 24, 8, 65535),
         entry("tcp:10.0.0.5:4001", 65535, 24, 8, 100, 20, 0)},
        {"hand-edited values out of range", settings("COM2", 0, 50, 200, 99, 12, 2),
         entry("COM2", 2, 8, 8, 1, 20, 134)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = dir / kConfigFile;
        std::filesystem::remove(file);
        if (c.file) {
            ASSERT_EQ(WriteLdCfg(file, *c.file), 0);
        }
        const ServiceConfig config = ConfigFromLdCfg(file);
        EXPECT_TRUE(config.ok());
        ASSERT_EQ(config.signs.size(), 1u);
        const SignEntry& s = config.signs[0];
        const SignEntry& e = c.expected;
        EXPECT_EQ(std::tie(s.name, s.port, s.address, s.width, s.height),
                  std::tie(e.name, e.port, e.address, e.width, e.height));
        EXPECT_EQ(std::tie(s.brightness, s.speed, s.displayTime),
                  std::tie(e.brightness, e.speed, e.displayTime));
        EXPECT_EQ(config.http.listen, kDefaultListen);
    }
    std::filesystem::remove_all(dir);
}

TEST(ServiceConfig, LoopbackHosts) {
    for (const char* host : {"127.0.0.1", "127.1.2.3", "::1", "localhost"})
        EXPECT_TRUE(IsLoopbackHost(host)) << host;
    for (const char* host : {"0.0.0.0", "10.0.0.1", "::", "128.0.0.1", "localhost.example", ""})
        EXPECT_FALSE(IsLoopbackHost(host)) << host;
}

} // namespace
} // namespace pixbar::service
