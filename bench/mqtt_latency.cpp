// pixbard's MQTT side with a real broker (mosquitto) and the simulated sign over TCP:
// - the time from publishing a live text to its Ok on the result topic, above the time the
//   frame and its answer need on the sign's 19200 baud line;
// - how many commands a second the service takes in while the sign is busy with a message
//   set, each one answered Ok or Replaced on the result topic.
#include "apirequests.h"
#include "simprocess.h"
#include "signframe.h"
#include "unitcomprotocol.h"

#include <benchmark/benchmark.h>
#include <mosquitto.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono;
namespace fs = std::filesystem;
using pixbar::testing::FreePort;
using pixbar::testing::Spawn;
using pixbar::testing::SpawnLogged;

constexpr std::uint16_t kSerial = 4660;
constexpr const char* kResultTopic = "pixbar/bench/result";

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

/// One message of the result topic: the command topic it answers and how it ended.
struct Result {
    std::string topic, result, payloadText;
    steady_clock::time_point at;
};

/// A broker, a simulated sign and a pixbard serving it, all on free ports; one MQTT client
/// that publishes commands and collects every result.
class Stack {
public:
    Stack() {
        mosquitto_lib_init();
        m_dir = fs::temp_directory_path() / ("pixbar-bench-" + std::to_string(getpid()));
        fs::create_directories(m_dir / "state");
        const fs::path bin = fs::read_symlink("/proc/self/exe").parent_path();
        m_broker = FreePort();
        std::ofstream(m_dir / "broker.conf") << "listener " << m_broker << " 127.0.0.1\n"
                                             << "allow_anonymous true\npersistence false\n";
        const char* brokerProgram = std::getenv("MOSQUITTO");
        m_pids.push_back(SpawnLogged({brokerProgram ? brokerProgram : "/usr/sbin/mosquitto", "-c",
                                      (m_dir / "broker.conf").string()},
                                     m_dir / "broker.log"));
        m_pids.push_back(Spawn({(bin / "pixbar-sign-sim").string(), "--tcp", "0", "--serial",
                                std::to_string(kSerial), "--width", "12", "--log",
                                (m_dir / "sim.log").string(), "--state-dir", (m_dir / "state").string()}));
        static const std::regex ready("ready tcp:127\\.0\\.0\\.1:(\\d+)");
        std::string signPort;
        for (int i = 0; i < 1000 && signPort.empty(); ++i) {
            const std::string log = ReadAll(m_dir / "sim.log");
            if (std::smatch match; std::regex_search(log, match, ready)) signPort = match[1];
            else std::this_thread::sleep_for(10ms);
        }
        if (signPort.empty()) return;
        std::ofstream(m_dir / "pixbard.conf")
            << "[sign bench]\nport = tcp:127.0.0.1:" << signPort << "\naddress = " << kSerial
            << "\nwidth = 12\n[http]\nlisten = 127.0.0.1:" << FreePort()
            << "\n[mqtt]\nhost = 127.0.0.1\nport = " << m_broker << "\nclient-id = bench\n";
        m_pids.push_back(SpawnLogged({(bin / "pixbard").string(), "--config",
                                      (m_dir / "pixbard.conf").string(), "--data", bin.string()},
                                     m_dir / "pixbard.log"));

        m_client = mosquitto_new("bench-client", true, this);
        // As pixbard does: no small packet waits for the ACK of the one before.
        mosquitto_int_option(m_client, MOSQ_OPT_TCP_NODELAY, 1);
        mosquitto_message_callback_set(m_client, [](struct mosquitto*, void* self, const mosquitto_message* m) {
            static_cast<Stack*>(self)->received(m);
        });
        for (int i = 0; i < 500 && mosquitto_connect(m_client, "127.0.0.1", m_broker, 60) != MOSQ_ERR_SUCCESS; ++i)
            std::this_thread::sleep_for(10ms);
        mosquitto_subscribe(m_client, nullptr, kResultTopic, 1);
        mosquitto_subscribe(m_client, nullptr, "pixbar/bench/availability", 1);
        mosquitto_loop_start(m_client);
        std::unique_lock lock(m_mutex);
        m_ready = m_changed.wait_for(lock, 20s, [this] { return m_online; });
    }
    ~Stack() {
        if (m_client) {
            mosquitto_disconnect(m_client);
            mosquitto_loop_stop(m_client, false);
            mosquitto_destroy(m_client);
        }
        for (auto it = m_pids.rbegin(); it != m_pids.rend(); ++it) {
            if (*it <= 0) continue;
            kill(*it, SIGTERM);
            waitpid(*it, nullptr, 0);
        }
        std::error_code ec;
        fs::remove_all(m_dir, ec);
        mosquitto_lib_cleanup();
    }

    bool ready() const { return m_ready; }
    const fs::path& dir() const { return m_dir; }

    void publish(const std::string& topic, const std::string& payload) {
        mosquitto_publish(m_client, nullptr, topic.c_str(), int(payload.size()), payload.data(), 1, false);
    }
    /// Waits until `count` results (for `topic`, when given) have come in since the last
    /// clearResults(); false after `timeout`.
    bool waitResults(std::size_t count, steady_clock::duration timeout, const std::string& topic = {}) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] {
            return std::size_t(std::count_if(m_results.begin(), m_results.end(), [&](const Result& r) {
                       return topic.empty() || r.topic == topic;
                   })) >= count;
        });
    }
    std::vector<Result> results() {
        std::lock_guard lock(m_mutex);
        return m_results;
    }
    void clearResults() {
        std::lock_guard lock(m_mutex);
        m_results.clear();
    }

private:
    void received(const mosquitto_message* m) {
        const std::string payload(static_cast<const char*>(m->payload), std::size_t(m->payloadlen));
        std::lock_guard lock(m_mutex);
        if (std::string(m->topic) == kResultTopic) {
            static const std::regex resultField("\"result\":\"([A-Za-z]+)\"");
            static const std::regex topicField("\"topic\":\"([^\"]*)\"");
            std::smatch r, t;
            std::regex_search(payload, r, resultField);
            std::regex_search(payload, t, topicField);
            m_results.push_back({t.empty() ? "" : t[1].str(), r.empty() ? "" : r[1].str(), payload,
                                 steady_clock::now()});
        } else {
            m_online = payload == "online";
        }
        m_changed.notify_all();
    }

    fs::path m_dir;
    int m_broker = 0;
    std::vector<pid_t> m_pids;
    mosquitto* m_client = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Result> m_results;
    bool m_online = false;
    bool m_ready = false;
};

/// The seconds a live text's frame and the sign's answer take on the line.
double LiveWireSeconds(const std::string& text) {
    const auto record = std::get<pixbar::MessageRecord>(pixbar::service::ParseMessageBody("text/plain", text));
    const std::size_t bytes =
        pixbar::FrameSize(pixbar::kHostAddress, kSerial, pixbar::kCommandStoreSlot9, record.bytes) +
        pixbar::FrameSize(kSerial, pixbar::kHostAddress, pixbar::kStatusAcknowledged, {});
    return double(bytes) * 10.0 / pixbar::kBaudRate;
}

void BM_LiveTextLatency(benchmark::State& state) {
    Stack stack;
    if (!stack.ready()) {
        state.SkipWithError("broker, sign or pixbard did not start");
        return;
    }
    double above = 0, worst = 0, wire = 0;
    int n = 0;
    for (auto _ : state) {
        const std::string text = "Pomiar " + std::to_string(++n);
        wire = LiveWireSeconds(text);
        stack.clearResults();
        const auto start = steady_clock::now();
        stack.publish("pixbar/bench/live/set", text);
        if (!stack.waitResults(1, 10s) || stack.results()[0].result != "Ok") {
            state.SkipWithError("no Ok for a live text");
            return;
        }
        const double seconds = duration<double>(stack.results()[0].at - start).count();
        state.SetIterationTime(seconds);
        above += seconds - wire;
        worst = std::max(worst, seconds - wire);
    }
    state.counters["wire_ms"] = wire * 1e3;
    state.counters["above_wire_ms"] = above / double(state.iterations()) * 1e3;
    state.counters["worst_above_wire_ms"] = worst * 1e3;
}

void BM_IntakeWhileBusy(benchmark::State& state) {
    Stack stack;
    if (!stack.ready()) {
        state.SkipWithError("broker, sign or pixbard did not start");
        return;
    }
    const auto count = std::size_t(state.range(0));
    double rate = 0;
    std::size_t lost = 0, ok = 0, replaced = 0, round = 0;
    for (auto _ : state) {
        ++round;
        stack.clearResults();
        // Eight messages keep the sign busy for seconds while the live texts pour in.
        for (int m = 1; m <= pixbar::kMessageCount; ++m)
            stack.publish("pixbar/bench/message/" + std::to_string(m) + "/set",
                          "Komunikat " + std::to_string(m) + " runda " + std::to_string(round));
        const auto start = steady_clock::now();
        for (std::size_t i = 0; i < count; ++i)
            stack.publish("pixbar/bench/live/set", "Tekst " + std::to_string(round) + "." + std::to_string(i));
        // All but the last live text are answered Replaced while the set still runs.
        const std::string live = "pixbar/bench/live/set";
        const bool taken = stack.waitResults(count - 1, 60s, live);
        auto intake = steady_clock::now() - start;
        if (taken) {
            std::size_t seen = 0;
            for (const Result& r : stack.results())
                if (r.topic == live && ++seen == count - 1) intake = r.at - start;
        }
        state.SetIterationTime(duration<double>(intake).count());
        rate += double(count - 1) / duration<double>(intake).count();
        stack.waitResults(count + pixbar::kMessageCount, 60s);
        for (const Result& r : stack.results()) {
            if (r.topic != "pixbar/bench/live/set") continue;
            if (r.result == "Ok") ++ok;
            else if (r.result == "Replaced") ++replaced;
        }
        const std::size_t answered = stack.results().size();
        lost += answered >= count + pixbar::kMessageCount ? 0 : count + pixbar::kMessageCount - answered;
    }
    state.counters["taken_per_s"] = rate / double(state.iterations());
    state.counters["lost"] = double(lost);
    state.counters["ok"] = double(ok);
    state.counters["replaced"] = double(replaced);
    if (lost > 0 || ok + replaced != count * state.iterations())
        state.SkipWithError("a command got no Ok or Replaced");
}

BENCHMARK(BM_LiveTextLatency)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IntakeWhileBusy)->Arg(2000)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
