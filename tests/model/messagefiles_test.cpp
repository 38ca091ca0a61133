#include "editorfixture.h"
#include "messagefiles.h"

#include <csignal>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace pixbar;
using pixbar::test::EditorTest;
using pixbar::test::FakeGrid;
using pixbar::test::TempDir;

namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

/// A record that uses every byte position, the reserved bytes and the kind included.
MessageRecord patterned(int salt) {
    MessageRecord r;
    for (std::size_t i = 0; i < kRecordSize; ++i) r.bytes[i] = std::uint8_t(i * 7 + salt * 13 + 1);
    r.bytes[kKindOffset] = std::uint8_t(salt % 3);
    return r;
}

/// Files in `dir` other than `keep`: a failed or finished save must leave none behind.
std::vector<fs::path> strayFiles(const fs::path& dir, const std::vector<fs::path>& keep) {
    std::vector<fs::path> stray;
    for (const auto& e : fs::directory_iterator(dir))
        if (std::find(keep.begin(), keep.end(), e.path()) == keep.end()) stray.push_back(e.path());
    return stray;
}

} // namespace

class MessageFiles : public EditorTest {
protected:
    TempDir dir;
};

TEST_F(MessageFiles, MessageRoundTripsByteForByte) {
    editor.loadRecord(patterned(1));
    const fs::path file = dir / "a.kom";
    MessageFileError reason = MessageFileError::CannotOpen;
    EXPECT_EQ(editor.save(file, &reason), 0);
    EXPECT_EQ(reason, MessageFileError::None);
    const std::vector<std::uint8_t> bytes = readBytes(file);
    ASSERT_EQ(bytes.size(), kRecordSize);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), editor.record().bytes.begin()));

    MessageContainer other{EditorContext{fonts, geometry}};
    EXPECT_EQ(other.load(file), 0);
    EXPECT_EQ(other.record(), editor.record());
    EXPECT_TRUE(strayFiles(dir.path(), {file}).empty());
}

TEST_F(MessageFiles, LowerMessageKeepsItsKindInAnotherPage) {
    editor.setMessageKind(2);
    const fs::path file = dir / "lower.kom";
    ASSERT_EQ(editor.save(file), 0);
    MessageContainer page{EditorContext{fonts, geometry}};
    ASSERT_EQ(page.load(file), 0);
    EXPECT_EQ(page.messageKind(), 2);
    EXPECT_EQ(page.record().bytes[kKindOffset], 2);
    EXPECT_EQ(page.record().end(), 0);
}

TEST_F(MessageFiles, SaveReplacesALongerOldFileWithExactlyTheRecord) {
    const fs::path file = dir / "old.kzb";
    writeBytes(file, std::vector<std::uint8_t>(kMessageSetFileSize, 0xEE));
    type("AB");
    ASSERT_EQ(editor.save(file), 0);
    EXPECT_EQ(fs::file_size(file), kRecordSize);
    EXPECT_TRUE(strayFiles(dir.path(), {file}).empty());
}

TEST_F(MessageFiles, SaveKeepsTheOldFilesAccessRights) {
    const fs::path file = dir / "private.kom";
    writeBytes(file, std::vector<std::uint8_t>(kRecordSize, 1));
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_EQ(editor.save(file), 0);
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(MessageFiles, SaveThroughALinkWritesTheLinkedFile) {
    const fs::path real = dir / "real.kom";
    const fs::path link = dir / "link.kom";
    writeBytes(real, std::vector<std::uint8_t>(kRecordSize, 1));
    fs::create_symlink(real, link);
    type("A");
    ASSERT_EQ(editor.save(link), 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readBytes(real)[0], 3);
}

TEST_F(MessageFiles, ShortMessageFilesAreRefusedAndNothingChanges) {
    type("KEEP");
    grid.put(2);
    const MessageRecord before = editor.record();
    for (std::size_t size : {std::size_t(0), std::size_t(1), kRecordSize - 1}) {
        SCOPED_TRACE(size);
        const fs::path file = dir / ("s" + std::to_string(size) + ".kom");
        writeBytes(file, std::vector<std::uint8_t>(size, 0x02));
        const int repaints = grid.repaints;
        MessageFileError reason = MessageFileError::None;
        EXPECT_EQ(editor.load(file, &reason), 1);
        EXPECT_EQ(reason, MessageFileError::WrongSize);
        EXPECT_EQ(editor.record(), before);
        EXPECT_EQ(grid.cell(), 2);
        EXPECT_EQ(grid.repaints, repaints);
    }
}

TEST_F(MessageFiles, LongerFilesGiveTheirFirstRecord) {
    for (std::size_t size : {kRecordSize + 1, 2 * kRecordSize, kMessageSetFileSize}) {
        SCOPED_TRACE(size);
        std::vector<std::uint8_t> bytes(size, 0x03);
        const MessageRecord first = patterned(int(size % 7) + 1);
        std::copy(first.bytes.begin(), first.bytes.end(), bytes.begin());
        const fs::path file = dir / ("l" + std::to_string(size) + ".kzb");
        writeBytes(file, bytes);
        MessageFileError reason = MessageFileError::WrongSize;
        EXPECT_EQ(editor.load(file, &reason), 0);
        EXPECT_EQ(reason, MessageFileError::None);
        EXPECT_EQ(editor.record(), first);
    }
}

TEST_F(MessageFiles, MissingFileOrFolderCannotBeOpened) {
    type("KEEP");
    const MessageRecord before = editor.record();
    MessageFileError reason = MessageFileError::None;
    EXPECT_EQ(editor.load(dir / "missing.kom", &reason), 1);
    EXPECT_EQ(reason, MessageFileError::CannotOpen);
    EXPECT_EQ(editor.load(dir.path(), &reason), 1);
    EXPECT_EQ(reason, MessageFileError::CannotOpen);
    EXPECT_EQ(editor.record(), before);
    EXPECT_EQ(editor.load(dir / "missing.kom"), 1); // the reason is optional
}

TEST_F(MessageFiles, StreamsReadAndWriteOneRecordAfterAnother) {
    std::stringstream stream;
    EXPECT_EQ(editor.save(static_cast<std::ostream*>(nullptr)), 1);
    EXPECT_EQ(editor.load(static_cast<std::istream*>(nullptr)), 1);

    editor.loadRecord(patterned(1));
    ASSERT_EQ(editor.save(&stream), 0);
    editor.loadRecord(patterned(2));
    ASSERT_EQ(editor.save(&stream), 0);
    EXPECT_EQ(stream.str().size(), 2 * kRecordSize);

    MessageContainer first{EditorContext{fonts, geometry}};
    MessageContainer second{EditorContext{fonts, geometry}};
    EXPECT_EQ(first.load(&stream), 0);
    EXPECT_EQ(second.load(&stream), 0);
    EXPECT_EQ(first.record(), patterned(1));
    EXPECT_EQ(second.record(), patterned(2));

    // The stream is exhausted: a third load is refused and changes nothing.
    MessageFileError reason = MessageFileError::None;
    EXPECT_EQ(second.load(&stream, &reason), 1);
    EXPECT_EQ(reason, MessageFileError::WrongSize);
    EXPECT_EQ(second.record(), patterned(2));
}

TEST_F(MessageFiles, ShortStreamIsRefused) {
    std::istringstream stream(std::string(500, '\x02'));
    type("KEEP");
    const MessageRecord before = editor.record();
    EXPECT_EQ(editor.load(&stream), 1);
    EXPECT_EQ(editor.record(), before);
}

TEST_F(MessageFiles, FailingStreamReportsCannotWrite) {
    std::ostringstream stream;
    stream.setstate(std::ios::badbit);
    MessageFileError reason = MessageFileError::None;
    EXPECT_EQ(editor.save(&stream, &reason), 1);
    EXPECT_EQ(reason, MessageFileError::CannotWrite);
}

TEST_F(MessageFiles, ErrorTextsNameTheFile) {
    EXPECT_TRUE(MessageFileErrorText(MessageFileError::None, "x.kom").empty());
    for (MessageFileError e :
         {MessageFileError::CannotOpen, MessageFileError::WrongSize, MessageFileError::CannotWrite})
        EXPECT_NE(MessageFileErrorText(e, "/tmp/x.kom").find("/tmp/x.kom"), std::string::npos);
}

// --- cursor after loading ----------------------------------------------------------------------

TEST_F(MessageFiles, LoadingAShorterMessageBringsTheCursorToItsEnd) {
    MessageRecord shortOne;
    for (int i = 0; i < 10; ++i) shortOne.setCell(i, {2, 'a'});
    const fs::path file = dir / "short.kom";
    ASSERT_EQ(WriteMessageFile(file, shortOne), MessageFileError::None);

    type(std::string(40, 'x'));
    ASSERT_EQ(grid.cell(), 40);
    ASSERT_EQ(editor.load(file), 0);
    EXPECT_EQ(grid.cell(), 10);
    type("b");
    EXPECT_EQ(editor.record().cell(10), (Cell{3, 'b'}));
    EXPECT_EQ(editor.record().end(), 11);
}

TEST_F(MessageFiles, LoadingKeepsACursorThatIsStillInsideTheMessage) {
    MessageRecord longOne;
    for (int i = 0; i < 100; ++i) longOne.setCell(i, {2, 'a'});
    type(std::string(40, 'x'));
    grid.put(35);
    const int repaints = grid.repaints;
    editor.loadRecord(longOne);
    EXPECT_EQ(grid.cell(), 35);
    EXPECT_GT(grid.repaints, repaints);
    EXPECT_EQ(editor.currentFont(), 3);
}

// --- message sets -------------------------------------------------------------------------------

class MessageSets : public ::testing::Test {
protected:
    MessageSets() {
        for (int i = 0; i < kMessageSetCount; ++i) {
            editors[i] = std::make_unique<MessageContainer>(EditorContext{fonts, geometry});
            grids[i] = std::make_unique<FakeGrid>(*editors[i]);
            pointers[i] = editors[i].get();
        }
    }
    void fill(int salt) {
        for (int i = 0; i < kMessageSetCount; ++i) editors[i]->loadRecord(patterned(salt + i));
    }

    TempDir dir;
    FontTable fonts{};
    SignGeometry geometry{24, 16, 26};
    std::array<std::unique_ptr<MessageContainer>, kMessageSetCount> editors;
    std::array<std::unique_ptr<FakeGrid>, kMessageSetCount> grids;
    std::array<MessageContainer*, kMessageSetCount> pointers{};
};

TEST_F(MessageSets, SetRoundTripsByteForByte) {
    fill(10);
    const fs::path file = dir / "set.kzb";
    MessageFileError reason = MessageFileError::CannotOpen;
    ASSERT_EQ(SaveMessageSet(file, pointers, &reason), 0);
    EXPECT_EQ(reason, MessageFileError::None);
    const std::vector<std::uint8_t> bytes = readBytes(file);
    ASSERT_EQ(bytes.size(), kMessageSetFileSize);
    for (int i = 0; i < kMessageSetCount; ++i)
        EXPECT_TRUE(std::equal(editors[i]->record().bytes.begin(), editors[i]->record().bytes.end(),
                               bytes.begin() + i * kRecordSize))
            << "message " << i + 1;

    fill(50);
    ASSERT_EQ(LoadMessageSet(file, pointers, &reason), 0);
    for (int i = 0; i < kMessageSetCount; ++i) EXPECT_EQ(editors[i]->record(), patterned(10 + i));

    MessageSetRecords records;
    ASSERT_EQ(ReadMessageSetFile(file, records), MessageFileError::None);
    EXPECT_EQ(records[7], patterned(17));
}

TEST_F(MessageSets, SetSavedAsOneMessageIsOneRecord) {
    fill(0);
    const fs::path file = dir / "one.kzb";
    ASSERT_EQ(editors[2]->save(file), 0);
    EXPECT_EQ(fs::file_size(file), kRecordSize);
    MessageFileError reason = MessageFileError::None;
    EXPECT_EQ(LoadMessageSet(file, pointers, &reason), 1);
    EXPECT_EQ(reason, MessageFileError::WrongSize);
}

TEST_F(MessageSets, WrongSizedSetsChangeNoPage) {
    fill(30);
    for (std::size_t size : {std::size_t(0), kRecordSize, 3 * kRecordSize + 5,
                             kMessageSetFileSize - 1, kMessageSetFileSize + 1}) {
        SCOPED_TRACE(size);
        const fs::path file = dir / "bad.kzb";
        writeBytes(file, std::vector<std::uint8_t>(size, 0x02));
        MessageFileError reason = MessageFileError::None;
        EXPECT_EQ(LoadMessageSet(file, pointers, &reason), 1);
        EXPECT_EQ(reason, MessageFileError::WrongSize);
        for (int i = 0; i < kMessageSetCount; ++i)
            EXPECT_EQ(editors[i]->record(), patterned(30 + i));
    }
    MessageFileError reason = MessageFileError::None;
    EXPECT_EQ(LoadMessageSet(dir / "none.kzb", pointers, &reason), 1);
    EXPECT_EQ(reason, MessageFileError::CannotOpen);
}

TEST_F(MessageSets, MissingEditorIsRefused) {
    fill(0);
    pointers[4] = nullptr;
    EXPECT_EQ(SaveMessageSet(dir / "set.kzb", pointers), 1);
    EXPECT_FALSE(fs::exists(dir / "set.kzb"));
}

// --- failed saves leave the old file ------------------------------------------------------------

class FailedMessageSave : public MessageFiles {
protected:
    void SetUp() override {
        type("NEW");
        writeBytes(old, oldBytes);
    }
    void expectOldFileIntact() {
        EXPECT_EQ(readBytes(old), oldBytes);
        EXPECT_TRUE(strayFiles(dir.path(), {old, dir / "file"}).empty());
    }
    const fs::path old = dir / "old.kom";
    const std::vector<std::uint8_t> oldBytes = std::vector<std::uint8_t>(kRecordSize, 0x5A);
};

TEST_F(FailedMessageSave, FolderThatDoesNotExist) {
    MessageFileError reason = MessageFileError::None;
    EXPECT_EQ(editor.save(dir / "no-such-folder" / "a.kom", &reason), 1);
    EXPECT_EQ(reason, MessageFileError::CannotWrite);
    EXPECT_FALSE(fs::exists(dir / "no-such-folder"));
    expectOldFileIntact();
}

TEST_F(FailedMessageSave, PathThroughARegularFile) {
    writeBytes(dir / "file", {1, 2, 3});
    MessageFileError reason = MessageFileError::None;
    EXPECT_EQ(editor.save(dir / "file" / "a.kom", &reason), 1);
    EXPECT_EQ(reason, MessageFileError::CannotWrite);
    EXPECT_EQ(readBytes(dir / "file"), (std::vector<std::uint8_t>{1, 2, 3}));
    std::array<MessageContainer*, kMessageSetCount> set;
    set.fill(&editor);
    EXPECT_EQ(SaveMessageSet(dir / "file" / "a.kzb", set, &reason), 1);
    expectOldFileIntact();
}

TEST_F(FailedMessageSave, TargetThatIsAFolder) {
    fs::create_directory(dir / "folder.kom");
    MessageFileError reason = MessageFileError::None;
    EXPECT_EQ(editor.save(dir / "folder.kom", &reason), 1);
    EXPECT_EQ(reason, MessageFileError::CannotWrite);
    EXPECT_TRUE(fs::is_directory(dir / "folder.kom"));
    EXPECT_TRUE(strayFiles(dir.path(), {old, dir / "folder.kom"}).empty());
}

// A disk that fills up half-way through the save: the file size limit stops the write after
// 512 bytes, for every user including root.
TEST_F(FailedMessageSave, WriteCutOffHalfWay) {
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 512;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);

    MessageFileError reason = MessageFileError::None;
    const int result = editor.save(old, &reason);
    std::array<MessageContainer*, kMessageSetCount> set;
    set.fill(&editor);
    const int setResult = SaveMessageSet(old, set);

    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(reason, MessageFileError::CannotWrite);
    EXPECT_EQ(setResult, 1);
    expectOldFileIntact();
}

TEST_F(FailedMessageSave, ReadOnlyFolder) {
    using fs::perms;
    fs::permissions(dir.path(), perms::owner_read | perms::owner_exec | perms::group_read |
                                    perms::group_exec | perms::others_read | perms::others_exec);
    if (geteuid() != 0) {
        MessageFileError reason = MessageFileError::None;
        EXPECT_EQ(editor.save(old, &reason), 1);
        EXPECT_EQ(reason, MessageFileError::CannotWrite);
    } else {
        // Root writes into read-only folders: save from a child process that has given up
        // root, so the folder's permissions bind it.
        constexpr int kCouldNotDropRoot = 3;
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0) _exit(kCouldNotDropRoot);
            MessageFileError reason = MessageFileError::None;
            const int result = editor.save(old, &reason);
            _exit(result == 1 && reason == MessageFileError::CannotWrite ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_NE(WEXITSTATUS(status), kCouldNotDropRoot) << "the test could not give up root";
        EXPECT_EQ(WEXITSTATUS(status), 0) << "the save into a read-only folder did not fail";
    }
    fs::permissions(dir.path(), perms::owner_all);
    expectOldFileIntact();
}
