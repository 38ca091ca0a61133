#include "shelltesting.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace pixbar;
using namespace pixbar::testing;

namespace {

class ExportAnimation : public DesignerFolder {
protected:
    /// "Plik" > "Eksportuj animację (GIF)...", as the user picks it.
    void pickExport() {
        for (QAction* menu : form->menuBar()->actions()) {
            if (menu->text() != QStringLiteral("&Plik")) continue;
            for (QAction* a : menu->menu()->actions())
                if (a->text() == QStringLiteral("&Eksportuj animację (GIF)...")) {
                    a->trigger();
                    return;
                }
        }
        ADD_FAILURE() << "no export command in the Plik menu";
    }
    std::string path(const char* name) const { return (dir / name).string(); }
};

} // namespace

TEST_F(ExportAnimation, WritesWhatPixbarctlRenderWritesForTheSamePage) {
    writeConfig("COM1\n95\n2\n12\n24\n16\n1\n");
    TForm1& f = openForm();
    f.showPage(3);
    f.previewSettings().speed = 3;
    for (char c : std::string("HI IH")) f.currentEditor()->insertCharacter(std::uint8_t(c));

    prompts.files = {QString::fromStdString(path("page3.kom"))};
    f.ZapiszKomunikatClick();
    prompts.files = {QString::fromStdString(path("designer.gif"))};
    pickExport();
    EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join("|").toStdString();
    EXPECT_EQ(f.statusText(),
              QStringLiteral("Animacja zapisana w pliku %1.").arg(path("designer.gif").c_str()));

    // pixbarctl takes only a whole data folder; a map of zeros is what the designer assumed
    // without one, so the glyphs stay the same.
    writeBytes(dir / kSymbolMapFile, std::vector<std::uint8_t>(kSymbolMapSize, 0));
    const std::string command = "cd '" + dir.string() +
                                "' && " PIXBARCTL
                                " render page3.kom --width 24 --height 16 --speed 3 --display 2"
                                " --gif command.gif";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string fromDesigner = readFile(dir / "designer.gif");
    ASSERT_GT(fromDesigner.size(), 100u);
    EXPECT_EQ(fromDesigner, readFile(dir / "command.gif"));
    // The preview's own picture is left as it was.
    EXPECT_EQ(f.emulator().frame, FrameBuffer{});
}

TEST_F(ExportAnimation, CancelWritesNothingAndAFailureNamesTheFile) {
    TForm1& f = openForm();
    f.currentEditor()->insertCharacter('H');
    prompts.files = {QString()};
    pickExport();
    EXPECT_TRUE(prompts.errors.isEmpty());

    const QString bad = QString::fromStdString(path("no-such-folder/a.gif"));
    prompts.files = {bad};
    pickExport();
    EXPECT_EQ(prompts.errors, QStringList{QStringLiteral("Nie można zapisać pliku %1.").arg(bad)});
}
