#include "installscript.h"

#include <QStringDecoder>

#include <algorithm>
#include <fstream>

namespace instalacja {

namespace {

constexpr unsigned char kLastBlankCode = 0x20;

bool isBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= kLastBlankCode;
}

constexpr const char* kUtf8ByteOrderMark = "\xEF\xBB\xBF";

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

ScriptPiece PieceReader::next() {
    if (m_rest.empty()) {
        std::string line;
        m_lineEnded = false;
        for (int c = m_in.get(); c != std::char_traits<char>::eof(); c = m_in.get()) {
            if (c == '\r' && m_in.peek() == '\n') c = m_in.get();
            line.push_back(static_cast<char>(c));
            if (c == '\n') {
                m_lineEnded = true;
                break;
            }
        }
        if (!m_started && line.starts_with(kUtf8ByteOrderMark))
            line.erase(0, std::string_view(kUtf8ByteOrderMark).size());
        m_started = true;
        m_rest = scriptTextToUtf8(line);
    }
    // Characters, not bytes: a UTF-8 character is its lead byte and its continuation bytes.
    std::size_t characters = 0;
    std::size_t cut = 0;
    while (cut < m_rest.size()) {
        if (!isContinuationByte(m_rest[cut]) && ++characters > kPieceLimit) break;
        ++cut;
    }
    ScriptPiece piece;
    piece.text = m_rest.substr(0, cut);
    m_rest.erase(0, cut);
    // The last piece of a line that the end of the file ends is not executed.
    piece.reachedEnd = m_rest.empty() && !m_lineEnded;
    return piece;
}

std::string scriptTextToUtf8(std::string_view text) {
    const QByteArrayView bytes(text.data(), qsizetype(text.size()));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString checked = utf8.decode(bytes);
    if (!utf8.hasError()) return std::string(text);
    QStringDecoder cp1250("windows-1250");
    const QString decoded = cp1250.decode(bytes);
    return decoded.toStdString();
}

std::string_view trimPiece(std::string_view text) {
    while (!text.empty() && isBlankOrControl(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlankOrControl(text.back())) text.remove_suffix(1);
    return text;
}

std::vector<std::string> splitWords(std::string_view text) {
    std::vector<std::string> words;
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && text[pos] == ' ') ++pos;
        if (pos == text.size()) break;
        const std::size_t end = std::min(text.find(' ', pos), text.size());
        words.emplace_back(text.substr(pos, end - pos));
        pos = end;
    }
    return words;
}

namespace {

/// A control character inside a word (C0, DEL, or a UTF-8 encoded C1): file systems cut a
/// name at a zero, and a shortcut holding one is not a valid desktop entry.
bool holdsControlCharacter(std::string_view word) {
    for (std::size_t i = 0; i < word.size(); ++i) {
        const auto c = static_cast<unsigned char>(word[i]);
        if (c < kLastBlankCode || c == 0x7F) return true;
        if (c == 0xC2 && i + 1 < word.size() &&
            static_cast<unsigned char>(word[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(word[i + 1]) <= 0x9F)
            return true;
    }
    return false;
}

/// The commands whose words become paths, shortcuts or files to open (ECHO only logs).
bool reachesTheSystem(std::string_view word) {
    for (const char* command : {"DEST", "COPY", "START", "LINK", "EXEC"})
        if (word == command) return true;
    return false;
}

} // namespace

ScriptInterpreter::ScriptInterpreter(InstallPlatform& platform, LogSink log)
    : m_platform(platform), m_log(std::move(log)) {}

void ScriptInterpreter::fetchSystemFolders() {
    m_state.ProgramFilesDir = m_platform.programFilesDir();
    m_state.ProgramsMenuDir = m_platform.programsMenuDir();
}

RunResult ScriptInterpreter::RunScript(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in.is_open()) return RunResult::CannotOpen;
    PieceReader reader(in);
    m_lineNumber = 1;
    m_failures = 0;
    for (;;) {
        ScriptPiece piece = reader.next();
        if (piece.reachedEnd) return endRun(RunResult::EndOfScript);
        if (!ExecuteLine(piece.text)) return endRun(RunResult::WordMissing);
        // The rest of a line longer than a piece still belongs to the same line.
        if (piece.text.back() == '\n') ++m_lineNumber;
    }
}

bool ScriptInterpreter::ExecuteLine(std::string_view piece) {
    const std::vector<std::string> words = splitWords(trimPiece(scriptTextToUtf8(piece)));
    // Every word a command uses is checked before it logs or acts, so a failing line does
    // nothing at all.
    auto has = [&](std::size_t count) {
        if (words.size() >= count) return true;
        m_missing = MissingWord{m_lineNumber, words.size(), words.size()};
        return false;
    };
    if (!has(1)) return false;
    const std::string& command = words[0];
    const std::string sep(1, kSeparator);
    const auto controlWord = [](const std::string& w) { return holdsControlCharacter(w); };
    if (reachesTheSystem(command) && std::any_of(words.begin(), words.end(), controlWord)) {
        // A step left out: the run does not end looking like a clean install.
        reportFailure("Wiersz " + std::to_string(m_lineNumber) +
                      " zawiera znaki sterujące i nie został wykonany.");
        return true;
    }

    if (command == "DEST") {
        if (!has(2)) return false;
        const std::string& name = words[1];
        m_log(shown(name));
        m_state.DestDir =
            m_platform.isAbsoluteName(name) ? name : m_state.ProgramFilesDir + sep + name;
        if (m_platform.createDirectory(m_state.DestDir) != kDone)
            reportFailure("Błąd: nie można utworzyć folderu " + shown(m_state.DestDir) + ".");
    } else if (command == "COPY") {
        if (!has(2)) return false;
        const std::string& file = words[1];
        const std::string target = m_state.DestDir + sep + file;
        const std::string source = kImagePrefix + file;
        m_log("Kopiuję: " + shown(file) + " do " + shown(target));
        const int result = m_platform.copyFile(source, target);
        if (result == kSourceMissing)
            reportFailure("Błąd: brak pliku " + shown(source) + ".");
        else if (result == kNotACommand)
            reportFailure("Błąd: nie można dodać programu " + shown(target) +
                          " do poleceń w ścieżce PATH.");
        else if (result != kDone)
            reportFailure("Błąd: nie można zapisać pliku " + shown(target) + ".");
    } else if (command == "START") {
        if (!has(2)) return false;
        m_state.StartMenuDir = m_state.ProgramsMenuDir + sep + words[1];
        m_log("Dodaję do menu start: " + shown(m_state.StartMenuDir));
        if (m_platform.createDirectory(m_state.StartMenuDir) != kDone)
            reportFailure("Błąd: nie można utworzyć folderu " + shown(m_state.StartMenuDir) + ".");
    } else if (command == "LINK") {
        if (!has(3)) return false;
        const std::string& file = words[1];
        const std::string& name = words[2];
        const std::string linkName = name + m_platform.shortcutExtension();
        const std::string target = m_state.DestDir + sep + file;
        const std::string linkPath = m_state.StartMenuDir + sep + linkName;
        m_log("Tworzę skrót: " + linkName + " do " + shown(target));
        if (m_platform.CreateShortcut(target, linkPath) != kDone)
            reportFailure("Błąd: nie można utworzyć skrótu " + shown(linkPath) + ".");
    } else if (command == "ECHO") {
        std::string line;
        for (std::size_t i = 1; i < words.size(); ++i) line += words[i] + ' ';
        m_log(line);
    } else if (command == "EXEC") {
        if (!has(2)) return false;
        m_log("Uruchamiam: " + shown(words[1]));
        if (m_platform.openFile(words[1]) != kDone)
            reportFailure("Błąd: nie można uruchomić " + shown(words[1]) + ".");
    }
    return true;
}

void ScriptInterpreter::reportFailure(const std::string& line) {
    m_log(line);
    ++m_failures;
}

RunResult ScriptInterpreter::endRun(RunResult result) {
    // Whatever the script's last lines say, a run with failed steps does not end looking
    // like a clean install.
    if (m_failures > 0)
        m_log("Instalacja niekompletna, liczba błędów: " + std::to_string(m_failures) + ".");
    return result;
}

} // namespace instalacja
