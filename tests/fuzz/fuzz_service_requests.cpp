// Requests of any content to the service: the input gives the method, content type, path,
// query and body, which go to the request parsers and to SignService::handle with one sign
// whose port never opens (so no write waits on a line). Nothing may crash, what the parsers
// accept must be in range, and every refusal must be a JSON object with an "error".
#include "fuzzsupport.h"

#include "apirequests.h"
#include "signservice.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <set>

using namespace pixbar;
using namespace pixbar::service;

namespace {

const char* const kMethods[] = {"GET", "POST", "PUT", "DELETE", "HEAD", "PATCH"};
const char* const kTypes[] = {"",
                              "text/plain",
                              "application/octet-stream",
                              "application/json",
                              "text/plain; charset=utf-8",
                              "application/octet-stream;x=1"};
const char* const kPrefixes[] = {"/api/v1/signs/shop/", "/api/v1/", "/api/v1/signs/",
                                 "/api/v1/signs/shop/messages/", "/", ""};
const char* const kQueryKeys[] = {"text",    "width",   "height", "sign",  "speed",
                                  "display", "message", "ticks",  "every", "count"};

SignService& Service() {
    static const FixedClock clock;
    static const GlyphSets glyphs = [] {
        GlyphSets g;
        g.LoadBuiltInFonts(PIXBAR_DATA_DIR);
        g.setStartDirectory(PIXBAR_DATA_DIR);
        return g;
    }();
    static const ServiceConfig config = [] {
        ServiceConfig c;
        SignEntry shop;
        shop.name = "shop";
        shop.port = "COM1";
        shop.width = 12;
        c.signs.push_back(shop);
        return c;
    }();
    static SignService service(
        config, [] { return std::unique_ptr<ComProtocol>(); }, glyphs, clock,
        std::chrono::hours(1));
    return service;
}

std::string Text(fuzz::Reader& in) {
    const auto bytes = in.bytes(in.u8());
    return {bytes.begin(), bytes.end()};
}

template <std::size_t N> const char* Pick(const char* const (&table)[N], std::uint8_t b) {
    return table[b % N];
}

void CheckParsers(const ApiRequest& r) {
    const auto show = ParseShowBody(r.body);
    if (const int* slot = std::get_if<int>(&show))
        fuzz::Check(*slot >= 1 && *slot <= 9, "a slot out of range was accepted");
    const auto config = ParseConfigBody(r.body);
    if (const auto* c = std::get_if<ConfigChange>(&config)) {
        fuzz::Check(c->brightness || c->speed || c->displayTime, "an empty change was accepted");
        fuzz::Check(c->brightness.value_or(1) >= 1 && c->brightness.value_or(1) <= 100 &&
                        c->speed.value_or(1) >= 1 && c->speed.value_or(1) <= 20 &&
                        c->displayTime.value_or(0) >= 0 && c->displayTime.value_or(0) <= 134,
                    "a configuration out of range was accepted");
    }
    const auto message = ParseMessageBody(r.contentType, r.body);
    if (const auto* bad = std::get_if<BadRequest>(&message))
        fuzz::Check((bad->status == 400 || bad->status == 415) && !bad->error.empty(),
                    "a message was refused without a reason");
    const auto set = ParseMessageSetBody(r.contentType, r.body);
    if (const auto* bad = std::get_if<BadRequest>(&set))
        fuzz::Check((bad->status == 400 || bad->status == 415) && !bad->error.empty(),
                    "a set was refused without a reason");

    // Qt's decoder replaces what is not UTF-8, so only good text comes back the same; the
    // letter in front keeps it from dropping a byte order mark at the start.
    const QByteArray bytes = "x" + QByteArray::fromStdString(r.body);
    fuzz::Check(IsUtf8(r.body) == (QString::fromUtf8(bytes).toUtf8() == bytes),
                "IsUtf8 disagrees with Qt's decoder");

    const std::vector<std::string> parts = SplitApiPath(r.path);
    if (r.path.starts_with("/api/v1/") && r.path.size() > 8) {
        std::string joined;
        for (std::size_t i = 0; i < parts.size(); ++i) joined += (i ? "/" : "") + parts[i];
        fuzz::Check(joined == r.path.substr(8), "the path's parts do not make the path");
    } else {
        fuzz::Check(parts.empty(), "a path outside the API has parts");
    }
    for (const auto& [key, value] : r.query) {
        const auto n = ParseBoundedInt(value, -5, 100);
        fuzz::Check(!n || (*n >= -5 && *n <= 100 && !value.empty() &&
                           value.find_first_not_of("-0123456789") == std::string::npos),
                    "a number out of range or of other characters was accepted");
    }
}

void CheckResponse(const ApiResponse& response) {
    static const std::set<int> kStatuses = {200, 400, 404, 405, 409, 415, 500, 502, 503, 504};
    fuzz::Check(kStatuses.count(response.status) == 1, "an unexpected status");
    const bool json = response.contentType == "application/json";
    if (response.status >= 400) fuzz::Check(json, "an error that is not JSON");
    if (!json) return;
    QJsonParseError error{};
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray::fromStdString(response.body), &error);
    fuzz::Check(error.error == QJsonParseError::NoError, "a JSON answer that does not parse");
    if (response.status >= 400)
        fuzz::Check(doc.isObject() && doc.object().value("error").isString() &&
                        !doc.object().value("error").toString().isEmpty(),
                    "an error answer without \"error\"");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Reader in(data, size);
    ApiRequest request;
    request.method = Pick(kMethods, in.u8());
    request.contentType = Pick(kTypes, in.u8());
    request.accept = in.u8() % 2 ? "application/octet-stream" : "";
    request.path = Pick(kPrefixes, in.u8());
    request.path += Text(in);
    for (int n = in.u8() % 4; n > 0; --n) {
        const char* key = Pick(kQueryKeys, in.u8());
        request.query[key] = Text(in);
    }
    const auto rest = in.rest();
    request.body.assign(rest.begin(), rest.end());

    CheckParsers(request);
    CheckResponse(Service().handle(request));
    return 0;
}
