#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pixbar {

/// The name of the designer's own folders: the user's under $XDG_DATA_HOME and the
/// installed data under share/.
inline constexpr const char* kDataFolderName = "pixbar4designer";

/// The files the designer cannot start without: the thirteen fonts, the symbol table and
/// its map.
std::vector<std::string> requiredDataFiles();
/// The files a new user folder is given: the required ones and the sample user font.
std::vector<std::string> installedDataFiles();

/// Where the designer may find its data, as the process sees it.
struct DataPlaces {
    std::filesystem::path currentDirectory;
    std::filesystem::path executableDirectory; ///< installed data: in it or in ../share beside it
    std::string home;        ///< $HOME
    std::string xdgDataHome; ///< $XDG_DATA_HOME; used only when it is an absolute path
    std::string xdgDataDirs; ///< $XDG_DATA_DIRS, ':'-separated; empty: /usr/local/share:/usr/share

    /// The places of this process; `executableDirectory` comes from the caller.
    static DataPlaces fromProcess(std::filesystem::path executableDirectory);
};

/// The folder the designer works in, and what it did to set it up.
struct WorkingFolder {
    std::filesystem::path folder;               ///< empty when no folder could be set up
    std::filesystem::path installedData;        ///< where new files came from, if any were needed
    std::vector<std::string> copiedFiles;       ///< data files put into a user folder just now
    std::string error;                          ///< Polish text for the user when `folder` is empty

    explicit operator bool() const { return !folder.empty(); }
};

/// The folder a program that only reads the data files takes them from.
struct DataFolder {
    std::filesystem::path folder; ///< empty when the data files were not found
    std::string error;            ///< Polish text for the user when `folder` is empty

    explicit operator bool() const { return !folder.empty(); }
};

/// The folder of the running program (from /proc/self/exe); empty when it cannot be told.
std::filesystem::path runningProgramFolder();

/// $XDG_DATA_HOME/pixbar4designer, or ~/.local/share/pixbar4designer; empty without a home.
std::filesystem::path userDataFolder(const DataPlaces& places);
/// The installed data folders in the order they are searched.
std::vector<std::filesystem::path> installedDataFolders(const DataPlaces& places);

/// The current directory when it holds the data files; otherwise the user's data folder,
/// created on first use and given every installed data file it lacks. Files already in the
/// user folder are never replaced.
WorkingFolder chooseWorkingFolder(const DataPlaces& places);

/// The data folder for a program that only reads it: `named` alone when given (a folder the
/// user named), else the current directory when it holds the data files, else the first
/// installed data folder that does. Creates, copies and enters nothing.
DataFolder findDataFolder(const DataPlaces& places, const std::filesystem::path& named = {});

/// Chooses the working folder and makes it the process's current directory.
WorkingFolder enterWorkingFolder(const DataPlaces& places);

} // namespace pixbar
