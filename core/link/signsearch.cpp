#include "signsearch.h"

#include "portdevice.h"

#include <vector>

namespace pixbar {

Probe TryPort(ComProtocol& protocol, const QString& name) {
    Probe probe;
    if (protocol.Open(name) != 0) {
        probe.result = ProbeResult::CannotOpen;
        return probe;
    }
    std::uint16_t serial = 0;
    if (protocol.Identify(serial) != ProtocolResult::Ok) {
        protocol.Close();
        probe.result = ProbeResult::NoIdentify;
        return probe;
    }
    SignInfo info;
    info.serial = serial;
    if (protocol.QueryInfo(serial, info.width, info.height, info.version) != ProtocolResult::Ok) {
        protocol.Close();
        probe.result = ProbeResult::NoInfo;
        return probe;
    }
    protocol.Close();
    probe.result = ProbeResult::Found;
    probe.info = info;
    return probe;
}

QString VersionText(const std::array<char, kVersionSize>& v) {
    // The fifth character is the sign's own and is not shown.
    const auto ch = [](char c) { return QChar::fromLatin1(c); };
    return QString() + ch(v[0]) + ch(v[1]) + QLatin1Char('.') + ch(v[2]) + ch(v[3]);
}

namespace {

const char* const kNoPortsLines[] = {
    "Błąd, nie znalazłem żadnych portów COM w systemie!",
    "1. Sprawdź czy przelotka USB-COM jest zainstalowana poprawnie.",
    "2. Sprawdź czy porty COM na płycie mają poprawnie zainstalowane sterowniki.",
    "Naciśnij - 'Zakończ' by zamknąć okno",
};

const char* const kNotFoundLines[] = {
    "Błąd, nie znalazłem linijki na żadnym z dostępnych portów COM!",
    "",
    "1. Upewnij się, że linijka świetlna jest włączona",
    "2. Sprawdź czy przelotka USB-COM jest zainstalowana poprawnie (w przypadku korzystania z "
    "przelotek, a nie z wbudowanego portu)",
    "3. Sprawdź czy porty COM na płycie głównej komputera mają poprawnie zainstalowane "
    "sterowniki.",
    "4. Sprawdź kabel łączący komputer z linijką świetlną",
    "5. Sprawdź czy inny program nie blokuje portu COM pod który podłączona jest linijka",
};

template <std::size_t N> void logLines(SearchUi& ui, const char* const (&lines)[N]) {
    ui.reportStarts();
    for (const char* line : lines) ui.log(QString::fromUtf8(line));
}

} // namespace

SearchResult SearchForSign(ComProtocol& protocol, SearchUi& ui, const QString& typedPort) {
    PortTable table{};
    // A number of 256 or more ends the listing; the ports found before it are still tried.
    protocol.port().EnumeratePorts(table);
    ui.processEvents();

    std::vector<QString> names;
    // A serial server is no port of this machine: only the user can name it.
    if (IsTcpPortName(typedPort)) names.push_back(typedPort);
    int present = 0;
    for (int n = 0; n < kPortTableSize; ++n) {
        if (!table[n]) continue;
        names.push_back(QStringLiteral("COM%1").arg(n));
        ++present;
    }
    if (names.empty()) {
        logLines(ui, kNoPortsLines);
        return {};
    }

    const int maximum = 2 * int(names.size());
    ui.setProgressMaximum(maximum);
    ui.setProgress(0);
    int step = 1;
    for (const QString& name : names) {
        ui.log(QStringLiteral("Szukam na porcie ") + name);
        ui.setProgress(step++);
        ui.processEvents();

        const Probe probe = TryPort(protocol, name);
        ui.setProgress(step++);
        ui.processEvents();

        switch (probe.result) {
        case ProbeResult::Found: {
            ui.log(QStringLiteral("Znalazłem linijkę świetlną :-)"));
            ui.log(QStringLiteral("Port: %1").arg(name));
            ui.log(QStringLiteral("Numer seryjny: %1").arg(probe.info.serial));
            ui.log(QStringLiteral("Wersja oprogramowania: ") + VersionText(probe.info.version));
            ui.log(QStringLiteral("Naciśnij - 'Zakończ' by zamknąć okno"));
            ui.setProgress(maximum);
            return {true, name, probe.info};
        }
        case ProbeResult::CannotOpen:
            ui.log(QStringLiteral("Nie mogę otworzyć portu ") + name);
            break;
        case ProbeResult::NoIdentify:
        case ProbeResult::NoInfo:
            ui.log(QStringLiteral("Brak odpowiedzi"));
            break;
        }
        ui.processEvents();
    }
    // Without a COM port the user hears that first, even after a TCP address was tried.
    if (present == 0)
        logLines(ui, kNoPortsLines);
    else
        logLines(ui, kNotFoundLines);
    return {};
}

} // namespace pixbar
