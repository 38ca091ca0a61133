#pragma once

// What the benchmarks of the designer's main window share: one application, prompts that
// answer nothing, and a working folder with the fonts and a 24 x 16 sign.

#include "player_setup.h"
#include "unitpixbar4designer.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace designerbench {

using playerbench::writeFonts;

/// The one application of a benchmark program; never destroyed, since Qt's exit after Google
/// Benchmark's would touch what is already gone.
inline QApplication& designerApp(const char* program) {
    static int argc = 1;
    static std::string name = program;
    static char* argv[] = {name.data(), nullptr};
    static QApplication* a = new QApplication(argc, argv);
    return *a;
}

/// Lets the event loop run for `ms`.
inline void idle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

class SilentPrompts : public pixbar::UserPrompts {
public:
    void error(const QString&) override {}
    bool question(const QString&) override { return false; }
    QString openFile(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFile(const QString&, const QString&) override { return {}; }
};

/// A working folder of its own with the fonts and an ld.cfg of a 24 x 16 sign, current while
/// the object lives.
class DesignerFolder {
public:
    explicit DesignerFolder(const std::string& name)
        : m_dir(std::filesystem::temp_directory_path() /
                (name + "-" + std::to_string(::getpid()))),
          m_before(QDir::currentPath()) {
        std::filesystem::create_directories(m_dir);
        writeFonts(m_dir);
        std::ofstream(m_dir / "ld.cfg") << "COM1\n90\n2\n134\n24\n16\n1\n";
        QDir::setCurrent(QString::fromStdString(m_dir.string()));
    }
    ~DesignerFolder() {
        QDir::setCurrent(m_before);
        std::filesystem::remove_all(m_dir);
    }
    DesignerFolder(const DesignerFolder&) = delete;
    DesignerFolder& operator=(const DesignerFolder&) = delete;

private:
    std::filesystem::path m_dir;
    QString m_before;
};

} // namespace designerbench
