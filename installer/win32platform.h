#pragma once

#include "installplatform.h"

namespace instalacja {

/// Installs with the Windows shell: Program Files, the Start menu and .lnk shortcuts.
/// Paths arrive as UTF-8 and are handed to the system in its ANSI code page.
class Win32Platform : public InstallPlatform {
public:
    std::string programFilesDir() override;
    std::string programsMenuDir() override;
    bool isAbsoluteName(const std::string& name) const override;
    std::string shortcutExtension() const override { return ".lnk"; }

    int createDirectory(const std::string& path) override;
    int copyFile(const std::string& source, const std::string& target) override;
    int CreateShortcut(const std::string& target, const std::string& linkPath) override;
    int openFile(const std::string& file) override;
};

} // namespace instalacja
