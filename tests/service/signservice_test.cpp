#include "servicetesting.h"
#include "signservice.h"

#include "codepage1250.h"
#include "messagetext.h"
#include "settings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace pixbar::service {
namespace {

using namespace std::chrono_literals;
using testing::FakeLine;
using testing::FakeSign;
using testing::Sent;
using testing::WaitFor;

constexpr std::uint16_t kShopAddress = 0x1234;

using testing::Json;
using testing::Request;

/// A service of two signs: "shop" answers, "back" never opens its port.
class Service : public ::testing::Test {
protected:
    Service() {
        ServiceConfig config;
        SignEntry shop;
        shop.name = "shop";
        shop.port = m_shop.port;
        shop.address = kShopAddress;
        shop.width = 12;
        SignEntry back = shop;
        back.name = "back";
        back.address = 2;
        back.port = m_back.port;
        config.signs = {shop, back};
        m_back.openable = false;
        m_glyphs.LoadBuiltInFonts(PIXBAR_DATA_DIR);
        m_glyphs.setStartDirectory(PIXBAR_DATA_DIR);
        m_service = std::make_unique<SignService>(config, m_line.factory(), m_glyphs, m_clock, 1h);
        EXPECT_TRUE(WaitFor([&] {
            const SignStatus s = m_service->worker("shop")->status();
            return s.online && !s.busy && m_back.opens > 0;
        }));
    }

    ApiResponse handle(const ApiRequest& r) { return m_service->handle(r); }
    /// Frames sent to the shop after its version was asked.
    std::vector<Sent> shopFrames() const {
        auto frames = m_shop.frames();
        frames.erase(frames.begin());
        return frames;
    }

    FakeSign m_shop{"tcp:127.0.0.1:9", kShopAddress};
    FakeSign m_back{"tcp:127.0.0.1:10", 2};
    FakeLine m_line{{&m_shop, &m_back}};
    GlyphSets m_glyphs;
    FixedClock m_clock;
    std::unique_ptr<SignService> m_service;
};

TEST_F(Service, TheSignsAreListedWithTheirState) {
    const ApiResponse r = handle(Request("GET", "/api/v1/signs"));
    ASSERT_EQ(r.status, 200);
    const QJsonArray signs = QJsonDocument::fromJson(QByteArray::fromStdString(r.body)).array();
    ASSERT_EQ(signs.size(), 2);
    const QJsonObject shop = signs[0].toObject();
    EXPECT_EQ(shop["name"].toString(), "shop");
    EXPECT_EQ(shop["address"].toInt(), kShopAddress);
    EXPECT_EQ(shop["width"].toInt(), 12);
    EXPECT_TRUE(shop["online"].toBool());
    EXPECT_EQ(shop["firmware"].toString(), testing::kFirmware);
    EXPECT_EQ(shop["config"].toObject()["brightness"].toInt(), 90);
    EXPECT_EQ(signs[1].toObject()["name"].toString(), "back");
    EXPECT_FALSE(signs[1].toObject()["online"].toBool());
    EXPECT_TRUE(signs[1].toObject()["firmware"].isNull());
    EXPECT_EQ(Json(handle(Request("GET", "/api/v1/signs/back")))["name"].toString(), "back");
}

TEST_F(Service, RoutesMethodsAndUnknownNames) {
    struct Case {
        const char* method;
        const char* path;
        int status;
    };
    const std::vector<Case> cases = {
        {"GET", "/api/v1/signs/nowhere", 404},
        {"PUT", "/api/v1/signs/nowhere/messages/1", 404},
        {"GET", "/api/v1/nothing", 404},
        {"GET", "/api/v2/signs", 404},
        {"GET", "/api/v1/", 404},
        {"GET", "/", 404},
        {"GET", "/api/v1/things/shop", 404},
        {"GET", "/api/v1/signs/shop/nothing", 404},
        {"PUT", "/api/v1/signs/shop/messages/0", 404},
        {"PUT", "/api/v1/signs/shop/messages/9", 404},
        {"PUT", "/api/v1/signs/shop/messages/x", 404},
        {"PUT", "/api/v1/signs/shop/messages/1/2", 404},
        {"POST", "/api/v1/signs/shop/show/1", 404},
        {"DELETE", "/api/v1/signs", 405},
        {"POST", "/api/v1/signs/shop", 405},
        {"GET", "/api/v1/signs/shop/messages/1", 405},
        {"POST", "/api/v1/signs/shop/messages", 405},
        {"GET", "/api/v1/signs/shop/show", 405},
        {"POST", "/api/v1/signs/shop/config", 405},
        {"GET", "/api/v1/signs/shop/clock", 405},
        {"GET", "/api/v1/signs/shop/userfont", 405},
        {"DELETE", "/api/v1/signs/shop/symbols", 405},
        {"PATCH", "/api/v1/signs/shop/live", 405},
        {"GET", "/api/v1/compose", 405},
        {"GET", "/api/v1/decode", 405},
        {"PUT", "/api/v1/preview.gif", 405},
        {"POST", "/api/v1/openapi.json", 405},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.path);
        const ApiResponse r = handle(Request(c.method, c.path));
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.contentType, "application/json");
        EXPECT_FALSE(Json(r)["error"].toString().isEmpty());
    }
    EXPECT_TRUE(shopFrames().empty());
    const ApiResponse openapi = handle(Request("GET", "/api/v1/openapi.json"));
    EXPECT_EQ(openapi.status, 200);
}

TEST_F(Service, BadBodiesNeverReachTheSign) {
    struct Case {
        const char* method;
        const char* what;
        std::string body;
        std::string type;
        int status;
    };
    const std::vector<Case> cases = {
        {"POST", "show", R"({"slot":10})", "application/json", 400},
        {"POST", "show", "slot=1", "", 400},
        {"PUT", "config", R"({"brightness":0})", "", 400},
        {"PUT", "config", R"({"speed":5,"x":1})", "", 400},
        {"PUT", "messages/1", "Malinowe{efect 3}", "text/plain", 400},
        {"PUT", "messages/1", "\xFF", "text/plain", 400},
        {"PUT", "messages/1", std::string(1023, 'A'), "application/octet-stream", 400},
        {"PUT", "messages/1", "Witaj", "application/json", 415},
        {"PUT", "messages", std::string(8191, 'A'), "application/octet-stream", 400},
        {"PUT", "messages", "[message 1]\n{font 99}\n", "", 400},
        {"PUT", "live", "{efect}", "", 400},
        {"PUT", "live", std::string(1024, 'A'), "application/octet-stream", 415},
        {"PUT", "live", R"({"text":"Witaj"})", "application/json", 415},
        {"PUT", "userfont", std::string(2048, '\0'), "application/octet-stream", 400},
        {"PUT", "userfont", "", "application/octet-stream", 400},
        {"PUT", "symbols", std::string("\x0D\0\0\0", 4) + std::string(4096, '\0'), "", 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.what + " " + c.body.substr(0, 30));
        const ApiResponse r =
            handle(Request(c.method, std::string("/api/v1/signs/shop/") + c.what, c.body, c.type));
        EXPECT_EQ(r.status, c.status);
        const QJsonObject o = Json(r);
        EXPECT_FALSE(o["error"].toString().isEmpty());
        EXPECT_FALSE(o.contains("result")); // no job was run
    }
    EXPECT_TRUE(shopFrames().empty());
    EXPECT_EQ(m_service->worker("shop")->status().lastResult, std::nullopt);
    const QJsonObject text = Json(handle(
        Request("PUT", "/api/v1/signs/shop/messages/2", "Oferta\n{font 2}Malinowe{efect 3}", "")));
    EXPECT_EQ(text["error"].toString(), "2:17: unknown item {efect 3}");
    EXPECT_EQ(text["line"].toInt(), 2);
    EXPECT_EQ(text["column"].toInt(), 17);
}

TEST_F(Service, WritesReachTheSignAsItsCommands) {
    MessageRecord record;
    ASSERT_FALSE(ComposeMessage("{effect 3}Witaj", CodePage1250::instance(), record));
    struct Case {
        ApiRequest request;
        std::vector<std::uint8_t> commands;
    };
    std::vector<std::uint8_t> eightBlocks(kMessageBlocks, kCommandMessageBlock);
    std::vector<std::uint8_t> setBlocks(kMessageBlocks * kMessageCount, kCommandMessageBlock);
    std::string font(2048, '\0');
    font[0] = 12;
    const std::vector<Case> cases = {
        {Request("PUT", "/api/v1/signs/shop/messages/3", "{effect 3}Witaj", "text/plain"), eightBlocks},
        {Request("PUT", "/api/v1/signs/shop/messages/8",
                 std::string(record.bytes.begin(), record.bytes.end()) + "tail",
                 "application/octet-stream"),
         eightBlocks},
        {Request("PUT", "/api/v1/signs/shop/messages", "[message 2]\nA\n", ""), setBlocks},
        {Request("POST", "/api/v1/signs/shop/show", R"({"slot":9})"), {kCommandShowSlot9}},
        {Request("POST", "/api/v1/signs/shop/show", R"({"slot":2})"), {kCommandShowSlot1 + 1}},
        {Request("PUT", "/api/v1/signs/shop/live", "{effect 3}Witaj"), {kCommandStoreSlot9}},
        {Request("DELETE", "/api/v1/signs/shop/live"), {kCommandStoreSlot9}},
        {Request("POST", "/api/v1/signs/shop/clock"), {kCommandSetClock}},
        {Request("PUT", "/api/v1/signs/shop/userfont", font), std::vector<std::uint8_t>(16, kCommandUserFontBlock)},
    };
    std::size_t seen = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request.method + " " + c.request.path);
        const ApiResponse r = handle(c.request);
        EXPECT_EQ(r.status, 200) << r.body;
        EXPECT_EQ(Json(r)["result"].toString(), "Ok");
        const auto frames = shopFrames();
        std::vector<std::uint8_t> commands;
        std::vector<std::uint8_t> data;
        for (std::size_t i = seen; i < frames.size(); ++i) {
            EXPECT_EQ(frames[i].destination, kShopAddress);
            commands.push_back(frames[i].command);
            if (frames[i].command == kCommandMessageBlock) {
                // Each block names its message: the one of the path, or its place in the set.
                const char last = c.request.path.back();
                EXPECT_EQ(frames[i].payload[0],
                          std::isdigit(last) ? last - '1' : int(i - seen) / kMessageBlocks);
                data.insert(data.end(), frames[i].payload.begin() + kBlockHeaderSize,
                            frames[i].payload.end());
            } else if (frames[i].command == kCommandStoreSlot9) {
                data = frames[i].payload;
            }
        }
        seen = frames.size();
        EXPECT_EQ(commands, c.commands);
        if (commands == eightBlocks || commands[0] == kCommandStoreSlot9) {
            EXPECT_EQ(data, c.request.method == "DELETE"
                                ? std::vector<std::uint8_t>(kRecordSize, 0)
                                : std::vector<std::uint8_t>(record.bytes.begin(), record.bytes.end()));
        }
    }
}

TEST_F(Service, ConfigChangesOnlyWhenTheSignAcknowledges) {
    const auto config = [&] { return Json(handle(Request("GET", "/api/v1/signs/shop/config"))); };
    EXPECT_EQ(config(), (QJsonObject{{"brightness", 90}, {"speed", 2}, {"displayTime", 12}}));

    ApiResponse r = handle(Request("PUT", "/api/v1/signs/shop/config", R"({"brightness":40})"));
    EXPECT_EQ(r.status, 200) << r.body;
    EXPECT_EQ(config(), (QJsonObject{{"brightness", 40}, {"speed", 2}, {"displayTime", 12}}));
    const auto frames = shopFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].command, kCommandConfiguration);
    const SignConfig sent = BuildSignConfig(40, 2, 12);
    EXPECT_EQ(frames[0].payload, std::vector<std::uint8_t>(sent.begin(), sent.end()));

    const std::pair<FakeSign::Mode, int> refusals[] = {{FakeSign::Mode::Reject, 502},
                                                       {FakeSign::Mode::Silent, 504}};
    for (const auto& [mode, status] : refusals) {
        m_shop.mode = mode;
        r = handle(Request("PUT", "/api/v1/signs/shop/config", R"({"speed":7,"displayTime":134})"));
        EXPECT_EQ(r.status, status);
        EXPECT_EQ(Json(r)["result"].toString(), status == 502 ? "Rejected" : "NoReply");
        EXPECT_EQ(config(), (QJsonObject{{"brightness", 40}, {"speed", 2}, {"displayTime", 12}}));
    }
    m_shop.mode = FakeSign::Mode::Answer;
    r = handle(Request("PUT", "/api/v1/signs/shop/config", R"({"speed":7,"displayTime":134})"));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(config(), (QJsonObject{{"brightness", 40}, {"speed", 7}, {"displayTime", 134}}));
}

TEST_F(Service, AnOfflineSignAnswersConflictAndAStoppedServiceUnavailable) {
    const ApiResponse r = handle(Request("POST", "/api/v1/signs/back/show", R"({"slot":1})"));
    EXPECT_EQ(r.status, 409);
    EXPECT_EQ(Json(r)["result"].toString(), "Offline");
    EXPECT_EQ(m_back.bytesSeen(), 0u);
    m_service->stop();
    const ApiResponse stopped = handle(Request("POST", "/api/v1/signs/shop/clock"));
    EXPECT_EQ(stopped.status, 503);
    EXPECT_EQ(Json(stopped)["result"].toString(), "Stopped");
}

TEST_F(Service, ComposeAndDecodeGoRoundTrip) {
    const std::vector<std::string> texts = {
        "{effect 1}{inverse}{font 2}AB{time}\n",
        "Zażółć gęślą jaźń{pause}",
        "[message 2]\n{kind upper}\nZażółć{pause}\n\n[message 8]\n{gfx 1}\n",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        ComposedText expected;
        ASSERT_FALSE(ComposeMessageText(text, CodePage1250::instance(), expected));
        const QJsonObject summary = Json(handle(Request("POST", "/api/v1/compose", text)));
        EXPECT_EQ(summary["kind"].toString(), expected.isSet ? "set" : "message");
        EXPECT_TRUE(summary["error"].isNull());
        if (expected.isSet) {
            ASSERT_EQ(summary["cells"].toArray().size(), kMessageCount);
            for (int i = 0; i < kMessageCount; ++i)
                EXPECT_EQ(summary["cells"].toArray()[i].toInt(), expected.records[std::size_t(i)].end());
        } else {
            EXPECT_EQ(summary["cells"].toInt(), expected.records[0].end());
        }

        ApiRequest binary = Request("POST", "/api/v1/compose", text);
        binary.accept = "application/octet-stream";
        const ApiResponse bytes = handle(binary);
        ASSERT_EQ(bytes.status, 200);
        EXPECT_EQ(bytes.contentType, "application/octet-stream");
        ASSERT_EQ(bytes.body.size(), expected.isSet ? kMessageSetFileSize : kRecordSize);
        const ApiResponse decoded =
            handle(Request("POST", "/api/v1/decode", bytes.body, "application/octet-stream"));
        ASSERT_EQ(decoded.status, 200);
        EXPECT_EQ(decoded.contentType.rfind("text/plain", 0), 0u);
        EXPECT_EQ(handle(binary).body, bytes.body);
        binary.body = decoded.body;
        EXPECT_EQ(handle(binary).body, bytes.body);
    }
    const ApiResponse bad = handle(Request("POST", "/api/v1/compose", "A\n{font 2}{efect 3}"));
    EXPECT_EQ(bad.status, 400);
    EXPECT_EQ(Json(bad)["line"].toInt(), 2);
    EXPECT_EQ(Json(bad)["column"].toInt(), 9);
    for (std::size_t size : {std::size_t(0), kRecordSize - 1, kRecordSize + 1, kMessageSetFileSize + 1})
        EXPECT_EQ(handle(Request("POST", "/api/v1/decode", std::string(size, 'A'))).status, 400) << size;
}

TEST_F(Service, PreviewsArePicturesOfTheText) {
    ApiRequest get = Request("GET", "/api/v1/preview.gif");
    get.query = {{"text", "{effect 3}Witaj"}, {"sign", "shop"}};
    const ApiResponse gif = handle(get);
    ASSERT_EQ(gif.status, 200) << gif.body;
    EXPECT_EQ(gif.contentType, "image/gif");
    EXPECT_EQ(gif.body.substr(0, 6), "GIF89a");

    ApiRequest post = Request("POST", "/api/v1/preview.png", "[message 1]\nA\n[message 2]\nB\n");
    post.query = {{"message", "2"}, {"width", "4"}, {"height", "16"}, {"ticks", "10"},
                  {"every", "5"}, {"count", "3"}};
    const ApiResponse png = handle(post);
    ASSERT_EQ(png.status, 200) << png.body;
    EXPECT_EQ(png.body.substr(0, 8), "\x89PNG\r\n\x1A\n");

    const std::vector<std::map<std::string, std::string>> bad = {
        {{"width", "25"}}, {{"height", "12"}}, {{"count", "101"}}, {{"ticks", "-1"}},
        {{"message", "2"}}, {{"text", "{efect}"}}, {{"text", "\xC3"}}, {{"speed", "x"}},
    };
    for (const auto& query : bad) {
        SCOPED_TRACE(::testing::PrintToString(query));
        ApiRequest r = Request("GET", "/api/v1/preview.gif");
        r.query = query;
        const ApiResponse response = handle(r);
        EXPECT_EQ(response.status, 400);
        EXPECT_FALSE(Json(response)["error"].toString().isEmpty());
    }
    get.query = {{"sign", "nowhere"}};
    EXPECT_EQ(handle(get).status, 404);
}

} // namespace
} // namespace pixbar::service
