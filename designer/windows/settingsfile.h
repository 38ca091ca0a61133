#pragma once

#include "prompts.h"
#include "settings.h"

#include <filesystem>

namespace pixbar {

/// Writes ld.cfg from the settings. When that fails the old file stays as it was, and the user
/// is told in a "Błąd" box naming the file. True when written.
bool SaveLdCfg(const std::filesystem::path& file, const ProgramSettings& settings,
               UserPrompts& prompts);

} // namespace pixbar
