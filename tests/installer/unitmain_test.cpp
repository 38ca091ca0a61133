#include "qtprinting.h"
#include "recordingplatform.h"
#include "unitmain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>

#include <gtest/gtest.h>

namespace {

const QString kWelcome = "Naciśnij \"Rozpocznij\" aby uruchomić instalację programu";

QStringList memoLines(const QPlainTextEdit* memo) {
    QStringList lines;
    for (QTextBlock block = memo->document()->begin(); block.isValid(); block = block.next())
        lines << block.text();
    return lines;
}

/// A shown window over a recording platform, working in an empty temporary folder.
class Window : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(work.isValid());
        previousDir = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(work.path()));
        auto recording = std::make_unique<RecordingPlatform>();
        platform = recording.get();
        form = std::make_unique<TForm1>(std::move(recording));
        form->setErrorBox([this](const QString& text) { errors << text; });
        form->show();
    }
    void TearDown() override {
        form.reset();
        QDir::setCurrent(previousDir);
    }

    void writeScript(const QByteArray& text) {
        QFile file("install.script");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    QPushButton* startButton() const { return form->CategoryButtons1Categories0Items0; }
    QPushButton* cancelButton() const { return form->CategoryButtons1Categories0Items1; }

    QTemporaryDir work;
    QString previousDir;
    RecordingPlatform* platform = nullptr;
    std::unique_ptr<TForm1> form;
    QStringList errors;
};

} // namespace

TEST_F(Window, StartsWithTheWelcomeLinesAndTwoButtons) {
    EXPECT_EQ(form->windowTitle(), "Instalator");
    EXPECT_EQ(form->size(), QSize(649, 246));
    EXPECT_EQ(memoLines(form->Memo1), (QStringList{kWelcome, ""}));
    EXPECT_TRUE(form->Memo1->isReadOnly());
    EXPECT_EQ(form->Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(form->Memo1->width(), 496);
    EXPECT_EQ(form->CategoryButtons1->width(), 153);
    EXPECT_EQ(form->CategoryButtons1Categories0->text(), "Instalacja");
    EXPECT_EQ(startButton()->text(), "Rozpocznij");
    EXPECT_EQ(cancelButton()->text(), "Anuluj");
    EXPECT_EQ(startButton()->width(), 145);
    EXPECT_EQ(form->font().pixelSize(), 11);
    // The folders are asked for when the window is created.
    EXPECT_EQ(form->interpreter().state().ProgramFilesDir, "C:\\Program Files");
    EXPECT_EQ(form->interpreter().state().ProgramsMenuDir, "C:\\Menu\\Programs");
}

TEST_F(Window, RunFillsTheLogThenTheButtonFinishes) {
    writeScript("ECHO Instalacja programu\nDEST Pixbar\nCOPY pixbar.exe\nSTART Pixbar\n"
                "LINK pixbar.exe Pixbar4Designer\nECHO Instalacja zako\xf1"
                "czona.\n");
    startButton()->click();
    EXPECT_EQ(memoLines(form->Memo1),
              (QStringList{kWelcome, "", "Instalacja programu ", "Pixbar",
                           "Kopiuję: pixbar.exe do C:\\Program Files\\Pixbar\\pixbar.exe",
                           "Dodaję do menu start: C:\\Menu\\Programs\\Pixbar",
                           "Tworzę skrót: Pixbar4Designer.lnk do "
                           "C:\\Program Files\\Pixbar\\pixbar.exe",
                           "Instalacja zakończona. "}));
    EXPECT_EQ(platform->calls.size(), 4u);
    EXPECT_EQ(startButton()->text(), "Zakończ");
    EXPECT_TRUE(errors.isEmpty());

    startButton()->click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(platform->calls.size(), 4u); // closing runs nothing again
}

TEST_F(Window, MissingScriptFinishesWithoutALine) {
    startButton()->click();
    EXPECT_EQ(memoLines(form->Memo1), (QStringList{kWelcome, ""}));
    EXPECT_EQ(startButton()->text(), "Zakończ");
    EXPECT_TRUE(errors.isEmpty());
    startButton()->click();
    EXPECT_FALSE(form->isVisible());
}

TEST_F(Window, MissingWordKeepsRozpocznijAndRunsAgainFromTheTop) {
    writeScript("DEST Pixbar\nCOPY\nECHO never\n");
    startButton()->click();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("Indeks poza zakresem")) << errors[0].toStdString();
    EXPECT_TRUE(errors[0].contains("wierszu 2")) << errors[0].toStdString();
    EXPECT_EQ(startButton()->text(), "Rozpocznij");
    EXPECT_EQ(memoLines(form->Memo1), (QStringList{kWelcome, "", "Pixbar"}));

    startButton()->click();
    EXPECT_EQ(errors.size(), 2);
    EXPECT_EQ(memoLines(form->Memo1), (QStringList{kWelcome, "", "Pixbar", "Pixbar"}));
    EXPECT_EQ(platform->calls, (std::vector<std::string>{"mkdir C:\\Program Files\\Pixbar",
                                                         "mkdir C:\\Program Files\\Pixbar"}));
    EXPECT_TRUE(form->isVisible());

    writeScript("ECHO fixed\n");
    startButton()->click();
    EXPECT_EQ(startButton()->text(), "Zakończ");
    EXPECT_EQ(memoLines(form->Memo1).last(), "fixed ");
}

TEST_F(Window, AnulujClosesInEitherState) {
    cancelButton()->click();
    EXPECT_FALSE(form->isVisible());

    form->show();
    startButton()->click(); // no script: finished
    ASSERT_EQ(startButton()->text(), "Zakończ");
    cancelButton()->click();
    EXPECT_FALSE(form->isVisible());
}
