#pragma once

#include "installplatform.h"

#include <cstddef>
#include <functional>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace instalacja {

/// The script the installer runs, opened relative to the working directory.
inline constexpr const char* kScriptFile = "install.script";
/// Folder beside the script that holds the files COPY takes.
inline constexpr const char* kImagePrefix = "image\\";
/// A read takes at most this many characters (a 1024-byte buffer, 1023 with its zero).
inline constexpr std::size_t kPieceLimit = 1022;
inline constexpr char kSeparator = '\\';

/// Outcome of a run; the window turns its button into "Zakończ" unless a word was missing.
enum class RunResult : int { EndOfScript = 0, CannotOpen = 1, WordMissing = 2 };

/// One read of the script.
struct ScriptPiece {
    std::string text;
    bool reachedEnd = false; ///< the read hit the end of the file: its text is not executed
};

/// Reads a script in pieces of at most kPieceLimit characters, each up to and including the
/// next line break. CR LF counts as one line break. Each line is decoded as a whole
/// (scriptTextToUtf8) and its pieces are counted in characters, so they are UTF-8 text; a
/// UTF-8 byte-order mark at the start of the script is skipped.
class PieceReader {
public:
    explicit PieceReader(std::istream& in) : m_in(in) {}
    ScriptPiece next();

private:
    std::istream& m_in;
    std::string m_rest;        ///< the decoded part of the current line not yet handed out
    bool m_lineEnded = false;  ///< the current line ends with a line break, not the file's end
    bool m_started = false;
};

/// Script text as UTF-8: kept when it already is valid UTF-8, otherwise read as code page 1250
/// (scripts written for the Windows installer).
std::string scriptTextToUtf8(std::string_view text);
/// Removes every character of code 0x20 or less from both ends.
std::string_view trimPiece(std::string_view text);
/// Splits at blanks only; a run of blanks is one separator, a tab is part of a word.
std::vector<std::string> splitWords(std::string_view text);

/// The folders the script works with, kept from line to line and from run to run.
struct InstallerState {
    std::string ProgramFilesDir;
    std::string ProgramsMenuDir;
    std::string DestDir;
    std::string StartMenuDir;
};

/// Where a run stopped because a line lacked a word its command uses.
struct MissingWord {
    int lineNumber = 0;        ///< 1 for the first line of the script
    std::size_t wordIndex = 0; ///< the index asked for
    std::size_t wordCount = 0; ///< the words the line had
};

/// Executes install scripts: DEST, COPY, START, LINK, ECHO and EXEC. Log lines and the paths
/// handed to the platform are UTF-8.
class ScriptInterpreter {
public:
    using LogSink = std::function<void(const std::string&)>;

    ScriptInterpreter(InstallPlatform& platform, LogSink log);

    /// Asks the platform for the program-files and menu folders (done when the window opens).
    void fetchSystemFolders();

    /// Runs the script `fileName` from its first line.
    RunResult RunScript(const std::string& fileName);
    /// Executes one piece of the script; false when a word it needs is missing.
    bool ExecuteLine(std::string_view piece);

    const InstallerState& state() const { return m_state; }
    InstallerState& state() { return m_state; }
    /// The line that stopped the last run with RunResult::WordMissing.
    const MissingWord& missingWord() const { return m_missing; }
    /// Steps of the last run that failed; each wrote a log line saying so.
    int failures() const { return m_failures; }

private:
    InstallPlatform& m_platform;
    LogSink m_log;
    InstallerState m_state;
    MissingWord m_missing;
    int m_lineNumber = 0;
    int m_failures = 0;

    void reportFailure(const std::string& line);
    RunResult endRun(RunResult result);
    std::string shown(const std::string& path) const { return m_platform.displayPath(path); }
};

} // namespace instalacja
