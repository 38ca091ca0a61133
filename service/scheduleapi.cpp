// The schedule's part of the API: GET and PUT of /api/v1/signs/{name}/schedule.
#include "messagefiles.h"
#include "schedulejobs.h"
#include "signschedules.h"
#include "signservice.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace pixbar::service {

namespace {

std::string toJson(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace

std::string SignSchedules::body(const Sign& sign) const {
    const QDateTime now = m_time.now();
    QJsonArray entries;
    for (const ScheduleEntry& e : sign.schedule.entries) {
        const auto next = NextDue(e, now, m_time.zone);
        entries.append(QJsonObject{
            {"line", e.line},
            {"days", QString::fromStdString(e.daysText)},
            {"time", QString::fromStdString(e.timeText())},
            {"action", QString::fromStdString(e.actionText)},
            {"next", next ? QJsonValue(next->toTimeZone(m_time.zone).toString(Qt::ISODate))
                          : QJsonValue(QJsonValue::Null)}});
    }
    return toJson({{"text", QString::fromStdString(sign.text)},
                   {"entries", entries},
                   {"editable", !sign.file.empty()}});
}

ApiResponse SignSchedules::get(const std::string& name) {
    std::lock_guard lock(m_mutex);
    const auto it = m_signs.find(name);
    if (it == m_signs.end()) return ErrorResponse(404, "nie ma linijki " + name);
    const std::string before = it->second->text;
    refresh(*it->second);
    if (it->second->text != before) {
        m_poked = true;
        m_wake.notify_all();
    }
    return {200, "application/json", body(*it->second)};
}

ApiResponse SignSchedules::put(const std::string& name, const ApiRequest& request) {
    std::lock_guard lock(m_mutex);
    const auto it = m_signs.find(name);
    if (it == m_signs.end()) return ErrorResponse(404, "nie ma linijki " + name);
    Sign& sign = *it->second;
    if (sign.file.empty())
        return ErrorResponse(409,
                             "linijka " + name + " nie ma pliku harmonogramu (klucz schedule)");
    const std::string_view type = MediaType(request.contentType);
    if (!type.empty() && type != "text/plain")
        return ErrorResponse(415, "harmonogram to text/plain; charset=utf-8");
    if (request.body.size() > kMaxScheduleSize)
        return ErrorResponse(413, "harmonogram ma najwyżej 64 KiB");
    if (!IsUtf8(request.body)) return ErrorResponse(400, "tekst nie jest w UTF-8");
    const Schedule parsed = ParseSchedule(request.body);
    if (!parsed.ok()) {
        const TextError& first = parsed.errors.front();
        return BadRequestResponse(TextFormError(first.line, first.column, first.message));
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(request.body.data());
    if (ReplaceFile(sign.file, {bytes, request.body.size()}) != MessageFileError::None)
        return ErrorResponse(500, "nie można zapisać pliku harmonogramu " +
                                      sign.file.filename().string());
    load(sign, request.body);
    m_poked = true;
    m_wake.notify_all();
    return {200, "application/json", body(sign)};
}

std::vector<std::string> CheckSchedules(const std::vector<SignEntry>& signs) {
    std::vector<std::string> problems;
    for (const SignEntry& sign : signs) {
        if (sign.schedule.empty()) continue;
        const std::string file = sign.schedule.string();
        std::string readError;
        const auto text = ReadScheduleText(sign.schedule, readError);
        if (!text) {
            problems.push_back(readError.empty() ? file + ": nie ma pliku harmonogramu" : readError);
            continue;
        }
        for (const TextError& e : ParseSchedule(*text).errors)
            problems.push_back(file + ":" + e.where());
    }
    return problems;
}

} // namespace pixbar::service
