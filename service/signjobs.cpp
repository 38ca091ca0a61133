#include "signjobs.h"

#include "settings.h"

namespace pixbar::service {

Job MessageJob(int number, const MessageRecord& record) {
    return {"message", [record, number](JobContext& c) {
                return c.protocol.SendMessageBlocks(c.address, number, record.bytes);
            }};
}

Job MessageSetJob(const MessageSetRecords& records) {
    return {"set", [records](JobContext& c) {
                MessageSetBytes bytes;
                for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = records[i].bytes;
                return SendMessageSet(c.protocol, c.address, bytes).result;
            }};
}

Job ShowJob(int slot) {
    Job job{"show", [slot](JobContext& c) { return c.protocol.ShowMessage(c.address, slot); }};
    job.applied = [slot](SignStatus& s) { s.shown = slot; };
    return job;
}

Job LiveJob(const MessageRecord& record, std::optional<std::string> text) {
    Job job{"live", [record](JobContext& c) {
                return c.protocol.StoreMessage(c.address, kSlotCount, record.bytes);
            }};
    job.applied = [text = std::move(text)](SignStatus& s) { s.live = text; };
    return job;
}

Job ConfigJob(const ConfigChange& change) {
    return {"config", [change](JobContext& c) {
                SignSettings& s = c.settings;
                s.brightness = change.brightness.value_or(s.brightness);
                s.speed = change.speed.value_or(s.speed);
                s.displayTime = change.displayTime.value_or(s.displayTime);
                const SignConfig config = BuildSignConfig(s.brightness, s.speed, s.displayTime);
                return c.protocol.SendConfiguration(c.address, config);
            }};
}

Job ClockJob() {
    return {"clock", [](JobContext& c) { return c.protocol.SetClock(c.address); }};
}

Job UserFontJob(std::vector<std::uint8_t> image) {
    return {"userfont", [image = std::move(image)](JobContext& c) {
                return c.protocol.SendUserFont(c.address, image);
            }};
}

Job SymbolTableJob(std::vector<std::uint8_t> image) {
    return {"symbols", [image = std::move(image)](JobContext& c) {
                return c.protocol.SendSymbolTable(c.address, image);
            }};
}

namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

std::variant<int, BadRequest> number(std::string_view payload, const char* name, int min, int max) {
    if (const auto n = ParseBoundedInt(trimmed(payload), min, max)) return *n;
    return BadRequest{400, std::string(name) + " to liczba całkowita od " + std::to_string(min) +
                               " do " + std::to_string(max)};
}

} // namespace

std::variant<Job, BadRequest> CommandJob(std::string_view command, std::string_view payload) {
    if (command == "live") {
        if (payload.empty()) {
            Job job = LiveJob(MessageRecord{}, std::nullopt);
            job.replaces = "live";
            return job;
        }
        auto parsed = ParseMessageBody("text/plain", payload);
        if (auto* bad = std::get_if<BadRequest>(&parsed)) return *bad;
        Job job = LiveJob(std::get<MessageRecord>(parsed), std::string(payload));
        job.replaces = "live";
        return job;
    }
    if (command.starts_with("message/")) {
        const auto n = ParseBoundedInt(command.substr(8), 1, kMessageCount);
        if (!n) return BadRequest{404, "komunikaty mają numery od 1 do 8"};
        auto parsed = ParseMessageBody("text/plain", payload);
        if (auto* bad = std::get_if<BadRequest>(&parsed)) return *bad;
        return MessageJob(*n, std::get<MessageRecord>(parsed));
    }
    if (command == "show") {
        auto slot = number(payload, "slot", 1, kSlotCount);
        if (auto* bad = std::get_if<BadRequest>(&slot)) return *bad;
        return ShowJob(std::get<int>(slot));
    }
    if (command == "brightness" || command == "speed" || command == "displaytime") {
        const bool b = command == "brightness", s = command == "speed";
        auto value = number(payload, b ? "brightness" : s ? "speed" : "displayTime", b ? 1 : s ? 1 : 0,
                            b ? 100 : s ? 20 : kDisplayTimeNoSwitch);
        if (auto* bad = std::get_if<BadRequest>(&value)) return *bad;
        ConfigChange change;
        (b ? change.brightness : s ? change.speed : change.displayTime) = std::get<int>(value);
        Job job = ConfigJob(change);
        job.replaces = std::string(command);
        return job;
    }
    if (command == "clock") return ClockJob();
    return BadRequest{404, "nie ma polecenia " + std::string(command)};
}

} // namespace pixbar::service
