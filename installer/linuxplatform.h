#pragma once

#include "installplatform.h"

#include <QString>

namespace instalacja {

/// Where a user's programs and menu entries go on a freedesktop (XDG) system.
struct LinuxEnvironment {
    QString home;                ///< $HOME
    QString xdgDataHome;         ///< $XDG_DATA_HOME; ignored unless it is an absolute path
    QString opener = "xdg-open"; ///< opens a file that is not itself a program

    /// The environment of this process (the password database when HOME is unset).
    static LinuxEnvironment fromProcess();
};

/// Installs into the user's home: programs under ~/.local/opt, launchers under
/// $XDG_DATA_HOME/applications, and a link to every program copied in ~/.local/bin, so
/// programs used from a terminal are commands on the PATH. Script paths keep "\" as
/// separator; a drive path such as "D:\Apps" loses its drive and starts at the file-system
/// root.
class LinuxPlatform : public InstallPlatform {
public:
    explicit LinuxPlatform(LinuxEnvironment environment = LinuxEnvironment::fromProcess());

    std::string programFilesDir() override;
    std::string programsMenuDir() override;
    bool isAbsoluteName(const std::string& name) const override;
    std::string shortcutExtension() const override { return ".desktop"; }
    std::string displayPath(const std::string& path) const override;

    int createDirectory(const std::string& path) override;
    int copyFile(const std::string& source, const std::string& target) override;
    int CreateShortcut(const std::string& target, const std::string& linkPath) override;
    int openFile(const std::string& file) override;

    /// A script path as a file-system path: "\" becomes "/", "D:" is dropped, every other
    /// character is kept (a leading U+FEFF too).
    static QString fileSystemPath(const std::string& scriptPath);
    /// The launcher shown in menus as `name`: it starts `targetPath` in its folder when that
    /// is a program, and opens it with `opener` otherwise.
    static QString desktopEntry(const QString& name, const QString& targetPath,
                                const QString& opener = "xdg-open");
    /// Where links to the installed programs go: ~/.local/bin; empty without a home.
    QString commandsDir() const;

private:
    int linkCommand(const QString& program);

    LinuxEnvironment m_environment;
};

} // namespace instalacja
