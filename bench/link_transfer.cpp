// Sending a message set (8 messages, 64 block frames) to pixbar-sign-sim, on a pseudo-terminal
// and over TCP on 127.0.0.1, against the time the bytes need on the sign's 19200 baud line.
#include "link_setup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

extern char** environ;

namespace {

using namespace pixbar;

constexpr int kCom = 3;

/// Waits up to 10 s for `ready` to give a port name; an empty name after that.
QString WaitFor(const std::function<QString()>& ready) {
    for (int i = 0; i < 1000; ++i) {
        if (QString name = ready(); !name.isEmpty()) return name;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

/// Starts the simulated sign with `options` (its log in `dir`), sends message sets to the port
/// that `portName` finds once the sign is up, and stops the sign.
void SendToSimulatedSign(benchmark::State& state, const QTemporaryDir& dir,
                         std::vector<std::string> options,
                         const std::function<QString()>& portName) {
    int argc = 1;
    char name[] = "bench_link_transfer";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    const std::string binDir = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    std::vector<std::string> args = {binDir + "/pixbar-sign-sim", "--log",
                                     dir.filePath("sim.log").toStdString()};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> simArgv;
    for (auto& a : args) simArgv.push_back(a.data());
    simArgv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, simArgv[0], nullptr, nullptr, simArgv.data(), environ) != 0) {
        state.SkipWithError("pixbar-sign-sim cannot be started");
        return;
    }
    ComProtocol protocol;
    protocol.port().setPortsDirectory(dir.filePath("ports"));
    const QString port = WaitFor(portName);
    if (port.isEmpty() || protocol.Open(port) != 0)
        state.SkipWithError("the simulated sign's port cannot be opened");
    else
        bench::SendMessageSets(state, protocol);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

void BM_SendMessageSet(benchmark::State& state) {
    QTemporaryDir dir;
    const QString com = QStringLiteral("COM%1").arg(kCom);
    SendToSimulatedSign(
        state, dir,
        {"--ports-dir", dir.filePath("ports").toStdString(), "--com", std::to_string(kCom)}, [&] {
            return QFileInfo::exists(QDir(dir.filePath("ports")).filePath(com)) ? com : QString();
        });
}

void BM_SendMessageSetOverTcp(benchmark::State& state) {
    QTemporaryDir dir;
    // The sign names the port it listens on in its log.
    static const QRegularExpression ready(QStringLiteral("ready (tcp:127\\.0\\.0\\.1:\\d+)"));
    SendToSimulatedSign(state, dir, {"--tcp", "0"}, [&] {
        QFile log(dir.filePath("sim.log"));
        if (!log.open(QIODevice::ReadOnly)) return QString();
        return ready.match(QString::fromLatin1(log.readAll())).captured(1);
    });
}

BENCHMARK(BM_SendMessageSet)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SendMessageSetOverTcp)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
