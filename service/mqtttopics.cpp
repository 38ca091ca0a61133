#include "mqtttopics.h"

#include "settings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cctype>

namespace pixbar::service {

namespace {

QString q(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

std::string json(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

std::vector<std::string_view> split(std::string_view text) {
    std::vector<std::string_view> parts;
    while (true) {
        const auto slash = text.find('/');
        parts.push_back(text.substr(0, slash));
        if (slash == std::string_view::npos) break;
        text.remove_prefix(slash + 1);
    }
    return parts;
}

bool knownCommand(std::string_view c) {
    return c == "live" || c == "show" || c == "brightness" || c == "speed" || c == "displaytime" ||
           c == "clock";
}

/// Home Assistant takes [a-zA-Z0-9_-] in node and object ids.
std::string idOf(std::string_view text) {
    std::string id(text);
    for (char& c : id)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') c = '_';
    return id;
}

} // namespace

std::optional<CommandTopic> ParseCommandTopic(std::string_view base, std::string_view topic) {
    if (!topic.starts_with(base) || topic.size() <= base.size() || topic[base.size()] != '/')
        return std::nullopt;
    auto parts = split(topic.substr(base.size() + 1));
    if (parts.size() < 3 || parts.back() != "set") return std::nullopt;
    parts.pop_back();
    CommandTopic result;
    if (parts.front() == "group") {
        result.group = true;
        parts.erase(parts.begin());
        if (parts.size() < 2) return std::nullopt;
    }
    result.name = std::string(parts.front());
    if (result.name.empty()) return std::nullopt;
    parts.erase(parts.begin());
    if (parts.size() == 1 && knownCommand(parts[0])) {
        result.command = std::string(parts[0]);
    } else if (parts.size() == 2 && parts[0] == "message") {
        result.command = "message/" + std::string(parts[1]);
    } else {
        return std::nullopt;
    }
    return result;
}

std::vector<std::string> CommandSubscriptions(std::string_view base) {
    const std::string b(base);
    return {b + "/+/+/set", b + "/+/message/+/set", b + "/group/+/+/set",
            b + "/group/+/message/+/set"};
}

std::string MqttClientId(const MqttEntry& mqtt, std::string_view hostname) {
    if (!mqtt.clientId.empty()) return mqtt.clientId;
    return idOf("pixbard-" + std::string(hostname));
}

std::string AvailabilityTopic(std::string_view base, std::string_view sign) {
    return std::string(base) + "/" + std::string(sign) + "/availability";
}

std::string ServiceAvailabilityTopic(std::string_view base, std::string_view clientId) {
    return std::string(base) + "/service/" + std::string(clientId) + "/availability";
}

std::string StateTopic(std::string_view base, std::string_view sign) {
    return std::string(base) + "/" + std::string(sign) + "/state";
}

std::string ResultTopic(std::string_view base, std::string_view sign) {
    return std::string(base) + "/" + std::string(sign) + "/result";
}

std::string StateJson(const SignStatus& s) {
    const QJsonValue null(QJsonValue::Null);
    return json({{"online", s.online},
                 {"busy", s.busy},
                 {"queue", s.queue},
                 {"brightness", s.settings.brightness},
                 {"speed", s.settings.speed},
                 {"displayTime", s.settings.displayTime},
                 {"shown", s.shown ? QJsonValue(*s.shown) : null},
                 {"live", s.live ? QJsonValue(q(*s.live)) : null},
                 {"relayClient", s.relayClient ? QJsonValue(q(*s.relayClient)) : null},
                 {"lastResult", s.lastResult ? QJsonValue(JobResultName(*s.lastResult)) : null}});
}

std::string ResultJson(std::string_view topic, JobResult result, std::string_view error) {
    return json({{"topic", q(topic)},
                 {"result", JobResultName(result)},
                 {"error", error.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(q(error))}});
}

std::string DiscoveryNode(std::string_view clientId) {
    return idOf(clientId);
}

std::optional<std::string> DiscoveredSign(const MqttEntry& mqtt, std::string_view clientId,
                                          std::string_view topic) {
    // <prefix>/<component>/<node>/<sign>_<entity>/config
    if (mqtt.discoveryPrefix.empty() || !topic.starts_with(mqtt.discoveryPrefix + "/"))
        return std::nullopt;
    const auto parts = split(topic.substr(mqtt.discoveryPrefix.size() + 1));
    if (parts.size() != 4 || parts[3] != "config" || parts[1] != DiscoveryNode(clientId))
        return std::nullopt;
    const auto underscore = parts[2].rfind('_');
    if (underscore == std::string_view::npos || underscore == 0) return std::nullopt;
    return std::string(parts[2].substr(0, underscore));
}

std::vector<DiscoveryMessage> SignDiscovery(const MqttEntry& mqtt, std::string_view clientId,
                                            const SignEntry& sign) {
    if (mqtt.discoveryPrefix.empty()) return {};
    const std::string base = mqtt.base;
    const std::string node = DiscoveryNode(clientId);
    const std::string signId = idOf(sign.name);
    const QJsonObject device{
        {"identifiers", QJsonArray{q(node + "_" + signId)}},
        {"name", q(sign.name)},
        {"manufacturer", "Pixbar4Designer"},
        {"model", "Pixbar"},
        {"serial_number", QString::number(sign.address)},
        {"sw_version", "pixbard"}};
    const QJsonArray availability{
        QJsonObject{{"topic", q(AvailabilityTopic(base, sign.name))}},
        QJsonObject{{"topic", q(ServiceAvailabilityTopic(base, clientId))}}};
    const std::string state = StateTopic(base, sign.name);
    const auto command = [&](const char* c) { return q(base + "/" + sign.name + "/" + c + "/set"); };

    std::vector<DiscoveryMessage> out;
    const auto add = [&](const char* component, const char* object, QJsonObject entity) {
        entity["unique_id"] = q(node + "_" + signId + "_" + object);
        entity["object_id"] = q(signId + "_" + object);
        entity["device"] = device;
        entity["availability"] = availability;
        entity["availability_mode"] = "all";
        entity["qos"] = 1;
        out.push_back({mqtt.discoveryPrefix + "/" + component + "/" + node + "/" + signId + "_" +
                           object + "/config",
                       json(entity)});
    };
    add("text", "live",
        {{"name", "Tekst na żywo"},
         {"command_topic", command("live")},
         {"state_topic", q(state)},
         {"value_template", "{{ value_json.live if value_json.live is not none else '' }}"},
         {"min", 0},
         {"max", 255},
         {"mode", "text"},
         {"icon", "mdi:message-text"}});
    const auto number = [&](const char* object, const char* name, const char* key, int min, int max) {
        add("number", object,
            {{"name", name},
             {"command_topic", command(object)},
             {"state_topic", q(state)},
             {"value_template", QStringLiteral("{{ value_json.%1 }}").arg(QLatin1String(key))},
             {"min", min},
             {"max", max},
             {"step", 1},
             {"mode", "slider"}});
    };
    number("brightness", "Jasność", "brightness", 1, 100);
    number("speed", "Prędkość przesuwu", "speed", 1, 20);
    number("displaytime", "Czas wyświetlania", "displayTime", 0, kDisplayTimeNoSwitch);
    add("select", "show",
        {{"name", "Wyświetlany komunikat"},
         {"command_topic", command("show")},
         {"state_topic", q(state)},
         // Home Assistant takes "None" as an unknown selection, anything else outside the
         // options as an error in its log.
         {"value_template", "{{ value_json.shown if value_json.shown is not none else 'None' }}"},
         {"options", QJsonArray{"1", "2", "3", "4", "5", "6", "7", "8", "9"}}});
    add("button", "clock",
        {{"name", "Zsynchronizuj zegar"},
         {"command_topic", command("clock")},
         {"payload_press", "PRESS"},
         {"icon", "mdi:clock-check"}});
    add("sensor", "result",
        {{"name", "Ostatni wynik"},
         {"state_topic", q(state)},
         {"value_template", "{{ value_json.lastResult if value_json.lastResult is not none else 'brak' }}"},
         {"icon", "mdi:check-network"}});
    return out;
}

} // namespace pixbar::service
