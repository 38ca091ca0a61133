// Sending a message set (8 messages, 64 block frames) to pixbar-sign-sim on a
// pseudo-terminal, against the time the bytes need on a 19200 baud line.
#include "link_setup.h"

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

constexpr int kCom = 3;

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
        bench::SendMessageSets(state, protocol);
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

BENCHMARK(BM_SendMessageSet)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
