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
/// $XDG_DATA_HOME/applications. Script paths keep "\" as separator; a drive path such as
/// "D:\Apps" loses its drive and starts at the file-system root.
class LinuxPlatform : public InstallPlatform {
public:
    explicit LinuxPlatform(LinuxEnvironment environment = LinuxEnvironment::fromProcess());

    std::string programFilesDir() override;
    std::string programsMenuDir() override;
    bool isAbsoluteName(const std::string& name) const override;
    std::string shortcutExtension() const override { return ".desktop"; }

    int createDirectory(const std::string& path) override;
    int copyFile(const std::string& source, const std::string& target) override;
    int CreateShortcut(const std::string& target, const std::string& linkPath) override;
    int openFile(const std::string& file) override;

    /// A script path as a file-system path: "\" becomes "/", "D:" is dropped.
    static QString fileSystemPath(const std::string& scriptPath);
    /// The launcher that starts `targetPath` in its folder, shown in menus as `name`.
    static QString desktopEntry(const QString& name, const QString& targetPath);

private:
    LinuxEnvironment m_environment;
};

} // namespace instalacja
