// pixbard in front of pixbar-sign-sim over TCP, both started as children on free ports:
// a message and a message set stored through the API against the line time of their frames,
// the status's latency for 20 clients while a set is on the line, and the idle service's
// wake-ups and memory.
#include "link_setup.h"
#include "serviceprocess.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace pixbar;
using testing::SimProcess;
using Clock = std::chrono::steady_clock;

constexpr int kClients = 20;
constexpr auto kLatencyWindow = std::chrono::seconds(3);
constexpr auto kIdleWindow = std::chrono::seconds(10);
const std::string kSignPath = testing::ServiceProcess::kSignPath;

using Service = testing::ServiceProcess;

std::vector<std::uint8_t> RandomRecord(std::mt19937& random) {
    std::vector<std::uint8_t> record(kMessageBytes);
    for (auto& b : record) b = std::uint8_t(random());
    return record;
}

std::string Bytes(const std::vector<std::uint8_t>& v) {
    return std::string(v.begin(), v.end());
}

/// Skips the benchmark unless the sign and the service are both up.
bool Started(benchmark::State& state, const SimProcess& sim, const Service& service) {
    if (!sim.ready()) state.SkipWithError("pixbar-sign-sim did not start");
    else if (!service.ready()) state.SkipWithError("pixbard did not serve the sign");
    return sim.ready() && service.ready();
}

/// PUTs `body` to `path` every iteration and reports its time against `boundSeconds`.
void TimePuts(benchmark::State& state, const Service& service, const std::string& path,
              const std::string& body, double boundSeconds, int frames) {
    auto client = service.client();
    double total = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const auto answer = client->Put(path.c_str(), body, "application/octet-stream");
        total += std::chrono::duration<double>(Clock::now() - start).count();
        if (!answer || answer->status != 200) {
            state.SkipWithError("the sign did not take the message");
            return;
        }
    }
    const double perPut = total / double(state.iterations());
    state.counters["bound_ms"] = boundSeconds * 1000.0;
    state.counters["put_ms"] = perPut * 1000.0;
    state.counters["x_bound"] = perPut / boundSeconds;
    state.counters["frames"] = frames;
}

void BM_StoreMessage(benchmark::State& state) {
    SimProcess sim(testing::Line::Tcp, {"--width", "12"});
    Service service(sim);
    if (!Started(state, sim, service)) return;
    std::mt19937 random(11);
    const auto record = RandomRecord(random);
    const double bound = bench::LineSeconds(bench::MessageLineBytes(2, record, SimProcess::kSerial));
    TimePuts(state, service, kSignPath + "/messages/3", Bytes(record), bound, kMessageBlocks);
}

void BM_StoreMessageSet(benchmark::State& state) {
    SimProcess sim(testing::Line::Tcp, {"--width", "12"});
    Service service(sim);
    if (!Started(state, sim, service)) return;
    std::mt19937 random(12);
    std::vector<std::vector<std::uint8_t>> records;
    std::string body;
    for (int n = 0; n < kMessageCount; ++n) {
        records.push_back(RandomRecord(random));
        body += Bytes(records.back());
    }
    const double bound = bench::LineSeconds(bench::SetLineBytes(records, SimProcess::kSerial));
    TimePuts(state, service, kSignPath + "/messages", body, bound, kMessageCount * kMessageBlocks);
}

/// The q-quantile of sorted latencies.
double Quantile(const std::vector<double>& sorted, double q) {
    if (sorted.empty()) return 0;
    return sorted[std::min(sorted.size() - 1, std::size_t(q * double(sorted.size())))];
}

// kClients threads, each on its own keep-alive connection, read the signs' status again and
// again (after `pause` ms) while another connection keeps message sets on the line (range 1
// is 1), or with the sign idle: on a shared machine the two are what to compare.
void BM_StatusWhileSending(benchmark::State& state) {
    const auto pause = std::chrono::milliseconds(state.range(0));
    const bool send = state.range(1) != 0;
    SimProcess sim(testing::Line::Tcp, {"--width", "12"});
    Service service(sim);
    if (!Started(state, sim, service)) return;
    std::mt19937 random(13);
    std::string set;
    for (int n = 0; n < kMessageCount; ++n) set += Bytes(RandomRecord(random));

    std::atomic<bool> sending{send};
    std::atomic<int> sets{0}, failed{0};
    std::thread sender([&] {
        auto client = service.client();
        while (sending) {
            const auto answer = client->Put((kSignPath + "/messages").c_str(), set,
                                            "application/octet-stream");
            if (answer && answer->status == 200) ++sets;
            else ++failed;
        }
    });
    // The set's job is on the sign's thread once the status says busy.
    if (send) {
        auto client = service.client();
        for (int i = 0; i < 100; ++i) {
            const auto answer = client->Get(kSignPath.c_str());
            if (answer && answer->body.find("\"busy\":true") != std::string::npos) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    std::vector<double> latencies;
    for (auto _ : state) {
        std::vector<std::vector<double>> perClient(kClients);
        std::vector<std::thread> clients;
        const auto end = Clock::now() + kLatencyWindow;
        for (int c = 0; c < kClients; ++c)
            clients.emplace_back([&, c] {
                auto client = service.client();
                while (Clock::now() < end) {
                    const auto start = Clock::now();
                    const auto answer = client->Get("/api/v1/signs");
                    const double ms =
                        std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                    if (answer && answer->status == 200) perClient[std::size_t(c)].push_back(ms);
                    else ++failed;
                    if (pause.count()) std::this_thread::sleep_for(pause);
                }
            });
        for (auto& t : clients) t.join();
        for (const auto& l : perClient) latencies.insert(latencies.end(), l.begin(), l.end());
    }
    sending = false;
    sender.join();
    if (failed) state.SkipWithError("a request failed");
    std::sort(latencies.begin(), latencies.end());
    state.counters["requests"] = double(latencies.size());
    state.counters["p50_ms"] = Quantile(latencies, 0.50);
    state.counters["p99_ms"] = Quantile(latencies, 0.99);
    state.counters["max_ms"] = latencies.empty() ? 0 : latencies.back();
    state.counters["sets"] = sets.load();
}

/// Context switches of every thread of `pid` so far, voluntary and not, and its threads.
long long ContextSwitches(pid_t pid, int& threads) {
    long long sum = 0;
    threads = 0;
    std::error_code ec;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        std::ifstream status(task.path() / "status");
        std::string line;
        ++threads;
        while (std::getline(status, line))
            if (line.starts_with("voluntary_ctxt_switches:") ||
                line.starts_with("nonvoluntary_ctxt_switches:"))
                sum += std::stoll(line.substr(line.find(':') + 1));
    }
    return sum;
}

/// A line of /proc/PID/status in kB ("VmRSS").
long long StatusKb(pid_t pid, const std::string& key) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with(key + ":")) return std::stoll(line.substr(key.size() + 1));
    return 0;
}

// The service with a sign online and nothing to do: how often its threads wake up over 10 s.
// With range 1, one client keeps an idle keep-alive connection open meanwhile.
void BM_IdleService(benchmark::State& state) {
    SimProcess sim(testing::Line::Tcp, {"--width", "12"});
    Service service(sim);
    if (!Started(state, sim, service)) return;
    std::unique_ptr<httplib::Client> idleClient;
    if (state.range(0)) {
        idleClient = service.client();
        idleClient->Get(kSignPath.c_str());
    }
    // The readiness check's connection ends and every thread settles.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    double perSecond = 0;
    int threads = 0;
    for (auto _ : state) {
        const long long before = ContextSwitches(service.pid(), threads);
        std::this_thread::sleep_for(kIdleWindow);
        perSecond = double(ContextSwitches(service.pid(), threads) - before) /
                    std::chrono::duration<double>(kIdleWindow).count();
    }
    state.counters["wakeups_per_s"] = perSecond;
    state.counters["threads"] = threads;
    state.counters["rss_MB"] = double(StatusKb(service.pid(), "VmRSS")) / 1024.0;
}

BENCHMARK(BM_StoreMessage)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreMessageSet)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StatusWhileSending)->ArgsProduct({{0, 10}, {1, 0}})->Iterations(1)->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IdleService)->Arg(0)->Arg(1)->Iterations(1)->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
