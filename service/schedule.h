#pragma once

#include "messagetext.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pixbar::service {

/// The largest schedule file the service reads or takes over HTTP.
inline constexpr std::size_t kMaxScheduleSize = 64 * 1024;

/// Days of the week as bits: Monday is bit 0, Sunday bit 6.
inline constexpr std::uint8_t kEveryDay = 0x7F;

enum class ScheduleAction { Show, Message, Set, Brightness, Speed, DisplayTime, Live, Clock };

/// One line of a schedule: "pn-pt 07:30 show 2".
struct ScheduleEntry {
    int line = 0;              ///< in the file, from 1; 0 for the built-in daily clock
    std::uint8_t days = 0;     ///< kEveryDay and its bits
    int minute = 0;            ///< of the day, 0..1439 (local time)
    ScheduleAction action = ScheduleAction::Clock;
    int number = 0;            ///< the slot, message number or setting
    std::string file;          ///< message and set: relative to the schedule's folder
    std::string text;          ///< live: the text (empty clears)
    std::string daysText;      ///< the days as written
    std::string actionText;    ///< "show 2", "message 1 weekend.txt", "live", ...

    /// "07:30"
    std::string timeText() const;
    bool onDay(int dayOfWeek) const { return days & (1u << (dayOfWeek - 1)); } ///< 1 = Monday
};

/// The entries of a schedule in file order and every line that could not be read.
struct Schedule {
    std::vector<ScheduleEntry> entries;
    std::vector<TextError> errors; ///< line and column (of the offending word) from 1

    bool ok() const { return errors.empty(); }
};

/// Reads the text of a schedule file (UTF-8): one entry a line, "#" opens a comment line.
Schedule ParseSchedule(std::string_view text);

/// The clock set every day at 03:00 on every sign, besides what its schedule says.
ScheduleEntry DailyClockEntry();

/// True for a file name a schedule may use: relative, inside the schedule's folder.
bool IsScheduleFileName(std::string_view name);

} // namespace pixbar::service
