// ld.cfg, as.cfg and the first line of the file sync mode's data file, of any content. What
// ld.cfg and as.cfg give must survive being written and read again, and a data line gives
// either an error and an empty record or plain text cells in one font.
#include "fuzzsupport.h"

#include "autosync.h"
#include "settings.h"

using namespace pixbar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto& dir = fuzz::ScratchDir();
    const auto file = dir / "input";
    fuzz::WriteFile(file, {data, size});

    ProgramSettings settings;
    fuzz::Check(ReadLdCfg(file, settings) == 0, "a readable ld.cfg was not read");
    fuzz::Check(WriteLdCfg(dir / kConfigFile, settings) == 0, "ld.cfg was not written");
    ProgramSettings again;
    fuzz::Check(ReadLdCfg(dir / kConfigFile, again) == 0 && again == settings,
                "ld.cfg does not read back what was written");
    SanitizeGeometry(settings);
    fuzz::Check(settings.signWidth >= 1 && settings.signWidth <= 24 &&
                    (settings.signHeight == 8 || settings.signHeight == 16),
                "a geometry the emulator cannot draw");

    std::string name = kDefaultDataFile;
    fuzz::Check(LoadSyncConfig(file, name) == 0, "a readable as.cfg was not read");
    fuzz::Check(SaveSyncConfig(dir / kSyncConfigFile, name) == 0, "as.cfg was not written");
    std::string nameAgain;
    fuzz::Check(LoadSyncConfig(dir / kSyncConfigFile, nameAgain) == 0 && nameAgain == name,
                "as.cfg does not read back what was written");

    MessageRecord record;
    const SyncError e = BuildSyncMessage(file, record);
    if (e != SyncError::None) {
        fuzz::Check(record == MessageRecord{}, "a refused line left a record");
    } else {
        const std::uint8_t font = record.bytes[0];
        for (int i = 0; i < kSyncMaxCells; ++i) {
            const Cell c = record.cell(i);
            fuzz::Check(c.attribute == 0 ||
                            (c.attribute == font && font >= kSyncFirstFont &&
                             font <= kSyncLastFont && c.character >= 0x20 && c.character < 0x80),
                        "a data line gave something other than plain text");
        }
        fuzz::Check(record.bytes[1022] == 0 && record.bytes[kKindOffset] <= 1,
                    "the record's last bytes are wrong");
    }
    return 0;
}
