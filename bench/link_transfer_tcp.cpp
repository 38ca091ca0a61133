// Sending a message set (8 messages, 64 block frames) to pixbar-sign-sim over TCP on
// 127.0.0.1, against the time the bytes need on the sign's 19200 baud line behind the server.
#include "link_setup.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
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

/// The port the simulated sign names in its log once it listens; 0 after 10 s without.
int ListeningPort(const QString& log) {
    static const QRegularExpression ready(QStringLiteral("ready tcp:127\\.0\\.0\\.1:(\\d+)"));
    for (int i = 0; i < 1000; ++i) {
        QFile f(log);
        if (f.open(QIODevice::ReadOnly)) {
            const auto match = ready.match(QString::fromLatin1(f.readAll()));
            if (match.hasMatch()) return match.captured(1).toInt();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

void BM_SendMessageSetOverTcp(benchmark::State& state) {
    int argc = 1;
    char name[] = "bench_link_transfer_tcp";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    const std::string binDir = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    QTemporaryDir dir;
    const QString log = dir.filePath("sim.log");
    std::vector<std::string> args = {binDir + "/pixbar-sign-sim", "--tcp", "0", "--log",
                                     log.toStdString()};
    std::vector<char*> simArgv;
    for (auto& a : args) simArgv.push_back(a.data());
    simArgv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, simArgv[0], nullptr, nullptr, simArgv.data(), environ) != 0) {
        state.SkipWithError("pixbar-sign-sim cannot be started");
        return;
    }

    ComProtocol protocol;
    const int port = ListeningPort(log);
    if (port == 0 || protocol.Open(QStringLiteral("tcp:127.0.0.1:%1").arg(port)) != 0) {
        state.SkipWithError("the simulated sign's TCP port cannot be opened");
    } else {
        bench::SendMessageSets(state, protocol);
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

BENCHMARK(BM_SendMessageSetOverTcp)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
