// pixbar-sign-sim: a sign on a pseudo-terminal, linked as COMn in a ports folder, and/or
// behind a raw TCP port on 127.0.0.1 as a serial device server would carry it.
#include "simulatedsign.h"
#include "signface.h"
#include "signwindow.h"
#include "tcpline.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>
#include <QApplication>
#include <QDir>
#include <atomic>
#include <functional>

namespace {

using pixbar::FrameDecoder;
using pixbar::SignFault;
using pixbar::SignOptions;
using pixbar::SimulatedSign;
using pixbar::TcpLine;
using pixbar::SignWindow;
using pixbar::SignContent;
using pixbar::SharedContent;

/// One byte at 19200 baud, 8N1: ten bits.
constexpr std::int64_t kByteNs = 10LL * 1'000'000'000LL / pixbar::kBaudRate;
constexpr std::int64_t kIdleWaitNs = 500'000'000LL; ///< also bounds the reaction to a stop
constexpr std::int64_t kNsPerMs = 1'000'000LL;
constexpr int kExitUsage = 64;

std::atomic<bool> g_stop{false}; // lock-free, so the signal handler may set it

void onSignal(int) {
    g_stop = true;
}

std::int64_t nowNs() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

struct TimedByte {
    std::uint8_t byte;
    std::int64_t due; ///< when the byte has fully crossed the line
};

void usage() {
    std::fprintf(stderr,
                 "usage: pixbar-sign-sim [--ports-dir DIR --com N] [--tcp PORT] [--serial N] "
                 "[--width W] [--height H] [--version 01.07A] "
                 "[--fault silent|reject|corrupt|drop:K|noise] [--log FILE] [--state-dir DIR] [--show [--data-dir DIR]]\n"
                 "  --tcp PORT listens on 127.0.0.1:PORT (0: a free port, named in the log), "
                 "one client at a time\n");
}

bool parseNumber(const char* text, long min, long max, long& out) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || v < min || v > max) return false;
    out = v;
    return true;
}

/// Carries bytes between the sign and the pseudo-terminal (when `master` is one) and the TCP
/// client at the line's rate until a stop is asked for. Both share one line: what either
/// sends reaches the sign, and what the sign answers goes to both. `received` is called after
/// every frame the sign handled.
void runLine(int master, TcpLine& tcp, SimulatedSign& sign, FrameDecoder& decoder,
             std::FILE* log, const std::function<void()>& received) {
    std::deque<TimedByte> incoming;
    std::deque<TimedByte> outgoing;
    std::int64_t lastIn = 0;
    std::int64_t lastOut = 0;
    std::uint8_t chunk[4096];
    std::vector<std::uint8_t> fromClient;
    std::vector<pollfd> fds;
    const auto arrive = [&](const std::uint8_t* bytes, ssize_t got) {
        const std::int64_t now = nowNs();
        for (ssize_t i = 0; i < got; ++i) {
            // A burst written at once still crosses the line one byte time apiece.
            lastIn = std::max(now, lastIn) + kByteNs;
            incoming.push_back({bytes[i], lastIn});
        }
    };

    while (!g_stop) {
        std::int64_t now = nowNs();
        while (!incoming.empty() && incoming.front().due <= now) {
            const TimedByte in = incoming.front();
            incoming.pop_front();
            const auto event = decoder.feed(in.byte);
            if (event == FrameDecoder::Event::Rejected) {
                std::fprintf(log, "bad frame dropped\n");
                std::fflush(log);
            } else if (event == FrameDecoder::Event::Complete) {
                std::fprintf(log, "%s\n", SimulatedSign::describe(decoder).c_str());
                std::fflush(log);
                const auto reply = sign.handle(decoder);
                // The answer starts once the frame has arrived, one byte time apiece.
                std::int64_t t = std::max(in.due, lastOut);
                for (std::uint8_t b : reply) {
                    t += kByteNs;
                    outgoing.push_back({b, t});
                }
                lastOut = t;
                received();
            }
        }
        std::uint8_t due[4096];
        std::size_t n = 0;
        while (!outgoing.empty() && outgoing.front().due <= now && n < sizeof due) {
            due[n++] = outgoing.front().byte;
            outgoing.pop_front();
        }
        if (n > 0) {
            // Nobody reading and the pty buffer full: the bytes are lost, as on a real line.
            if (master >= 0) {
                [[maybe_unused]] const ssize_t w = write(master, due, n);
            }
            tcp.send(due, n);
        }

        std::int64_t next = now + kIdleWaitNs;
        if (!incoming.empty()) next = std::min(next, incoming.front().due);
        if (!outgoing.empty()) next = std::min(next, outgoing.front().due);
        const std::int64_t wait = std::max<std::int64_t>(0, next - now);
        fds.clear();
        if (master >= 0) fds.push_back({master, POLLIN, 0});
        tcp.watch(fds);
        if (wait < kNsPerMs && wait > 0) {
            // poll() counts whole milliseconds; the next byte is due sooner than that.
            std::this_thread::sleep_for(std::chrono::nanoseconds(wait));
            if (poll(fds.data(), fds.size(), 0) <= 0) continue;
        } else if (poll(fds.data(), fds.size(), int(wait / kNsPerMs)) <= 0) {
            continue; // time for the next byte, or a signal to stop
        }
        if (master >= 0 && (fds[0].revents & POLLIN)) {
            arrive(chunk, read(master, chunk, sizeof chunk));
        } else if (master >= 0 && (fds[0].revents & (POLLHUP | POLLERR))) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        fromClient.clear();
        tcp.serve(fds, fromClient, log);
        arrive(fromClient.data(), ssize_t(fromClient.size()));
    }
}

} // namespace

int main(int argc, char** argv) {
    SignOptions options;
    std::string portsDir;
    std::string logPath;
    long com = -1;
    long tcpPort = -1;
    bool show = false;
    std::string dataDir;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--show") {
            show = true;
            continue;
        }
        if (i + 1 >= argc) {
            usage();
            return kExitUsage;
        }
        const char* value = argv[++i];
        long n = 0;
        if (arg == "--ports-dir")
            portsDir = value;
        else if (arg == "--com" && parseNumber(value, 0, 255, n))
            com = n;
        else if (arg == "--data-dir")
            dataDir = value;
        else if (arg == "--tcp" && parseNumber(value, 0, 0xFFFF, n))
            tcpPort = n;
        else if (arg == "--serial" && parseNumber(value, 0, 0xFFFF, n))
            options.serial = std::uint16_t(n);
        else if (arg == "--width" && parseNumber(value, 1, 255, n))
            options.width = std::uint8_t(n);
        else if (arg == "--height" && parseNumber(value, 1, 255, n))
            options.height = std::uint8_t(n);
        else if (arg == "--version" && std::strlen(value) == pixbar::kVersionSize)
            std::copy_n(value, pixbar::kVersionSize, options.version.begin());
        else if (arg == "--fault" && pixbar::ParseFault(value, options.fault, options.dropFrame)) {
        } else if (arg == "--log")
            logPath = value;
        else if (arg == "--state-dir")
            options.stateDirectory = value;
        else {
            std::fprintf(stderr, "pixbar-sign-sim: bad option %s %s\n", arg.c_str(), value);
            usage();
            return kExitUsage;
        }
    }
    const bool pty = !portsDir.empty() || com >= 0;
    if ((pty && (portsDir.empty() || com < 0)) || (!pty && tcpPort < 0)) {
        usage();
        return kExitUsage;
    }
    // The face plays with the designer's player, which knows the signs it can draw.
    pixbar::SignGeometry geometry;
    geometry.set(options.width, options.height);
    if (show && (options.width > pixbar::kMaxRegisters ||
                 (options.height != 8 && options.height != pixbar::kMaxHeight))) {
        std::fprintf(stderr,
                     "pixbar-sign-sim: --show draws signs of 1 to %d registers, 8 or %d "
                     "pixels high\n",
                     pixbar::kMaxRegisters, pixbar::kMaxHeight);
        return kExitUsage;
    }
    // Qt ends the program when it finds no screen; say so before anything is set up.
    if (show && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "pixbar-sign-sim: --show needs a display (DISPLAY is not set)\n");
        return 1;
    }

    std::FILE* log = stdout;
    if (!logPath.empty()) {
        log = std::fopen(logPath.c_str(), "a");
        if (!log) {
            std::fprintf(stderr, "pixbar-sign-sim: cannot write %s\n", logPath.c_str());
            return 1;
        }
    }
    std::error_code ec;
    if (!options.stateDirectory.empty())
        std::filesystem::create_directories(options.stateDirectory, ec);

    TcpLine tcp;
    if (tcpPort >= 0 && !tcp.listen(int(tcpPort))) {
        std::fprintf(stderr, "pixbar-sign-sim: cannot listen on 127.0.0.1:%ld: %s\n", tcpPort,
                     std::strerror(errno));
        return 1;
    }

    int master = -1;
    int slave = -1;
    std::filesystem::path link;
    std::string slaveName;
    if (pty) {
        std::filesystem::create_directories(portsDir, ec);
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
            std::perror("pixbar-sign-sim: pseudo-terminal");
            return 1;
        }
        slaveName = ptsname(master);
        // Holding our own slave descriptor keeps the master readable while no program has the
        // port open (otherwise every close of the port makes the master fail with EIO).
        slave = open(slaveName.c_str(), O_RDWR | O_NOCTTY);
        if (slave < 0) {
            std::perror("pixbar-sign-sim: slave");
            return 1;
        }
        termios tio{};
        tcgetattr(slave, &tio);
        cfmakeraw(&tio); // no echo, no line editing: the line carries binary frames
        cfsetspeed(&tio, B19200);
        tcsetattr(slave, TCSANOW, &tio);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

        link = std::filesystem::path(portsDir) / ("COM" + std::to_string(com));
        std::filesystem::remove(link, ec);
        std::filesystem::create_symlink(slaveName, link, ec);
        if (ec) {
            std::fprintf(stderr, "pixbar-sign-sim: cannot link %s: %s\n", link.c_str(),
                         ec.message().c_str());
            return 1;
        }
    }

    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    if (pty)
        std::fprintf(log, "ready %s -> %s serial=%u\n", link.c_str(), slaveName.c_str(),
                     unsigned(options.serial));
    // A peer that goes away mid-answer must not end the sign.
    signal(SIGPIPE, SIG_IGN);
    if (tcp.listening())
        std::fprintf(log, "ready tcp:127.0.0.1:%d serial=%u\n", tcp.port(),
                     unsigned(options.serial));
    std::fflush(log);

    SimulatedSign sign(options);
    std::vector<std::uint8_t> area(pixbar::kFrameCapacity);
    FrameDecoder decoder(area);
    decoder.setDestinations(options.serial);
    decoder.setAcceptIdentify(true);

    SharedContent content;
    content.publish(SignContent::of(sign));
    // Every frame the sign has handled may change what its face shows.
    const auto received = [&] {
        if (show) content.publish(SignContent::of(sign));
    };
    if (!show) {
        runLine(master, tcp, sign, decoder, log, received);
    } else {
        int qtArgc = 1;
        QApplication app(qtArgc, argv);
        const std::filesystem::path data =
            dataDir.empty() ? QCoreApplication::applicationDirPath().toStdString() : dataDir;
        SignWindow face(geometry, data, content,
                        QStringLiteral("Linijka świetlna %1, numer seryjny %2")
                            .arg(pty ? QStringLiteral("COM%1").arg(com)
                                     : QStringLiteral("tcp:127.0.0.1:%1").arg(tcp.port()))
                            .arg(options.serial));
        if (!face.ok()) {
            std::fprintf(stderr, "pixbar-sign-sim: %s\n", face.error().c_str());
            g_stop = true;
        } else {
            face.show();
            // The line runs on its own thread; closing the window ends the sign.
            std::thread line([&] {
                runLine(master, tcp, sign, decoder, log, received);
                QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
            });
            app.exec();
            g_stop = true;
            line.join();
        }
    }

    if (pty) std::filesystem::remove(link, ec);
    std::fprintf(log, "stopped after %llu frames\n",
                 static_cast<unsigned long long>(sign.framesReceived()));
    std::fflush(log);
    if (slave >= 0) close(slave);
    if (master >= 0) close(master);
    if (log != stdout) std::fclose(log);
    return 0;
}
