#pragma once

// What the window tests share: scripted message boxes and dialogs, and a working folder
// holding test fonts in which the designer starts.

#include "prompts.h"
#include "testfonts.h"
#include "unitpixbar4designer.h"

#include <QDir>
#include <QStringList>

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>

// Readable failures for texts of the windows.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace pixbar::testing {

/// Answers boxes and dialogs from a script; an unexpected question or dialog fails the test.
/// Error boxes are collected.
class ScriptedPrompts : public UserPrompts {
public:
    std::deque<bool> answers;
    std::deque<QString> files;
    QStringList errors;
    QStringList questions;
    QStringList pictureDialogs; ///< "title|filter|folder" of each picture dialog

    void error(const QString& text) override { errors << text; }
    bool question(const QString& text) override {
        questions << text;
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << text.toStdString();
            return false;
        }
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    QString openFile(const QString& filter, const QString&, const QString&) override {
        return next(filter);
    }
    QString saveFile(const QString& filter, const QString&) override { return next(filter); }
    QString openPicture(const QString& title, const QString& filter,
                        const QString& folder) override {
        pictureDialogs << title + "|" + filter + "|" + folder;
        return next(filter);
    }

private:
    QString next(const QString& filter) {
        if (files.empty()) {
            ADD_FAILURE() << "unexpected file dialog: " << filter.toStdString();
            return {};
        }
        QString f = files.front();
        files.pop_front();
        return f;
    }
};

/// A fresh working folder with the test fonts, made the current directory for one test.
class DesignerFolder : public ::testing::Test {
protected:
    void SetUp() override {
        dir = freshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        writeBuiltInFonts(dir);
        previous = QDir::currentPath();
        QDir::setCurrent(QString::fromStdString(dir.string()));
    }
    void TearDown() override {
        form.reset();
        QDir::setCurrent(previous);
        std::filesystem::remove_all(dir);
    }
    void writeConfig(const std::string& text) {
        std::ofstream(dir / "ld.cfg", std::ios::binary) << text;
    }
    std::string readFile(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    /// Starts the designer in the folder.
    TForm1& openForm() {
        form = std::make_unique<TForm1>(prompts);
        QString error;
        EXPECT_TRUE(form->FormCreate(&error)) << error.toStdString();
        return *form;
    }

    std::filesystem::path dir;
    QString previous;
    ScriptedPrompts prompts;
    std::unique_ptr<TForm1> form;
};

} // namespace pixbar::testing
