#include "workingfolder.h"

#include "glyphs.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

namespace pixbar {

namespace {

namespace fs = std::filesystem;

constexpr const char* kSampleUserFont = "przyklad.fnd";
constexpr const char* kDataHomeUnderHome = ".local/share";
constexpr const char* kDefaultDataDirs = "/usr/local/share:/usr/share";
constexpr const char* kShareFromExecutable = "../share";

bool holdsAll(const fs::path& folder, const std::vector<std::string>& files) {
    std::error_code error;
    for (const std::string& file : files)
        if (!fs::is_regular_file(folder / file, error)) return false;
    return true;
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

WorkingFolder failure(std::string text) {
    WorkingFolder result;
    result.error = std::move(text);
    return result;
}

/// The first of the installed data folders that holds every required file; empty if none.
fs::path firstInstalledData(const std::vector<fs::path>& searched,
                            const std::vector<std::string>& required) {
    for (const fs::path& folder : searched)
        if (holdsAll(folder, required)) return folder;
    return {};
}

std::string notFoundText(const DataPlaces& places, const std::vector<fs::path>& searched) {
    std::string text = "Nie znaleziono plików danych programu (czcionek i tablicy symboli "
                       "graficznych). Szukano w folderach: " +
                       places.currentDirectory.string();
    for (const fs::path& folder : searched) text += ", " + folder.string();
    return text + ".";
}

DataFolder namedDataFolder(const fs::path& named, const std::vector<std::string>& required) {
    DataFolder result;
    std::error_code error;
    if (!fs::is_directory(named, error)) {
        result.error = "Nie znaleziono folderu danych " + named.string() + ".";
        return result;
    }
    for (const std::string& file : required) {
        if (!fs::is_regular_file(named / file, error)) {
            result.error = "W folderze " + named.string() +
                           " brakuje plików danych programu (nie ma pliku " + file + ").";
            return result;
        }
    }
    result.folder = named;
    return result;
}

} // namespace

std::vector<std::string> requiredDataFiles() {
    std::vector<std::string> files;
    for (const BuiltInFont& font : kBuiltInFonts) files.emplace_back(font.file);
    files.emplace_back(kSymbolTableFile);
    files.emplace_back(kSymbolMapFile);
    return files;
}

std::vector<std::string> installedDataFiles() {
    std::vector<std::string> files = requiredDataFiles();
    files.emplace_back(kSampleUserFont);
    return files;
}

DataPlaces DataPlaces::fromProcess(fs::path executableDirectory) {
    DataPlaces places;
    std::error_code error;
    places.currentDirectory = fs::current_path(error);
    places.executableDirectory = std::move(executableDirectory);
    places.home = environment("HOME");
    places.xdgDataHome = environment("XDG_DATA_HOME");
    places.xdgDataDirs = environment("XDG_DATA_DIRS");
    return places;
}

fs::path runningProgramFolder() {
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : program.parent_path();
}

fs::path userDataFolder(const DataPlaces& places) {
    const fs::path dataHome(places.xdgDataHome);
    if (dataHome.is_absolute()) return dataHome / kDataFolderName;
    if (places.home.empty()) return {};
    return fs::path(places.home) / kDataHomeUnderHome / kDataFolderName;
}

std::vector<fs::path> installedDataFolders(const DataPlaces& places) {
    std::vector<fs::path> folders;
    if (!places.executableDirectory.empty()) {
        // The installer and the build put the data files beside the program itself.
        folders.push_back(places.executableDirectory.lexically_normal());
        folders.push_back(
            (places.executableDirectory / kShareFromExecutable / kDataFolderName).lexically_normal());
    }
    const std::string dirs = places.xdgDataDirs.empty() ? kDefaultDataDirs : places.xdgDataDirs;
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const fs::path dir(dirs.substr(start, end - start));
        // Relative entries are invalid in XDG_DATA_DIRS and are skipped.
        if (dir.is_absolute()) {
            const fs::path folder = (dir / kDataFolderName).lexically_normal();
            bool seen = false;
            for (const fs::path& f : folders) seen = seen || f == folder;
            if (!seen) folders.push_back(folder);
        }
        start = end + 1;
    }
    return folders;
}

WorkingFolder chooseWorkingFolder(const DataPlaces& places) {
    const std::vector<std::string> required = requiredDataFiles();
    WorkingFolder result;
    if (holdsAll(places.currentDirectory, required)) {
        result.folder = places.currentDirectory;
        return result;
    }

    const fs::path user = userDataFolder(places);
    if (user.empty())
        return failure("Nie można ustalić folderu danych użytkownika: nie ustawiono zmiennej HOME.");
    std::vector<std::string> missing;
    std::error_code error;
    for (const std::string& file : installedDataFiles())
        if (!fs::exists(fs::symlink_status(user / file, error))) missing.push_back(file);
    if (missing.empty()) {
        result.folder = user;
        return result;
    }

    const std::vector<fs::path> searched = installedDataFolders(places);
    result.installedData = firstInstalledData(searched, required);
    if (result.installedData.empty()) {
        // A user folder that already has everything the designer needs does without the
        // installed data.
        if (holdsAll(user, required)) {
            result.folder = user;
            return result;
        }
        return failure(notFoundText(places, searched));
    }

    fs::create_directories(user, error);
    if (!fs::is_directory(user, error))
        return failure("Nie można utworzyć folderu " + user.string() + ".");
    for (const std::string& file : missing) {
        const fs::path source = result.installedData / file;
        if (!fs::is_regular_file(source, error)) continue;
        const fs::path target = user / file;
        // copy_options::none never replaces a file, even one that appeared meanwhile.
        if (!fs::copy_file(source, target, fs::copy_options::none, error))
            return failure("Nie można skopiować pliku " + source.string() + " do folderu " +
                           user.string() + ".");
        // Installed data are read-only for the user; the copies are the user's to change.
        fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write,
                        fs::perm_options::add, error);
        result.copiedFiles.push_back(file);
    }
    result.folder = user;
    return result;
}

DataFolder findDataFolder(const DataPlaces& places, const fs::path& named) {
    const std::vector<std::string> required = requiredDataFiles();
    if (!named.empty()) return namedDataFolder(named, required);
    DataFolder result;
    if (holdsAll(places.currentDirectory, required)) {
        result.folder = places.currentDirectory;
        return result;
    }
    const std::vector<fs::path> searched = installedDataFolders(places);
    result.folder = firstInstalledData(searched, required);
    if (!result) result.error = notFoundText(places, searched);
    return result;
}

WorkingFolder enterWorkingFolder(const DataPlaces& places) {
    WorkingFolder result = chooseWorkingFolder(places);
    if (!result) return result;
    std::error_code error;
    fs::current_path(result.folder, error);
    if (error) return failure("Nie można przejść do folderu " + result.folder.string() + ".");
    return result;
}

} // namespace pixbar
