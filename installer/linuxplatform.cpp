#include "linuxplatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStringDecoder>

#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace instalacja {

namespace {

constexpr const char* kProgramFilesUnderHome = "/.local/opt";
constexpr const char* kDataHomeUnderHome = "/.local/share";
constexpr const char* kApplicationsFolder = "/applications";
constexpr const char* kCommandsUnderHome = "/.local/bin";
constexpr const char* kLauncherCategories = "Utility;";
constexpr mode_t kPlainFileMode = 0644;
constexpr mode_t kProgramFileMode = 0755;
constexpr mode_t kAnyExecuteBits = S_IXUSR | S_IXGRP | S_IXOTH;
constexpr qint64 kCopyChunk = 64 * 1024;

/// Creates `path` with all its parents and gives it back as 8-bit text, or "" on failure.
std::string ensureFolder(const QString& path) {
    if (path.isEmpty() || !QDir().mkpath(path)) return {};
    return QFile::encodeName(path).toStdString();
}

/// A desktop entry string value: backslash and control characters escaped.
QString escapeValue(const QString& value) {
    QString out;
    for (const QChar c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    if (out.startsWith(' ')) out.replace(0, 1, "\\s");
    return out;
}

/// One argument of an Exec key, quoted; reserved characters escaped first for the quoting,
/// then for the string value, so a literal backslash ends up as four.
QString quoteExecArgument(const QString& argument) {
    QString quoted = "\"";
    for (const QChar c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    quoted += '"';
    return escapeValue(quoted);
}

int writeAll(QSaveFile& out, const QByteArray& bytes) {
    return out.write(bytes) == bytes.size() ? 0 : 1;
}

} // namespace

LinuxEnvironment LinuxEnvironment::fromProcess() {
    LinuxEnvironment environment;
    environment.home = qEnvironmentVariable("HOME");
    if (environment.home.isEmpty()) {
        if (const passwd* user = getpwuid(getuid()); user && user->pw_dir)
            environment.home = QFile::decodeName(user->pw_dir);
    }
    environment.xdgDataHome = qEnvironmentVariable("XDG_DATA_HOME");
    return environment;
}

LinuxPlatform::LinuxPlatform(LinuxEnvironment environment)
    : m_environment(std::move(environment)) {}

std::string LinuxPlatform::programFilesDir() {
    if (m_environment.home.isEmpty()) return {};
    return ensureFolder(m_environment.home + kProgramFilesUnderHome);
}

std::string LinuxPlatform::programsMenuDir() {
    QString dataHome = m_environment.xdgDataHome;
    if (!QDir::isAbsolutePath(dataHome)) {
        if (m_environment.home.isEmpty()) return {};
        dataHome = m_environment.home + kDataHomeUnderHome;
    }
    return ensureFolder(dataHome + kApplicationsFolder);
}

bool LinuxPlatform::isAbsoluteName(const std::string& name) const {
    return (name.size() >= 2 && name[1] == ':') || (!name.empty() && name[0] == '/');
}

QString LinuxPlatform::fileSystemPath(const std::string& scriptPath) {
    // Every character of the script's word is kept: QString::fromStdString would drop a
    // U+FEFF at its start, so the log, the folder made and the file opened would disagree.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    QString path = utf8.decode(QByteArrayView(scriptPath.data(), qsizetype(scriptPath.size())));
    path.replace('\\', '/');
    if (path.size() >= 2 && path[1] == ':') {
        path.remove(0, 2);
        if (!path.startsWith('/')) path.prepend('/');
    }
    return path;
}

std::string LinuxPlatform::displayPath(const std::string& path) const {
    return fileSystemPath(path).toStdString();
}

QString LinuxPlatform::commandsDir() const {
    return m_environment.home.isEmpty() ? QString() : m_environment.home + kCommandsUnderHome;
}

int LinuxPlatform::createDirectory(const std::string& path) {
    std::error_code error;
    const std::filesystem::path name = QFile::encodeName(fileSystemPath(path)).toStdString();
    if (std::filesystem::create_directory(name, error)) return kDone;
    // A folder that is already there is the folder asked for.
    return !error && std::filesystem::is_directory(name, error) ? kDone : kFailed;
}

int LinuxPlatform::copyFile(const std::string& source, const std::string& target) {
    const QFileInfo sourceInfo(fileSystemPath(source));
    if (!sourceInfo.isFile()) return kSourceMissing;
    QFile in(sourceInfo.filePath());
    if (!in.open(QIODevice::ReadOnly)) return 1;

    // The copy is written beside the target and renamed over it, so a read-only or busy old
    // file is replaced and a failed copy leaves the old one as it was.
    const QString targetPath = fileSystemPath(target);
    QSaveFile out(targetPath);
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly)) return 1;
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(kCopyChunk);
        if (chunk.isEmpty() || writeAll(out, chunk) != 0) {
            out.cancelWriting();
            return 1;
        }
    }
    if (!out.commit()) return 1;

    struct stat sourceStat {};
    const bool executable =
        ::stat(QFile::encodeName(sourceInfo.filePath()).constData(), &sourceStat) == 0 &&
        (sourceStat.st_mode & kAnyExecuteBits) != 0;
    // An explicit mode also drops set-user-ID, set-group-ID and sticky bits.
    const mode_t mode = executable ? kProgramFileMode : kPlainFileMode;
    if (::chmod(QFile::encodeName(targetPath).constData(), mode) != 0) return kFailed;
    return executable ? linkCommand(targetPath) : kDone;
}

int LinuxPlatform::linkCommand(const QString& program) {
    const QString folder = commandsDir();
    if (folder.isEmpty() || !QDir().mkpath(folder)) return kNotACommand;
    const QString absolute = QFileInfo(program).absoluteFilePath();
    const QString link = folder + "/" + QFileInfo(program).fileName();
    const QFileInfo existing(link);
    if (existing.isSymLink() || existing.exists()) {
        // Our own link from an earlier install is renewed; anything else is the user's.
        if (!existing.isSymLink() || existing.symLinkTarget() != absolute) return kNotACommand;
        if (!QFile::remove(link)) return kNotACommand;
    }
    return QFile::link(absolute, link) ? kDone : kNotACommand;
}

QString LinuxPlatform::desktopEntry(const QString& name, const QString& targetPath,
                                    const QString& opener) {
    const QFileInfo target(targetPath);
    const bool program = target.isFile() && target.isExecutable();
    QString entry = "[Desktop Entry]\n"
                    "Type=Application\n";
    entry += "Name=" + escapeValue(name) + "\n";
    if (!program) {
        // A document: the desktop's opener shows it, in whatever window that program has.
        entry += "Comment=" + escapeValue("Otwiera plik " + target.fileName()) + "\n";
        entry += "Exec=" + quoteExecArgument(opener) + " " + quoteExecArgument(targetPath) + "\n";
        entry += "Terminal=false\n";
        entry += QString("Categories=") + kLauncherCategories + "\n";
        return entry;
    }
    entry += "Comment=" + escapeValue("Uruchamia program " + name) + "\n";
    entry += "Exec=" + quoteExecArgument(targetPath) + "\n";
    entry += "Path=" + escapeValue(target.path()) + "\n";
    // A Windows shortcut shows the program's own icon; here an icon file of the same name
    // beside the program plays that part.
    for (const char* extension : {".svg", ".png"}) {
        const QString icon = target.path() + "/" + target.completeBaseName() + extension;
        if (QFileInfo(icon).isFile()) {
            entry += "Icon=" + escapeValue(icon) + "\n";
            break;
        }
    }
    entry += "Terminal=false\n";
    entry += QString("Categories=") + kLauncherCategories + "\n";
    // The menu name is the program's name; a Qt program's window class is its application
    // name, so docks match its window to this launcher.
    entry += "StartupWMClass=" + escapeValue(name) + "\n";
    return entry;
}

int LinuxPlatform::CreateShortcut(const std::string& target, const std::string& linkPath) {
    const QString link = fileSystemPath(linkPath);
    const QString name = QFileInfo(link).completeBaseName();
    const QString targetPath = fileSystemPath(target);
    // A launcher of nothing would be an entry that fails when clicked.
    if (!QFileInfo(targetPath).isFile()) return kFailed;
    QSaveFile out(link);
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly)) return 1;
    if (writeAll(out, desktopEntry(name, targetPath, m_environment.opener).toUtf8()) != 0) {
        out.cancelWriting();
        return 1;
    }
    if (!out.commit()) return 1;
    return ::chmod(QFile::encodeName(link).constData(), kPlainFileMode) == 0 ? 0 : 1;
}

int LinuxPlatform::openFile(const std::string& file) {
    const QFileInfo info(fileSystemPath(file));
    // The opener would start and then fail on its own, unseen; a missing file fails here.
    if (!info.exists()) return kFailed;
    // A program is started the way the Windows shell starts an .exe; anything else goes to
    // the desktop's file opener.
    if (info.isFile() && info.isExecutable())
        return QProcess::startDetached(info.absoluteFilePath(), {}) ? 0 : 1;
    return QProcess::startDetached(m_environment.opener, {info.filePath()}) ? 0 : 1;
}

std::unique_ptr<InstallPlatform> makeSystemPlatform() {
    return std::make_unique<LinuxPlatform>();
}

} // namespace instalacja
