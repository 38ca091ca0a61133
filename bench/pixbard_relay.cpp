// pixbard's relay in front of pixbar-sign-sim: what the relay adds to one frame's round trip
// against a sign reached straight over TCP, and a message set through the relay against the
// time its bytes need on the sign's 19200 baud line.
#include "link_setup.h"
#include "serviceprocess.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

namespace {

using namespace pixbar;
using testing::ServiceProcess;
using testing::SimProcess;
using Clock = std::chrono::steady_clock;

/// The sockets of the port devices want an application object.
void EnsureApplication() {
    static int argc = 1;
    static char name[] = "bench_pixbard_relay";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

/// A simulated sign behind pixbard, whose relay listens on a free port.
struct RelayedSign {
    SimProcess sim{testing::Line::Tcp, {"--width", "12"}};
    int relayPort = testing::FreePort();
    ServiceProcess service{sim, {"relay = 127.0.0.1:" + std::to_string(relayPort)}};

    bool ready(benchmark::State& state) const {
        if (!sim.ready()) state.SkipWithError("pixbar-sign-sim did not start");
        else if (!service.ready()) state.SkipWithError("pixbard did not serve the sign");
        return sim.ready() && service.ready();
    }
    std::unique_ptr<ComProtocol> connect() const {
        auto protocol = std::make_unique<ComProtocol>();
        if (protocol->Open(QStringLiteral("tcp:127.0.0.1:%1").arg(relayPort)) != 0) return nullptr;
        return protocol;
    }
};

/// Seconds of one acknowledged "show slot" frame.
double ShowOnce(ComProtocol& protocol, bool& ok) {
    const auto start = Clock::now();
    ok = protocol.ShowMessage(SimProcess::kSerial, 1) == ProtocolResult::Ok;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The same short frame to two signs in turn, one straight over TCP and one through the relay,
// so that both see the same load of the machine.
void BM_RelayFrameLatency(benchmark::State& state) {
    EnsureApplication();
    SimProcess direct(testing::Line::Tcp, {"--width", "12"});
    RelayedSign relayed;
    if (!direct.ready()) state.SkipWithError("pixbar-sign-sim did not start");
    if (!direct.ready() || !relayed.ready(state)) return;
    auto straight = direct.connect();
    auto through = relayed.connect();
    if (!straight || !through) {
        state.SkipWithError("a port did not open");
        return;
    }
    double straightTotal = 0, throughTotal = 0;
    for (auto _ : state) {
        bool ok1 = false, ok2 = false;
        straightTotal += ShowOnce(*straight, ok1);
        throughTotal += ShowOnce(*through, ok2);
        if (!ok1 || !ok2) {
            state.SkipWithError("a frame was not acknowledged");
            return;
        }
    }
    const double n = double(state.iterations());
    state.counters["direct_ms"] = straightTotal / n * 1000.0;
    state.counters["relay_ms"] = throughTotal / n * 1000.0;
    state.counters["added_ms"] = (throughTotal - straightTotal) / n * 1000.0;
}

void BM_RelayMessageSet(benchmark::State& state) {
    EnsureApplication();
    RelayedSign relayed;
    if (!relayed.ready(state)) return;
    auto protocol = relayed.connect();
    if (!protocol) {
        state.SkipWithError("the relay's port did not open");
        return;
    }
    bench::SendMessageSets(state, *protocol, SimProcess::kSerial);
}

BENCHMARK(BM_RelayFrameLatency)->Iterations(100)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RelayMessageSet)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
