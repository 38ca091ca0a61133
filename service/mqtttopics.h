#pragma once

#include "serviceconfig.h"
#include "signworker.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pixbar::service {

/// A command topic taken apart: `<base>/<sign>/<command>/set` or
/// `<base>/group/<group>/<command>/set`, the command being "live", "message/N", "show",
/// "brightness", "speed", "displaytime" or "clock".
struct CommandTopic {
    bool group = false;
    std::string name; ///< the sign's or the group's
    std::string command;
};

/// Nothing for a topic that is not a command under `base`.
std::optional<CommandTopic> ParseCommandTopic(std::string_view base, std::string_view topic);

/// The topics the MQTT side subscribes to for commands under `base`.
std::vector<std::string> CommandSubscriptions(std::string_view base);

/// The client id of a service: the configured one, or pixbard-<hostname>.
std::string MqttClientId(const MqttEntry& mqtt, std::string_view hostname);

std::string AvailabilityTopic(std::string_view base, std::string_view sign);
std::string ServiceAvailabilityTopic(std::string_view base, std::string_view clientId);
std::string StateTopic(std::string_view base, std::string_view sign);
std::string ResultTopic(std::string_view base, std::string_view sign);

/// The retained state of a sign.
std::string StateJson(const SignStatus& status);
/// One finished command: `{"topic":..., "result":..., "error": null | reason}`.
std::string ResultJson(std::string_view topic, JobResult result, std::string_view error);

/// One Home Assistant discovery message.
struct DiscoveryMessage {
    std::string topic;
    std::string payload; ///< JSON
};
/// The entities of one sign: the live text, the three settings, the slot shown, the clock
/// button and the last result, one device per sign.
std::vector<DiscoveryMessage> SignDiscovery(const MqttEntry& mqtt, std::string_view clientId,
                                            const SignEntry& sign);
/// The node id every discovery topic of this service uses.
std::string DiscoveryNode(std::string_view clientId);
/// The sign a discovery config topic of this service is about; nothing for any other topic.
std::optional<std::string> DiscoveredSign(const MqttEntry& mqtt, std::string_view clientId,
                                          std::string_view topic);

} // namespace pixbar::service
