#include "installscript.h"
#include "recordingplatform.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using instalacja::PieceReader;
using instalacja::RunResult;
using instalacja::ScriptInterpreter;
using instalacja::ScriptPiece;
using Lines = std::vector<std::string>;

namespace {

/// `count` times the letter ą, in UTF-8.
std::string polish(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += "ą";
    return text;
}

/// Every piece a script yields, the last one being the read that reached the end.
std::vector<ScriptPiece> readAll(const std::string& script) {
    std::istringstream in(script);
    PieceReader reader(in);
    std::vector<ScriptPiece> pieces;
    do pieces.push_back(reader.next());
    while (!pieces.back().reachedEnd);
    return pieces;
}

/// An interpreter over a recording platform that runs scripts written to a temporary folder.
class Run : public testing::Test {
protected:
    Run() : interpreter(platform, [this](const std::string& line) { log.push_back(line); }) {
        interpreter.fetchSystemFolders();
    }

    RunResult run(const std::string& script) {
        const std::string path = scriptPath();
        std::ofstream(path, std::ios::binary) << script;
        return interpreter.RunScript(path);
    }
    std::string scriptPath() const { return dir.filePath("install.script").toStdString(); }

    QTemporaryDir dir;
    RecordingPlatform platform;
    Lines log;
    ScriptInterpreter interpreter;
};

} // namespace

TEST(PieceReader, SplitsAtLineBreaksAndAtTheLimit) {
    const std::string a1022(1022, 'a');
    struct Case {
        const char* what;
        std::string script;
        Lines executed;    // pieces read before the end
        std::string atEnd; // text of the read that reached the end
    } cases[] = {
        {"empty file", "", {}, ""},
        {"terminated lines", "A\nB\n", {"A\n", "B\n"}, ""},
        {"unterminated last line", "A\nB", {"A\n"}, "B"},
        {"CR LF is one line break", "A\r\nB\r\n", {"A\n", "B\n"}, ""},
        {"lone CR stays", "A\rB\n", {"A\rB\n"}, ""},
        {"1022 characters and a line break", a1022 + "\n", {a1022, "\n"}, ""},
        {"1021 characters and a line break", a1022.substr(1) + "\n", {a1022.substr(1) + "\n"}, ""},
        {"1022 characters without a line break", a1022, {}, a1022},
        {"1023 characters without a line break", a1022 + "b", {a1022}, "b"},
        // Characters, not bytes: 1021 Polish letters are 2042 bytes of UTF-8 and one piece.
        {"UTF-8 line under the limit", polish(1021) + "\n", {polish(1021) + "\n"}, ""},
        {"UTF-8 line over the limit", polish(1023) + "\n", {polish(1022), polish(1) + "\n"}, ""},
        {"code page 1250 line over the limit", std::string(1023, '\xb9') + "\n",
         {polish(1022), polish(1) + "\n"}, ""},
        {"byte-order mark at the start", "\xEF\xBB\xBF" "DEST X\n\xEF\xBB\xBF\n",
         {"DEST X\n", "\xEF\xBB\xBF\n"}, ""},
    };
    for (const Case& c : cases) {
        const std::vector<ScriptPiece> pieces = readAll(c.script);
        Lines executed;
        for (std::size_t i = 0; i + 1 < pieces.size(); ++i) executed.push_back(pieces[i].text);
        EXPECT_EQ(executed, c.executed) << c.what;
        EXPECT_EQ(pieces.back().text, c.atEnd) << c.what;
    }
}

TEST(PieceReader, LineOf3000CharactersIsThreePieces) {
    const std::string line(3000, 'x');
    const std::vector<ScriptPiece> pieces = readAll(line + "\n");
    ASSERT_EQ(pieces.size(), 4u);
    EXPECT_EQ(pieces[0].text.size(), 1022u);
    EXPECT_EQ(pieces[1].text.size(), 1022u);
    EXPECT_EQ(pieces[2].text, std::string(956, 'x') + "\n");
    EXPECT_TRUE(pieces[3].text.empty());
}

TEST(Words, TrimRemovesCodesUpToBlankAtBothEnds) {
    const std::pair<std::string, std::string> cases[] = {
        {"  DEST X \r\n", "DEST X"},
        {"\t\x01\x1f"
         "ECHO a\tb\x7f\x0b",
         "ECHO a\tb\x7f"},
        {" \t\r\n", ""},
        {"", ""},
        {"\xb9\xa0 ", "\xb9\xa0"}, // code page 1250 letters and no-break space stay
    };
    for (const auto& [text, trimmed] : cases)
        EXPECT_EQ(instalacja::trimPiece(text), trimmed) << text;
}

TEST(Words, SplitAtBlanksOnly) {
    EXPECT_EQ(instalacja::splitWords("ECHO  Hello   World"), (Lines{"ECHO", "Hello", "World"}));
    EXPECT_EQ(instalacja::splitWords("COPY a\tb c"), (Lines{"COPY", "a\tb", "c"}));
    EXPECT_EQ(instalacja::splitWords("DEST"), (Lines{"DEST"}));
    EXPECT_TRUE(instalacja::splitWords("").empty());
}

TEST(Words, ScriptTextBecomesUtf8) {
    EXPECT_EQ(instalacja::scriptTextToUtf8("COPY a.txt"), "COPY a.txt");
    EXPECT_EQ(instalacja::scriptTextToUtf8("ECHO zakończona"), "ECHO zakończona");
    EXPECT_EQ(instalacja::scriptTextToUtf8("ECHO zako\xf1"
                                           "czona \xb9\xe6"),
              "ECHO zakończona ąć");
}

TEST_F(Run, EveryCommandLogsItsLineBeforeItActs) {
    EXPECT_EQ(run("ECHO Instalacja programu\n"
                  "DEST Pixbar\n"
                  "COPY pixbar.exe\n"
                  "START Pixbar\n"
                  "LINK pixbar.exe Pixbar4Designer\n"
                  "EXEC readme.txt\n"),
              RunResult::EndOfScript);
    EXPECT_EQ(log, (Lines{
                       "Instalacja programu ",
                       "Pixbar",
                       "Kopiuję: pixbar.exe do C:\\Program Files\\Pixbar\\pixbar.exe",
                       "Dodaję do menu start: C:\\Menu\\Programs\\Pixbar",
                       "Tworzę skrót: Pixbar4Designer.lnk do C:\\Program Files\\Pixbar\\pixbar.exe",
                       "Uruchamiam: readme.txt",
                   }));
    EXPECT_EQ(platform.calls, (Lines{
                                  "mkdir C:\\Program Files\\Pixbar",
                                  "copy image\\pixbar.exe > C:\\Program Files\\Pixbar\\pixbar.exe",
                                  "mkdir C:\\Menu\\Programs\\Pixbar",
                                  "link C:\\Menu\\Programs\\Pixbar\\Pixbar4Designer.lnk > "
                                  "C:\\Program Files\\Pixbar\\pixbar.exe",
                                  "open readme.txt",
                              }));
    EXPECT_EQ(interpreter.state().DestDir, "C:\\Program Files\\Pixbar");
    EXPECT_EQ(interpreter.state().StartMenuDir, "C:\\Menu\\Programs\\Pixbar");
}

TEST_F(Run, MissingScriptDoesNothing) {
    EXPECT_EQ(interpreter.RunScript(scriptPath()), RunResult::CannotOpen);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(platform.calls.empty());
}

TEST_F(Run, LastLineNeedsALineBreak) {
    EXPECT_EQ(run("ECHO a\nEXEC b"), RunResult::EndOfScript);
    EXPECT_EQ(log, Lines{"a "});
    EXPECT_TRUE(platform.calls.empty());

    log.clear();
    EXPECT_EQ(run("ECHO a\nEXEC b\n"), RunResult::EndOfScript);
    EXPECT_EQ(log, (Lines{"a ", "Uruchamiam: b"}));
    EXPECT_EQ(platform.calls, Lines{"open b"});
}

TEST_F(Run, WindowsLineBreaksAndBlanksAreTrimmed) {
    EXPECT_EQ(run("  DEST X \r\n\tCOPY a.txt\t\r\n"), RunResult::EndOfScript);
    EXPECT_EQ(platform.calls, (Lines{"mkdir C:\\Program Files\\X",
                                     "copy image\\a.txt > C:\\Program Files\\X\\a.txt"}));
}

TEST_F(Run, CommandsAreCaseSensitive) {
    EXPECT_EQ(run("copy a.txt\nREM a.txt\nDest X\nEcho hi\nLINK\ta b\nREM\n"),
              RunResult::EndOfScript);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(platform.calls.empty());
}

TEST_F(Run, ExtraWordsAreIgnored) {
    EXPECT_EQ(run("DEST X Y\nCOPY my file.txt\nLINK a b c\nEXEC x y\n"), RunResult::EndOfScript);
    EXPECT_EQ(log[0], "X");
    EXPECT_EQ(log[1], "Kopiuję: my do C:\\Program Files\\X\\my");
    EXPECT_EQ(log[2], "Tworzę skrót: b.lnk do C:\\Program Files\\X\\a");
    EXPECT_EQ(log[3], "Uruchamiam: x");
    EXPECT_EQ(platform.calls[1], "copy image\\my > C:\\Program Files\\X\\my");
}

TEST_F(Run, EchoJoinsWordsWithOneBlankEach) {
    EXPECT_EQ(run("ECHO  Hello   World\nECHO\nECHO    \nECHO a\tb\n"), RunResult::EndOfScript);
    EXPECT_EQ(log, (Lines{"Hello World ", "", "", "a\tb "}));
}

TEST_F(Run, DestNamesAFolderUnderProgramFilesUnlessItHasADrive) {
    const std::pair<std::string, std::string> cases[] = {
        {"X", "C:\\Program Files\\X"},
        {"D:\\Apps\\X", "D:\\Apps\\X"},
        {"Apps\\X", "C:\\Program Files\\Apps\\X"},
        {"D:", "D:"},
        {"Q", "C:\\Program Files\\Q"},
        {":", "C:\\Program Files\\:"},
    };
    for (const auto& [name, dest] : cases) {
        platform.calls.clear();
        log.clear();
        EXPECT_EQ(run("DEST " + name + "\n"), RunResult::EndOfScript);
        EXPECT_EQ(log, Lines{name});
        EXPECT_EQ(interpreter.state().DestDir, dest) << name;
        EXPECT_EQ(platform.calls, Lines{"mkdir " + dest}) << name;
    }
}

TEST_F(Run, LaterFoldersReplaceEarlierOnes) {
    EXPECT_EQ(run("DEST A\nSTART M\nDEST B\nSTART N\nCOPY f\nLINK f L\n"), RunResult::EndOfScript);
    EXPECT_EQ(platform.calls[4], "copy image\\f > C:\\Program Files\\B\\f");
    EXPECT_EQ(platform.calls[5], "link C:\\Menu\\Programs\\N\\L.lnk > C:\\Program Files\\B\\f");
}

TEST_F(Run, CopyAndLinkBeforeAnyFolderUseTheRoot) {
    EXPECT_EQ(run("COPY a.txt\nLINK a.txt A\n"), RunResult::EndOfScript);
    EXPECT_EQ(log, (Lines{"Kopiuję: a.txt do \\a.txt", "Tworzę skrót: A.lnk do \\a.txt"}));
    EXPECT_EQ(platform.calls, (Lines{"copy image\\a.txt > \\a.txt", "link \\A.lnk > \\a.txt"}));
}

TEST_F(Run, LineOf3000CharactersRunsAsThreeCommands) {
    const std::string line = "ECHO " + std::string(1017, 'a') + "ECHO " + std::string(1017, 'b') +
                             "ECHO " + std::string(951, 'c');
    ASSERT_EQ(line.size(), 3000u);
    EXPECT_EQ(run(line + "\n"), RunResult::EndOfScript);
    EXPECT_EQ(log, (Lines{std::string(1017, 'a') + " ", std::string(1017, 'b') + " ",
                          std::string(951, 'c') + " "}));

    // An error after it names the script's second line, not its fourth piece.
    EXPECT_EQ(run(line + "\n\n"), RunResult::WordMissing);
    EXPECT_EQ(interpreter.missingWord().lineNumber, 2);
}

TEST_F(Run, LineOfExactly1022CharactersLeavesAnEmptyPieceThatStops) {
    EXPECT_EQ(run("ECHO " + std::string(1017, 'a') + "\nEXEC x\n"), RunResult::WordMissing);
    EXPECT_EQ(log, Lines{std::string(1017, 'a') + " "});
    EXPECT_EQ(interpreter.missingWord().lineNumber, 1); // the rest of the first line
    EXPECT_TRUE(platform.calls.empty());
}

TEST_F(Run, EmptyLineStopsTheRun) {
    const struct {
        const char* script;
        Lines log;
        int line;
    } cases[] = {
        {"ECHO a\n\nECHO b\n", {"a "}, 2},
        {"ECHO a\n\n", {"a "}, 2},
        {"\nECHO a\n", {}, 1},
        {"ECHO a\n \t\x01\r\nECHO b\n", {"a "}, 2},
    };
    for (const auto& c : cases) {
        log.clear();
        EXPECT_EQ(run(c.script), RunResult::WordMissing) << c.script;
        EXPECT_EQ(log, c.log) << c.script;
        EXPECT_EQ(interpreter.missingWord().lineNumber, c.line) << c.script;
        EXPECT_EQ(interpreter.missingWord().wordIndex, 0u) << c.script;
    }
}

TEST_F(Run, MissingWordStopsWithoutLoggingTheLine) {
    const struct {
        const char* line;
        std::size_t index;
    } cases[] = {
        {"DEST", 1}, {"COPY", 1}, {"START", 1}, {"EXEC", 1}, {"LINK", 1}, {"LINK a.exe", 2},
    };
    for (const auto& c : cases) {
        log.clear();
        platform.calls.clear();
        EXPECT_EQ(run(std::string("DEST X\n") + c.line + "\nECHO after\n"), RunResult::WordMissing)
            << c.line;
        EXPECT_EQ(log, Lines{"X"}) << c.line;
        EXPECT_EQ(platform.calls, Lines{"mkdir C:\\Program Files\\X"}) << c.line;
        EXPECT_EQ(interpreter.missingWord().lineNumber, 2) << c.line;
        EXPECT_EQ(interpreter.missingWord().wordIndex, c.index) << c.line;
    }
}

TEST_F(Run, SecondRunAfterAnErrorStartsFromTheTop) {
    const std::string script = "DEST X\nCOPY a\nSTART M\n\nLINK a A\n";
    EXPECT_EQ(run(script), RunResult::WordMissing);
    EXPECT_EQ(run(script), RunResult::WordMissing);
    const Lines once = {"mkdir C:\\Program Files\\X", "copy image\\a > C:\\Program Files\\X\\a",
                        "mkdir C:\\Menu\\Programs\\M"};
    Lines twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(platform.calls, twice);
    EXPECT_EQ(log.size(), 6u);

    // Folders set by an earlier run stay until a line sets them again.
    platform.calls.clear();
    EXPECT_EQ(run("LINK a A\n"), RunResult::EndOfScript);
    EXPECT_EQ(platform.calls, Lines{"link C:\\Menu\\Programs\\M\\A.lnk > C:\\Program Files\\X\\a"});
}

TEST_F(Run, FailedOperationsAreLoggedAndCountedWithoutStoppingTheRun) {
    platform.result = instalacja::kFailed;
    EXPECT_EQ(run("DEST X\nCOPY a\nSTART M\nLINK a A\nEXEC a\nECHO done\n"),
              RunResult::EndOfScript);
    EXPECT_EQ(platform.calls.size(), 5u);
    EXPECT_EQ(log, (Lines{
                       "X",
                       "Błąd: nie można utworzyć folderu C:\\Program Files\\X.",
                       "Kopiuję: a do C:\\Program Files\\X\\a",
                       "Błąd: nie można zapisać pliku C:\\Program Files\\X\\a.",
                       "Dodaję do menu start: C:\\Menu\\Programs\\M",
                       "Błąd: nie można utworzyć folderu C:\\Menu\\Programs\\M.",
                       "Tworzę skrót: A.lnk do C:\\Program Files\\X\\a",
                       "Błąd: nie można utworzyć skrótu C:\\Menu\\Programs\\M\\A.lnk.",
                       "Uruchamiam: a",
                       "Błąd: nie można uruchomić a.",
                       "done ",
                       "Instalacja niekompletna, liczba błędów: 5.",
                   }));
    EXPECT_EQ(interpreter.failures(), 5);

    // A copy says why it failed; a run stopped by a missing word counts its failures too.
    const std::pair<int, std::string> copies[] = {
        {instalacja::kSourceMissing, "Błąd: brak pliku image\\a."},
        {instalacja::kNotACommand,
         "Błąd: nie można dodać programu C:\\Program Files\\X\\a do poleceń w ścieżce PATH."},
    };
    for (const auto& [result, line] : copies) {
        platform.result = result;
        log.clear();
        EXPECT_EQ(run("COPY a\n\n"), RunResult::WordMissing);
        EXPECT_EQ(log, (Lines{"Kopiuję: a do C:\\Program Files\\X\\a", line,
                              "Instalacja niekompletna, liczba błędów: 1."}));
    }

    // The count belongs to one run: a clean run after it reads as clean.
    platform.result = instalacja::kDone;
    log.clear();
    EXPECT_EQ(run("COPY a\n"), RunResult::EndOfScript);
    EXPECT_EQ(log, Lines{"Kopiuję: a do C:\\Program Files\\X\\a"});
    EXPECT_EQ(interpreter.failures(), 0);
}

TEST_F(Run, ByteOrderMarkDoesNotHideTheFirstLine) {
    EXPECT_EQ(run("\xEF\xBB\xBF" "DEST X\nCOPY a\n"), RunResult::EndOfScript);
    EXPECT_EQ(platform.calls, (Lines{"mkdir C:\\Program Files\\X",
                                     "copy image\\a > C:\\Program Files\\X\\a"}));
}

TEST_F(Run, Cp1250ScriptLogsPolishLetters) {
    EXPECT_EQ(run("ECHO Instalacja zako\xf1"
                  "czona\nDEST Pixbar\xb9\n"),
              RunResult::EndOfScript);
    EXPECT_EQ(log, (Lines{"Instalacja zakończona ", "Pixbarą"}));
    EXPECT_EQ(platform.calls, Lines{"mkdir C:\\Program Files\\Pixbarą"});
}

// A zero, a tab or another control character inside a word would give paths the file system
// cuts and shortcuts that are not valid desktop entries: such a line is reported, not run.
// ECHO only logs, so its words go to the log as they are.
TEST_F(Run, LineWithAControlCharacterInAWordIsReportedAndNotRun) {
    const std::string script = std::string("DEST Pix\x01" "bar\n"
                                           "COPY a\tb\n"
                                           "LINK a.bin Nazwa\x7f\n"
                                           "EXEC x\xc2\x85y\n"
                                           "COPY plik") +
                               '\0' + "ukryty\n" + "ECHO a\x1b[31m\nREM a\tb\nECHO ok\n";
    EXPECT_EQ(run(script), RunResult::EndOfScript);
    EXPECT_EQ(log, (Lines{
                       "Wiersz 1 zawiera znaki sterujące i nie został wykonany.",
                       "Wiersz 2 zawiera znaki sterujące i nie został wykonany.",
                       "Wiersz 3 zawiera znaki sterujące i nie został wykonany.",
                       "Wiersz 4 zawiera znaki sterujące i nie został wykonany.",
                       "Wiersz 5 zawiera znaki sterujące i nie został wykonany.",
                       "a\x1b[31m ",
                       "ok ",
                       "Instalacja niekompletna, liczba błędów: 5.",
                   }));
    EXPECT_TRUE(platform.calls.empty());
}
