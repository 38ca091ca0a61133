#pragma once

#include "commandtable.h"
#include "messagetext.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pixbarctl {

/// `pixbarctl render ...`: plays a message headlessly and prints or writes the picture.
int runRender(int argc, char** argv);
/// `pixbarctl [--ports-dir DIR] --port NAME [--address N] COMMAND ...`: talks to a sign.
int runSignCommand(int argc, char** argv);

/// `pixbarctl decode FILE.kom|FILE.kzb`: prints the text form.
int runDecode(int argc, char** argv);
/// `pixbarctl compose TEXT|- -o OUT.kom|OUT.kzb`: writes the record or set a text describes.
int runCompose(int argc, char** argv);

/// A message text given where a message file may stand: a name ending in .txt, or "-".
bool isMessageText(const std::string& file);
enum class TextShape { Record, Set, Either };
struct ComposedTextFile {
    pixbar::ComposedText composed;
    std::string error; ///< empty when composed; otherwise "msg.txt:3:17: ..." or a file error
    int code = 0;      ///< exit status for the error
};
ComposedTextFile composeTextFile(const std::string& file, TextShape shape);
/// The 1024 or 8192 bytes a message text describes; nothing (reason on stderr) on an error.
std::optional<std::vector<std::uint8_t>> composeTextRecords(const std::string& file, bool set);

} // namespace pixbarctl
