#include "apirequests.h"

#include "codepage1250.h"
#include "messagetext.h"
#include "settings.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace pixbar::service {

namespace {

constexpr int kMaxSlot = 9;

std::variant<QJsonObject, BadRequest> parseObject(std::string_view body) {
    if (!IsUtf8(body)) return BadRequest{400, "treść nie jest w UTF-8"};
    QJsonParseError error{};
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray(body.data(), qsizetype(body.size())), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return BadRequest{400, "treść nie jest obiektem JSON"};
    return doc.object();
}

/// A member that must be a whole number in min..max; nothing when it is absent.
std::variant<std::optional<int>, BadRequest> member(const QJsonObject& object, const char* name,
                                                    int min, int max) {
    const QJsonValue value = object.value(QLatin1String(name));
    if (value.isUndefined()) return std::optional<int>{};
    const QString range = QStringLiteral("%1 to liczba całkowita od %2 do %3")
                              .arg(QLatin1String(name))
                              .arg(min)
                              .arg(max);
    if (!value.isDouble()) return BadRequest{400, range.toStdString()};
    const double d = value.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || d < min || d > max)
        return BadRequest{400, range.toStdString()};
    return std::optional<int>(int(d));
}

} // namespace

std::string_view MediaType(std::string_view contentType) {
    const auto semi = contentType.find(';');
    std::string_view type = contentType.substr(0, semi);
    while (!type.empty() && type.back() == ' ') type.remove_suffix(1);
    while (!type.empty() && type.front() == ' ') type.remove_prefix(1);
    return type;
}

std::vector<std::string> SplitApiPath(std::string_view path) {
    std::vector<std::string> parts;
    constexpr std::string_view kPrefix = "/api/v1/";
    if (!path.starts_with(kPrefix)) return parts;
    path.remove_prefix(kPrefix.size());
    while (!path.empty()) {
        const auto slash = path.find('/');
        parts.emplace_back(path.substr(0, slash));
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
        if (path.empty()) parts.emplace_back(); // a trailing slash names nothing
    }
    return parts;
}

std::optional<int> ParseBoundedInt(std::string_view text, int min, int max) {
    if (text.empty() || text.size() > 9 || text.front() == '+') return std::nullopt;
    int v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc{} || end != text.data() + text.size() || v < min || v > max)
        return std::nullopt;
    return v;
}

bool IsUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        int extra = 0;
        char32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + std::size_t(extra) >= text.size()) return false;
        for (int k = 1; k <= extra; ++k) {
            const auto b = static_cast<unsigned char>(text[i + std::size_t(k)]);
            if ((b & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (b & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF.
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += std::size_t(extra) + 1;
    }
    return true;
}

BadRequest TextFormError(int line, int column, const std::string& message) {
    TextError e{line, column, message};
    return BadRequest{400, e.where(), line, column};
}

std::variant<int, BadRequest> ParseShowBody(std::string_view body) {
    auto object = parseObject(body);
    if (auto* bad = std::get_if<BadRequest>(&object)) return *bad;
    auto slot = member(std::get<QJsonObject>(object), "slot", 1, kMaxSlot);
    if (auto* bad = std::get_if<BadRequest>(&slot)) return *bad;
    const auto value = std::get<std::optional<int>>(slot);
    if (!value) return BadRequest{400, "brak pola slot (1..9)"};
    return *value;
}

std::variant<ConfigChange, BadRequest> ParseConfigBody(std::string_view body) {
    auto object = parseObject(body);
    if (auto* bad = std::get_if<BadRequest>(&object)) return *bad;
    const QJsonObject& o = std::get<QJsonObject>(object);
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString key = it.key();
        if (key != QLatin1String("brightness") && key != QLatin1String("speed") &&
            key != QLatin1String("displayTime"))
            return BadRequest{400, "nieznane pole " + key.toStdString()};
    }
    ConfigChange change;
    const struct {
        const char* name;
        int min, max;
        std::optional<int>* out;
    } fields[] = {{"brightness", kMinBrightness, kMaxBrightness, &change.brightness},
                  {"speed", kMinSpeed, kMaxSpeed, &change.speed},
                  {"displayTime", 0, kDisplayTimeNoSwitch, &change.displayTime}};
    for (const auto& f : fields) {
        auto value = member(o, f.name, f.min, f.max);
        if (auto* bad = std::get_if<BadRequest>(&value)) return *bad;
        *f.out = std::get<std::optional<int>>(value);
    }
    if (!change.brightness && !change.speed && !change.displayTime)
        return BadRequest{400, "podaj brightness, speed lub displayTime"};
    return change;
}

bool IsBinaryBody(std::string_view contentType) {
    return MediaType(contentType) == "application/octet-stream";
}

namespace {

std::optional<BadRequest> checkText(std::string_view contentType, std::string_view body) {
    const std::string_view type = MediaType(contentType);
    // curl sends its own default type with --data-binary; the text is taken as it is.
    if (!type.empty() && type != "text/plain" && type != "application/x-www-form-urlencoded")
        return BadRequest{415, "treść to text/plain albo application/octet-stream"};
    if (!IsUtf8(body)) return BadRequest{400, "tekst nie jest w UTF-8"};
    return std::nullopt;
}

} // namespace

std::variant<MessageRecord, BadRequest> ParseMessageBody(std::string_view contentType,
                                                         std::string_view body) {
    MessageRecord record;
    if (IsBinaryBody(contentType)) {
        if (body.size() < kRecordSize)
            return BadRequest{400, "komunikat ma 1024 bajty, a przysłano " +
                                       std::to_string(body.size())};
        std::copy_n(body.begin(), kRecordSize, record.bytes.begin());
        return record;
    }
    if (auto bad = checkText(contentType, body)) return *bad;
    if (auto error = ComposeMessage(body, CodePage1250::instance(), record))
        return TextFormError(error->line, error->column, error->message);
    return record;
}

std::variant<MessageSetRecords, BadRequest> ParseMessageSetBody(std::string_view contentType,
                                                                std::string_view body) {
    MessageSetRecords records{};
    if (IsBinaryBody(contentType)) {
        if (body.size() < kMessageSetFileSize)
            return BadRequest{400, "zestaw komunikatów ma 8192 bajty, a przysłano " +
                                       std::to_string(body.size())};
        for (std::size_t i = 0; i < records.size(); ++i)
            std::copy_n(body.begin() + std::ptrdiff_t(i * kRecordSize), kRecordSize,
                        records[i].bytes.begin());
        return records;
    }
    if (auto bad = checkText(contentType, body)) return *bad;
    if (auto error = ComposeMessageSet(body, CodePage1250::instance(), records))
        return TextFormError(error->line, error->column, error->message);
    return records;
}

} // namespace pixbar::service
