// The install script interpreter on scripts of any content, run for real on a folder of its
// own: the home folder and the install image live in the scratch folder, and any path that
// would leave it is refused before the file system sees it. Every launcher the run writes is
// checked for control characters, which make a desktop entry invalid.
#include "fuzzsupport.h"

#include "installscript.h"
#include "linuxplatform.h"

#include <QFile>

#include <fstream>
#include <iterator>

using namespace instalacja;
namespace fs = std::filesystem;

namespace {

const fs::path& root() {
    static const fs::path dir = fuzz::ScratchDir() / "install";
    return dir;
}

/// True for a path under the scratch folder with no step back out of it.
bool inside(const std::string& scriptPath) {
    const fs::path path(QFile::encodeName(LinuxPlatform::fileSystemPath(scriptPath)).toStdString());
    if (!path.is_absolute() && path.begin() != path.end() && *path.begin() != "image") return false;
    for (const auto& part : path)
        if (part == "..") return false;
    const fs::path absolute = path.is_absolute() ? path : root() / "work" / path;
    const std::string a = absolute.lexically_normal().string();
    const std::string r = root().string() + "/";
    return a.compare(0, r.size(), r) == 0;
}

/// The system platform, kept inside the scratch folder and never opening anything.
class FencedPlatform : public InstallPlatform {
public:
    FencedPlatform()
        : m_real(LinuxEnvironment{QFile::decodeName((root() / "home").c_str()), {}, {}}) {}
    std::string programFilesDir() override { return m_real.programFilesDir(); }
    std::string programsMenuDir() override { return m_real.programsMenuDir(); }
    bool isAbsoluteName(const std::string& name) const override {
        return m_real.isAbsoluteName(name);
    }
    std::string shortcutExtension() const override { return m_real.shortcutExtension(); }
    int createDirectory(const std::string& path) override {
        return inside(path) ? m_real.createDirectory(path) : 1;
    }
    int copyFile(const std::string& source, const std::string& target) override {
        return inside(source) && inside(target) ? m_real.copyFile(source, target) : 1;
    }
    int CreateShortcut(const std::string& target, const std::string& linkPath) override {
        if (!inside(linkPath)) return 1;
        const int result = m_real.CreateShortcut(target, linkPath);
        if (result == 0) {
            const QByteArray file = QFile::encodeName(LinuxPlatform::fileSystemPath(linkPath));
            std::ifstream in(file.toStdString(), std::ios::binary);
            const std::string entry{std::istreambuf_iterator<char>(in), {}};
            for (unsigned char c : entry)
                fuzz::Check(c >= 0x20 || c == '\n', "a launcher holds a control character");
        }
        return result;
    }
    int openFile(const std::string&) override { return 0; }

private:
    LinuxPlatform m_real;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::error_code ec;
    fs::remove_all(root(), ec);
    fs::create_directories(root() / "work" / "image");
    fs::create_directories(root() / "home");
    for (const char* name : {"pixbar4designer", "readme.txt", "font5x7_128.fnt"})
        std::ofstream(root() / "work" / "image" / name) << name;
    fs::current_path(root() / "work");
    fuzz::WriteFile(root() / "work" / kScriptFile, {data, size});

    FencedPlatform platform;
    std::size_t logged = 0;
    ScriptInterpreter interpreter(platform,
                                  [&](const std::string& line) { logged += line.size(); });
    interpreter.fetchSystemFolders();
    interpreter.RunScript(kScriptFile);
    return 0;
}
