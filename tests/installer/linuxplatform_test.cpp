#include "installscript.h"
#include "linuxplatform.h"
#include "qtprinting.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/stat.h>

using instalacja::LinuxEnvironment;
using instalacja::LinuxPlatform;
using instalacja::RunResult;
using instalacja::ScriptInterpreter;

namespace {

void writeFile(const QString& path, const QByteArray& bytes, mode_t mode = 0644) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
    file.close();
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return 0;
    return info.st_mode & 07777;
}

/// Waits for a file a started program writes; programs started by EXEC run on their own.
bool waitForFile(const QString& path) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000) {
        if (QFileInfo(path).size() > 0) return true;
        QThread::msleep(20);
    }
    return false;
}

/// A temporary home folder and a working folder with the image, entered for the test.
class LinuxLayer : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(work.isValid());
        environment.home = home.path();
        previousDir = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(work.path()));
        ASSERT_TRUE(QDir().mkdir("image"));
    }
    void TearDown() override { QDir::setCurrent(previousDir); }

    QTemporaryDir home;
    QTemporaryDir work;
    QString previousDir;
    LinuxEnvironment environment;
};

} // namespace

TEST(LinuxPaths, BackslashIsTheSeparatorAndDrivesStartAtTheRoot) {
    const std::pair<std::string, QString> cases[] = {
        {"image\\pixbarctl", "image/pixbarctl"},
        {"/home/u/.local/opt\\Pixbar\\a.fnt", "/home/u/.local/opt/Pixbar/a.fnt"},
        {"D:\\Apps\\X", "/Apps/X"},
        {"D:Apps", "/Apps"},
        {"D:", "/"},
        {"\\a.txt", "/a.txt"},
        {"/opt/x", "/opt/x"},
        {"a:b", "/b"},
        {"ab:c", "ab:c"},
        {"Pixbarą\\ć", "Pixbarą/ć"},
    };
    for (const auto& [script, path] : cases)
        EXPECT_EQ(LinuxPlatform::fileSystemPath(script), path) << script;
}

TEST(LinuxPaths, DriveAndRootNamesAreAbsolute) {
    const LinuxPlatform platform(LinuxEnvironment{});
    EXPECT_TRUE(platform.isAbsoluteName("D:\\Apps\\X"));
    EXPECT_TRUE(platform.isAbsoluteName("/opt/pixbar"));
    EXPECT_FALSE(platform.isAbsoluteName("Pixbar"));
    EXPECT_FALSE(platform.isAbsoluteName("\\Pixbar"));
    EXPECT_FALSE(platform.isAbsoluteName("P"));
    EXPECT_FALSE(platform.isAbsoluteName(""));
    EXPECT_EQ(platform.shortcutExtension(), ".desktop");
}

TEST_F(LinuxLayer, SystemFoldersAreCreatedInTheHome) {
    LinuxPlatform platform(environment);
    EXPECT_EQ(platform.programFilesDir(), (home.path() + "/.local/opt").toStdString());
    EXPECT_EQ(platform.programsMenuDir(),
              (home.path() + "/.local/share/applications").toStdString());
    EXPECT_TRUE(QFileInfo(home.path() + "/.local/opt").isDir());
    EXPECT_TRUE(QFileInfo(home.path() + "/.local/share/applications").isDir());

    environment.xdgDataHome = home.path() + "/data";
    EXPECT_EQ(LinuxPlatform(environment).programsMenuDir(),
              (home.path() + "/data/applications").toStdString());
    // A relative XDG_DATA_HOME is not a valid setting and falls back to the default.
    environment.xdgDataHome = "relative/data";
    EXPECT_EQ(LinuxPlatform(environment).programsMenuDir(),
              (home.path() + "/.local/share/applications").toStdString());

    EXPECT_EQ(LinuxPlatform(LinuxEnvironment{}).programFilesDir(), "");
}

TEST_F(LinuxLayer, CreateDirectoryMakesOnlyTheLastLevel) {
    LinuxPlatform platform(environment);
    const std::string base = home.path().toStdString();
    EXPECT_EQ(platform.createDirectory(base + "\\Apps\\X"), 1);
    EXPECT_FALSE(QFileInfo(home.path() + "/Apps").exists());
    EXPECT_EQ(platform.createDirectory(base + "\\Apps"), 0);
    EXPECT_EQ(platform.createDirectory(base + "\\Apps\\X"), 0);
    EXPECT_TRUE(QFileInfo(home.path() + "/Apps/X").isDir());
    EXPECT_EQ(platform.createDirectory(base + "\\Apps\\X"), 0); // already there: kept
    writeFile(home.path() + "/file", "x");
    EXPECT_EQ(platform.createDirectory(base + "\\file"), 1); // a file in the way
}

TEST_F(LinuxLayer, CopyOverwritesAndSetsPlainModes) {
    LinuxPlatform platform(environment);
    const QString target = home.path() + "/copy";
    const std::string scriptTarget = home.path().toStdString() + "\\copy";
    const struct {
        mode_t source;
        mode_t copy;
    } cases[] = {{0644, 0644}, {0600, 0644}, {0444, 0644},  {0755, 0755},
                 {0700, 0755}, {0745, 0755}, {04755, 0755}, {02711, 0755}};
    int round = 0;
    for (const auto& c : cases) {
        const QByteArray bytes = QByteArray("contents ") + QByteArray::number(++round);
        writeFile("image/f", bytes, c.source);
        EXPECT_EQ(platform.copyFile("image\\f", scriptTarget), 0);
        EXPECT_EQ(readFile(target), bytes);
        EXPECT_EQ(modeOf(target), c.copy) << std::oct << c.source;
        // The next round overwrites a copy that may be read-only.
        ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0444), 0);
    }
}

TEST_F(LinuxLayer, FailedCopyKeepsTheOldFile) {
    LinuxPlatform platform(environment);
    const QString target = home.path() + "/kept";
    writeFile(target, "old");
    EXPECT_EQ(platform.copyFile("image\\missing", home.path().toStdString() + "\\kept"),
              instalacja::kSourceMissing);
    EXPECT_EQ(readFile(target), "old");
    ASSERT_TRUE(QDir().mkdir("image/folder"));
    EXPECT_EQ(platform.copyFile("image\\folder", home.path().toStdString() + "\\kept"),
              instalacja::kSourceMissing);
    EXPECT_EQ(readFile(target), "old");
    writeFile("image/f", "new");
    EXPECT_EQ(platform.copyFile("image\\f", home.path().toStdString() + "\\nofolder\\f"), 1);
}

TEST_F(LinuxLayer, ScriptInstallsFilesLaunchersAndCommands) {
    LinuxPlatform platform(environment);
    std::vector<std::string> log;
    ScriptInterpreter interpreter(platform, [&](const std::string& line) { log.push_back(line); });
    interpreter.fetchSystemFolders();

    const QByteArray program = "#!/bin/sh\necho pixbar\n";
    writeFile("image/pixbar-tool", program, 0775);
    writeFile("image/font8x8b_128.fnt", QByteArray(2048, '\x5a'), 0600);
    writeFile("image/czytaj.txt", "notes");
    writeFile("install.script", "DEST Pixbar4Designer\n"
                                "COPY pixbar-tool\n"
                                "COPY font8x8b_128.fnt\n"
                                "COPY czytaj.txt\n"
                                "COPY missing.fnt\n"
                                "START Pixbar4Designer\n"
                                "LINK pixbar-tool Pixbar\n"
                                "LINK czytaj.txt Czytaj\n"
                                "ECHO Instalacja zakończona.\n");
    EXPECT_EQ(interpreter.RunScript(instalacja::kScriptFile), RunResult::EndOfScript);

    const std::string opt = home.path().toStdString() + "/.local/opt";
    const QString menu = home.path() + "/.local/share/applications";
    const QString folder = home.path() + "/.local/opt/Pixbar4Designer";
    // Paths in the log are spelt as the file system spells them.
    EXPECT_EQ(log, (std::vector<std::string>{
                       "Pixbar4Designer",
                       "Kopiuję: pixbar-tool do " + opt + "/Pixbar4Designer/pixbar-tool",
                       "Kopiuję: font8x8b_128.fnt do " + opt + "/Pixbar4Designer/font8x8b_128.fnt",
                       "Kopiuję: czytaj.txt do " + opt + "/Pixbar4Designer/czytaj.txt",
                       "Kopiuję: missing.fnt do " + opt + "/Pixbar4Designer/missing.fnt",
                       "Błąd: brak pliku image/missing.fnt.",
                       "Dodaję do menu start: " + menu.toStdString() + "/Pixbar4Designer",
                       "Tworzę skrót: Pixbar.desktop do " + opt + "/Pixbar4Designer/pixbar-tool",
                       "Tworzę skrót: Czytaj.desktop do " + opt + "/Pixbar4Designer/czytaj.txt",
                       "Instalacja zakończona. ",
                       "Instalacja niekompletna, liczba błędów: 1.",
                   }));

    EXPECT_EQ(readFile(folder + "/pixbar-tool"), program);
    EXPECT_EQ(modeOf(folder + "/pixbar-tool"), 0755u);
    EXPECT_EQ(readFile(folder + "/font8x8b_128.fnt"), QByteArray(2048, '\x5a'));
    EXPECT_EQ(modeOf(folder + "/font8x8b_128.fnt"), 0644u);
    // Programs become commands on the PATH; data files do not.
    const QFileInfo command(home.path() + "/.local/bin/pixbar-tool");
    EXPECT_TRUE(command.isSymLink());
    EXPECT_EQ(command.symLinkTarget(), folder + "/pixbar-tool");
    EXPECT_FALSE(QFileInfo::exists(home.path() + "/.local/bin/font8x8b_128.fnt"));

    const QString launcher = menu + "/Pixbar4Designer/Pixbar.desktop";
    EXPECT_EQ(QString::fromUtf8(readFile(launcher)), "[Desktop Entry]\n"
                                                     "Type=Application\n"
                                                     "Name=Pixbar\n"
                                                     "Comment=Uruchamia program Pixbar\n"
                                                     "Exec=\"" +
                                                         folder +
                                                         "/pixbar-tool\"\n"
                                                         "Path=" +
                                                         folder +
                                                         "\n"
                                                         "Terminal=false\n"
                                                         "Categories=Utility;\n"
                                                         "StartupWMClass=Pixbar\n");
    EXPECT_EQ(modeOf(launcher), 0644u);
    // A document opens with the desktop's opener rather than being started.
    const QString document = menu + "/Pixbar4Designer/Czytaj.desktop";
    EXPECT_EQ(QString::fromUtf8(readFile(document)), "[Desktop Entry]\n"
                                                     "Type=Application\n"
                                                     "Name=Czytaj\n"
                                                     "Comment=Otwiera plik czytaj.txt\n"
                                                     "Exec=\"xdg-open\" \"" +
                                                         folder +
                                                         "/czytaj.txt\"\n"
                                                         "Terminal=false\n"
                                                         "Categories=Utility;\n");
#ifdef INSTALACJA_DESKTOP_FILE_VALIDATE
    for (const QString& entry : {launcher, document}) {
        QProcess validate;
        validate.start(INSTALACJA_DESKTOP_FILE_VALIDATE, {entry});
        ASSERT_TRUE(validate.waitForFinished());
        const QByteArray said = validate.readAllStandardOutput();
        EXPECT_EQ(validate.exitCode(), 0) << said.toStdString();
        // No errors, warnings or hints: the launcher is as a menu expects it.
        EXPECT_TRUE(said.isEmpty()) << said.toStdString();
    }
#endif

    // Run again: everything is done once more over what is there, the command link too.
    writeFile("image/pixbar-tool", "#!/bin/sh\necho newer\n", 0755);
    writeFile("image/missing.fnt", "found");
    log.clear();
    EXPECT_EQ(interpreter.RunScript(instalacja::kScriptFile), RunResult::EndOfScript);
    EXPECT_EQ(readFile(folder + "/pixbar-tool"), "#!/bin/sh\necho newer\n");
    EXPECT_EQ(log.back(), "Instalacja zakończona. ");
    EXPECT_EQ(interpreter.failures(), 0);

    // A command of the user's own of that name is left alone, and the log says so.
    ASSERT_TRUE(QFile::remove(home.path() + "/.local/bin/pixbar-tool"));
    writeFile(home.path() + "/.local/bin/pixbar-tool", "mine", 0755);
    EXPECT_EQ(platform.copyFile("image\\pixbar-tool", folder.toStdString() + "\\pixbar-tool"),
              instalacja::kNotACommand);
    EXPECT_EQ(readFile(home.path() + "/.local/bin/pixbar-tool"), "mine");
}

TEST_F(LinuxLayer, LauncherQuotesItsTargetAndTakesTheIconBesideIt) {
    LinuxPlatform platform(environment);
    const QString folder = home.path() + "/A b$c";
    ASSERT_TRUE(QDir().mkdir(folder));
    writeFile(folder + "/run%1\"x", "#!/bin/sh\n", 0755);
    writeFile(folder + "/run%1\"x.png", "png");
    const std::string link = home.path().toStdString() + "\\Odd.desktop";
    EXPECT_EQ(platform.CreateShortcut(folder.toStdString() + "\\run%1\"x", link), 0);

    const QString entry = QString::fromUtf8(readFile(home.path() + "/Odd.desktop"));
    EXPECT_EQ(entry, "[Desktop Entry]\n"
                     "Type=Application\n"
                     "Name=Odd\n"
                     "Comment=Uruchamia program Odd\n"
                     "Exec=\"" +
                         home.path() +
                         "/A b\\\\$c/run%%1\\\\\"x\"\n"
                         "Path=" +
                         folder +
                         "\n"
                         "Icon=" +
                         folder +
                         "/run%1\"x.png\n"
                         "Terminal=false\n"
                         "Categories=Utility;\n"
                         "StartupWMClass=Odd\n");
#ifdef INSTALACJA_DESKTOP_FILE_VALIDATE
    QProcess validate;
    validate.start(INSTALACJA_DESKTOP_FILE_VALIDATE, {home.path() + "/Odd.desktop"});
    ASSERT_TRUE(validate.waitForFinished());
    EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().toStdString();
#endif
    EXPECT_EQ(platform.CreateShortcut("a", home.path().toStdString() + "\\none\\L.desktop"), 1);
    // No launcher is written for a target that is not there.
    EXPECT_EQ(platform.CreateShortcut(folder.toStdString() + "\\gone", link), 1);
    EXPECT_EQ(QString::fromUtf8(readFile(home.path() + "/Odd.desktop")), entry);
}

TEST_F(LinuxLayer, ExecStartsProgramsAndOpensOtherFiles) {
    // The opener stands in for xdg-open and writes down what it was asked to open.
    writeFile("opener", "#!/bin/sh\nprintf '%s' \"$1\" > opened.txt\n", 0755);
    environment.opener = work.path() + "/opener";
    LinuxPlatform platform(environment);

    writeFile("notes.txt", "notes");
    EXPECT_EQ(platform.openFile("notes.txt"), 0);
    ASSERT_TRUE(waitForFile("opened.txt"));
    EXPECT_EQ(readFile("opened.txt"), "notes.txt");

    writeFile("image/setup.sh", "#!/bin/sh\necho started > started.txt\n", 0755);
    EXPECT_EQ(platform.openFile("image\\setup.sh"), 0);
    ASSERT_TRUE(waitForFile("started.txt"));
    EXPECT_EQ(readFile("started.txt"), "started\n");

    environment.opener = work.path() + "/no-such-opener";
    EXPECT_EQ(LinuxPlatform(environment).openFile("notes.txt"), 1);
    EXPECT_EQ(platform.openFile("missing.txt"), 1);
}

TEST_F(LinuxLayer, AByteOrderMarkInAWordIsKeptFromLogToFile) {
    // The opener stands in for xdg-open and writes down what it was asked to open.
    writeFile("opener", "#!/bin/sh\nprintf '%s' \"$1\" > opened.txt\n", 0755);
    environment.opener = work.path() + "/opener";
    const std::string bom = "\xEF\xBB\xBF";
    // Built as QStrings: QString::fromUtf8 itself would drop a leading U+FEFF.
    const QString mark(QChar(0xFEFF));
    const QString names[] = {mark + "X", "Pix" + mark + "bar", "dane" + mark, mark,
                             mark + mark + "ą" + mark};
    for (const QString& name : names) {
        const std::string word = name.toUtf8().toStdString();
        SCOPED_TRACE(testing::PrintToString(word));
        ASSERT_NE(word.find(bom), std::string::npos);
        QDir(home.path()).removeRecursively();
        QDir().mkpath(home.path());
        QFile::remove("opened.txt");
        writeFile("image/" + name, "copied");
        writeFile(name, "opened");

        LinuxPlatform platform(environment);
        std::vector<std::string> log;
        ScriptInterpreter interpreter(platform,
                                      [&](const std::string& line) { log.push_back(line); });
        interpreter.fetchSystemFolders();
        // The file's own byte-order mark goes; the ones inside the words stay.
        writeFile("install.script", QByteArray::fromStdString(bom + "DEST " + word + "\nCOPY " +
                                                              word + "\nEXEC " + word + "\n"));
        EXPECT_EQ(interpreter.RunScript(instalacja::kScriptFile), RunResult::EndOfScript);

        const QString folder = home.path() + "/.local/opt/" + name;
        const std::string shownFolder = folder.toUtf8().toStdString();
        EXPECT_EQ(log, (std::vector<std::string>{
                           word,
                           "Kopiuję: " + word + " do " + shownFolder + "/" + word,
                           "Uruchamiam: " + word,
                       }));
        EXPECT_TRUE(QFileInfo(folder).isDir());
        EXPECT_EQ(QDir(home.path() + "/.local/opt").entryList(QDir::Dirs | QDir::NoDotAndDotDot),
                  QStringList{name});
        EXPECT_EQ(readFile(folder + "/" + name), "copied");
        ASSERT_TRUE(waitForFile("opened.txt"));
        EXPECT_EQ(readFile("opened.txt").toStdString(), word);
    }
}
