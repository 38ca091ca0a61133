// pixbarctl render finds the fonts and symbols as the designer does, from wherever it is run,
// and only reads them: files named on the command line stay where the user is.

#include "rendertesting.h"

#include <algorithm>
#include <map>

using namespace playertest;
using namespace rendertest;
namespace fs = std::filesystem;

namespace {

enum class Place { None, Current, Beside, Share, XdgDirs, Named };

/// A machine in a temporary folder: a prefix whose bin/ holds a copy of pixbarctl, its
/// share/pixbar4designer/, a folder named in XDG_DATA_DIRS, a home and an empty folder the
/// user works in.
class Machine {
public:
    Machine() {
        m_places = {
            {Place::Current, m_root.path() / "work"},
            {Place::Beside, m_root.path() / "prefix/bin"},
            {Place::Share, m_root.path() / "prefix/share/pixbar4designer"},
            {Place::XdgDirs, m_root.path() / "xdg/pixbar4designer"},
            {Place::Named, m_root.path() / "named"},
        };
        for (const auto& [place, folder] : m_places) fs::create_directories(folder);
        fs::create_directories(home());
        fs::copy_file(PIXBARCTL, program());
    }

    fs::path at(Place place) const { return m_places.at(place); }
    fs::path home() const { return m_root.path() / "home"; }
    fs::path program() const { return at(Place::Beside) / "pixbarctl"; }

    /// Runs the copy in the work folder, with only this machine's data folders in sight.
    Outcome run(const std::string& args) const {
        const std::string env = "env HOME=" + quote(home().string()) + " XDG_DATA_HOME= " +
                                "XDG_DATA_DIRS=" + quote((m_root.path() / "xdg").string()) + " ";
        return RunCommand(at(Place::Current), env + quote(program().string()) + " " + args);
    }

    /// The folders the user may have made: none must appear.
    bool userFolderMade() const { return fs::exists(home() / ".local"); }

private:
    TempDir m_root;
    std::map<Place, fs::path> m_places;
};

struct DataCase {
    const char* name;
    std::vector<Place> holding; ///< folders with a whole data folder; all blank but `expected`
    bool named;                 ///< render gets --data ../named
    Place expected;             ///< None: the data are not found
};

/// "HI" standing in font 2, as `pixbarctl render` writes it, text and picture.
const Message kStanding = Message().effect(EffectCode::StandingText).text(2, "HI");
constexpr const char* kStandingText = "{effect tekst stojacy}{font 2}HI";

/// The sign two registers wide after three ticks of `kStanding`, by the player itself.
std::string standingAfterThreeTicks() {
    Bench b(2, 8);
    b.play(kStanding);
    b.runTo(3);
    std::string shown;
    for (const std::string& row : b.shown()) shown += row + "\n";
    return shown;
}

} // namespace

TEST(RenderDataFolder, TakesTheDataFromTheFirstPlaceThatHoldsThem) {
    const Message& m = kStanding;
    const std::string expected = standingAfterThreeTicks();
    ASSERT_NE(expected.find('#'), std::string::npos);

    const std::vector<DataCase> cases{
        {"current folder", {Place::Current, Place::Beside, Place::Share}, false, Place::Current},
        {"beside the program", {Place::Beside, Place::Share, Place::XdgDirs}, false, Place::Beside},
        {"../share/pixbar4designer", {Place::Share, Place::XdgDirs}, false, Place::Share},
        {"XDG_DATA_DIRS", {Place::XdgDirs}, false, Place::XdgDirs},
        {"--data", {Place::Current, Place::Beside, Place::Named}, true, Place::Named},
        {"nowhere", {}, false, Place::None},
        {"--data without data", {Place::Current}, true, Place::None},
    };
    for (const DataCase& c : cases) {
        SCOPED_TRACE(c.name);
        Machine machine;
        for (Place place : c.holding) writeTestFonts(machine.at(place), place != c.expected);
        writeFile(machine.at(Place::Current) / "m.kom",
                  std::vector<std::uint8_t>(m.record().bytes.begin(), m.record().bytes.end()));

        const Outcome r = machine.run(std::string("render m.kom --width 2 --ticks 3 --text") +
                                      (c.named ? " --data ../named" : ""));
        if (c.expected == Place::None) {
            EXPECT_EQ(r.code, 1);
            EXPECT_EQ(r.out, "");
            const std::string shown = c.named ? "../named" : machine.at(Place::Share).string();
            EXPECT_NE(r.err.find(shown), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find("./font5x7_128.fnt"), std::string::npos) << r.err;
        } else {
            EXPECT_EQ(r.code, 0) << r.err;
            EXPECT_EQ(r.out, expected);
            EXPECT_EQ(r.err, "");
        }
        EXPECT_FALSE(machine.userFolderMade());
    }
}

TEST(RenderDataFolder, RunsFromAnEmptyFolderWithTheDataInstalled) {
    // As the package lays it out: bin/pixbarctl and share/pixbar4designer/ beside it.
    Machine machine;
    writeTestFonts(machine.at(Place::Share));
    const fs::path texts = machine.at(Place::Named);
    std::ofstream(texts / "oferta.txt", std::ios::binary) << kStandingText;
    const fs::path work = machine.at(Place::Current);

    const Outcome shown = machine.run("render ../named/oferta.txt --width 2 --ticks 3 --text");
    EXPECT_EQ(shown.code, 0) << shown.err;
    EXPECT_EQ(shown.out, standingAfterThreeTicks());

    // Written files land where the user is, not in the data folder.
    const Outcome png = machine.run("render ../named/oferta.txt --width 2 --png out.png");
    EXPECT_EQ(png.code, 0) << png.err;
    std::vector<fs::path> made;
    for (const fs::directory_entry& e : fs::directory_iterator(work)) made.push_back(e.path());
    EXPECT_EQ(made, std::vector<fs::path>{work / "out.png"});
    EXPECT_FALSE(fs::exists(machine.at(Place::Share) / "out.png"));
    EXPECT_FALSE(machine.userFolderMade());
}
