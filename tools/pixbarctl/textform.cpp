// pixbarctl decode / compose: messages and message sets as text, and the reading of a text
// wherever the other commands take a message file.
#include "commands.h"

#include "codepage1250.h"
#include "messagefiles.h"
#include "messagetext.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>

namespace pixbarctl {

namespace {

using namespace pixbar;

constexpr int kExitFile = 1;
constexpr std::size_t kMaxTextSize = 1 << 20; // far above the longest text of a set
constexpr char kStdin[] = "-";

std::string lowerExtension(const std::string& file) {
    std::string ext = std::filesystem::path(file).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

/// The name a text is called by in messages.
std::string shownName(const std::string& file) {
    return file == kStdin ? "<stdin>" : file;
}

/// Reads the whole text of `file` ("-": standard input); `error` says why not.
bool readText(const std::string& file, std::string& text, std::string& error) {
    std::istream* in = &std::cin;
    std::ifstream stream;
    if (file != kStdin) {
        stream.open(file, std::ios::binary);
        if (!stream) {
            error = file + ": cannot be opened";
            return false;
        }
        in = &stream;
    }
    text.clear();
    char buf[65536];
    while (in->read(buf, sizeof buf) || in->gcount() > 0) {
        text.append(buf, std::size_t(in->gcount()));
        if (text.size() > kMaxTextSize) {
            error = shownName(file) + ": too large for a message text";
            return false;
        }
    }
    if (in->bad()) {
        error = shownName(file) + ": cannot be read";
        return false;
    }
    return true;
}

std::string fileErrorText(MessageFileError error, const std::string& file, bool set) {
    switch (error) {
    case MessageFileError::None:
        return {};
    case MessageFileError::CannotOpen:
        return file + ": cannot be opened";
    case MessageFileError::WrongSize:
        return file +
               (set ? ": a message set holds 8192 bytes" : ": a message file holds 1024 bytes");
    case MessageFileError::CannotWrite:
        return file + ": cannot be written";
    }
    return file + ": error";
}

int fail(const char* command, const std::string& message, int code) {
    std::fprintf(stderr, "pixbarctl %s: %s\n", command, message.c_str());
    return code;
}

} // namespace

bool isMessageText(const std::string& file) {
    return file == kStdin || lowerExtension(file) == ".txt";
}

ComposedTextFile composeTextFile(const std::string& file, TextShape shape) {
    ComposedTextFile result;
    std::string text;
    if (!readText(file, text, result.error)) {
        result.code = kExitFile;
        return result;
    }
    const CharacterCodec& codec = CodePage1250::instance();
    std::optional<TextError> error;
    switch (shape) {
    case TextShape::Record:
        error = ComposeMessage(text, codec, result.composed.records[0]);
        break;
    case TextShape::Set:
        error = ComposeMessageSet(text, codec, result.composed.records);
        result.composed.isSet = true;
        break;
    case TextShape::Either:
        error = ComposeMessageText(text, codec, result.composed);
        break;
    }
    if (error) {
        result.error = shownName(file) + ":" + error->where();
        result.code = kExitUsage;
    }
    return result;
}

std::optional<std::vector<std::uint8_t>> composeTextRecords(const std::string& file, bool set) {
    const ComposedTextFile text = composeTextFile(file, set ? TextShape::Set : TextShape::Record);
    if (!text.error.empty()) {
        std::fprintf(stderr, "pixbarctl: %s\n", text.error.c_str());
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < (set ? text.composed.records.size() : 1); ++i)
        bytes.insert(bytes.end(), text.composed.records[i].bytes.begin(),
                     text.composed.records[i].bytes.end());
    return bytes;
}

int runDecode(int argc, char** argv) {
    constexpr char kUsage[] = "usage: pixbarctl decode FILE.kom|FILE.kzb";
    if (argc != 2) return fail("decode", kUsage, kExitUsage);
    const std::string file = argv[1];
    const std::string ext = lowerExtension(file);
    if (ext != ".kom" && ext != ".kzb")
        return fail("decode", file + ": not a message file (*.kom) or message set (*.kzb)",
                    kExitUsage);
    const CharacterCodec& codec = CodePage1250::instance();
    std::string text;
    if (ext == ".kzb") {
        MessageSetRecords records{};
        if (const auto e = ReadMessageSetFile(file, records); e != MessageFileError::None)
            return fail("decode", fileErrorText(e, file, true), kExitFile);
        text = MessageSetToText(records, codec);
    } else {
        MessageRecord record;
        if (const auto e = ReadMessageFile(file, record); e != MessageFileError::None)
            return fail("decode", fileErrorText(e, file, false), kExitFile);
        text = MessageToText(record, codec);
    }
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
        return kExitFile;
    return 0;
}

int runCompose(int argc, char** argv) {
    constexpr char kUsage[] = "usage: pixbarctl compose TEXT|- -o OUT.kom|OUT.kzb";
    std::string input, output;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-o" || arg == "--output") {
            if (i + 1 >= argc || !output.empty()) return fail("compose", kUsage, kExitUsage);
            output = argv[++i];
        } else if (input.empty() && (arg == kStdin || !arg.starts_with("-"))) {
            input = arg;
        } else {
            return fail("compose", kUsage, kExitUsage);
        }
    }
    if (input.empty() || output.empty()) return fail("compose", kUsage, kExitUsage);
    const std::string ext = lowerExtension(output);
    if (ext != ".kom" && ext != ".kzb")
        return fail("compose", output + ": the output is a message file (*.kom) or set (*.kzb)",
                    kExitUsage);
    const bool set = ext == ".kzb";
    const ComposedTextFile text = composeTextFile(input, set ? TextShape::Set : TextShape::Record);
    if (text.code == kExitUsage) {
        // FILE:LINE:COLUMN: first, as compilers write it, so editors can jump to the place.
        std::fprintf(stderr, "%s\n", text.error.c_str());
        return text.code;
    }
    if (!text.error.empty()) return fail("compose", text.error, text.code);
    const MessageFileError written = set ? WriteMessageSetFile(output, text.composed.records)
                                         : WriteMessageFile(output, text.composed.records[0]);
    if (written != MessageFileError::None)
        return fail("compose", fileErrorText(written, output, set), kExitFile);
    return 0;
}

} // namespace pixbarctl
