// Single message (*.kom) and message set (*.kzb) files of any size and content, read as
// files and as streams; a file that is taken must come back byte for byte when saved.
#include "fuzzsupport.h"

#include "ledmessagecon.h"
#include "messagefiles.h"

#include <array>
#include <cstring>
#include <sstream>

using namespace pixbar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto file = fuzz::ScratchDir() / "input";
    fuzz::WriteFile(file, {data, size});

    MessageRecord record;
    if (ReadMessageFile(file, record) == MessageFileError::None) {
        // A longer file (a message set, say) gives its first record.
        fuzz::Check(size >= kMessageFileSize, "a message file that is too short was taken");
        fuzz::Check(std::memcmp(record.bytes.data(), data, kMessageFileSize) == 0,
                    "message not as read");
        const auto copy = fuzz::ScratchDir() / "copy.kom";
        fuzz::Check(WriteMessageFile(copy, record) == MessageFileError::None, "save failed");
        MessageRecord back;
        fuzz::Check(ReadMessageFile(copy, back) == MessageFileError::None && back == record,
                    "a saved message does not read back");
    }
    MessageSetRecords set{};
    if (ReadMessageSetFile(file, set) == MessageFileError::None)
        fuzz::Check(size == kMessageSetFileSize, "a message set of the wrong size was taken");

    // The editor reads records one after another from an open stream, as a set is loaded.
    FontTable fonts{};
    SignGeometry geometry{8, 16, 10};
    MessageContainer editor{EditorContext{fonts, geometry}};
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    MessageFileError why = MessageFileError::None;
    for (int i = 0; i < kMessageSetCount && editor.load(&in, &why) == 0; ++i) {
    }
    editor.load(file, &why);
    fuzz::Check(editor.record().end() <= kCellCount, "end past the cells");
    return 0;
}
