// Searching the COM ports for a sign, over in-memory ports.
#include "linktesting.h"
#include "signsearch.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <set>

namespace pixbar {
namespace {

using testing::Bytes;
using testing::Decode;
using testing::Reply;

constexpr std::uint16_t kSerial = 0x1234;

/// A memory port that several devices share: each location answers as configured.
class PortsOnALine : public MemoryPort {
public:
    using MemoryPort::MemoryPort;
    std::set<QString> refused;
    std::vector<QString> opened;
    bool open(const QString& location) override {
        if (refused.count(location)) return false;
        opened.push_back(location);
        return MemoryPort::open(location);
    }
};

enum class Behaviour { Sign, Silent, IdentifyOnly };

struct SearchRig {
    FakeClock clock;
    PortsOnALine* port = nullptr;
    std::unique_ptr<ComProtocol> protocol;
    std::vector<SystemPort> system;
    std::map<QString, Behaviour> behaviour; ///< by device location; unknown ones are silent
    Bytes info{12, 16, '0', '1', '0', '7', 'A'};
    QTemporaryDir dumpDir;

    SearchRig() {
        auto device = std::make_unique<PortsOnALine>(clock);
        port = device.get();
        protocol = std::make_unique<ComProtocol>(std::move(device), clock);
        protocol->port().setPortsDirectory({});
        protocol->port().setDumpDirectory(dumpDir.path());
        protocol->port().setSystemPorts([this] { return system; });
        port->setResponder([this](std::span<const std::uint8_t> raw) -> Bytes {
            const auto it = behaviour.find(port->openedLocation());
            const Behaviour b = it == behaviour.end() ? Behaviour::Silent : it->second;
            if (b == Behaviour::Silent) return {};
            const testing::Sent sent = Decode(Bytes(raw.begin(), raw.end()), kSerial);
            if (sent.identify) return Reply(kSerial, 0, 0x80);
            if (sent.command == kCommandQueryInfo && b == Behaviour::Sign)
                return Reply(kSerial, 0, 0x80, info);
            return Reply(kSerial, 0, 0x81);
        });
    }
    /// ttyS(n-1) is COMn.
    void addPort(int com, Behaviour b) {
        const QString location = QStringLiteral("/dev/ttyS%1").arg(com - 1);
        system.push_back({QStringLiteral("ttyS%1").arg(com - 1), location});
        behaviour[location] = b;
    }
};

class SearchLog : public SearchUi {
public:
    explicit SearchLog(FakeClock& clock) : m_clock(clock) {}
    QStringList lines;
    std::vector<std::int64_t> lineTimes;
    int maximum = -1;
    std::vector<int> positions;
    int pumps = 0;
    void log(const QString& line) override {
        lines << line;
        lineTimes.push_back(m_clock.elapsedMs());
    }
    void setProgressMaximum(int m) override { maximum = m; }
    void setProgress(int p) override { positions.push_back(p); }
    void processEvents() override { ++pumps; }

private:
    FakeClock& m_clock;
};

TEST(TryPort, SignGivesSerialSizeAndVersionAndThePortIsClosed) {
    SearchRig rig;
    rig.addPort(3, Behaviour::Sign);
    const Probe p = TryPort(*rig.protocol, QStringLiteral("COM3"));
    EXPECT_EQ(p.result, ProbeResult::Found);
    EXPECT_EQ(p.info.serial, kSerial);
    EXPECT_EQ(p.info.width, 12);
    EXPECT_EQ(p.info.height, 16);
    EXPECT_EQ(std::string(p.info.version.begin(), p.info.version.end()), "0107A");
    EXPECT_FALSE(rig.protocol->port().isOpen());
    // Identify first, then the query goes to the serial number just learned.
    ASSERT_EQ(rig.port->writes().size(), 2u);
    EXPECT_TRUE(Decode(rig.port->writes()[0], kSerial).identify);
    const testing::Sent query = Decode(rig.port->writes()[1], kSerial);
    EXPECT_EQ(query.command, kCommandQueryInfo);
    EXPECT_EQ(query.destination, kSerial);
}

TEST(TryPort, FailuresGiveTheirCodesAndLeaveThePortClosed) {
    struct Case {
        const char* what;
        Behaviour behaviour;
        bool refused;
        ProbeResult expected;
        std::size_t writes;
    };
    const Case cases[] = {
        {"refused", Behaviour::Sign, true, ProbeResult::CannotOpen, 0},
        {"silent", Behaviour::Silent, false, ProbeResult::NoIdentify, 1},
        {"query rejected", Behaviour::IdentifyOnly, false, ProbeResult::NoInfo, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SearchRig rig;
        rig.addPort(2, c.behaviour);
        if (c.refused) rig.port->refused.insert(QStringLiteral("/dev/ttyS1"));
        const Probe p = TryPort(*rig.protocol, QStringLiteral("COM2"));
        EXPECT_EQ(p.result, c.expected);
        EXPECT_EQ(p.info.serial, 0);
        EXPECT_EQ(rig.port->writes().size(), c.writes);
        EXPECT_FALSE(rig.protocol->port().isOpen());
    }
}

TEST(TryPort, AMissingPortCannotBeOpened) {
    SearchRig rig;
    EXPECT_EQ(TryPort(*rig.protocol, QStringLiteral("COM9")).result, ProbeResult::CannotOpen);
    EXPECT_TRUE(rig.port->opened.empty());
}

TEST(VersionText, ShowsFourCharactersAroundAFullStop) {
    struct Case {
        std::array<char, kVersionSize> version;
        const char* text;
    };
    const Case cases[] = {
        {{'0', '1', '0', '7', 'A'}, "01.07"},
        {{'1', '2', '3', '4', '5'}, "12.34"},
        {{'0', '2', '.', '0', '1'}, "02..0"},
    };
    for (const Case& c : cases) EXPECT_EQ(VersionText(c.version), QString::fromLatin1(c.text));
}

TEST(SignSearch, SilentPortThenSignLogsBothAndFillsTheProgressBar) {
    SearchRig rig;
    rig.addPort(4, Behaviour::Sign);
    rig.addPort(1, Behaviour::Silent);
    SearchLog log(rig.clock);
    const SearchResult r = SearchForSign(*rig.protocol, log);
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.port, QStringLiteral("COM4"));
    EXPECT_EQ(r.info.serial, kSerial);
    const QStringList expected{
        QStringLiteral("Szukam na porcie COM1"),
        QStringLiteral("Brak odpowiedzi"),
        QStringLiteral("Szukam na porcie COM4"),
        QStringLiteral("Znalazłem linijkę świetlną :-)"),
        QStringLiteral("Port: COM4"),
        QStringLiteral("Numer seryjny: 4660"),
        QStringLiteral("Wersja oprogramowania: 01.07"),
        QStringLiteral("Naciśnij - 'Zakończ' by zamknąć okno"),
    };
    EXPECT_EQ(log.lines, expected);
    // The silent port costs the whole Identify wait of about five seconds.
    EXPECT_GE(log.lineTimes[1] - log.lineTimes[0], kIdentifyPolls * kIdentifyPollMs);
    EXPECT_EQ(log.maximum, 4);
    EXPECT_EQ(log.positions, (std::vector<int>{0, 1, 2, 3, 4, 4}));
    EXPECT_GT(log.pumps, 0);
}

TEST(SignSearch, StopsAtTheFirstSign) {
    SearchRig rig;
    rig.addPort(1, Behaviour::Sign);
    rig.addPort(2, Behaviour::Sign);
    SearchLog log(rig.clock);
    const SearchResult r = SearchForSign(*rig.protocol, log);
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.port, QStringLiteral("COM1"));
    EXPECT_EQ(rig.port->opened, (std::vector<QString>{QStringLiteral("/dev/ttyS0")}));
    EXPECT_EQ(log.maximum, 4);
    EXPECT_EQ(log.positions.back(), 4);
}

TEST(SignSearch, NoPortsGivesTheShortChecklist) {
    SearchRig rig;
    SearchLog log(rig.clock);
    const SearchResult r = SearchForSign(*rig.protocol, log);
    EXPECT_FALSE(r.found);
    ASSERT_EQ(log.lines.size(), 4);
    EXPECT_EQ(log.lines[0], QStringLiteral("Błąd, nie znalazłem żadnych portów COM w systemie!"));
    EXPECT_EQ(log.lines[3], QStringLiteral("Naciśnij - 'Zakończ' by zamknąć okno"));
    EXPECT_EQ(log.maximum, -1);
    EXPECT_TRUE(log.positions.empty());
}

TEST(SignSearch, NoSignAnywhereGivesTheLongChecklist) {
    SearchRig rig;
    rig.addPort(1, Behaviour::Sign);
    rig.port->refused.insert(QStringLiteral("/dev/ttyS0"));
    rig.addPort(2, Behaviour::IdentifyOnly);
    rig.addPort(12, Behaviour::Silent);
    SearchLog log(rig.clock);
    const SearchResult r = SearchForSign(*rig.protocol, log);
    EXPECT_FALSE(r.found);
    ASSERT_EQ(log.lines.size(), 6 + 7);
    EXPECT_EQ(log.lines[0], QStringLiteral("Szukam na porcie COM1"));
    EXPECT_EQ(log.lines[1], QStringLiteral("Nie mogę otworzyć portu COM1"));
    EXPECT_EQ(log.lines[3], QStringLiteral("Brak odpowiedzi"));
    EXPECT_EQ(log.lines[4], QStringLiteral("Szukam na porcie COM12"));
    EXPECT_EQ(log.lines[5], QStringLiteral("Brak odpowiedzi"));
    EXPECT_EQ(log.lines[6],
              QStringLiteral("Błąd, nie znalazłem linijki na żadnym z dostępnych portów COM!"));
    EXPECT_EQ(log.lines[7], QString());
    EXPECT_EQ(log.lines[12], QStringLiteral("5. Sprawdź czy inny program nie blokuje portu COM "
                                            "pod który podłączona jest linijka"));
    EXPECT_EQ(log.maximum, 6);
    EXPECT_EQ(log.positions.back(), 6);
}

TEST(SignSearch, ThePortsFolderLinksAreSearchedToo) {
    SearchRig rig;
    QTemporaryDir ports;
    QFile link(QDir(ports.path()).filePath(QStringLiteral("COM7")));
    ASSERT_TRUE(link.open(QIODevice::WriteOnly));
    link.close();
    rig.protocol->port().setPortsDirectory(ports.path());
    rig.behaviour[link.fileName()] = Behaviour::Sign;
    SearchLog log(rig.clock);
    const SearchResult r = SearchForSign(*rig.protocol, log);
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.port, QStringLiteral("COM7"));
    EXPECT_TRUE(QFileInfo::exists(QDir(rig.dumpDir.path()).filePath(kPortDumpFile)));
}

TEST(SignSearch, ATypedTcpAddressIsTriedBeforeTheComPorts) {
    const QString tcp = QStringLiteral("tcp:10.0.0.7:4001");
    struct Case {
        const char* what;
        QString typed;
        std::optional<Behaviour> server; ///< nothing: the server refuses the connection
        bool com2Sign;                   ///< COM2 exists and holds a sign
        QString found;                   ///< empty: no sign found
        QStringList firstLines;
    };
    const Case cases[] = {
        {"server answers", tcp, Behaviour::Sign, true, tcp,
         {"Szukam na porcie " + tcp, "Znalazłem linijkę świetlną :-)", "Port: " + tcp}},
        {"server silent", tcp, Behaviour::Silent, true, QStringLiteral("COM2"),
         {"Szukam na porcie " + tcp, "Brak odpowiedzi", "Szukam na porcie COM2"}},
        {"server refuses, no COM port", tcp, std::nullopt, false, QString(),
         {"Szukam na porcie " + tcp, "Nie mogę otworzyć portu " + tcp,
          "Błąd, nie znalazłem żadnych portów COM w systemie!"}},
        {"a COM name is not tried first", QStringLiteral("COM9"), Behaviour::Sign, true,
         QStringLiteral("COM2"), {"Szukam na porcie COM2", "Znalazłem linijkę świetlną :-)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SearchRig rig;
        if (c.com2Sign) rig.addPort(2, Behaviour::Sign);
        if (c.server)
            rig.behaviour[tcp] = *c.server;
        else
            rig.port->refused.insert(tcp);
        SearchLog log(rig.clock);
        const SearchResult r = SearchForSign(*rig.protocol, log, c.typed);
        EXPECT_EQ(r.found, !c.found.isEmpty());
        EXPECT_EQ(r.port, c.found);
        EXPECT_EQ(log.lines.mid(0, c.firstLines.size()), c.firstLines)
            << log.lines.join('|').toStdString();
        const int tried = (c.typed == tcp ? 1 : 0) + (c.com2Sign ? 1 : 0);
        EXPECT_EQ(log.maximum, tried ? 2 * tried : -1);
    }
}

} // namespace
} // namespace pixbar
