#include "linktesting.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace pixbar {
namespace {

TEST(ComName, NumbersOfComNames) {
    struct Case {
        const char* name;
        int number;
    };
    const std::vector<Case> cases = {
        {"COM3", 3},     {"com12", 12}, {"Com7", 7}, {"COM5A", 5},  {"COM0", 0},
        {"COM300", 300}, {"COMX", -1},  {"COM", -1}, {"CNCA0", -1}, {"ttyS0", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ComNumber(QString::fromLatin1(c.name)), c.number) << c.name;
}

TEST(PortNumbering, FixedRuleForSystemDevices) {
    const std::vector<SystemPort> system = {
        {"ttyUSB1", "/dev/ttyUSB1"}, {"ttyS0", "/dev/ttyS0"}, {"rfcomm0", "/dev/rfcomm0"},
        {"ttyACM0", "/dev/ttyACM0"}, {"ttyS3", "/dev/ttyS3"}, {"ttyAMA0", "/dev/ttyAMA0"},
        {"ttyS40", "/dev/ttyS40"},
    };
    const auto ports = NumberPorts(system, {});
    const std::vector<NumberedPort> expected = {
        {1, "/dev/ttyS0", false},    {4, "/dev/ttyS3", false},    {34, "/dev/ttyUSB1", false},
        {65, "/dev/ttyACM0", false}, {97, "/dev/rfcomm0", false}, {98, "/dev/ttyAMA0", false},
        {99, "/dev/ttyS40", false},
    };
    EXPECT_EQ(ports, expected);
}

TEST(PortNumbering, LinksOfThePortsFolderWinOverTheRule) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* name : {"COM1", "com9", "COM5A", "README"})
        ASSERT_EQ(symlink("/dev/null",
                          QDir(dir.path()).filePath(QLatin1String(name)).toLocal8Bit().constData()),
                  0);
    const auto ports = NumberPorts({{"ttyS0", "/dev/ttyS0"}, {"ttyS1", "/dev/ttyS1"}}, dir.path());
    ASSERT_EQ(ports.size(), 4u);
    EXPECT_EQ(ports[0], (NumberedPort{1, dir.path() + "/COM1", true}));
    EXPECT_EQ(ports[1], (NumberedPort{2, "/dev/ttyS1", false}));
    EXPECT_EQ(ports[2], (NumberedPort{5, dir.path() + "/COM5A", true}));
    EXPECT_EQ(ports[3], (NumberedPort{9, dir.path() + "/com9", true}));
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

TEST(PortTableFill, TableAndDumpLines) {
    QTemporaryDir dir;
    const QString dump = dir.filePath("com-ports.dump");
    PortTable table;
    table.fill(1);
    EXPECT_EQ(FillPortTable({{1, "/dev/ttyS0"}, {7, "/dev/ttyS6"}}, table, dump), 0);
    for (int n = 0; n < kPortTableSize; ++n) EXPECT_EQ(table[n], n == 1 || n == 7 ? 1 : 0) << n;
    EXPECT_EQ(ReadAll(dump), QByteArray("com1 - 1\ncom7 - 7\n"));
}

TEST(PortTableFill, NumberOf256OrMoreEndsTheList) {
    QTemporaryDir dir;
    const QString dump = dir.filePath("com-ports.dump");
    PortTable table{};
    EXPECT_EQ(FillPortTable({{2, "a"}, {300, "b"}, {301, "c"}}, table, dump), 1);
    EXPECT_EQ(table[2], 1);
    EXPECT_EQ(std::count(table.begin(), table.end(), 1), 1);
    EXPECT_EQ(ReadAll(dump), QByteArray("com2 - 2\ncom300 - 300\n"));
}

TEST(PortTableFill, UnwritableDumpStillFillsTheTable) {
    PortTable table{};
    EXPECT_EQ(FillPortTable({{3, "/dev/ttyS2"}}, table, "/nonexistent-folder/com-ports.dump"), 0);
    EXPECT_EQ(table[3], 1);
}

TEST(ComPortOpen, NamesResolveToDevices) {
    QTemporaryDir dir;
    ASSERT_EQ(symlink("/dev/null", dir.filePath("COM5").toLocal8Bit().constData()), 0);
    FakeClock clock;
    auto device = std::make_unique<MemoryPort>(clock);
    MemoryPort* memory = device.get();
    ComPort port(std::move(device));
    port.setPortsDirectory(dir.path());
    port.setSystemPorts([] { return std::vector<SystemPort>{{"ttyUSB0", "/dev/ttyUSB0"}}; });

    struct Case {
        const char* name;
        QString location; ///< empty: the port cannot be opened
    };
    const std::vector<Case> cases = {
        {"COM5", dir.filePath("COM5")}, {"com5", dir.filePath("COM5")}, {"COM33", "/dev/ttyUSB0"},
        {"/dev/pts/9", "/dev/pts/9"},   {"ttyS4", "/dev/ttyS4"},        {"COM3", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int result = port.Open(QString::fromLatin1(c.name));
        EXPECT_EQ(result, c.location.isEmpty() ? 1 : 0);
        EXPECT_EQ(port.isOpen(), !c.location.isEmpty());
        if (!c.location.isEmpty()) {
            EXPECT_EQ(memory->openedLocation(), c.location);
        }
        EXPECT_EQ(port.Close(), 0);
        EXPECT_EQ(port.Close(), 0);
        EXPECT_FALSE(port.isOpen());
    }
}

TEST(ComPortOpen, ReadWithNothingArrivedReturnsZero) {
    FakeClock clock;
    auto device = std::make_unique<MemoryPort>(clock);
    ComPort port(std::move(device));
    ASSERT_EQ(port.Open("/dev/memory"), 0);
    std::uint8_t buffer[16];
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0);
    EXPECT_TRUE(clock.sleeps().empty());
}

TEST(ComPortOpen, APortThisProcessHoldsCannotBeOpenedAgain) {
    QTemporaryDir dir;
    ASSERT_EQ(symlink("/dev/null", dir.filePath("COM5").toLocal8Bit().constData()), 0);
    FakeClock clock;
    ComPort holder(std::make_unique<MemoryPort>(clock));
    ComPort other(std::make_unique<MemoryPort>(clock));
    for (ComPort* p : {&holder, &other}) {
        p->setPortsDirectory(dir.path());
        p->setSystemPorts([] { return std::vector<SystemPort>{}; });
    }
    ASSERT_EQ(holder.Open("COM5"), 0);
    // The same object, another object, by name or by the device it leads to: all refused,
    // and the holder keeps the port.
    EXPECT_EQ(holder.Open("COM5"), 1);
    EXPECT_EQ(holder.Open("/dev/memory"), 1);
    EXPECT_EQ(other.Open("COM5"), 1);
    EXPECT_EQ(other.Open("/dev/null"), 1);
    EXPECT_TRUE(holder.isOpen());
    EXPECT_FALSE(other.isOpen());
    // Another device is free, and so is the port once its holder lets it go.
    EXPECT_EQ(other.Open("/dev/memory"), 0);
    other.Close();
    holder.Close();
    EXPECT_EQ(other.Open("COM5"), 0);
    EXPECT_EQ(holder.Open("COM5"), 1);
}

TEST(ComPortOpen, RealDeviceThatDoesNotExistStaysClosed) {
    ComPort port;
    port.setPortsDirectory({});
    port.setSystemPorts([] { return std::vector<SystemPort>{}; });
    EXPECT_EQ(port.Open("COM3"), 1);
    EXPECT_EQ(port.Open("/dev/does-not-exist"), 1);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.Close(), 0);
}

TEST(ComPortEnumerate, WritesTheDumpInTheDumpFolder) {
    QTemporaryDir ports;
    QTemporaryDir work;
    ASSERT_EQ(symlink("/dev/null", ports.filePath("COM12").toLocal8Bit().constData()), 0);
    ComPort port;
    port.setPortsDirectory(ports.path());
    port.setDumpDirectory(work.path());
    port.setSystemPorts([] { return std::vector<SystemPort>{{"ttyS1", "/dev/ttyS1"}}; });
    PortTable table{};
    EXPECT_EQ(port.EnumeratePorts(table), 0);
    EXPECT_EQ(table[2], 1);
    EXPECT_EQ(table[12], 1);
    EXPECT_EQ(ReadAll(work.filePath("com-ports.dump")), QByteArray("com2 - 2\ncom12 - 12\n"));
}

} // namespace
} // namespace pixbar
