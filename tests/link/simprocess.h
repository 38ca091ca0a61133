#pragma once

// One pixbar-sign-sim process for a test: on a pseudo-terminal linked as COM5 in its own
// ports folder, or listening on a free TCP port of 127.0.0.1.

#include "unitcomprotocol.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace pixbar::testing {

/// Where the sign listens; with Both, the port name is the TCP one and COM5 serves too.
enum class Line { Pty, Tcp, Both };

inline const char* LineName(Line line) {
    return line == Line::Pty ? "Pty" : line == Line::Tcp ? "Tcp" : "Both";
}

/// Starts a program with arguments; -1 when it cannot be started.
inline pid_t Spawn(std::vector<std::string> args,
                   const posix_spawn_file_actions_t* files = nullptr) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], files, nullptr, argv.data(), environ) != 0) return -1;
    return pid;
}

/// Starts a program with its standard output and error going to the file `output`.
inline pid_t SpawnLogged(std::vector<std::string> args, const std::string& output) {
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    const pid_t pid = Spawn(std::move(args), &files);
    posix_spawn_file_actions_destroy(&files);
    return pid;
}

/// A free TCP port of 127.0.0.1 for a child to listen on, closed again. It is taken below the
/// range the system gives outgoing connections (32768 up), so no client of a test running
/// beside this one can take it before the child binds it.
inline int FreePort() {
    static std::minstd_rand pick(static_cast<unsigned>(getpid()) ^
                                 static_cast<unsigned>(
                                     std::chrono::steady_clock::now().time_since_epoch().count()));
    for (;;) {
        const int port = 20000 + static_cast<int>(pick() % 12768);
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        const bool free = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        close(fd);
        if (free) return port;
    }
}

/// Waits up to `ms` for a child to end; its exit code, or -1 when it is still running
/// (or ended by a signal).
inline int WaitExit(pid_t pid, int ms) {
    for (int waited = 0; waited <= ms; waited += 10) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

class SimProcess {
public:
    static constexpr int kCom = 5;
    static constexpr std::uint16_t kSerial = 4660;

    /// On the pseudo-terminal, with more options for the sign.
    explicit SimProcess(std::vector<std::string> extra) : SimProcess(Line::Pty, std::move(extra)) {}
    explicit SimProcess(Line line = Line::Pty, std::vector<std::string> extra = {}) : m_line(line) {
        std::vector<std::string> args = {std::string(PIXBAR_BIN_DIR) + "/pixbar-sign-sim",
                                         "--serial",
                                         std::to_string(kSerial),
                                         "--log",
                                         logPath().toStdString(),
                                         "--state-dir",
                                         stateDir().toStdString()};
        if (line != Line::Tcp)
            args.insert(args.end(),
                        {"--ports-dir", portsDir().toStdString(), "--com", std::to_string(kCom)});
        if (line != Line::Pty) args.insert(args.end(), {"--tcp", "0"});
        args.insert(args.end(), extra.begin(), extra.end());
        m_pid = Spawn(args);
        // The sign is ready once its link exists or it has named its TCP port; 10 s at most.
        for (int i = 0; i < 1000 && m_pid > 0 && !findReady(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        m_ready = m_pid > 0 && findReady();
    }
    ~SimProcess() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        if (WaitExit(m_pid, 3000) != -1) return;
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool ready() const { return m_ready; }
    /// The name the designer opens the sign by.
    QString portName() const {
        return m_line == Line::Pty ? QStringLiteral("COM%1").arg(kCom)
                                   : QStringLiteral("tcp:127.0.0.1:%1").arg(m_tcpPort);
    }
    QString dir() const { return m_dir.path(); }
    QString portsDir() const { return m_dir.filePath("ports"); }
    QString stateDir() const { return m_dir.filePath("state"); }
    QString logPath() const { return m_dir.filePath("sim.log"); }
    pid_t pid() const { return m_pid; }

    std::vector<std::uint8_t> state(const char* name) const {
        QFile f(QDir(stateDir()).filePath(name));
        if (!f.open(QIODevice::ReadOnly)) return {};
        const QByteArray all = f.readAll();
        return std::vector<std::uint8_t>(all.begin(), all.end());
    }
    QByteArray log() const {
        QFile f(logPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    /// The frame lines of the log, in the order the sign received them.
    QList<QByteArray> frameLines() const {
        QList<QByteArray> frames;
        for (const QByteArray& line : log().split('\n'))
            if (line.startsWith("frame ")) frames << line;
        return frames;
    }
    int frames() const { return int(frameLines().size()); }

    /// Ends the sign at once, as a pulled plug would.
    void kill9() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

    /// A protocol on the program's own port devices, opened by the sign's port name.
    std::unique_ptr<ComProtocol> connect() const {
        auto protocol = std::make_unique<ComProtocol>();
        protocol->port().setPortsDirectory(portsDir());
        if (protocol->Open(portName()) != 0) return nullptr;
        return protocol;
    }

    /// Runs pixbarctl in the sign's folder; returns its exit code and fills `output`.
    int ctl(const std::string& arguments, std::string* output = nullptr) const {
        const std::string command = "cd '" + dir().toStdString() + "' && '" +
                                    std::string(PIXBAR_BIN_DIR) + "/pixbarctl' --ports-dir ports " +
                                    arguments + " 2>&1";
        std::FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) return -1;
        std::string text;
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
        const int status = pclose(pipe);
        if (output) *output = text;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    bool findReady() {
        const bool linked =
            QFileInfo(QDir(portsDir()).filePath(QStringLiteral("COM%1").arg(kCom))).exists();
        if (m_line == Line::Pty) return linked;
        if (m_line == Line::Both && !linked) return false;
        static const QRegularExpression ready(QStringLiteral("ready tcp:127\\.0\\.0\\.1:(\\d+)"));
        const auto match = ready.match(QString::fromLatin1(log()));
        if (match.hasMatch()) m_tcpPort = match.captured(1).toInt();
        return match.hasMatch();
    }

    QTemporaryDir m_dir;
    Line m_line;
    pid_t m_pid = -1;
    int m_tcpPort = 0;
    bool m_ready = false;
};

} // namespace pixbar::testing
