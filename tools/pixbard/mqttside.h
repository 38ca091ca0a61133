#pragma once

#include "mqtttopics.h"
#include "serviceconfig.h"
#include "signservice.h"

#include <map>
#include <mutex>
#include <string>

struct mosquitto;
struct mosquitto_message;

namespace pixbard {

/// The MQTT side of the service: commands in, state, results, availability and Home Assistant
/// discovery out, over one libmosquitto connection whose will marks the whole service offline.
/// It runs on libmosquitto's own thread and reconnects by itself (1 s doubling to 60 s).
class MqttSide {
public:
    MqttSide(const pixbar::service::ServiceConfig& config, pixbar::service::SignService& service,
             std::string clientId);
    ~MqttSide();
    MqttSide(const MqttSide&) = delete;
    MqttSide& operator=(const MqttSide&) = delete;

    /// Connects in the background; false (with `error`) when the settings cannot be used.
    bool start(std::string& error);
    /// Marks the service and its signs offline and disconnects.
    void stop();
    /// Publishes a sign's state and availability when they changed (any thread).
    void signChanged(const std::string& sign);

private:
    static void onConnect(mosquitto*, void* self, int rc);
    static void onDisconnect(mosquitto*, void* self, int rc);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);
    void connected();
    void message(const std::string& topic, const std::string& payload, bool retained);
    void command(const std::string& topic, const pixbar::service::CommandTopic& parsed,
                 const std::string& payload);
    /// False when not connected: nothing is sent then.
    bool publish(const std::string& topic, const std::string& payload, bool retain);
    void publishSign(const std::string& sign, bool force);

    const pixbar::service::MqttEntry m_config;
    std::vector<pixbar::service::SignEntry> m_signs;
    pixbar::service::SignService& m_service;
    const std::string m_clientId;
    mosquitto* m_mosq = nullptr;
    std::mutex m_mutex;
    std::map<std::string, std::string> m_lastState; ///< what was last published per topic
    bool m_started = false;
    std::mutex m_publishMutex; ///< orders publishing against (re)connecting
    bool m_connected = false;  ///< the broker has taken our CONNECT; guarded by m_publishMutex
};

} // namespace pixbard
