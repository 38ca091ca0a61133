#include "netrange.h"
#include "serviceconfig.h"

#include <gtest/gtest.h>

namespace pixbar::service {
namespace {

std::string Sign(const std::string& name, const std::string& extra) {
    return "[sign " + name + "]\nport = tcp:127.0.0.1:41100\n" + extra;
}

TEST(RelayConfig, RelayAndItsNetworks) {
    const ServiceConfig c = ParseServiceConfig(
        Sign("a", "relay = 127.0.0.1:4101\n") +
        Sign("b", "relay = [::]:4102\nrelay-allow = 192.168.1.0/24, 10.0.0.5/32 ,fd00::/8, 10.0.0.9\n") +
        Sign("c", ""));
    ASSERT_TRUE(c.ok()) << c.problems.front();
    EXPECT_EQ(c.signs[0].relayHost, "127.0.0.1");
    EXPECT_EQ(c.signs[0].relayPort, 4101);
    EXPECT_TRUE(c.signs[0].relayAllow.empty());
    EXPECT_EQ(c.signs[1].relayHost, "::");
    EXPECT_EQ(c.signs[1].relayPort, 4102);
    ASSERT_EQ(c.signs[1].relayAllow.size(), 4u);
    EXPECT_EQ(c.signs[1].relayAllow[2].bits, 8);
    EXPECT_EQ(c.signs[1].relayAllow[3].bits, 32);
    EXPECT_TRUE(c.signs[2].relay.empty());
}

TEST(RelayConfig, BadValuesAreProblemsOfTheirLine) {
    struct Case {
        std::string text;
        std::string problem;
    };
    const std::vector<Case> cases{
        {Sign("a", "relay = 4101\n"), "line 3: relay is HOST:PORT"},
        {Sign("a", "relay = 127.0.0.1:0\n"), "line 3: relay is HOST:PORT"},
        {Sign("a", "relay = 127.0.0.1:4101\nrelay-allow = 192.168.1.0/33\n"), "line 4: \"192.168.1.0/33\""},
        {Sign("a", "relay-allow = 192.168.1.5/24\n"), "line 3: \"192.168.1.5/24\""},
        {Sign("a", "relay-allow = fd00::/129\n"), "line 3: \"fd00::/129\""},
        {Sign("a", "relay-allow = lan\n"), "line 3: \"lan\""},
        {Sign("a", "relay-allow = 10.0.0.0/8,\n"), ""},
        {Sign("a", "relay-allow = 10.0.0.0/\n"), "line 3: \"10.0.0.0/\""},
        {Sign("a", "relay-allow =\n"), "line 3: relay-allow lists networks"},
        {Sign("a", "relay = 127.0.0.1:4101\n") + Sign("b", "relay = 127.0.0.1:4101\n"),
         "line 6: relay 127.0.0.1:4101 is already another sign's relay"},
        {Sign("a", "relay = 0.0.0.0:4101\n") + Sign("b", "relay = 127.0.0.1:4101\n"),
         "line 6: relay 127.0.0.1:4101 is already another sign's relay"},
        {Sign("a", "relay = 127.0.0.1:4101\n") + Sign("b", "relay = 127.0.0.1:4102\n"), ""},
        {Sign("a", "relay = 127.0.0.1:8420\n"), "line 3: relay 127.0.0.1:8420 is the HTTP listen address"},
        {"[http]\nlisten = 0.0.0.0:9000\n" + Sign("a", "relay = 127.0.0.1:9000\n"),
         "line 5: relay 127.0.0.1:9000 is the HTTP listen address"},
    };
    for (const Case& c : cases) {
        const ServiceConfig config = ParseServiceConfig(c.text);
        if (c.problem.empty()) {
            EXPECT_TRUE(config.ok()) << c.text;
            continue;
        }
        ASSERT_EQ(config.problems.size(), 1u) << c.text;
        EXPECT_EQ(config.problems[0].rfind(c.problem, 0), 0u) << config.problems[0];
    }
}

TEST(RelayAllow, WhoMayConnect) {
    std::vector<NetworkRange> lan;
    for (const char* text : {"192.168.1.0/24", "10.0.0.5/32", "fd00::/8"})
        lan.push_back(*ParseNetworkRange(text));
    const std::vector<NetworkRange> everyone{*ParseNetworkRange("0.0.0.0/0")};
    struct Case {
        const char* peer;
        bool byDefault, inLan, anyV4;
    };
    const std::vector<Case> cases{
        {"127.0.0.1", true, true, true},
        {"127.8.9.10", true, true, true},
        {"::1", true, true, true},
        {"::ffff:127.0.0.1", true, true, true},
        {"192.168.1.77", false, true, true},
        {"::ffff:192.168.1.77", false, true, true},
        {"192.168.2.1", false, false, true},
        {"10.0.0.5", false, true, true},
        {"10.0.0.6", false, false, true},
        {"fd12:3456::1", false, true, false},
        {"fe80::1", false, false, false},
        {"not an address", false, false, false},
        {"", false, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PeerAllowed({}, c.peer), c.byDefault) << c.peer;
        EXPECT_EQ(PeerAllowed(lan, c.peer), c.inLan) << c.peer;
        EXPECT_EQ(PeerAllowed(everyone, c.peer), c.anyV4) << c.peer;
    }
}

} // namespace
} // namespace pixbar::service
