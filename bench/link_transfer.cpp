// Sending a message set (8 messages, 64 block frames) to pixbar-sign-sim on a
// pseudo-terminal, against the time the bytes need on a 19200 baud line.
#include "signframe.h"
#include "unitcomprotocol.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

extern char** environ;

namespace {

using namespace pixbar;

constexpr std::uint16_t kSerial = 1;
constexpr int kCom = 3;

/// Bytes on the line for one message set, both directions.
std::size_t SetLineBytes(const std::vector<std::vector<std::uint8_t>>& records) {
    std::size_t bytes = 0;
    for (std::size_t n = 0; n < records.size(); ++n) {
        for (int block = 0; block < kMessageBlocks; ++block) {
            std::vector<std::uint8_t> payload = {
                std::uint8_t(n), std::uint8_t(block * kMessageBlockUnit), kMessageBlockUnit,
                std::uint8_t(block == 0                    ? kBlockFirst
                             : block == kMessageBlocks - 1 ? kBlockLast
                                                           : 0)};
            payload.insert(payload.end(), records[n].begin() + block * kBlockDataSize,
                           records[n].begin() + (block + 1) * kBlockDataSize);
            bytes += FrameSize(kHostAddress, kSerial, kCommandMessageBlock, payload);
            bytes += FrameSize(kSerial, kHostAddress, kStatusAcknowledged, {});
        }
    }
    return bytes;
}

void BM_SendMessageSet(benchmark::State& state) {
    int argc = 1;
    char name[] = "bench_link_transfer";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    const std::string binDir = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    QTemporaryDir dir;
    const std::string ports = dir.filePath("ports").toStdString();
    std::vector<std::string> args = {binDir + "/pixbar-sign-sim",
                                     "--ports-dir",
                                     ports,
                                     "--com",
                                     std::to_string(kCom),
                                     "--log",
                                     dir.filePath("sim.log").toStdString()};
    std::vector<char*> simArgv;
    for (auto& a : args) simArgv.push_back(a.data());
    simArgv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, simArgv[0], nullptr, nullptr, simArgv.data(), environ) != 0) {
        state.SkipWithError("pixbar-sign-sim cannot be started");
        return;
    }
    const QString link = QDir(dir.filePath("ports")).filePath(QStringLiteral("COM%1").arg(kCom));
    for (int i = 0; i < 1000 && !QFileInfo(link).exists(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    ComProtocol protocol;
    protocol.port().setPortsDirectory(dir.filePath("ports"));
    if (protocol.Open(QStringLiteral("COM%1").arg(kCom)) != 0) {
        state.SkipWithError("the simulated sign's port cannot be opened");
    } else {
        std::mt19937 random(7);
        std::vector<std::vector<std::uint8_t>> records(kMessageCount,
                                                       std::vector<std::uint8_t>(kMessageBytes));
        for (auto& r : records)
            for (auto& b : r) b = std::uint8_t(random());
        const double boundSeconds = double(SetLineBytes(records)) * 10.0 / kBaudRate;

        double total = 0;
        for (auto _ : state) {
            const auto start = std::chrono::steady_clock::now();
            for (int n = 1; n <= kMessageCount; ++n) {
                if (protocol.SendMessageBlocks(kSerial, n, records[n - 1]) != ProtocolResult::Ok) {
                    state.SkipWithError("a message was not acknowledged");
                    break;
                }
            }
            total +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        protocol.Close();
        const double perSet = total / double(state.iterations());
        state.counters["bound_ms"] = boundSeconds * 1000.0;
        state.counters["set_ms"] = perSet * 1000.0;
        state.counters["x_bound"] = perSet / boundSeconds;
        state.counters["frames"] = kMessageCount * kMessageBlocks;
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

BENCHMARK(BM_SendMessageSet)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
