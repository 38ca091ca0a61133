#include "workingfolder.h"

#include "glyphs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include <unistd.h>

using namespace pixbar;
namespace fs = std::filesystem;

namespace {

// A machine in a temporary folder: an empty working directory, a home, and a prefix whose
// bin/ holds the designer and whose share/pixbar4designer/ holds the installed data.
class WorkingFolderChoice : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("pixbar-wf-" + std::to_string(::getpid()));
        fs::remove_all(root);
        places.currentDirectory = root / "cwd";
        places.executableDirectory = root / "prefix/bin";
        places.home = (root / "home").string();
        places.xdgDataDirs = (root / "nowhere").string();
        installed = root / "prefix/share/pixbar4designer";
        for (const fs::path& p : {places.currentDirectory, places.executableDirectory, installed,
                                  fs::path(places.home)})
            fs::create_directories(p);
        for (const std::string& file : installedDataFiles()) {
            write(installed / file, "installed");
            fs::permissions(installed / file, fs::perms::owner_read | fs::perms::group_read |
                                                  fs::perms::others_read);
        }
        user = root / "home/.local/share/pixbar4designer";
    }
    void TearDown() override { fs::remove_all(root); }

    static void write(const fs::path& file, const std::string& text) {
        std::ofstream(file, std::ios::binary) << text;
    }
    static std::string read(const fs::path& file) {
        std::ostringstream s;
        s << std::ifstream(file, std::ios::binary).rdbuf();
        return s.str();
    }

    fs::path root, installed, user;
    DataPlaces places;
};

} // namespace

TEST_F(WorkingFolderChoice, CurrentDirectoryWithTheDataFilesIsKept) {
    for (const std::string& file : requiredDataFiles())
        write(places.currentDirectory / file, "here");
    const WorkingFolder chosen = chooseWorkingFolder(places);
    ASSERT_TRUE(chosen) << chosen.error;
    EXPECT_EQ(chosen.folder, places.currentDirectory);
    EXPECT_TRUE(chosen.copiedFiles.empty());
    EXPECT_FALSE(fs::exists(user)); // nothing is set up elsewhere
}

TEST_F(WorkingFolderChoice, CurrentDirectoryWithoutDataGetsAUserFolderFilledOnce) {
    // One font short is not a data folder.
    for (const std::string& file : requiredDataFiles())
        if (file != "font8x8symbol.fnt") write(places.currentDirectory / file, "here");
    const WorkingFolder chosen = chooseWorkingFolder(places);
    ASSERT_TRUE(chosen) << chosen.error;
    EXPECT_EQ(chosen.folder, user);
    EXPECT_EQ(chosen.installedData, installed.lexically_normal());
    EXPECT_EQ(chosen.copiedFiles, installedDataFiles());
    for (const std::string& file : installedDataFiles()) {
        EXPECT_EQ(read(user / file), "installed") << file;
        // The user may edit the symbols, even when the installed copy is read-only.
        EXPECT_NE(fs::status(user / file).permissions() & fs::perms::owner_write, fs::perms::none);
    }
    EXPECT_TRUE(chooseWorkingFolder(places).copiedFiles.empty()); // the second start copies nothing

    // $XDG_DATA_HOME, when absolute, takes the place of ~/.local/share.
    places.xdgDataHome = (root / "data-home").string();
    EXPECT_EQ(chooseWorkingFolder(places).folder, root / "data-home/pixbar4designer");
    places.xdgDataHome = "relative/data";
    EXPECT_EQ(userDataFolder(places), user);
}

TEST_F(WorkingFolderChoice, UserFilesAlreadyThereAreNeverReplaced) {
    fs::create_directories(user);
    write(user / "gfx_symbols.bin", "my symbols");
    write(user / "gfx_symbols_map.bin", "my map");
    write(user / "ld.cfg", "COM3\n");
    const WorkingFolder chosen = enterWorkingFolder(places);
    ASSERT_TRUE(chosen) << chosen.error;
    EXPECT_EQ(fs::current_path(), user);
    EXPECT_EQ(read(user / "gfx_symbols.bin"), "my symbols");
    EXPECT_EQ(read(user / "gfx_symbols_map.bin"), "my map");
    EXPECT_EQ(read(user / "ld.cfg"), "COM3\n");
    EXPECT_EQ(read(user / "font5x7_128.fnt"), "installed");
    EXPECT_EQ(chosen.copiedFiles.size(), installedDataFiles().size() - 2);
    fs::current_path(root);
}

TEST_F(WorkingFolderChoice, MissingInstalledDataIsAnErrorNamingEveryPlace) {
    fs::remove_all(installed);
    places.xdgDataDirs = (root / "a").string() + ":relative:" + (root / "b").string();
    const WorkingFolder chosen = chooseWorkingFolder(places);
    EXPECT_FALSE(chosen);
    EXPECT_FALSE(fs::exists(user)); // no half-made user folder
    for (const fs::path& place : {places.currentDirectory, places.executableDirectory, installed,
                                  root / "a/pixbar4designer", root / "b/pixbar4designer"})
        EXPECT_NE(chosen.error.find(place.lexically_normal().string()), std::string::npos)
            << chosen.error;
    EXPECT_EQ(chosen.error.find("relative"), std::string::npos);
    EXPECT_EQ(chosen.error.rfind("Nie znaleziono plików danych programu", 0), 0u);

    // Without XDG_DATA_DIRS the standard system folders are searched.
    places.xdgDataDirs.clear();
    const std::vector<fs::path> standard = installedDataFolders(places);
    ASSERT_EQ(standard.size(), 4u);
    EXPECT_EQ(standard[2], "/usr/local/share/pixbar4designer");
    EXPECT_EQ(standard[3], "/usr/share/pixbar4designer");

    // Data files beside the program (as the installer lays them out) serve as well.
    for (const std::string& file : installedDataFiles())
        write(places.executableDirectory / file, "beside");
    const WorkingFolder beside = chooseWorkingFolder(places);
    ASSERT_TRUE(beside) << beside.error;
    EXPECT_EQ(beside.installedData, places.executableDirectory);
    EXPECT_EQ(read(user / "font5x7_128.fnt"), "beside");
}

namespace {

// Where a reading program's data files lie in one case, and where it must take them from.
enum class Place { None, Current, Beside, Share, XdgDirs, Named };

struct FindCase {
    const char* name;
    std::vector<Place> holding; ///< the folders given every data file
    Place named;                ///< Named: the folder passed as `named`, Current: "." relative
    Place expected;
};

} // namespace

TEST_F(WorkingFolderChoice, ReadingProgramsFindTheirDataWithoutTouchingAnything) {
    fs::remove_all(installed);
    const fs::path xdg = root / "xdg";
    places.xdgDataDirs = (root / "empty").string() + ":" + xdg.string();
    const std::map<Place, fs::path> folders{
        {Place::Current, places.currentDirectory},
        {Place::Beside, places.executableDirectory},
        {Place::Share, installed},
        {Place::XdgDirs, xdg / "pixbar4designer"},
        {Place::Named, root / "named"},
    };
    const std::vector<FindCase> cases{
        {"current folder", {Place::Current, Place::Beside, Place::Share}, Place::None,
         Place::Current},
        {"beside the program", {Place::Beside, Place::Share, Place::XdgDirs}, Place::None,
         Place::Beside},
        {"../share beside the program", {Place::Share, Place::XdgDirs}, Place::None, Place::Share},
        {"XDG_DATA_DIRS", {Place::XdgDirs}, Place::None, Place::XdgDirs},
        {"named folder first", {Place::Current, Place::Named}, Place::Named, Place::Named},
        {"nothing anywhere", {}, Place::None, Place::None},
        {"named folder without data", {Place::Current, Place::Beside}, Place::Named, Place::None},
    };
    for (const FindCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& [place, folder] : folders) {
            fs::remove_all(folder);
            fs::create_directories(folder);
        }
        for (Place place : c.holding)
            for (const std::string& file : requiredDataFiles()) write(folders.at(place) / file, "x");
        // A folder one file short never counts.
        for (const auto& [place, folder] : folders)
            if (std::find(c.holding.begin(), c.holding.end(), place) == c.holding.end())
                for (const std::string& file : requiredDataFiles())
                    if (file != kSymbolMapFile) write(folder / file, "x");

        const fs::path named = c.named == Place::None ? fs::path() : folders.at(c.named);
        const DataFolder found = findDataFolder(places, named);
        if (c.expected == Place::None) {
            EXPECT_FALSE(found);
            EXPECT_FALSE(found.error.empty());
            if (!named.empty()) {
                EXPECT_NE(found.error.find(named.string()), std::string::npos) << found.error;
                EXPECT_NE(found.error.find(kSymbolMapFile), std::string::npos) << found.error;
            } else {
                EXPECT_EQ(found.error.rfind("Nie znaleziono plików danych programu", 0), 0u);
                for (const auto& [place, folder] : folders) {
                    if (place == Place::Named) continue;
                    EXPECT_NE(found.error.find(folder.lexically_normal().string()),
                              std::string::npos)
                        << found.error;
                }
            }
        } else {
            ASSERT_TRUE(found) << found.error;
            EXPECT_EQ(found.folder, folders.at(c.expected).lexically_normal());
            EXPECT_TRUE(found.error.empty());
        }
        EXPECT_FALSE(fs::exists(user)); // a reading program makes no user folder
    }
}

TEST_F(WorkingFolderChoice, ANamedFolderThatIsNotThereIsNamedInTheError) {
    const DataFolder found = findDataFolder(places, root / "no such folder");
    EXPECT_FALSE(found);
    EXPECT_NE(found.error.find((root / "no such folder").string()), std::string::npos);
    // The running program's folder is the one that holds this test.
    EXPECT_TRUE(fs::exists(runningProgramFolder() / "model_tests"));
}
