// The sign commands of pixbarctl: one protocol operation per call, over a named port.
#include "commandtable.h"
#include "commands.h"

#include "settings.h"
#include "sync.h"
#include "unitcomport.h"
#include "unitcomprotocol.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringEncoder>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace pixbarctl {

namespace {

using pixbar::ComPort;
using pixbar::ComProtocol;
using pixbar::ProtocolResult;

constexpr int kExitNoPort = 10;
constexpr std::uint16_t kDefaultAddress = 1;
constexpr std::size_t kMessageFileSize = 1024;
constexpr std::size_t kMessageSetFileSize = 8 * kMessageFileSize;
constexpr std::size_t kHeadedFileLimit = 16384;
constexpr std::uint8_t kHeadedHeader[4] = {12, 0, 0, 0};
constexpr const char* kDefaultSymbolFile = "gfx_symbols.bin";
constexpr int kMaxBrightness = 100;
constexpr int kMaxSpeed = 20;

void printUsage() {
    printHelp(stderr);
}

int usageError(const char* what) {
    std::fprintf(stderr, "pixbarctl: %s\n", what);
    printUsage();
    return kExitUsage;
}

std::optional<long> parseNumber(const char* text, long min, long max) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || v < min || v > max) return std::nullopt;
    return v;
}

std::optional<std::vector<std::uint8_t>> readFile(const char* path, std::size_t limit) {
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray bytes = file.read(qint64(limit));
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

const char* resultText(ProtocolResult r) {
    switch (r) {
    case ProtocolResult::Ok:
        return "ok";
    case ProtocolResult::NoReply:
        return "no reply";
    case ProtocolResult::Rejected:
        return "rejected by the sign";
    case ProtocolResult::BadSlot:
        return "bad slot, nothing sent";
    case ProtocolResult::TooLong:
        return "text too long for one frame, nothing sent";
    }
    return "?";
}

int finish(ComProtocol& protocol, ProtocolResult r) {
    std::printf("reply: %s", resultText(r));
    if (r == ProtocolResult::Ok || r == ProtocolResult::Rejected)
        std::printf(" (sign %u, status 0x%02X)", unsigned(protocol.replySource()),
                    unsigned(protocol.replyStatus()));
    std::printf("\n");
    protocol.Close();
    return int(r);
}

/// A message file (exactly 1024 bytes) or message set (8192 bytes), or a text of either.
std::optional<std::vector<std::uint8_t>> readRecords(const char* path, std::size_t size) {
    if (isMessageText(path)) return composeTextRecords(path, size == kMessageSetFileSize);
    auto bytes = readFile(path, size + 1);
    if (!bytes) {
        std::fprintf(stderr, "pixbarctl: cannot read %s\n", path);
        return std::nullopt;
    }
    if (bytes->size() != size) {
        std::fprintf(stderr, "pixbarctl: %s is not a %zu-byte file\n", path, size);
        return std::nullopt;
    }
    return bytes;
}

/// A user font or symbol table file: the loader's 12, 0, 0, 0 header, at most 16384 bytes.
std::optional<std::vector<std::uint8_t>> readHeaded(const char* path) {
    auto bytes = readFile(path, kHeadedFileLimit);
    if (!bytes) {
        std::fprintf(stderr, "pixbarctl: cannot read %s\n", path);
        return std::nullopt;
    }
    if (bytes->size() < sizeof kHeadedHeader ||
        std::memcmp(bytes->data(), kHeadedHeader, sizeof kHeadedHeader) != 0) {
        std::fprintf(stderr, "pixbarctl: %s does not start with the header 12 0 0 0\n", path);
        return std::nullopt;
    }
    return bytes;
}

int listPorts(const QString& portsDir) {
    ComPort port;
    port.setPortsDirectory(portsDir);
    pixbar::PortTable table{};
    const int result = port.EnumeratePorts(table);
    const auto ports = pixbar::NumberPorts(pixbar::SystemSerialPorts(), portsDir);
    for (const auto& p : ports) {
        if (p.number >= pixbar::kPortTableSize) break;
        std::printf("COM%d\t%s%s\n", p.number, qPrintable(p.location), p.link ? " (link)" : "");
    }
    if (result != 0) std::printf("a port number of 256 or more ends the list\n");
    return result;
}

} // namespace

int runSignCommand(int argc, char** argv) {
    // QSerialPort's notifiers want an application object even without an event loop.
    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);

    QString portsDir = QString::fromLatin1(pixbar::kDefaultPortsDirectory);
    QString portName;
    std::uint16_t address = kDefaultAddress;
    int i = 1;
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
        const std::string option = argv[i];
        if (option == "--help") {
            printHelp(stdout);
            return 0;
        }
        if (!findOption("", option)) return usageError("unknown option");
        if (i + 1 >= argc) return usageError("an option lacks its value");
        const char* value = argv[++i];
        if (option == "--ports-dir") {
            portsDir = QString::fromLocal8Bit(value);
        } else if (option == "--port") {
            portName = QString::fromLocal8Bit(value);
        } else if (option == "--address") {
            const auto a = parseNumber(value, 0, 0xFFFF);
            if (!a) return usageError("the address must be 0..65535");
            address = std::uint16_t(*a);
        } else {
            return usageError("unknown option");
        }
    }
    if (i >= argc) return usageError("no command");
    const std::string command = argv[i++];
    if (const CommandEntry* entry = findCommand(command); !entry || !entry->sign)
        return usageError("unknown command");
    const int rest = argc - i;
    char** args = argv + i;

    if (command == "sync") {
        if (portName.isEmpty()) return usageError("--port NAME is required");
        return runSync(portsDir, portName, address, rest, args);
    }
    if (command == "ports") {
        if (rest != 0) return usageError("ports takes no arguments");
        return listPorts(portsDir);
    }

    // Check every argument before the port is touched.
    std::optional<long> n1, n2, n3;
    std::vector<std::uint8_t> data;
    const auto want = [&](int count) { return rest == count; };
    if (command == "identify" || command == "info" || command == "clock") {
        if (!want(0)) return usageError("this command takes no arguments");
    } else if (command == "config") {
        if (!want(3)) return usageError("config BRIGHTNESS SPEED POSITION");
        n1 = parseNumber(args[0], 1, kMaxBrightness);
        n2 = parseNumber(args[1], 1, kMaxSpeed);
        n3 = parseNumber(args[2], 0, pixbar::kDisplayTimeNoSwitch);
        if (!n1 || !n2 || !n3) return usageError("brightness 1..100, speed 1..20, position 0..134");
    } else if (command == "send-message" || command == "store") {
        if (!want(2)) return usageError("send-message N FILE.kom / store SLOT FILE.kom");
        n1 = parseNumber(args[0], 0, 1000);
        if (!n1) return usageError("the message number must be a number");
        auto record = readRecords(args[1], kMessageFileSize);
        if (!record) return kExitUsage;
        data = std::move(*record);
    } else if (command == "send-set") {
        if (!want(1)) return usageError("send-set FILE.kzb");
        auto set = readRecords(args[0], kMessageSetFileSize);
        if (!set) return kExitUsage;
        data = std::move(*set);
    } else if (command == "send-font") {
        if (!want(1)) return usageError("send-font FILE.fnd");
        auto image = readHeaded(args[0]);
        if (!image) return kExitUsage;
        data = std::move(*image);
    } else if (command == "send-symbols") {
        if (rest > 1) return usageError("send-symbols [FILE]");
        auto image = readHeaded(rest == 1 ? args[0] : kDefaultSymbolFile);
        if (!image) return kExitUsage;
        data = std::move(*image);
    } else if (command == "show") {
        if (!want(1)) return usageError("show SLOT");
        n1 = parseNumber(args[0], 0, 1000);
        if (!n1) return usageError("the slot must be a number");
    } else if (command == "text") {
        if (!want(2)) return usageError("text SLOT TEXT");
        n1 = parseNumber(args[0], 0, 1000);
        if (!n1) return usageError("the slot must be a number");
        QStringEncoder encoder("windows-1250");
        const QByteArray encoded = encoder.encode(QString::fromUtf8(args[1]));
        if (encoder.hasError() || !encoder.isValid())
            return usageError("the text has characters that code page 1250 does not hold");
        data.assign(encoded.begin(), encoded.end());
    } else {
        return usageError("unknown command");
    }

    if (portName.isEmpty()) return usageError("--port NAME is required");
    ComProtocol protocol;
    protocol.port().setPortsDirectory(portsDir);
    if (protocol.Open(portName) != 0) {
        std::fprintf(stderr, "Nie mogę otworzyć portu %s !\n", qPrintable(portName));
        return kExitNoPort;
    }

    if (command == "identify") {
        std::uint16_t serial = 0;
        const ProtocolResult r = protocol.Identify(serial);
        if (r == ProtocolResult::Ok) std::printf("serial number: %u\n", unsigned(serial));
        return finish(protocol, r);
    }
    if (command == "info") {
        std::uint8_t width = 0, height = 0;
        std::array<char, pixbar::kVersionSize> version{};
        std::printf("asking sign %u for its parameters\n", unsigned(address));
        const ProtocolResult r = protocol.QueryInfo(address, width, height, version);
        if (r == ProtocolResult::Ok) {
            std::printf(
                "serial number: %u\nwidth: %u registers\nheight: %u pixels\nversion: %.*s\n",
                unsigned(protocol.replySource()), unsigned(width), unsigned(height),
                int(version.size()), version.data());
        }
        return finish(protocol, r);
    }
    if (command == "clock") {
        const pixbar::LocalTime t = pixbar::SystemLinkClock::instance().localTime();
        std::printf("setting the clock of sign %u to %04d-%02d-%02d %02d:%02d:%02d\n",
                    unsigned(address), t.year, t.month, t.day, t.hour, t.minute, t.second);
        return finish(protocol, protocol.SetClock(address));
    }
    if (command == "config") {
        const int position = int(*n3);
        const pixbar::SignConfig config = pixbar::BuildSignConfig(int(*n1), int(*n2), position);
        std::printf("sending configuration: switching %u, brightness %ld, speed %ld, position %d\n",
                    unsigned(config[0]), *n1, *n2, position);
        return finish(protocol, protocol.SendConfiguration(address, config));
    }
    if (command == "send-message") {
        std::printf("sending message %ld in blocks\n", *n1);
        return finish(protocol, protocol.SendMessageBlocks(address, int(*n1), data));
    }
    if (command == "send-set") {
        pixbar::MessageSetBytes records;
        for (std::size_t i = 0; i < records.size(); ++i)
            records[i] = std::span<const std::uint8_t>(data).subspan(i * kMessageFileSize,
                                                                     kMessageFileSize);
        const pixbar::MessageSetResult sent =
            pixbar::SendMessageSet(protocol, address, records, [](int number) {
                std::printf("sending message %d\n", number);
                std::fflush(stdout);
            });
        if (sent.result != ProtocolResult::Ok) {
            std::printf("message %d not sent\n", sent.failedMessage);
            return finish(protocol, sent.result);
        }
        return finish(protocol, ProtocolResult::Ok);
    }
    if (command == "send-font") {
        std::printf("sending the user font (%zu bytes read)\n", data.size());
        return finish(protocol, protocol.SendUserFont(address, data));
    }
    if (command == "send-symbols") {
        std::printf("sending the graphic symbol table (%zu bytes read)\n", data.size());
        return finish(protocol, protocol.SendSymbolTable(address, data));
    }
    if (command == "store") {
        std::printf("storing the message in slot %ld\n", *n1);
        return finish(protocol, protocol.StoreMessage(address, int(*n1), data));
    }
    if (command == "show") {
        std::printf("showing slot %ld\n", *n1);
        return finish(protocol, protocol.ShowMessage(address, int(*n1)));
    }
    // text
    std::printf("sending a text of %zu characters to slot %ld\n", data.size(), *n1);
    return finish(protocol, protocol.SendText(address, int(*n1), data));
}

} // namespace pixbarctl
