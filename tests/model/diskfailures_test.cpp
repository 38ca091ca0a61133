// Every file the designer saves, against a full disk, a read-only target and a folder in the
// target's place: the old files stay byte for byte, nothing is left beside them, and the
// caller gets a failure it can put to the user.
#include "diskfiles.h"
#include "editorfixture.h"
#include "glyphs.h"
#include "messagefiles.h"
#include "settings.h"

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pixbar;
using pixbar::test::TempDir;

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& file, const Bytes& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Bytes pattern(std::size_t size, int salt) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = std::uint8_t(i * 11 + salt);
    return b;
}

/// A symbol table of 255 columns of 16 rows, as the designer delivers it.
Bytes symbolTableFile(int salt) {
    Bytes b = pattern(kHeadedHeaderSize + 255 * 16, salt);
    const std::uint8_t header[] = {12, 0, 0, 0, 8, 0, 16, 0, 0, 0, 255, 0};
    std::copy(std::begin(header), std::end(header), b.begin());
    return b;
}

/// One kind of file the designer saves: the files it holds, with their old contents, and the
/// save, which gives its failure text (empty when the save went through).
struct Target {
    std::string name;
    std::map<std::string, Bytes> oldFiles;
    std::function<std::string(const fs::path& dir)> save;
};

std::vector<Target> targets() {
    std::vector<Target> t;
    t.push_back({"kom", {{"a.kom", pattern(kMessageFileSize, 1)}}, [](const fs::path& dir) {
                     FontTable fonts{};
                     SignGeometry geometry{24, 16, 26};
                     MessageContainer editor{EditorContext{fonts, geometry}};
                     editor.keyPress('x');
                     MessageFileError why = MessageFileError::None;
                     editor.save(dir / "a.kom", &why);
                     return MessageFileErrorText(why, dir / "a.kom");
                 }});
    t.push_back({"kzb", {{"a.kzb", pattern(kMessageSetFileSize, 2)}}, [](const fs::path& dir) {
                     FontTable fonts{};
                     SignGeometry geometry{24, 16, 26};
                     MessageContainer editor{EditorContext{fonts, geometry}};
                     std::array<MessageContainer*, kMessageSetCount> set;
                     set.fill(&editor);
                     MessageFileError why = MessageFileError::None;
                     SaveMessageSet(dir / "a.kzb", set, &why);
                     return MessageFileErrorText(why, dir / "a.kzb");
                 }});
    t.push_back({"symbols",
                 {{kSymbolTableFile, symbolTableFile(3)}, {kSymbolMapFile, pattern(256, 4)}},
                 [](const fs::path& dir) {
                     GlyphSets sets;
                     sets.setStartDirectory(dir);
                     sets.LoadSymbolTable();
                     // An edit of both files, as every change in the symbol table window is.
                     sets.symbolTableImage().bytes[kHeadedHeaderSize + 16] ^= 0xFF;
                     sets.symbolMap()[1] ^= 0xFF;
                     return sets.SaveSymbolTable().message();
                 }});
    t.push_back({"ldcfg",
                 {{kConfigFile, Bytes{'C', 'O', 'M', '4', '\n', '5', '0', '\n'}}},
                 [](const fs::path& dir) {
                     const ProgramSettings s{"COM2", 70, 3, 14, 12, 16, 513};
                     return WriteLdCfg(dir / kConfigFile, s) == 0
                                ? std::string()
                                : "Nie można zapisać pliku " + (dir / kConfigFile).string() + ".";
                 }});
    return t;
}

enum class Failure { FullDisk, ReadOnlyTarget, FolderInPlace };

std::string failureName(Failure f) {
    switch (f) {
    case Failure::FullDisk:
        return "FullDisk";
    case Failure::ReadOnlyTarget:
        return "ReadOnlyTarget";
    case Failure::FolderInPlace:
        return "FolderInPlace";
    }
    return {};
}

/// A small tmpfs on the test's folder where the test may mount one (root with the right to
/// mount), else nothing: the full disk is then a file size limit.
class SmallDisk {
public:
    explicit SmallDisk(const fs::path& dir) : m_dir(dir) {
        m_mounted = ::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=256k") == 0;
    }
    ~SmallDisk() {
        if (m_mounted) ::umount2(m_dir.c_str(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }
    /// Takes every free byte of the disk.
    void fill() const {
        const int fd = ::open((m_dir / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const Bytes block(4096, 0xAA);
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        ::close(fd);
    }

private:
    fs::path m_dir;
    bool m_mounted = false;
};

class DiskFailure : public ::testing::TestWithParam<std::tuple<std::size_t, Failure>> {};

TEST_P(DiskFailure, OldFilesStayAndTheUserIsTold) {
    const auto [index, failure] = GetParam();
    const Target target = targets()[index];
    TempDir dir;
    SmallDisk disk(dir.path());

    for (const auto& [name, bytes] : target.oldFiles) writeBytes(dir / name, bytes);
    // With two files, only the second is spoilt: the first must not change without it.
    const std::string spoilt = std::prev(target.oldFiles.end())->first;

    std::string told;
    switch (failure) {
    case Failure::FullDisk:
        if (disk.mounted()) {
            disk.fill();
            told = target.save(dir.path());
        } else {
            rlimit saved{};
            ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
            const auto previous = std::signal(SIGXFSZ, SIG_IGN);
            rlimit limited = saved;
            limited.rlim_cur = 4; // smaller than any of the files
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
            told = target.save(dir.path());
            setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, previous);
        }
        break;
    case Failure::ReadOnlyTarget:
        fs::permissions(dir / spoilt,
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        told = target.save(dir.path());
        break;
    case Failure::FolderInPlace:
        fs::remove(dir / spoilt);
        fs::create_directory(dir / spoilt);
        told = target.save(dir.path());
        break;
    }

    EXPECT_NE(told, "") << "the failed save was not reported";
    for (const auto& [name, bytes] : target.oldFiles) {
        if (failure == Failure::FolderInPlace && name == spoilt)
            EXPECT_TRUE(fs::is_directory(dir / name));
        else
            EXPECT_EQ(readBytes(dir / name), bytes) << name << " changed";
    }
    if (failure == Failure::ReadOnlyTarget) {
        EXPECT_EQ(fs::status(dir / spoilt).permissions(),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    }
    for (const auto& e : fs::directory_iterator(dir.path())) {
        const std::string name = e.path().filename().string();
        EXPECT_TRUE(target.oldFiles.count(name) || name == "filler") << "left behind: " << name;
    }
}

INSTANTIATE_TEST_SUITE_P(EverySavedFile, DiskFailure,
                         ::testing::Combine(::testing::Range<std::size_t>(0, 4),
                                            ::testing::Values(Failure::FullDisk,
                                                              Failure::ReadOnlyTarget,
                                                              Failure::FolderInPlace)),
                         [](const auto& info) {
                             return targets()[std::get<0>(info.param)].name + "_" +
                                    failureName(std::get<1>(info.param));
                         });

// A disk with room for the new table but not for its map: the table must not be replaced on
// its own, or table and map disagree at the next start.
TEST(SymbolPairOnAFullDisk, RoomForTheTableButNotTheMap) {
    TempDir dir;
    SmallDisk disk(dir.path());
    if (!disk.mounted()) {
        // Without a disk of its own the test makes the map's folder unusable after the table's
        // new file is written: a map in a folder that does not exist.
        const Bytes table = symbolTableFile(5);
        writeBytes(dir / "t.bin", table);
        const Bytes newTable = symbolTableFile(6);
        const Bytes map = pattern(256, 7);
        const FileBytes files[] = {{dir / "t.bin", newTable}, {dir / "gone" / "m.bin", map}};
        const CommitResult r = CommitFiles(files);
        EXPECT_FALSE(r);
        EXPECT_EQ(r.file, dir / "gone" / "m.bin");
        EXPECT_EQ(readBytes(dir / "t.bin"), table);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
        return;
    }
    const Bytes table = symbolTableFile(5), map = pattern(256, 7);
    writeBytes(dir / kSymbolTableFile, table);
    writeBytes(dir / kSymbolMapFile, map);
    disk.fill();
    // One page free: the new table (4092 bytes) fits in it, the map then finds none.
    const std::uintmax_t filled = fs::file_size(dir / "filler");
    ASSERT_GE(filled, 4096u);
    ASSERT_EQ(::truncate((dir / "filler").c_str(), off_t(filled - 4096)), 0);

    GlyphSets sets;
    sets.setStartDirectory(dir.path());
    ASSERT_TRUE(sets.LoadSymbolTable());
    sets.symbolTableImage().bytes[kHeadedHeaderSize] ^= 0xFF;
    sets.symbolMap()[2] = 1;
    const FileResult r = sets.SaveSymbolTable();
    EXPECT_EQ(r.code, FileResult::Code::CannotWrite);
    EXPECT_EQ(r.file, dir / kSymbolMapFile);
    EXPECT_EQ(readBytes(dir / kSymbolTableFile), table);
    EXPECT_EQ(readBytes(dir / kSymbolMapFile), map);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);
}

TEST(SavedFile, KeepsItsModeAndOwnerWhenReplaced) {
    TempDir dir;
    const fs::path file = dir / kConfigFile;
    writeBytes(file, {'x'});
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(WriteLdCfg(file, ProgramSettings{}), 0);
    EXPECT_EQ(fs::status(file).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, root ? 65534u : ::geteuid());
    EXPECT_EQ(readBytes(file).size(), std::string("COM1\n90\n2\n12\n8\n8\n1\n").size());
}

} // namespace
