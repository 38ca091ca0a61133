#include "mqtttopics.h"
#include "signjobs.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace pixbar::service {
namespace {

/// MQTT's own matching of a topic against a subscription filter with + and #.
bool FilterMatches(std::string_view filter, std::string_view topic) {
    while (true) {
        const auto fs = filter.find('/'), ts = topic.find('/');
        const std::string_view f = filter.substr(0, fs), t = topic.substr(0, ts);
        if (f == "#") return true;
        if (f != "+" && f != t) return false;
        if (fs == std::string_view::npos || ts == std::string_view::npos)
            return fs == std::string_view::npos && ts == std::string_view::npos;
        filter.remove_prefix(fs + 1);
        topic.remove_prefix(ts + 1);
    }
}

QJsonObject Parse(const std::string& json) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json;
    EXPECT_TRUE(doc.isObject()) << json;
    return doc.object();
}

std::set<QString> Keys(const QJsonObject& o) {
    const QStringList keys = o.keys();
    return {keys.begin(), keys.end()};
}

std::string S(const QJsonValue& v) {
    return v.toString().toStdString();
}

// ---- Command topics ---------------------------------------------------------------

TEST(CommandTopicTest, TableOfTopics) {
    struct Case {
        std::string base, topic;
        bool ok;
        bool group = false;
        std::string name, command;
    };
    const std::vector<Case> cases = {
        {"pixbar", "pixbar/shop/live/set", true, false, "shop", "live"},
        {"pixbar", "pixbar/shop/show/set", true, false, "shop", "show"},
        {"pixbar", "pixbar/shop/brightness/set", true, false, "shop", "brightness"},
        {"pixbar", "pixbar/shop/speed/set", true, false, "shop", "speed"},
        {"pixbar", "pixbar/shop/displaytime/set", true, false, "shop", "displaytime"},
        {"pixbar", "pixbar/shop/clock/set", true, false, "shop", "clock"},
        {"pixbar", "pixbar/shop/message/3/set", true, false, "shop", "message/3"},
        {"pixbar", "pixbar/shop-2_b/message/8/set", true, false, "shop-2_b", "message/8"},
        // The number is CommandJob's to check, so a bad one still gets a BadInput result.
        {"pixbar", "pixbar/shop/message/x/set", true, false, "shop", "message/x"},
        {"pixbar", "pixbar/group/north/live/set", true, true, "north", "live"},
        {"pixbar", "pixbar/group/north/message/1/set", true, true, "north", "message/1"},
        {"pixbar", "pixbar/group/all/clock/set", true, true, "all", "clock"},
        {"home/signs", "home/signs/shop/live/set", true, false, "shop", "live"},
        {"home/signs", "home/signs/group/g/speed/set", true, true, "g", "speed"},
        // wrong base
        {"pixbar", "pixbarx/shop/live/set", false, false, "", ""},
        {"pixbar", "pixba/shop/live/set", false, false, "", ""},
        {"pixbar", "other/pixbar/shop/live/set", false, false, "", ""},
        {"pixbar", "/pixbar/shop/live/set", false, false, "", ""},
        {"home/signs", "home/shop/live/set", false, false, "", ""},
        {"pixbar", "pixbar", false, false, "", ""},
        {"pixbar", "pixbar/", false, false, "", ""},
        // missing or misplaced /set
        {"pixbar", "pixbar/shop/live", false, false, "", ""},
        {"pixbar", "pixbar/shop/live/get", false, false, "", ""},
        {"pixbar", "pixbar/shop/live/set/", false, false, "", ""},
        {"pixbar", "pixbar/shop/live/set/set", false, false, "", ""},
        {"pixbar", "pixbar/shop/set", false, false, "", ""},
        {"pixbar", "pixbar/shop/state", false, false, "", ""},
        {"pixbar", "pixbar/shop/result", false, false, "", ""},
        {"pixbar", "pixbar/shop/availability", false, false, "", ""},
        {"pixbar", "pixbar/shop/message/3", false, false, "", ""},
        // unknown commands
        {"pixbar", "pixbar/shop/blink/set", false, false, "", ""},
        {"pixbar", "pixbar/shop/Live/set", false, false, "", ""},
        {"pixbar", "pixbar/shop/message/set", false, false, "", ""},
        {"pixbar", "pixbar/shop/result/set", false, false, "", ""},
        {"pixbar", "pixbar/shop/show/1/set", false, false, "", ""},
        // empty names
        {"pixbar", "pixbar//live/set", false, false, "", ""},
        {"pixbar", "pixbar/group//live/set", false, false, "", ""},
        {"pixbar", "pixbar/shop//set", false, false, "", ""},
        // extra or missing levels
        {"pixbar", "pixbar/shop/x/live/set", false, false, "", ""},
        {"pixbar", "pixbar/shop/message/3/4/set", false, false, "", ""},
        {"pixbar", "pixbar/group/north/x/live/set", false, false, "", ""},
        {"pixbar", "pixbar/group/live/set", false, false, "", ""},
        {"pixbar", "pixbar/group/message/3/set", false, false, "", ""},
        {"pixbar", "pixbar/service/pixbard-a/availability", false, false, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.topic);
        const auto parsed = ParseCommandTopic(c.base, c.topic);
        ASSERT_EQ(parsed.has_value(), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(parsed->group, c.group);
        EXPECT_EQ(parsed->name, c.name);
        EXPECT_EQ(parsed->command, c.command);
        // Every topic the service acts on is one it subscribes to.
        bool subscribed = false;
        for (const std::string& filter : CommandSubscriptions(c.base))
            subscribed = subscribed || FilterMatches(filter, c.topic);
        EXPECT_TRUE(subscribed);
    }
}

TEST(CommandTopicTest, EveryCommandOfEverySignAndGroupRoundTrips) {
    const std::vector<std::string> commands = {"live", "show", "brightness", "speed",
                                               "displaytime", "clock", "message/1", "message/8"};
    for (const std::string base : {"pixbar", "a/b/c"}) {
        for (const std::string name : {"shop", "x", "sign_1", "A-b"}) {
            for (const std::string& command : commands) {
                for (const bool group : {false, true}) {
                    const std::string topic =
                        base + (group ? "/group/" : "/") + name + "/" + command + "/set";
                    SCOPED_TRACE(topic);
                    const auto parsed = ParseCommandTopic(base, topic);
                    ASSERT_TRUE(parsed);
                    EXPECT_EQ(parsed->group, group);
                    EXPECT_EQ(parsed->name, name);
                    EXPECT_EQ(parsed->command, command);
                    int matches = 0;
                    for (const std::string& filter : CommandSubscriptions(base))
                        matches += FilterMatches(filter, topic);
                    // One subscription each, or the broker would deliver a command twice.
                    EXPECT_EQ(matches, 1);
                }
            }
        }
    }
}

TEST(CommandTopicTest, ClientIdFromConfigOrHostname) {
    MqttEntry mqtt;
    EXPECT_EQ(MqttClientId(mqtt, "kiosk"), "pixbard-kiosk");
    EXPECT_EQ(MqttClientId(mqtt, "shop.example.com"), "pixbard-shop_example_com");
    EXPECT_EQ(MqttClientId(mqtt, "a b+c#"), "pixbard-a_b_c_");
    mqtt.clientId = "front-door";
    EXPECT_EQ(MqttClientId(mqtt, "kiosk"), "front-door");
}

TEST(CommandTopicTest, StateAndResultTopicsAreNoCommands) {
    for (const std::string& topic :
         {AvailabilityTopic("pixbar", "shop"), StateTopic("pixbar", "shop"),
          ResultTopic("pixbar", "shop"), ServiceAvailabilityTopic("pixbar", "pixbard-x")}) {
        SCOPED_TRACE(topic);
        EXPECT_TRUE(topic.starts_with("pixbar/"));
        EXPECT_FALSE(ParseCommandTopic("pixbar", topic));
        for (const std::string& filter : CommandSubscriptions("pixbar"))
            EXPECT_FALSE(FilterMatches(filter, topic)) << filter;
    }
    // A sign's topics and the service's never meet, whatever the sign is called.
    EXPECT_NE(AvailabilityTopic("pixbar", "service"), ServiceAvailabilityTopic("pixbar", "x"));
}

// ---- State and results ------------------------------------------------------------

TEST(StateJsonTest, KeysAndValues) {
    SignStatus s;
    const QJsonObject empty = Parse(StateJson(s));
    const std::set<QString> keys{"online",      "busy",  "queue", "brightness", "speed",
                                 "displayTime", "shown", "live",  "lastResult", "relayClient"};
    EXPECT_EQ(Keys(empty), keys);
    EXPECT_FALSE(empty["online"].toBool());
    EXPECT_TRUE(empty["shown"].isNull());
    EXPECT_TRUE(empty["live"].isNull());
    EXPECT_TRUE(empty["lastResult"].isNull());
    EXPECT_TRUE(empty["relayClient"].isNull());

    s.online = true;
    s.busy = true;
    s.queue = 4;
    s.settings = {37, 11, 134};
    s.shown = 9;
    s.live = "Zażółć \"gęślą\" {effect 3}";
    s.lastResult = JobResult::Replaced;
    s.relayClient = "[fd00::7]:53422";
    const QJsonObject full = Parse(StateJson(s));
    EXPECT_EQ(Keys(full), keys);
    EXPECT_TRUE(full["online"].toBool());
    EXPECT_TRUE(full["busy"].toBool());
    EXPECT_EQ(full["queue"].toInt(), 4);
    EXPECT_EQ(full["brightness"].toInt(), 37);
    EXPECT_EQ(full["speed"].toInt(), 11);
    EXPECT_EQ(full["displayTime"].toInt(), 134);
    EXPECT_EQ(full["shown"].toInt(), 9);
    EXPECT_EQ(S(full["live"]), *s.live);
    EXPECT_EQ(S(full["lastResult"]), "Replaced");
    EXPECT_EQ(S(full["relayClient"]), *s.relayClient);
}

TEST(ResultJsonTest, TopicResultAndError) {
    const QJsonObject ok = Parse(ResultJson("pixbar/shop/live/set", JobResult::Ok, ""));
    EXPECT_EQ(ok.size(), 3);
    EXPECT_EQ(S(ok["topic"]), "pixbar/shop/live/set");
    EXPECT_EQ(S(ok["result"]), "Ok");
    EXPECT_TRUE(ok["error"].isNull());
    const QJsonObject bad =
        Parse(ResultJson("pixbar/group/all/speed/set", JobResult::BadInput, "speed to liczba"));
    EXPECT_EQ(S(bad["result"]), "BadInput");
    EXPECT_EQ(S(bad["error"]), "speed to liczba");
    for (JobResult r : {JobResult::Ok, JobResult::NoReply, JobResult::Rejected, JobResult::Offline,
                        JobResult::BadInput, JobResult::Replaced, JobResult::Stopped})
        EXPECT_EQ(S(Parse(ResultJson("t", r, "e"))["result"]), JobResultName(r));
}

// ---- Home Assistant discovery ------------------------------------------------------

struct Entity {
    std::string component, node, object;
    QJsonObject config;
};

/// The discovery messages of `sign`, each topic checked for HA's form and taken apart.
std::vector<Entity> Entities(const MqttEntry& mqtt, const std::string& clientId,
                             const SignEntry& sign) {
    static const QRegularExpression id(QStringLiteral("^[A-Za-z0-9_-]+$"));
    std::vector<Entity> out;
    for (const DiscoveryMessage& m : SignDiscovery(mqtt, clientId, sign)) {
        SCOPED_TRACE(m.topic);
        const std::string prefix = mqtt.discoveryPrefix + "/";
        EXPECT_TRUE(m.topic.starts_with(prefix));
        const QStringList parts = QString::fromStdString(m.topic.substr(prefix.size())).split('/');
        EXPECT_EQ(parts.size(), 4);
        if (parts.size() != 4) continue;
        EXPECT_EQ(parts[3], "config");
        EXPECT_TRUE(id.match(parts[1]).hasMatch()) << parts[1].toStdString();
        EXPECT_TRUE(id.match(parts[2]).hasMatch()) << parts[2].toStdString();
        out.push_back({parts[0].toStdString(), parts[1].toStdString(), parts[2].toStdString(),
                       Parse(m.payload)});
    }
    return out;
}

SignEntry Sign(std::string name, std::uint16_t address) {
    SignEntry s;
    s.name = std::move(name);
    s.address = address;
    s.port = "tcp:127.0.0.1:1";
    return s;
}

TEST(DiscoveryTest, FieldsHomeAssistantNeedsForEachComponent) {
    MqttEntry mqtt;
    mqtt.base = "home/pixbar";
    mqtt.discoveryPrefix = "ha";
    const std::string clientId = "pixbard-kiosk";
    const std::vector<SignEntry> signs = {Sign("shop", 4660), Sign("shop_2", 7), Sign("a-b", 65535)};

    std::set<std::string> uniqueIds, deviceIds, topics;
    for (const SignEntry& sign : signs) {
        SCOPED_TRACE(sign.name);
        const auto entities = Entities(mqtt, clientId, sign);
        std::map<std::string, int> components;
        std::set<std::string> signDevices;
        for (const Entity& e : entities) {
            SCOPED_TRACE(e.object);
            const QJsonObject& c = e.config;
            ++components[e.component];
            EXPECT_EQ(e.node, DiscoveryNode(clientId));
            EXPECT_TRUE(topics.insert(e.component + "/" + e.node + "/" + e.object).second);
            EXPECT_FALSE(S(c["name"]).empty());
            const std::string uid = S(c["unique_id"]);
            EXPECT_FALSE(uid.empty());
            EXPECT_TRUE(uniqueIds.insert(uid).second) << uid;

            const QJsonObject device = c["device"].toObject();
            const QJsonArray ids = device["identifiers"].toArray();
            ASSERT_FALSE(ids.isEmpty());
            for (const QJsonValue& v : ids) signDevices.insert(S(v));
            EXPECT_EQ(S(device["model"]), "Pixbar");
            EXPECT_EQ(S(device["serial_number"]), std::to_string(sign.address));
            EXPECT_FALSE(S(device["name"]).empty());

            // The sign's own topic and the service's will: both must say online.
            const QJsonArray availability = c["availability"].toArray();
            std::set<std::string> availabilityTopics;
            for (const QJsonValue& a : availability) availabilityTopics.insert(S(a["topic"]));
            EXPECT_EQ(availabilityTopics,
                      (std::set<std::string>{AvailabilityTopic(mqtt.base, sign.name),
                                             ServiceAvailabilityTopic(mqtt.base, clientId)}));
            EXPECT_EQ(S(c["availability_mode"]), "all");
            EXPECT_FALSE(c.contains("availability_topic")); // HA refuses both forms at once

            if (e.component != "sensor") {
                const std::string command = S(c["command_topic"]);
                const auto parsed = ParseCommandTopic(mqtt.base, command);
                ASSERT_TRUE(parsed) << command;
                EXPECT_FALSE(parsed->group);
                EXPECT_EQ(parsed->name, sign.name);
            } else {
                EXPECT_FALSE(c.contains("command_topic"));
            }
            if (c.contains("state_topic")) {
                EXPECT_EQ(S(c["state_topic"]), StateTopic(mqtt.base, sign.name));
            }

            if (e.component == "text") {
                EXPECT_TRUE(c.contains("state_topic"));
                EXPECT_EQ(ParseCommandTopic(mqtt.base, S(c["command_topic"]))->command, "live");
                const int min = c["min"].toInt(-1), max = c["max"].toInt(-1);
                EXPECT_GE(min, 0);
                EXPECT_LE(min, max);
                EXPECT_LE(max, 255); // HA's longest state
                EXPECT_TRUE(S(c["mode"]) == "text" || S(c["mode"]) == "password");
                EXPECT_TRUE(std::holds_alternative<Job>(CommandJob("live", std::string(std::size_t(max), 'a'))));
            } else if (e.component == "number") {
                EXPECT_TRUE(c.contains("state_topic"));
                const auto parsed = *ParseCommandTopic(mqtt.base, S(c["command_topic"]));
                const int min = c["min"].toInt(-1), max = c["max"].toInt(-1);
                EXPECT_GT(c["step"].toDouble(), 0.0);
                EXPECT_LT(min, max);
                // What HA may send is what the command takes, and no more.
                const std::map<std::string, std::pair<int, int>> ranges = {
                    {"brightness", {1, 100}}, {"speed", {1, 20}}, {"displaytime", {0, 134}}};
                ASSERT_TRUE(ranges.count(parsed.command)) << parsed.command;
                EXPECT_EQ(std::make_pair(min, max), ranges.at(parsed.command));
                for (int v : {min, max, (min + max) / 2})
                    EXPECT_TRUE(std::holds_alternative<Job>(CommandJob(parsed.command, std::to_string(v))));
                for (int v : {min - 1, max + 1})
                    EXPECT_TRUE(std::holds_alternative<BadRequest>(CommandJob(parsed.command, std::to_string(v))));
            } else if (e.component == "select") {
                const auto parsed = *ParseCommandTopic(mqtt.base, S(c["command_topic"]));
                EXPECT_EQ(parsed.command, "show");
                const QJsonArray options = c["options"].toArray();
                EXPECT_EQ(options.size(), kSlotCount);
                for (int i = 0; i < options.size(); ++i) {
                    EXPECT_EQ(S(options[i]), std::to_string(i + 1));
                    EXPECT_TRUE(std::holds_alternative<Job>(CommandJob("show", S(options[i]))));
                }
                // Before any slot is shown the template must give Home Assistant's "None"
                // (unknown), never a value outside the options.
                const std::string tmpl = S(c["value_template"]);
                EXPECT_NE(tmpl.find("else 'None'"), std::string::npos) << tmpl;
            } else if (e.component == "button") {
                const auto parsed = *ParseCommandTopic(mqtt.base, S(c["command_topic"]));
                EXPECT_EQ(parsed.command, "clock");
                const std::string press = c.contains("payload_press") ? S(c["payload_press"]) : "PRESS";
                EXPECT_FALSE(press.empty());
                EXPECT_TRUE(std::holds_alternative<Job>(CommandJob("clock", press)));
            } else if (e.component == "sensor") {
                EXPECT_EQ(S(c["state_topic"]), StateTopic(mqtt.base, sign.name));
            } else {
                ADD_FAILURE() << "unexpected component " << e.component;
            }
            // Every field a template reads is one the state carries.
            static const QRegularExpression field(QStringLiteral("value_json\\.([A-Za-z_]+)"));
            const QJsonObject state = Parse(StateJson(SignStatus{}));
            auto it = field.globalMatch(c["value_template"].toString());
            while (it.hasNext()) {
                const QString key = it.next().captured(1);
                EXPECT_TRUE(state.contains(key)) << key.toStdString();
            }
        }
        EXPECT_EQ(components, (std::map<std::string, int>{
                                  {"text", 1}, {"number", 3}, {"select", 1}, {"button", 1}, {"sensor", 1}}));
        // One device per sign, and no two signs share one.
        EXPECT_EQ(signDevices.size(), 1u);
        for (const std::string& d : signDevices) EXPECT_TRUE(deviceIds.insert(d).second) << d;
    }
}

TEST(DiscoveryTest, NothingWithoutPrefix) {
    MqttEntry mqtt;
    mqtt.discoveryPrefix.clear();
    EXPECT_TRUE(SignDiscovery(mqtt, "id", Sign("shop", 1)).empty());
    EXPECT_FALSE(DiscoveredSign(mqtt, "id", "homeassistant/text/id/shop_live/config"));
}

TEST(DiscoveryTest, DiscoveredSignRoundTrip) {
    MqttEntry mqtt;
    for (const std::string prefix : {"homeassistant", "ha/disc"}) {
        mqtt.discoveryPrefix = prefix;
        for (const std::string name : {"shop", "shop_2", "a-b", "x", "live", "_"}) {
            for (const DiscoveryMessage& m : SignDiscovery(mqtt, "pixbard-a", Sign(name, 1))) {
                SCOPED_TRACE(m.topic);
                EXPECT_EQ(DiscoveredSign(mqtt, "pixbard-a", m.topic), std::optional<std::string>(name));
                // Another service's configs are left alone.
                EXPECT_FALSE(DiscoveredSign(mqtt, "pixbard-b", m.topic));
            }
        }
    }
    mqtt.discoveryPrefix = "homeassistant";
    for (const std::string topic :
         {"homeassistant/status", "homeassistant/text/pixbard-a/config",
          "homeassistant/text/pixbard-a/shop_live", "homeassistant/text/pixbard-a/shop_live/state",
          "homeassistant/text/pixbard-a/_live/config", "homeassistant/text/pixbard-a/live/config",
          "homeassistantx/text/pixbard-a/shop_live/config", "other/text/pixbard-a/shop_live/config",
          "pixbar/shop/state"}) {
        EXPECT_FALSE(DiscoveredSign(mqtt, "pixbard-a", topic)) << topic;
    }
}

} // namespace
} // namespace pixbar::service
