#include "settingsfile.h"

#include "messagefiles.h"

namespace pixbar {

bool SaveLdCfg(const std::filesystem::path& file, const ProgramSettings& settings,
               UserPrompts& prompts) {
    if (WriteLdCfg(file, settings) == 0) return true;
    prompts.error(
        QString::fromStdString(MessageFileErrorText(MessageFileError::CannotWrite, file)));
    return false;
}

} // namespace pixbar
