#include "schedulejobs.h"

#include "diskfiles.h"
#include "signjobs.h"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace pixbar::service {

namespace {

// Far above the longest text of a set.
constexpr std::size_t kMaxMessageText = 1 << 20;

std::string lowerExtension(const std::filesystem::path& file) {
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

/// The file inside `folder`, or nothing when a link leads out of it.
std::optional<std::filesystem::path> inside(const std::filesystem::path& folder,
                                            const std::string& name) {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::weakly_canonical(folder, ec);
    if (ec) return std::nullopt;
    const std::filesystem::path file = std::filesystem::weakly_canonical(base / name, ec);
    if (ec) return std::nullopt;
    const auto [end, rest] = std::mismatch(base.begin(), base.end(), file.begin(), file.end());
    if (end != base.end()) return std::nullopt;
    return file;
}

std::variant<std::string, std::string> readText(const std::filesystem::path& file,
                                                std::size_t limit) {
    std::ifstream in = OpenRegularFile(file);
    if (!in) return std::variant<std::string, std::string>(std::in_place_index<1>,
                                                           "Nie można otworzyć pliku " + file.string() + ".");
    std::string text(limit + 1, '\0');
    in.read(text.data(), std::streamsize(text.size()));
    text.resize(std::size_t(in.gcount()));
    if (text.size() > limit)
        return std::variant<std::string, std::string>(std::in_place_index<1>,
                                                      "Plik " + file.string() + " jest za duży.");
    return std::variant<std::string, std::string>(std::in_place_index<0>, std::move(text));
}

std::string named(const std::filesystem::path& file, const BadRequest& bad) {
    return file.filename().string() + ":" + bad.error;
}

std::variant<Job, std::string> messageJob(const ScheduleEntry& e,
                                          const std::filesystem::path& file) {
    if (lowerExtension(file) == ".kom") {
        MessageRecord record;
        if (const auto error = ReadMessageFile(file, record); error != MessageFileError::None)
            return MessageFileErrorText(error, file);
        return MessageJob(e.number, record);
    }
    auto text = readText(file, kMaxMessageText);
    if (text.index() == 1) return std::get<1>(text);
    auto parsed = ParseMessageBody("text/plain", std::get<0>(text));
    if (auto* bad = std::get_if<BadRequest>(&parsed)) return named(file, *bad);
    return MessageJob(e.number, std::get<MessageRecord>(parsed));
}

std::variant<Job, std::string> setJob(const std::filesystem::path& file) {
    if (lowerExtension(file) == ".kzb") {
        MessageSetRecords records{};
        if (const auto error = ReadMessageSetFile(file, records); error != MessageFileError::None)
            return MessageFileErrorText(error, file);
        return MessageSetJob(records);
    }
    auto text = readText(file, kMaxMessageText);
    if (text.index() == 1) return std::get<1>(text);
    auto parsed = ParseMessageSetBody("text/plain", std::get<0>(text));
    if (auto* bad = std::get_if<BadRequest>(&parsed)) return named(file, *bad);
    return MessageSetJob(std::get<MessageSetRecords>(parsed));
}

} // namespace

std::variant<Job, std::string> ScheduleJob(const ScheduleEntry& e,
                                           const std::filesystem::path& folder) {
    switch (e.action) {
    case ScheduleAction::Show:
        return ShowJob(e.number);
    case ScheduleAction::Message:
    case ScheduleAction::Set: {
        // The parser refused such names already; a link out of the folder is refused here.
        const auto file = IsScheduleFileName(e.file) ? inside(folder, e.file) : std::nullopt;
        if (!file) return "Plik „" + e.file + "” leży poza folderem harmonogramu.";
        return e.action == ScheduleAction::Message ? messageJob(e, *file) : setJob(*file);
    }
    case ScheduleAction::Brightness:
        return ConfigJob(ConfigChange{e.number, std::nullopt, std::nullopt});
    case ScheduleAction::Speed:
        return ConfigJob(ConfigChange{std::nullopt, e.number, std::nullopt});
    case ScheduleAction::DisplayTime:
        return ConfigJob(ConfigChange{std::nullopt, std::nullopt, e.number});
    case ScheduleAction::Live: {
        if (e.text.empty()) return LiveJob(MessageRecord{}, std::nullopt);
        auto parsed = ParseMessageBody("text/plain", e.text);
        if (auto* bad = std::get_if<BadRequest>(&parsed)) return bad->error;
        return LiveJob(std::get<MessageRecord>(parsed), e.text);
    }
    case ScheduleAction::Clock:
        return ClockJob();
    }
    return std::string("Nieznane polecenie");
}

std::optional<std::string> ReadScheduleText(const std::filesystem::path& file, std::string& error) {
    error.clear();
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return std::nullopt;
    auto text = readText(file, kMaxScheduleSize);
    if (text.index() == 1) {
        error = std::get<1>(text);
        return std::nullopt;
    }
    return std::get<0>(text);
}

} // namespace pixbar::service
