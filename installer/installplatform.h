#pragma once

#include <memory>
#include <string>

namespace instalacja {

/// Results of the platform operations: kDone or a failure.
inline constexpr int kDone = 0;
inline constexpr int kFailed = 1;
/// copyFile: the image holds no such file.
inline constexpr int kSourceMissing = 2;
/// copyFile: the program was copied but could not be made a command on the PATH.
inline constexpr int kNotACommand = 3;

/// The system side of an install: folders, copies, shortcuts and opening files.
/// Every path is an 8-bit string as the script spells it, with "\" as the folder separator;
/// each platform maps it to its own file system. Results are kDone or a failure code above.
class InstallPlatform {
public:
    virtual ~InstallPlatform() = default;

    /// Base of relative target folders, created if missing; empty when the system has none.
    virtual std::string programFilesDir() = 0;
    /// The user's menu folder for program shortcuts, created if missing.
    virtual std::string programsMenuDir() = 0;
    /// True when a DEST name is a full path rather than a folder under the program-files folder.
    virtual bool isAbsoluteName(const std::string& name) const = 0;
    /// File name ending of a shortcut: ".lnk" on Windows, ".desktop" for a freedesktop launcher.
    virtual std::string shortcutExtension() const = 0;

    /// A script path as the log shows it: as the platform's file system spells it.
    virtual std::string displayPath(const std::string& path) const { return path; }

    /// Creates the last level of `path` only; an existing folder is kept, a missing parent
    /// fails.
    virtual int createDirectory(const std::string& path) = 0;
    /// Copies `source` over `target` and leaves the copy with plain attributes.
    virtual int copyFile(const std::string& source, const std::string& target) = 0;
    /// Writes one shortcut file at `linkPath` that starts `target` in the target's folder.
    virtual int CreateShortcut(const std::string& target, const std::string& linkPath) = 0;
    /// Opens `file` with the program the desktop associates with it and does not wait.
    virtual int openFile(const std::string& file) = 0;
};

/// The platform of the machine the installer runs on.
std::unique_ptr<InstallPlatform> makeSystemPlatform();

} // namespace instalacja
