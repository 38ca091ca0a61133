#pragma once

#include "schedule.h"
#include "signworker.h"

#include <filesystem>
#include <optional>
#include <string>
#include <variant>

namespace pixbar::service {

/// The job an entry runs, built when it is due: a message or set reads its file from `folder`
/// now, so the user may change it in between. The text says why no job could be made.
std::variant<Job, std::string> ScheduleJob(const ScheduleEntry& entry,
                                           const std::filesystem::path& folder);

/// Reads a schedule file whole: nothing when it is missing or cannot be read, `error` set when
/// it is there but unusable (too large, not a regular file).
std::optional<std::string> ReadScheduleText(const std::filesystem::path& file, std::string& error);

} // namespace pixbar::service
