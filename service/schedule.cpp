#include "schedule.h"

#include "apirequests.h"
#include "codepage1250.h"
#include "settings.h"
#include "unitcomprotocol.h"

#include <QString>

#include <array>
#include <optional>

namespace pixbar::service {

namespace {

constexpr int kMinutesPerDay = 24 * 60;
constexpr std::string_view kEveryDayWord = "codziennie";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

/// The day words, Monday first; "sr" is "śr" typed without the Polish letter.
constexpr std::array<std::string_view, 7> kDayWords{"pn", "wt", "śr", "cz", "pt", "sb", "nd"};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

/// A word of a line and the column it starts at (characters from 1).
struct Word {
    std::string_view text;
    std::size_t offset = 0; ///< bytes into the line
    int column = 0;
};

int columnAt(std::string_view line, std::size_t offset) {
    int column = 1;
    for (std::size_t i = 0; i < offset && i < line.size(); ++i)
        if ((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80) ++column;
    return column;
}

/// The words of `line` from `from` on, split at blanks.
std::vector<Word> words(std::string_view line) {
    std::vector<Word> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i])) ++i;
        const std::size_t start = i;
        while (i < line.size() && !isBlank(line[i])) ++i;
        if (i > start) out.push_back({line.substr(start, i - start), start, columnAt(line, start)});
    }
    return out;
}

std::string lower(std::string_view word) {
    return QString::fromUtf8(word.data(), qsizetype(word.size())).toLower().toStdString();
}

std::string quoted(std::string_view word) {
    return "„" + std::string(word) + "”";
}

std::optional<int> dayNumber(std::string_view word) {
    const std::string w = lower(word);
    if (w == "sr") return 3;
    for (std::size_t i = 0; i < kDayWords.size(); ++i)
        if (w == kDayWords[i]) return int(i) + 1;
    return std::nullopt;
}

class LineReader {
public:
    LineReader(int number, std::string_view line, std::vector<TextError>& errors)
        : m_number(number), m_line(line), m_words(words(line)), m_errors(errors) {}

    std::optional<ScheduleEntry> read() {
        ScheduleEntry e;
        e.line = m_number;
        if (!days(m_words[0], e)) return std::nullopt;
        if (m_words.size() < 2) return fail(endColumn(), "Brak godziny (GG:MM) po dniach tygodnia");
        if (!time(m_words[1], e)) return std::nullopt;
        if (m_words.size() < 3) return fail(endColumn(), "Brak polecenia po godzinie");
        if (!action(e)) return std::nullopt;
        return e;
    }

private:
    std::nullopt_t fail(int column, std::string message) {
        m_errors.push_back({m_number, column, std::move(message)});
        return std::nullopt;
    }

    /// Where a missing word belongs: just past the last one.
    int endColumn() const {
        const Word& last = m_words.back();
        return columnAt(m_line, last.offset + last.text.size());
    }

    bool days(const Word& word, ScheduleEntry& e) {
        e.daysText = std::string(word.text);
        if (lower(word.text) == kEveryDayWord) {
            e.days = kEveryDay;
            return true;
        }
        std::size_t at = 0;
        while (at <= word.text.size()) {
            const std::size_t comma = std::min(word.text.find(',', at), word.text.size());
            const std::string_view item = word.text.substr(at, comma - at);
            const int column = word.column + columnAt(word.text, at) - 1;
            const std::size_t dash = item.find('-');
            const std::string_view first = item.substr(0, dash);
            const auto from = dayNumber(first);
            if (!from) {
                fail(column, item.empty() ? "Brak dnia tygodnia przed przecinkiem"
                                          : "Nieznany dzień tygodnia " + quoted(first));
                return false;
            }
            int to = *from;
            if (dash != std::string_view::npos) {
                const std::string_view last = item.substr(dash + 1);
                const auto end = dayNumber(last);
                if (!end) {
                    fail(column + columnAt(item, dash + 1) - 1,
                         "Nieznany dzień tygodnia " + quoted(last));
                    return false;
                }
                to = *end;
            }
            // A range may wrap past Sunday: "pt-pn" is Friday to Monday.
            for (int d = *from;; d = d % 7 + 1) {
                e.days |= std::uint8_t(1u << (d - 1));
                if (d == to) break;
            }
            at = comma + 1;
        }
        return true;
    }

    bool time(const Word& word, ScheduleEntry& e) {
        const std::string_view t = word.text;
        const auto colon = t.find(':');
        const auto hour = colon == std::string_view::npos || colon > 2
                              ? std::nullopt
                              : ParseBoundedInt(t.substr(0, colon), 0, 23);
        const auto minute = hour && t.size() - colon == 3 ? ParseBoundedInt(t.substr(colon + 1), 0, 59)
                                                          : std::nullopt;
        if (!minute) {
            fail(word.column, "Zła godzina " + quoted(t) + " (GG:MM od 00:00 do 23:59)");
            return false;
        }
        e.minute = *hour * 60 + *minute;
        return true;
    }

    /// The words after the keyword, as one text (a file name may hold spaces).
    std::string_view rest(std::size_t index) const {
        if (index >= m_words.size()) return {};
        std::string_view r = m_line.substr(m_words[index].offset);
        while (!r.empty() && isBlank(r.back())) r.remove_suffix(1);
        return r;
    }

    std::optional<int> numberAt(std::size_t index, const char* what, int min, int max) {
        const std::string range = std::string(what) + " to liczba od " + std::to_string(min) +
                                  " do " + std::to_string(max);
        if (index >= m_words.size()) {
            fail(endColumn(), "Brak liczby: " + range);
            return std::nullopt;
        }
        const auto n = ParseBoundedInt(m_words[index].text, min, max);
        if (!n) fail(m_words[index].column, "Zła liczba " + quoted(m_words[index].text) + ": " + range);
        return n;
    }

    bool noMore(std::size_t index) {
        if (index >= m_words.size()) return true;
        fail(m_words[index].column, "Zbędne " + quoted(m_words[index].text) + " na końcu wiersza");
        return false;
    }

    bool fileAt(std::size_t index, ScheduleEntry& e, std::string_view refused, const char* kind) {
        const std::string_view name = rest(index);
        if (name.empty()) {
            fail(endColumn(), std::string("Brak nazwy pliku ") + kind);
            return false;
        }
        const int column = m_words[index].column;
        if (!IsScheduleFileName(name)) {
            fail(column, "Plik " + quoted(name) +
                             " musi leżeć w folderze harmonogramu (bez „..” i ścieżki od korzenia)");
            return false;
        }
        if (lower(name).ends_with(refused)) {
            fail(column, "Plik " + quoted(name) + " to nie " + kind);
            return false;
        }
        e.file = std::string(name);
        return true;
    }

    bool action(ScheduleEntry& e) {
        const Word& keyword = m_words[2];
        const std::string k = lower(keyword.text);
        bool ok = false;
        if (k == "show") {
            e.action = ScheduleAction::Show;
            const auto n = numberAt(3, "show", 1, kSlotCount);
            ok = n && noMore(4);
            e.number = n.value_or(0);
        } else if (k == "message") {
            e.action = ScheduleAction::Message;
            const auto n = numberAt(3, "message", 1, kMessageCount);
            ok = n && fileAt(4, e, ".kzb", "komunikatu (tekst albo .kom)");
            e.number = n.value_or(0);
        } else if (k == "set") {
            e.action = ScheduleAction::Set;
            ok = fileAt(3, e, ".kom", "zestawu (tekst albo .kzb)");
        } else if (k == "brightness" || k == "speed" || k == "displaytime") {
            const bool b = k == "brightness", s = k == "speed";
            e.action = b ? ScheduleAction::Brightness
                         : s ? ScheduleAction::Speed : ScheduleAction::DisplayTime;
            const auto n = b   ? numberAt(3, "brightness", kMinBrightness, kMaxBrightness)
                           : s ? numberAt(3, "speed", kMinSpeed, kMaxSpeed)
                               : numberAt(3, "displaytime", 0, kDisplayTimeNoSwitch);
            ok = n && noMore(4);
            e.number = n.value_or(0);
        } else if (k == "live") {
            e.action = ScheduleAction::Live;
            e.text = std::string(rest(3));
            // Checked now as PUT live checks it, so a bad text is found before it is due.
            MessageRecord record;
            if (auto error = ComposeMessage(e.text, CodePage1250::instance(), record)) {
                const int start = m_words.size() > 3 ? m_words[3].column : endColumn();
                fail(start + error->column - 1, error->message);
                return false;
            }
            ok = true;
        } else if (k == "clock") {
            e.action = ScheduleAction::Clock;
            ok = noMore(3);
        } else {
            fail(keyword.column, "Nieznane polecenie " + quoted(keyword.text) +
                                     " (show, message, set, brightness, speed, displaytime, "
                                     "live, clock)");
            return false;
        }
        if (!ok) return false;
        e.actionText = k;
        if (const std::string_view r = rest(3); !r.empty()) e.actionText += " " + std::string(r);
        return true;
    }

    const int m_number;
    const std::string_view m_line;
    const std::vector<Word> m_words;
    std::vector<TextError>& m_errors;
};

} // namespace

std::string ScheduleEntry::timeText() const {
    const int h = minute / 60, m = minute % 60;
    return std::string{char('0' + h / 10), char('0' + h % 10), ':', char('0' + m / 10),
                       char('0' + m % 10)};
}

bool IsScheduleFileName(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.front() == '\\' || name.front() == '~' ||
        name.find('\0') != std::string_view::npos || name.find(':') != std::string_view::npos)
        return false;
    std::size_t at = 0;
    while (at <= name.size()) {
        const std::size_t end = std::min(name.find_first_of("/\\", at), name.size());
        if (name.substr(at, end - at) == "..") return false;
        at = end + 1;
    }
    return true;
}

ScheduleEntry DailyClockEntry() {
    ScheduleEntry e;
    e.days = kEveryDay;
    e.minute = 3 * 60;
    e.action = ScheduleAction::Clock;
    e.daysText = std::string(kEveryDayWord);
    e.actionText = "clock";
    return e;
}

Schedule ParseSchedule(std::string_view text) {
    Schedule schedule;
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    int number = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        ++number;
        std::string_view trimmed = line;
        while (!trimmed.empty() && isBlank(trimmed.front())) trimmed.remove_prefix(1);
        while (!trimmed.empty() && isBlank(trimmed.back())) trimmed.remove_suffix(1);
        if (!trimmed.empty() && trimmed.front() != '#') {
            if (!IsUtf8(line))
                schedule.errors.push_back({number, 1, "Wiersz nie jest w UTF-8"});
            else if (auto entry = LineReader(number, line, schedule.errors).read())
                schedule.entries.push_back(std::move(*entry));
        }
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return schedule;
}

} // namespace pixbar::service
