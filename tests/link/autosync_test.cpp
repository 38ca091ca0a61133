// The file sync mode: as.cfg, the record built from the data file's first line, and polling.
#include "autosyncsession.h"
#include "linktesting.h"

#include <QTemporaryDir>

#include <QStringList>

#include <gtest/gtest.h>

#include <fstream>

namespace pixbar {
namespace {

using testing::Bytes;
using testing::Decode;
using testing::Rig;
namespace fs = std::filesystem;

void WriteText(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

std::string ReadText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

/// Sets a file's modification time to a whole second of its own.
void Touch(const fs::path& p, int second) {
    fs::last_write_time(p, fs::file_time_type(std::chrono::seconds(1700000000 + second)));
}

class TempDir : public ::testing::Test {
protected:
    fs::path path(const char* name) const { return fs::path(dir.path().toStdString()) / name; }
    QTemporaryDir dir;
};

using SyncConfig = TempDir;

TEST_F(SyncConfig, MissingFileLeavesTheNameAndWritingRoundTrips) {
    std::string name = kDefaultDataFile;
    EXPECT_EQ(LoadSyncConfig(path("as.cfg"), name), 1);
    EXPECT_EQ(name, "dane.txt");
    EXPECT_EQ(SaveSyncConfig(path("as.cfg"), "  /tmp/kursy walut.txt \t"), 0);
    EXPECT_EQ(ReadText(path("as.cfg")), "/tmp/kursy walut.txt\n");
    EXPECT_EQ(LoadSyncConfig(path("as.cfg"), name), 0);
    EXPECT_EQ(name, "/tmp/kursy walut.txt");
    EXPECT_EQ(SaveSyncConfig(path("missing/as.cfg"), "x"), 1);
}

TEST_F(SyncConfig, LinesAreTrimmedCutAndEmptyGivesTheDefault) {
    const struct {
        std::string file;
        std::string name;
    } cases[] = {
        {"\r\n", "dane.txt"},
        {"", "dane.txt"},
        {"  wyniki.txt\r\ndrugi.txt\n", "wyniki.txt"},
        {"bez_konca_linii.txt", "bez_konca_linii.txt"},
        {std::string(300, 'a') + "\n", std::string(254, 'a')},
        {"\x01plik\x7f", "plik\x7f"},
    };
    for (const auto& c : cases) {
        WriteText(path("as.cfg"), c.file);
        std::string name = "poprzedni.txt";
        EXPECT_EQ(LoadSyncConfig(path("as.cfg"), name), 0);
        EXPECT_EQ(name, c.name) << c.file;
    }
}

struct LineCase {
    std::string line;
    SyncError error;
};

TEST(SyncRecord, EveryRuleOfTheFirstLine) {
    const LineCase cases[] = {
        {"0 1 Hello\n", SyncError::None},  {"1 3xHello", SyncError::None},
        {"0 1", SyncError::None},          {"2 1 A", SyncError::BadKind},
        {"01 A", SyncError::BadSeparator}, {"0 6 A", SyncError::BadFont},
        {"0 0 A", SyncError::BadFont},     {"0 ", SyncError::TooShort},
        {"", SyncError::TooShort},         {"1\n", SyncError::TooShort},
        {"0 5\n", SyncError::None},        {std::string("0\0 1 A", 6), SyncError::TooShort},
    };
    for (const LineCase& c : cases) {
        MessageRecord r;
        r.bytes.fill(0x77);
        EXPECT_EQ(BuildSyncRecord(c.line, r), c.error) << c.line;
        if (c.error != SyncError::None) {
            EXPECT_EQ(r, MessageRecord{}) << c.line;
        }
    }
    // A zero byte ends the line, as it ends a C string.
    MessageRecord r;
    ASSERT_EQ(BuildSyncRecord(std::string("1 1 A\0B", 8), r), SyncError::None);
    EXPECT_EQ(r.end(), 1);
    EXPECT_EQ(int(SyncError::CannotOpen), 1);
    EXPECT_EQ(int(SyncError::BadFont), 5);
}

TEST(SyncRecord, TextCellsInOneFontWithTheKindFromTheFirstDigit) {
    MessageRecord r;
    ASSERT_EQ(BuildSyncRecord("0 1 Hello\n", r), SyncError::None);
    MessageRecord expected;
    const char* text = "Hello ";
    for (int i = 0; i < 6; ++i) expected.setCell(i, {1, std::uint8_t(text[i])});
    expected.bytes[kKindOffset] = 1;
    EXPECT_EQ(r, expected);

    ASSERT_EQ(BuildSyncRecord("1 3xHi", r), SyncError::None);
    EXPECT_EQ(r.kind(), 0);
    EXPECT_EQ(r.cell(0), (Cell{3, 'H'}));
    EXPECT_EQ(r.cell(1), (Cell{3, 'i'}));
    EXPECT_EQ(r.end(), 2);

    ASSERT_EQ(BuildSyncRecord("0 1", r), SyncError::None);
    EXPECT_EQ(r.end(), 0);
    EXPECT_EQ(r.kind(), 1);
}

TEST(SyncRecord, ControlCharactersAndPolishLettersBecomeBlanks) {
    MessageRecord r;
    ASSERT_EQ(BuildSyncRecord("1 2 a\xb9\tz\x80\xff~", r), SyncError::None);
    const std::uint8_t expected[] = {'a', 0x20, 0x20, 'z', 0x20, 0x20, '~'};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(r.cell(i), (Cell{2, expected[i]})) << i;
    EXPECT_EQ(r.attribute(7), 0);
}

TEST(SyncRecord, LongLineFillsFiveHundredElevenCellsOverTheSentinel) {
    std::string line = "1 4 ";
    for (int i = 0; i < 600; ++i) line += char('A' + i % 26);
    MessageRecord r;
    ASSERT_EQ(BuildSyncRecord(line, r), SyncError::None);
    EXPECT_EQ(r.cell(510), (Cell{4, std::uint8_t('A' + 510 % 26)}));
    EXPECT_EQ(r.bytes[1000], 4);                            // cell 500 runs over the sentinel
    EXPECT_EQ(r.bytes[1021], std::uint8_t('A' + 510 % 26)); // last text byte
    EXPECT_EQ(r.bytes[1022], 0);
    EXPECT_EQ(r.bytes[kKindOffset], 0);
}

using SyncFile = TempDir;

TEST_F(SyncFile, OnlyTheFirstLineIsReadAndCrLfIsOneLineFeed) {
    WriteText(path("dane.txt"), "0 1 Ab\r\n1 1 second\n");
    std::string line;
    EXPECT_EQ(ReadSyncLine(path("dane.txt"), line), SyncError::None);
    EXPECT_EQ(line, "0 1 Ab\n");
    MessageRecord r;
    EXPECT_EQ(BuildSyncMessage(path("dane.txt"), r), SyncError::None);
    EXPECT_EQ(r.end(), 3);
    EXPECT_EQ(r.cell(2), (Cell{1, 0x20}));

    WriteText(path("dane.txt"), "1 1 " + std::string(9000, 'x'));
    EXPECT_EQ(ReadSyncLine(path("dane.txt"), line), SyncError::None);
    EXPECT_EQ(line.size(), kSyncLineMax);

    r.bytes.fill(1);
    EXPECT_EQ(BuildSyncMessage(path("brak.txt"), r), SyncError::CannotOpen);
    EXPECT_EQ(r, MessageRecord{});
}

// A folder or a device in a file's place is a file that cannot be opened, not an empty one.
TEST_F(SyncFile, FolderOrDeviceCannotBeOpened) {
    for (const fs::path& notAFile : {path("folder"), fs::path("/dev/null")}) {
        fs::create_directory(path("folder"));
        std::string name = "kursy.txt";
        EXPECT_EQ(LoadSyncConfig(notAFile, name), 1) << notAFile;
        EXPECT_EQ(name, "kursy.txt");
        MessageRecord r;
        EXPECT_EQ(BuildSyncMessage(notAFile, r), SyncError::CannotOpen) << notAFile;
    }
}

TEST_F(SyncFile, EveryRewriteIsSeenOnceEvenWithinOneSecond) {
    FileChangeWatch watch;
    EXPECT_FALSE(watch.FileChanged(path("dane.txt"))); // missing: unchanged
    struct Step {
        const char* text;
        int ms; ///< modification time after the first second
        bool seen;
    };
    const std::vector<Step> steps = {
        {"0 1 I057", 0, true},   {"0 1 I057", 0, false},  // looked at again: unchanged
        {"0 1 I058", 1, true},   {"0 1 I059", 250, true}, // rewrites within the second
        {"0 1 I0600", 250, true},                         // the same time, another size
        {"0 1 I0601", 250, false}, // nothing moved at all: indistinguishable
        {"0 1 I0601", 1250, true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string(step.text) + " @" + std::to_string(step.ms));
        WriteText(path("dane.txt"), step.text);
        fs::last_write_time(path("dane.txt"),
                            fs::file_time_type(std::chrono::seconds(1700000000) +
                                               std::chrono::milliseconds(step.ms)));
        EXPECT_EQ(watch.FileChanged(path("dane.txt")), step.seen);
    }
    watch.forget();
    EXPECT_TRUE(watch.FileChanged(path("dane.txt")));
}

/// Records the status texts and the polling switch.
struct StatusLog : SyncView {
    QStringList statuses;
    bool polling = false;
    void showStatus(const QString& text) override { statuses << text; }
    void setPolling(bool on) override { polling = on; }
};

class SyncMode : public TempDir {
protected:
    SyncMode()
        : session([this]() -> ComProtocol& { return *rig.protocol; },
                  [] {
                      return SignTarget{QStringLiteral("/dev/memory"), 3};
                  },
                  log) {
        rig.port->setResponder([this](std::span<const std::uint8_t> frame) {
            const auto sent = Decode(Bytes(frame.begin(), frame.end()), 3);
            commands.push_back(sent.command);
            payloads.push_back(sent.payload);
            const bool ok = sent.command == kCommandSetClock ? clockOk : storeOk;
            return ok ? testing::Reply(3, 0, 0x80) : testing::Reply(3, 0, 0x81);
        });
        file = QString::fromStdString(path("dane.txt").string());
    }
    Rig rig;
    StatusLog log;
    SyncSession session;
    QString file;
    std::vector<std::uint8_t> commands;
    std::vector<Bytes> payloads;
    bool clockOk = true;
    bool storeOk = true;
};

TEST_F(SyncMode, StartSetsTheClockThenEachChangeGoesToSlotNine) {
    ASSERT_TRUE(session.StartSyncMode());
    EXPECT_TRUE(log.polling);
    EXPECT_EQ(log.statuses, (QStringList{QStringLiteral("Uruchamiam tryb synchronizacji z plikiem"),
                                         QStringLiteral("Synchronizuję czas w linijce")}));
    session.PollDataFile(file); // no file yet: nothing
    WriteText(path("dane.txt"), "0 1 Hello\n");
    Touch(path("dane.txt"), 1);
    session.PollDataFile(file);
    session.PollDataFile(file); // unchanged: nothing, no status
    ASSERT_EQ(commands, (std::vector<std::uint8_t>{kCommandSetClock, kCommandStoreSlot9}));
    EXPECT_EQ(payloads[1], Bytes(session.message().bytes.begin(), session.message().bytes.end()));
    EXPECT_EQ(session.kind(), 1);
    EXPECT_EQ(log.statuses.mid(2),
              (QStringList{QStringLiteral("Wysyłam komunikat"), QStringLiteral("OK")}));
}

TEST_F(SyncMode, BrokenLineIsReportedOnceAndNothingIsSent) {
    ASSERT_TRUE(session.StartSyncMode());
    WriteText(path("dane.txt"), "2 1 A\n");
    Touch(path("dane.txt"), 1);
    session.PollDataFile(file);
    session.PollDataFile(file);
    EXPECT_EQ(log.statuses.mid(2),
              QStringList{QStringLiteral("Błąd podczas odczytu pliku komunikatu!")});
    EXPECT_EQ(commands.size(), 1u);
    EXPECT_EQ(session.message(), MessageRecord{});
}

TEST_F(SyncMode, RefusedRecordIsNotRetriedUntilTheFileChanges) {
    ASSERT_TRUE(session.StartSyncMode());
    storeOk = false;
    WriteText(path("dane.txt"), "1 1 A");
    Touch(path("dane.txt"), 1);
    session.PollDataFile(file);
    session.PollDataFile(file);
    EXPECT_EQ(log.statuses.back(), QStringLiteral("Błąd podczas wysyłania komunikatu!"));
    EXPECT_EQ(commands.size(), 2u);
    storeOk = true;
    Touch(path("dane.txt"), 2);
    session.PollDataFile(file);
    EXPECT_EQ(log.statuses.back(), QStringLiteral("OK"));
}

TEST_F(SyncMode, PortOrClockFailureLeavesTheModeOff) {
    rig.port->setOpenable(false);
    EXPECT_FALSE(session.StartSyncMode());
    EXPECT_EQ(log.statuses.back(), QStringLiteral("Nie mogę otworzyć portu /dev/memory !"));
    rig.port->setOpenable(true);
    clockOk = false;
    EXPECT_FALSE(session.StartSyncMode());
    EXPECT_EQ(log.statuses.back(), QStringLiteral("Nie moge zsynchronizowac czasu w linijce!"));
    EXPECT_FALSE(rig.port->isOpen());
    EXPECT_FALSE(log.polling);
    WriteText(path("dane.txt"), "1 1 A");
    session.fileChosen(file); // idle: only the name changes
    EXPECT_EQ(commands, std::vector<std::uint8_t>{kCommandSetClock});
}

TEST_F(SyncMode, LeavingClearsSlotNineAndReenteringSendsOnlyOnChangeOrChoice) {
    ASSERT_TRUE(session.StartSyncMode());
    WriteText(path("dane.txt"), "1 1 A");
    Touch(path("dane.txt"), 1);
    session.PollDataFile(file);
    session.StopSyncMode();
    EXPECT_FALSE(session.active());
    EXPECT_FALSE(log.polling);
    EXPECT_FALSE(rig.port->isOpen());
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[2], kCommandStoreSlot9);
    EXPECT_EQ(payloads[2], Bytes(kRecordSize, 0));

    ASSERT_TRUE(session.StartSyncMode());
    session.PollDataFile(file); // unchanged file: nothing
    EXPECT_EQ(commands.size(), 4u);
    session.fileChosen(file); // the same file chosen again goes at once
    EXPECT_EQ(commands.size(), 5u);
    EXPECT_EQ(commands.back(), kCommandStoreSlot9);
    session.StopSyncMode();
    session.StopSyncMode(); // idle: nothing more is sent
    EXPECT_EQ(commands.size(), 6u);
}

} // namespace
} // namespace pixbar
