#pragma once

#include "apirequests.h"
#include "messagefiles.h"
#include "signworker.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace pixbar::service {

/// The jobs every front of the service (HTTP, MQTT) sends: each does what the designer's
/// command of the same name does.
Job MessageJob(int number, const MessageRecord& record);
/// Messages 1..8, stopping at the first one the sign does not take.
Job MessageSetJob(const MessageSetRecords& records);
Job ShowJob(int slot);
/// The record stored in slot 9; `text` is what the state reports as the live text (none: the
/// empty record, which clears it).
Job LiveJob(const MessageRecord& record, std::optional<std::string> text);
/// The sign's whole configuration with the changed values.
Job ConfigJob(const ConfigChange& change);
Job ClockJob();
Job UserFontJob(std::vector<std::uint8_t> image);
Job SymbolTableJob(std::vector<std::uint8_t> image);

/// A command by name with its payload, as MQTT carries them: "live", "message/3", "show",
/// "brightness", "speed", "displaytime", "clock". Live text and settings replace an older
/// value of theirs still waiting.
std::variant<Job, BadRequest> CommandJob(std::string_view command, std::string_view payload);

} // namespace pixbar::service
