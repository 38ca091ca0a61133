#include "signservice.h"

#include "codepage1250.h"
#include "messagetext.h"
#include "openapi.h"
#include "palettejson.h"
#include "preview.h"
#include "settings.h"
#include "signjobs.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace pixbar::service {

namespace {

constexpr int kMaxPreviewPictures = 100;
constexpr long long kMaxPreviewTicks = 100'000;

std::string toJson(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

ApiResponse okResponse(const QJsonObject& object) {
    return {200, "application/json", toJson(object)};
}


int statusOf(JobResult result) {
    switch (result) {
    case JobResult::Ok:
        return 200;
    case JobResult::NoReply:
        return 504;
    case JobResult::Rejected:
        return 502;
    case JobResult::Offline:
        return 409;
    case JobResult::BadInput:
        return 400;
    case JobResult::Replaced:
        return 409;
    case JobResult::Stopped:
        return 503;
    }
    return 500;
}

QJsonObject settingsJson(const SignSettings& s) {
    return {{"brightness", s.brightness}, {"speed", s.speed}, {"displayTime", s.displayTime}};
}

ApiResponse methodNotAllowed() {
    return ErrorResponse(405, "ta ścieżka nie przyjmuje tej metody");
}

} // namespace

ApiResponse ErrorResponse(int status, const std::string& text) {
    return {status, "application/json", toJson(QJsonObject{{"error", q(text)}})};
}

ApiResponse BadRequestResponse(const BadRequest& bad) {
    QJsonObject o{{"error", q(bad.error)}};
    if (bad.line > 0) {
        o["line"] = bad.line;
        o["column"] = bad.column;
    }
    return {bad.status, "application/json", toJson(o)};
}

SignService::SignService(const ServiceConfig& config, const ProtocolFactory& factory,
                         GlyphSets glyphs, const Clock& clock, std::chrono::milliseconds retry,
                         ScheduleTime scheduleTime)
    : m_schedules(std::make_unique<SignSchedules>(std::move(scheduleTime))),
      m_glyphs(std::move(glyphs)), m_fontTable(m_glyphs), m_clock(clock) {
    m_fontTable.InitFonts();
    for (const SignEntry& entry : config.signs) {
        auto sign = std::make_unique<Sign>();
        sign->worker = std::make_unique<SignWorker>(entry, factory, retry);
        m_schedules->add(*sign->worker, entry.schedule);
        m_order.push_back(entry.name);
        m_signs.emplace(entry.name, std::move(sign));
    }
}

SignService::~SignService() {
    stop();
}

void SignService::stop() {
    m_schedules->stop();
    for (auto& [name, sign] : m_signs) sign->worker->stop();
}

std::vector<std::string> SignService::signNames() const {
    return m_order;
}

SignWorker* SignService::worker(const std::string& name) {
    const auto it = m_signs.find(name);
    return it == m_signs.end() ? nullptr : it->second->worker.get();
}

std::string SignService::statusJson(const Sign& sign) const {
    const SignEntry& e = sign.worker->entry();
    const SignStatus s = sign.worker->status();
    QJsonObject o{{"name", q(e.name)},
                  {"port", q(e.port)},
                  {"address", int(e.address)},
                  {"width", e.width},
                  {"height", e.height},
                  {"online", s.online},
                  {"queue", s.queue},
                  {"busy", s.busy},
                  {"lastResult", s.lastResult ? QJsonValue(JobResultName(*s.lastResult))
                                              : QJsonValue(QJsonValue::Null)},
                  {"lastError", s.lastError.empty() ? QJsonValue(QJsonValue::Null)
                                                    : QJsonValue(q(s.lastError))},
                  {"firmware", s.firmware.empty() ? QJsonValue(QJsonValue::Null)
                                                  : QJsonValue(q(s.firmware))},
                  {"config", settingsJson(s.settings)},
                  {"shown", s.shown ? QJsonValue(*s.shown) : QJsonValue(QJsonValue::Null)},
                  {"live", s.live ? QJsonValue(q(*s.live)) : QJsonValue(QJsonValue::Null)},
                  {"relayClient", s.relayClient ? QJsonValue(q(*s.relayClient))
                                                : QJsonValue(QJsonValue::Null)}};
    return toJson(o);
}

ApiResponse SignService::handle(const ApiRequest& request) {
    const std::vector<std::string> parts = SplitApiPath(request.path);
    if (parts.empty()) return ErrorResponse(404, "nie ma takiej ścieżki");
    const std::string& head = parts[0];
    const bool get = request.method == "GET" || request.method == "HEAD";
    const bool post = request.method == "POST";
    if (parts.size() == 1) {
        if (head == "signs") {
            if (!get) return methodNotAllowed();
            std::string body = "[";
            for (const std::string& name : m_order) {
                if (body.size() > 1) body += ',';
                body += statusJson(*m_signs.at(name));
            }
            return {200, "application/json", body + "]"};
        }
        if (head == "openapi.json") {
            if (!get) return methodNotAllowed();
            return {200, "application/json", std::string(kOpenApiDocument)};
        }
        if (head == "palette") return get ? palette(request) : methodNotAllowed();
        if (head == "compose") return post ? compose(request) : methodNotAllowed();
        if (head == "decode") return post ? decode(request) : methodNotAllowed();
        if (head == "preview.gif" || head == "preview.png")
            return get || post ? preview(request, head == "preview.gif") : methodNotAllowed();
        return ErrorResponse(404, "nie ma takiej ścieżki");
    }
    if (head == "symbols" && parts.size() == 2) {
        if (!get) return methodNotAllowed();
        return symbolPicture(parts[1]);
    }
    if (head != "signs") return ErrorResponse(404, "nie ma takiej ścieżki");
    const auto it = m_signs.find(parts[1]);
    if (it == m_signs.end()) return ErrorResponse(404, "nie ma linijki " + parts[1]);
    return signRequest(*it->second, parts, request);
}

ApiResponse SignService::runJob(Sign& sign, Job job) {
    const JobOutcome outcome = sign.worker->submit(std::move(job)).get();
    if (outcome.result == JobResult::Ok) return okResponse({{"result", "Ok"}});
    return {statusOf(outcome.result), "application/json",
            toJson({{"error", q(outcome.error)}, {"result", JobResultName(outcome.result)}})};
}

ApiResponse SignService::signRequest(Sign& sign, const std::vector<std::string>& parts,
                                     const ApiRequest& request) {
    const std::string& m = request.method;
    if (parts.size() == 2) {
        if (m != "GET" && m != "HEAD") return methodNotAllowed();
        return {200, "application/json", statusJson(sign)};
    }
    const std::string& what = parts[2];
    if (what == "messages" && parts.size() == 4) {
        if (m != "PUT") return methodNotAllowed();
        const auto number = ParseBoundedInt(parts[3], 1, kMessageCount);
        if (!number) return ErrorResponse(404, "komunikaty mają numery od 1 do 8");
        auto parsed = ParseMessageBody(request.contentType, request.body);
        if (auto* bad = std::get_if<BadRequest>(&parsed)) return BadRequestResponse(*bad);
        return runJob(sign, MessageJob(*number, std::get<MessageRecord>(parsed)));
    }
    if (parts.size() != 3) return ErrorResponse(404, "nie ma takiej ścieżki");
    if (what == "messages") {
        if (m != "PUT") return methodNotAllowed();
        auto parsed = ParseMessageSetBody(request.contentType, request.body);
        if (auto* bad = std::get_if<BadRequest>(&parsed)) return BadRequestResponse(*bad);
        return runJob(sign, MessageSetJob(std::get<MessageSetRecords>(parsed)));
    }
    if (what == "show") {
        if (m != "POST") return methodNotAllowed();
        auto parsed = ParseShowBody(request.body);
        if (auto* bad = std::get_if<BadRequest>(&parsed)) return BadRequestResponse(*bad);
        return runJob(sign, ShowJob(std::get<int>(parsed)));
    }
    if (what == "live") {
        // DELETE stores the empty record, as leaving the file sync mode does.
        if (m == "DELETE") return runJob(sign, LiveJob(MessageRecord{}, std::nullopt));
        if (m != "PUT") return methodNotAllowed();
        if (IsBinaryBody(request.contentType))
            return ErrorResponse(415, "tekst na żywo to text/plain");
        // Any other type but text is refused as it is for a message.
        auto parsed = ParseMessageBody(request.contentType, request.body);
        if (auto* bad = std::get_if<BadRequest>(&parsed)) return BadRequestResponse(*bad);
        return runJob(sign, LiveJob(std::get<MessageRecord>(parsed), request.body));
    }
    if (what == "config") {
        if (m == "GET" || m == "HEAD") return okResponse(settingsJson(sign.worker->status().settings));
        if (m != "PUT") return methodNotAllowed();
        auto parsed = ParseConfigBody(request.body);
        if (auto* bad = std::get_if<BadRequest>(&parsed)) return BadRequestResponse(*bad);
        return runJob(sign, ConfigJob(std::get<ConfigChange>(parsed)));
    }
    if (what == "schedule") {
        if (m == "GET" || m == "HEAD") return m_schedules->get(sign.worker->entry().name);
        if (m != "PUT") return methodNotAllowed();
        return m_schedules->put(sign.worker->entry().name, request);
    }
    if (what == "clock") {
        if (m != "POST") return methodNotAllowed();
        return runJob(sign, ClockJob());
    }
    if (what == "userfont" || what == "symbols") {
        if (m != "PUT") return methodNotAllowed();
        const bool font = what == "userfont";
        const std::string_view body(request.body.data(),
                                    std::min(request.body.size(), kHeadedImageSize));
        std::vector<std::uint8_t> image(body.begin(), body.end());
        // Checked as the designer checks a file it loads: the header 12, 0, 0, 0.
        GlyphSets check;
        if (!(font ? check.SetUserFontImage(image) : check.SetSymbolTableImage(image)))
            return ErrorResponse(400, font ? "czcionka użytkownika ma zły nagłówek (12 0 0 0)"
                                           : "tablica symboli ma zły nagłówek (12 0 0 0)");
        ApiResponse response = runJob(sign, font ? UserFontJob(image) : SymbolTableJob(image));
        if (response.status == 200) {
            std::lock_guard lock(sign.mutex);
            (font ? sign.userFont : sign.symbols) = std::move(image);
        }
        return response;
    }
    return ErrorResponse(404, "nie ma takiej ścieżki");
}

ApiResponse SignService::compose(const ApiRequest& request) {
    if (!IsUtf8(request.body)) return ErrorResponse(400, "tekst nie jest w UTF-8");
    ComposedText composed;
    if (auto error = ComposeMessageText(request.body, CodePage1250::instance(), composed))
        return BadRequestResponse(TextFormError(error->line, error->column, error->message));
    const std::size_t records = composed.isSet ? kMessageCount : 1;
    if (request.accept.find("application/octet-stream") != std::string::npos) {
        std::string bytes;
        for (std::size_t i = 0; i < records; ++i)
            bytes.append(composed.records[i].bytes.begin(), composed.records[i].bytes.end());
        return {200, "application/octet-stream", std::move(bytes)};
    }
    QJsonObject o{{"kind", composed.isSet ? "set" : "message"}, {"error", QJsonValue::Null}};
    if (composed.isSet) {
        QJsonArray cells;
        for (const MessageRecord& r : composed.records) cells.append(r.end());
        o["cells"] = cells;
    } else {
        o["cells"] = composed.records[0].end();
    }
    return okResponse(o);
}

ApiResponse SignService::palette(const ApiRequest& request) {
    std::vector<std::uint8_t> userFont;
    if (const auto it = request.query.find("sign"); it != request.query.end()) {
        const auto sign = m_signs.find(it->second);
        if (sign == m_signs.end()) return ErrorResponse(404, "nie ma linijki " + it->second);
        std::lock_guard lock(sign->second->mutex);
        userFont = sign->second->userFont;
    }
    return {200, "application/json", PaletteJson(m_fontTable, userFont)};
}

ApiResponse SignService::symbolPicture(const std::string& file) {
    constexpr std::string_view kPng = ".png";
    const std::string_view name(file);
    const auto code = name.ends_with(kPng)
                          ? ParseBoundedInt(name.substr(0, name.size() - kPng.size()), 1, 0xFF)
                          : std::nullopt;
    if (!code) return ErrorResponse(404, "symbole mają numery od 1 do 255");
    const auto png = SymbolPicture(m_fontTable, *code);
    if (!png) return ErrorResponse(404, "czcionka symboli nie ma symbolu " + std::to_string(*code));
    return {200, "image/png", std::string(png->begin(), png->end())};
}

ApiResponse SignService::decode(const ApiRequest& request) {
    const CharacterCodec& codec = CodePage1250::instance();
    const auto& body = request.body;
    std::string text;
    if (body.size() == kRecordSize) {
        MessageRecord record;
        std::copy(body.begin(), body.end(), record.bytes.begin());
        text = MessageToText(record, codec);
    } else if (body.size() == kMessageSetFileSize) {
        MessageSetRecords records{};
        for (std::size_t i = 0; i < records.size(); ++i)
            std::copy_n(body.begin() + std::ptrdiff_t(i * kRecordSize), kRecordSize,
                        records[i].bytes.begin());
        text = MessageSetToText(records, codec);
    } else {
        return ErrorResponse(400, "komunikat ma 1024 bajty, a zestaw komunikatów 8192");
    }
    return {200, "text/plain; charset=utf-8", std::move(text)};
}

ApiResponse SignService::preview(const ApiRequest& request, bool gif) {
    PreviewRequest p;
    p.settings.speed = 2;
    p.settings.DisplayTimePosition = 2;
    const auto param = [&](const char* name) -> const std::string* {
        const auto it = request.query.find(name);
        return it == request.query.end() ? nullptr : &it->second;
    };
    const auto number = [&](const char* name, int min, int max, int& out) -> std::optional<ApiResponse> {
        if (const std::string* v = param(name)) {
            const auto n = ParseBoundedInt(*v, min, max);
            if (!n)
                return ErrorResponse(400, std::string(name) + " to liczba od " +
                                              std::to_string(min) + " do " + std::to_string(max));
            out = *n;
        }
        return std::nullopt;
    };
    if (const std::string* name = param("sign")) {
        const auto it = m_signs.find(*name);
        if (it == m_signs.end()) return ErrorResponse(404, "nie ma linijki " + *name);
        Sign& sign = *it->second;
        p.width = sign.worker->entry().width;
        p.height = sign.worker->entry().height;
        const SignSettings s = sign.worker->status().settings;
        p.settings.speed = s.speed;
        p.settings.DisplayTimePosition = s.displayTime;
        std::lock_guard lock(sign.mutex);
        p.userFont = sign.userFont;
        p.symbols = sign.symbols;
    }
    int message = 1, ticks = 0, every = 0, count = 1;
    for (const auto& check :
         {number("width", 1, 24, p.width), number("height", 8, 16, p.height),
          number("speed", PreviewSettings::kMinSpeed, PreviewSettings::kMaxSpeed, p.settings.speed),
          number("display", 0, PreviewSettings::kMaxDisplayTimePosition,
                 p.settings.DisplayTimePosition),
          number("message", 1, kPageCount, message), number("ticks", 0, int(kMaxPreviewTicks), ticks),
          number("every", 1, int(kMaxPreviewTicks), every),
          number("count", 1, kMaxPreviewPictures, count)})
        if (check) return *check;
    if (p.height != 8 && p.height != 16) return ErrorResponse(400, "height to 8 albo 16");
    p.ticks = {std::uint64_t(ticks), std::uint64_t(every), std::uint64_t(every ? count : 1)};

    std::string text;
    if (request.method == "POST") {
        text = request.body;
    } else if (const std::string* t = param("text")) {
        text = *t;
    }
    if (request.method == "POST" && IsBinaryBody(request.contentType)) {
        if (text.size() != kRecordSize && text.size() != kMessageSetFileSize)
            return ErrorResponse(400, "komunikat ma 1024 bajty, a zestaw komunikatów 8192");
        for (std::size_t i = 0; i * kRecordSize < text.size(); ++i)
            std::copy_n(text.begin() + std::ptrdiff_t(i * kRecordSize), kRecordSize,
                        p.pages[i].bytes.begin());
    } else {
        if (!IsUtf8(text)) return ErrorResponse(400, "tekst nie jest w UTF-8");
        ComposedText composed;
        if (auto error = ComposeMessageText(text, CodePage1250::instance(), composed))
            return BadRequestResponse(TextFormError(error->line, error->column, error->message));
        if (!composed.isSet && message != 1)
            return ErrorResponse(400, "message wybiera komunikat zestawu");
        p.pages = composed.records;
    }
    p.index = message - 1;

    std::string error;
    PreviewRenderer renderer(m_glyphs);
    const std::vector<std::uint8_t> bytes =
        gif ? renderer.gif(p, m_clock, error) : renderer.png(p, m_clock, error);
    if (bytes.empty()) return ErrorResponse(500, error);
    return {200, gif ? "image/gif" : "image/png", std::string(bytes.begin(), bytes.end())};
}

} // namespace pixbar::service
