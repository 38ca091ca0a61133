#include "mqttside.h"

#include "signjobs.h"

#include <mosquitto.h>

#include <cstdio>
#include <fstream>

namespace pixbard {

using namespace pixbar::service;

namespace {

constexpr int kQos = 1;
constexpr int kKeepAliveSeconds = 60;
constexpr unsigned kFirstDelay = 1;
constexpr unsigned kLongestDelay = 60;

class Library {
public:
    Library() { mosquitto_lib_init(); }
    ~Library() { mosquitto_lib_cleanup(); }
};

} // namespace

MqttSide::MqttSide(const ServiceConfig& config, SignService& service, std::string clientId)
    : m_config(config.mqtt), m_signs(config.signs), m_service(service), m_clientId(std::move(clientId)) {
    static Library library;
}

MqttSide::~MqttSide() {
    stop();
    if (m_mosq) mosquitto_destroy(m_mosq);
}

bool MqttSide::start(std::string& error) {
    m_mosq = mosquitto_new(m_clientId.c_str(), true, this);
    if (!m_mosq) {
        error = "MQTT: nie można utworzyć klienta";
        return false;
    }
    if (!m_config.user.empty()) {
        std::string password;
        if (!m_config.passwordFile.empty()) {
            std::ifstream in(m_config.passwordFile);
            if (!in || !std::getline(in, password)) {
                error = "MQTT: nie można odczytać " + m_config.passwordFile.string();
                return false;
            }
        }
        mosquitto_username_pw_set(m_mosq, m_config.user.c_str(),
                                  m_config.passwordFile.empty() ? nullptr : password.c_str());
    }
    if (!m_config.tlsCa.empty()) {
        const int rc = mosquitto_tls_set(
            m_mosq, m_config.tlsCa.c_str(), nullptr,
            m_config.tlsCert.empty() ? nullptr : m_config.tlsCert.c_str(),
            m_config.tlsKey.empty() ? nullptr : m_config.tlsKey.c_str(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            error = std::string("MQTT TLS: ") + mosquitto_strerror(rc);
            return false;
        }
    }
    // When the service dies, the broker tells everyone that all of its signs are gone.
    const std::string will = ServiceAvailabilityTopic(m_config.base, m_clientId);
    mosquitto_will_set(m_mosq, will.c_str(), 7, "offline", kQos, true);
    mosquitto_reconnect_delay_set(m_mosq, kFirstDelay, kLongestDelay, true);
    // Each command is acknowledged and answered with small packets in quick succession;
    // Nagle's algorithm would hold the second one back until the broker's delayed ACK.
    mosquitto_int_option(m_mosq, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(m_mosq, &MqttSide::onConnect);
    mosquitto_disconnect_callback_set(m_mosq, &MqttSide::onDisconnect);
    mosquitto_message_callback_set(m_mosq, &MqttSide::onMessage);

    // A broker that is not there yet is tried again by the loop, as after a drop.
    const int rc = mosquitto_connect_async(m_mosq, m_config.host.c_str(), m_config.port, kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_ERRNO) {
        error = std::string("MQTT: ") + mosquitto_strerror(rc);
        return false;
    }
    if (mosquitto_loop_start(m_mosq) != MOSQ_ERR_SUCCESS) {
        error = "MQTT: nie można uruchomić wątku klienta";
        return false;
    }
    if (rc == MOSQ_ERR_ERRNO) mosquitto_reconnect_async(m_mosq);
    // Only now: the workers must not call into a side that failed to start.
    for (const SignEntry& sign : m_signs) {
        if (SignWorker* worker = m_service.worker(sign.name))
            worker->setObserver([this, name = sign.name] { signChanged(name); });
    }
    m_started = true;
    return true;
}

void MqttSide::stop() {
    if (!m_started) return;
    m_started = false;
    for (const SignEntry& sign : m_signs) {
        if (SignWorker* worker = m_service.worker(sign.name)) worker->setObserver({});
        publish(AvailabilityTopic(m_config.base, sign.name), "offline", true);
    }
    publish(ServiceAvailabilityTopic(m_config.base, m_clientId), "offline", true);
    mosquitto_disconnect(m_mosq);
    mosquitto_loop_stop(m_mosq, false);
}

void MqttSide::onConnect(mosquitto*, void* self, int rc) {
    if (rc != 0) return;
    auto* side = static_cast<MqttSide*>(self);
    {
        std::lock_guard lock(side->m_publishMutex);
        side->m_connected = true;
    }
    side->connected();
}

void MqttSide::onDisconnect(mosquitto*, void* self, int) {
    auto* side = static_cast<MqttSide*>(self);
    std::lock_guard lock(side->m_publishMutex);
    side->m_connected = false;
}

void MqttSide::onMessage(mosquitto*, void* self, const mosquitto_message* m) {
    if (!m->topic) return;
    const std::string payload(static_cast<const char*>(m->payload), std::size_t(std::max(m->payloadlen, 0)));
    static_cast<MqttSide*>(self)->message(m->topic, payload, m->retain);
}

void MqttSide::connected() {
    // Subscriptions and everything retained are given again after every (re)connection.
    for (const std::string& topic : CommandSubscriptions(m_config.base))
        mosquitto_subscribe(m_mosq, nullptr, topic.c_str(), kQos);
    if (!m_config.discoveryPrefix.empty()) {
        const std::string status = m_config.discoveryPrefix + "/status";
        mosquitto_subscribe(m_mosq, nullptr, status.c_str(), kQos);
        // Configs of signs no longer served are found among the retained ones and removed.
        const std::string ours = m_config.discoveryPrefix + "/+/" + DiscoveryNode(m_clientId) + "/+/config";
        mosquitto_subscribe(m_mosq, nullptr, ours.c_str(), kQos);
    }
    publish(ServiceAvailabilityTopic(m_config.base, m_clientId), "online", true);
    for (const SignEntry& sign : m_signs) {
        for (const DiscoveryMessage& d : SignDiscovery(m_config, m_clientId, sign))
            publish(d.topic, d.payload, true);
        publishSign(sign.name, true);
    }
}

void MqttSide::message(const std::string& topic, const std::string& payload, bool retained) {
    if (!m_config.discoveryPrefix.empty()) {
        if (topic == m_config.discoveryPrefix + "/status") {
            if (payload == "online") {
                for (const SignEntry& sign : m_signs)
                    for (const DiscoveryMessage& d : SignDiscovery(m_config, m_clientId, sign))
                        publish(d.topic, d.payload, true);
            }
            return;
        }
        if (const auto sign = DiscoveredSign(m_config, m_clientId, topic)) {
            const bool served = std::any_of(m_signs.begin(), m_signs.end(),
                                            [&](const SignEntry& s) { return s.name == *sign; });
            if (!served && !payload.empty()) publish(topic, "", true);
            return;
        }
    }
    // Retained commands are old news: a command acts when it is published.
    if (retained) return;
    if (const auto parsed = ParseCommandTopic(m_config.base, topic)) command(topic, *parsed, payload);
}

void MqttSide::command(const std::string& topic, const CommandTopic& parsed, const std::string& payload) {
    std::vector<std::string> targets;
    for (const SignEntry& sign : m_signs) {
        const bool member = parsed.group ? std::find(sign.groups.begin(), sign.groups.end(),
                                                     parsed.name) != sign.groups.end()
                                         : sign.name == parsed.name;
        if (member) targets.push_back(sign.name);
    }
    for (const std::string& sign : targets) {
        SignWorker* worker = m_service.worker(sign);
        if (!worker) continue;
        auto job = CommandJob(parsed.command, payload);
        const std::string result = ResultTopic(m_config.base, sign);
        if (auto* bad = std::get_if<BadRequest>(&job)) {
            publish(result, ResultJson(topic, JobResult::BadInput, bad->error), false);
            continue;
        }
        worker->submit(std::move(std::get<Job>(job)), [this, result, topic](const JobOutcome& outcome) {
            publish(result, ResultJson(topic, outcome.result, outcome.error), false);
        });
    }
}

bool MqttSide::publish(const std::string& topic, const std::string& payload, bool retain) {
    // A packet written while the client (re)connects would reach the broker before CONNECT,
    // which the broker takes as a protocol error and drops the connection. What is skipped
    // here is given again on the next connection (state, availability, discovery).
    std::lock_guard lock(m_publishMutex);
    if (!m_connected) return false;
    mosquitto_publish(m_mosq, nullptr, topic.c_str(), int(payload.size()), payload.data(), kQos, retain);
    return true;
}

void MqttSide::signChanged(const std::string& sign) {
    publishSign(sign, false);
}

void MqttSide::publishSign(const std::string& sign, bool force) {
    SignWorker* worker = m_service.worker(sign);
    if (!worker) return;
    const SignStatus status = worker->status();
    const std::pair<std::string, std::string> messages[] = {
        {AvailabilityTopic(m_config.base, sign), status.online ? "online" : "offline"},
        {StateTopic(m_config.base, sign), StateJson(status)}};
    for (const auto& [topic, payload] : messages) {
        std::lock_guard lock(m_mutex);
        std::string& last = m_lastState[topic];
        if (!force && last == payload) continue;
        if (publish(topic, payload, true)) last = payload;
    }
}

} // namespace pixbard
