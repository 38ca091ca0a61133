// pixbarctl sync: the file sync mode without its window, for a machine nobody sits at.
#include "sync.h"

#include "autosyncsession.h"
#include "commands.h"
#include "commandtable.h"
#include "portdevice.h"

#include <QDateTime>
#include <QFile>

#include <signal.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace pixbarctl {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kPollPeriod = std::chrono::milliseconds(1000);
constexpr auto kStopCheck = std::chrono::milliseconds(50);
constexpr int kExitNoPort = 10;
constexpr int kExitLost = 1;
const QString kOpenFailure = QStringLiteral("Nie mogę otworzyć portu ");

volatile std::sig_atomic_t g_stop = 0;

void onStop(int) {
    g_stop = 1;
}

void printLine(const QString& text) {
    const QString stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    std::printf("%s %s\n", qPrintable(stamp), text.toUtf8().constData());
    std::fflush(stdout);
}

/// The window's status line as lines on standard output, each with its time.
class ConsoleSyncView : public pixbar::SyncView {
public:
    void showStatus(const QString& text) override {
        last = text;
        printLine(text);
    }
    void setPolling(bool on) override { polling = on; }

    QString last;
    bool polling = false;
};

void usage() {
    std::fprintf(stderr, "usage: pixbarctl [--ports-dir DIR] --port NAME [--address N] sync "
                         "[--file DATA] [--config as.cfg]\n");
}

/// Sleeps until `until`, or less when a stop is asked for.
void sleepUntil(Clock::time_point until) {
    while (!g_stop && Clock::now() < until)
        std::this_thread::sleep_for(std::min<Clock::duration>(kStopCheck, until - Clock::now()));
}

} // namespace

int runSync(const QString& portsDir, const QString& portName, std::uint16_t address, int argc,
            char** argv) {
    QString dataFile;
    QString configFile = QString::fromLatin1(pixbar::kSyncConfigFile);
    for (int i = 0; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc || !findOption("sync", option)) {
            usage();
            return kExitUsage;
        }
        (option == "--file" ? dataFile : configFile) = QString::fromLocal8Bit(argv[++i]);
    }
    if (dataFile.isEmpty()) {
        // as.cfg names the data file as the window keeps it; without it, dane.txt.
        std::string name = pixbar::kDefaultDataFile;
        pixbar::LoadSyncConfig(pixbar::SyncPath(configFile), name);
        dataFile = QFile::decodeName(QByteArray::fromStdString(name));
    }

    struct sigaction sa {};
    sa.sa_handler = onStop;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);

    pixbar::ComProtocol protocol;
    protocol.port().setPortsDirectory(portsDir);
    ConsoleSyncView view;
    const pixbar::ProtocolSource source = [&]() -> pixbar::ComProtocol& { return protocol; };
    const pixbar::TargetSource target = [&] { return pixbar::SignTarget{portName, address}; };
    pixbar::SyncSession session(source, target, view);
    std::printf("file sync of %s to sign %u on %s\n", qPrintable(dataFile), unsigned(address),
                qPrintable(portName));
    if (!session.StartSyncMode())
        return view.last.startsWith(kOpenFailure) ? kExitNoPort
                                                  : int(pixbar::ProtocolResult::NoReply);

    // The port is held from here until a stop is asked for.
    auto next = Clock::now() + kPollPeriod;
    while (!g_stop && view.polling) {
        sleepUntil(next);
        if (g_stop) break;
        session.PollDataFile(dataFile);
        if (pixbar::ConnectionLost(protocol.port())) {
            // Nothing reaches the sign any more; a service manager starts the mode afresh.
            printLine(QStringLiteral("connection to %1 lost").arg(portName));
            protocol.Close();
            return kExitLost;
        }
        // A tick missed while the sign was being talked to is not made up for.
        next = std::max(next + kPollPeriod, Clock::now());
    }
    session.StopSyncMode();
    printLine(QStringLiteral("slot 9 cleared, port closed"));
    return 0;
}

} // namespace pixbarctl
