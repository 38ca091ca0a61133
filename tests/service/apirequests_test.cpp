#include "apirequests.h"
#include "codepage1250.h"
#include "messagetext.h"

#include <QString>

#include <gtest/gtest.h>

#include <random>

namespace pixbar::service {
namespace {

// ---- JSON bodies --------------------------------------------------------------------

TEST(ShowBody, OnlyAWholeSlotFromOneToNine) {
    struct Case {
        std::string body;
        int slot; ///< 0: refused with 400
    };
    const std::vector<Case> cases = {
        {R"({"slot":1})", 1},
        {R"({ "slot" : 9 })", 9},
        {R"({"slot":2.0})", 2}, // JSON has one kind of number
        {R"({"slot":0})", 0},
        {R"({"slot":10})", 0},
        {R"({"slot":-1})", 0},
        {R"({"slot":3.5})", 0},
        {R"({"slot":1e2})", 0},
        {R"({"slot":1e400})", 0},
        {R"({"slot":4294967297})", 0},
        {R"({"slot":1e-400})", 0},
        {R"({"slot":NaN})", 0},
        {R"({"slot":Infinity})", 0},
        {R"({"slot":"3"})", 0},
        {R"({"slot":[3]})", 0},
        {R"({"slot":null})", 0},
        {R"({"slot":true})", 0},
        {R"({"Slot":3})", 0},
        {R"({})", 0},
        {R"([{"slot":3}])", 0},
        {R"(3)", 0},
        {R"("slot")", 0},
        {"", 0},
        {R"({"slot":3)", 0},
        {R"({"slot":3}})", 0},
        {"{\"slot\":3,\"note\":\"\xC3\x28\"}", 0},
        {"{\"slot\":3,\"note\":\"\xED\xA0\x80\"}", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        const auto parsed = ParseShowBody(c.body);
        if (c.slot) {
            ASSERT_TRUE(std::holds_alternative<int>(parsed)) << std::get<BadRequest>(parsed).error;
            EXPECT_EQ(std::get<int>(parsed), c.slot);
        } else {
            ASSERT_TRUE(std::holds_alternative<BadRequest>(parsed)) << std::get<int>(parsed);
            EXPECT_EQ(std::get<BadRequest>(parsed).status, 400);
            EXPECT_FALSE(std::get<BadRequest>(parsed).error.empty());
        }
    }
}

TEST(ConfigBody, AnyOfTheThreeValuesInRangeAndNothingElse) {
    struct Case {
        std::string body;
        std::optional<int> brightness, speed, displayTime;
        bool ok = true;
    };
    const std::nullopt_t none = std::nullopt;
    const std::vector<Case> cases = {
        {R"({"brightness":50})", 50, none, none},
        {R"({"speed":20})", none, 20, none},
        {R"({"displayTime":0})", none, none, 0},
        {R"({"displayTime":-0})", none, none, 0},
        {R"({"brightness":1,"speed":1,"displayTime":134})", 1, 1, 134},
        {R"({"brightness":100,"displayTime":12})", 100, none, 12},
        {R"({"brightness":0})", none, none, none, false},
        {R"({"brightness":101})", none, none, none, false},
        {R"({"speed":0})", none, none, none, false},
        {R"({"speed":21})", none, none, none, false},
        {R"({"displayTime":135})", none, none, none, false},
        {R"({"displayTime":-1})", none, none, none, false},
        {R"({"brightness":50.5})", none, none, none, false},
        {R"({"brightness":"50"})", none, none, none, false},
        {R"({"brightness":null})", none, none, none, false},
        {R"({"brightness":1e308,"speed":2})", none, none, none, false},
        {R"({"brightness":50,"colour":1})", none, none, none, false},
        {R"({"Brightness":50})", none, none, none, false},
        {R"({"displaytime":5})", none, none, none, false},
        {R"({})", none, none, none, false},
        {R"([])", none, none, none, false},
        {R"(null)", none, none, none, false},
        {"{\"brightness\":50}\xFF", none, none, none, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        const auto parsed = ParseConfigBody(c.body);
        if (!c.ok) {
            ASSERT_TRUE(std::holds_alternative<BadRequest>(parsed));
            EXPECT_EQ(std::get<BadRequest>(parsed).status, 400);
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<ConfigChange>(parsed))
            << std::get<BadRequest>(parsed).error;
        const ConfigChange& change = std::get<ConfigChange>(parsed);
        EXPECT_EQ(change.brightness, c.brightness);
        EXPECT_EQ(change.speed, c.speed);
        EXPECT_EQ(change.displayTime, c.displayTime);
    }
}

// ---- Message bodies -----------------------------------------------------------------

const CharacterCodec& codec() {
    return CodePage1250::instance();
}

TEST(MessageBody, TextComposesAsTheTextFormDoesAndDecodesBack) {
    const std::vector<std::string> texts = {
        "",
        "Witaj",
        "{effect 3}Promocja{pause}",
        "{effect 1}{inverse}{font 2}AB{time}\n",
        "Zażółć gęślą jaźń",
        "Oferta dnia\n\n{font 2}Malinowe{efect 3}\n",
        "{font 99}x",
        "[message 1]\nA\n",
    };
    for (const char* type : {"", "text/plain", "text/plain; charset=utf-8", " text/plain ;x=y"}) {
        for (const std::string& text : texts) {
            SCOPED_TRACE(std::string(type) + " | " + text);
            MessageRecord expected;
            const auto error = ComposeMessage(text, codec(), expected);
            const auto parsed = ParseMessageBody(type, text);
            if (error) {
                ASSERT_TRUE(std::holds_alternative<BadRequest>(parsed));
                const BadRequest& bad = std::get<BadRequest>(parsed);
                EXPECT_EQ(bad.status, 400);
                EXPECT_EQ(std::tie(bad.line, bad.column), std::tie(error->line, error->column));
                EXPECT_EQ(bad.error, error->where());
                continue;
            }
            ASSERT_TRUE(std::holds_alternative<MessageRecord>(parsed))
                << std::get<BadRequest>(parsed).error;
            const MessageRecord& record = std::get<MessageRecord>(parsed);
            EXPECT_EQ(record, expected);
            const auto again = ParseMessageBody(type, MessageToText(record, codec()));
            ASSERT_TRUE(std::holds_alternative<MessageRecord>(again));
            EXPECT_EQ(std::get<MessageRecord>(again), record);
        }
    }
}

TEST(MessageBody, TextErrorsCarryLineAndColumn) {
    const auto parsed = ParseMessageBody("text/plain", "Oferta dnia\n\n{font 2}Malinowe{efect 3}\n");
    ASSERT_TRUE(std::holds_alternative<BadRequest>(parsed));
    const BadRequest& bad = std::get<BadRequest>(parsed);
    EXPECT_EQ(bad.error, "3:17: unknown item {efect 3}");
    EXPECT_EQ(bad.line, 3);
    EXPECT_EQ(bad.column, 17);
}

TEST(MessageBody, RecordsAreTheirFirstBytesAndNeverShorter) {
    std::mt19937 random(7);
    for (std::size_t size : {std::size_t(0), std::size_t(1), kRecordSize - 1, kRecordSize,
                             kRecordSize + 1, kMessageSetFileSize}) {
        SCOPED_TRACE(size);
        std::string body(size, '\0');
        for (char& b : body) b = char(random());
        for (const char* type : {"application/octet-stream", "application/octet-stream; x=1"}) {
            const auto parsed = ParseMessageBody(type, body);
            if (size < kRecordSize) {
                ASSERT_TRUE(std::holds_alternative<BadRequest>(parsed));
                EXPECT_EQ(std::get<BadRequest>(parsed).status, 400);
                EXPECT_NE(std::get<BadRequest>(parsed).error.find(std::to_string(size)),
                          std::string::npos);
                continue;
            }
            ASSERT_TRUE(std::holds_alternative<MessageRecord>(parsed));
            const auto& bytes = std::get<MessageRecord>(parsed).bytes;
            EXPECT_EQ(std::string(bytes.begin(), bytes.end()), body.substr(0, kRecordSize));
        }
    }
}

TEST(MessageBody, OtherContentTypesAndBrokenTextAreRefused) {
    struct Case {
        const char* type;
        std::string body;
        int status;
    };
    const std::vector<Case> cases = {
        {"application/json", "Witaj", 415},
        {"text/html", "Witaj", 415},
        {"text/plainx", "Witaj", 415},
        {"application/octet-streams", std::string(1024, 'A'), 415},
        {"text/plain", "Wit\xC3j", 400},
        {"text/plain", "\xC0\xAF", 400},
        {"", "\xF5\x80\x80\x80", 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " | " + c.body);
        const auto one = ParseMessageBody(c.type, c.body);
        ASSERT_TRUE(std::holds_alternative<BadRequest>(one));
        EXPECT_EQ(std::get<BadRequest>(one).status, c.status);
        const auto set = ParseMessageSetBody(c.type, c.body);
        ASSERT_TRUE(std::holds_alternative<BadRequest>(set));
        EXPECT_EQ(std::get<BadRequest>(set).status, c.status);
    }
}

TEST(MessageSetBody, TextComposesAsTheTextFormDoesAndBinaryIsTheFirst8192Bytes) {
    const std::vector<std::string> texts = {
        "[message 2]\n{kind upper}\nZażółć{pause}\n\n[message 8]\n{gfx 1}\n",
        "[message 1]\nA\n[message 1]\nB\n",
        "[message 9]\nA\n",
        "Witaj",
        "[message 3]\n{efect 3}\n",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        MessageSetRecords expected{};
        const auto error = ComposeMessageSet(text, codec(), expected);
        const auto parsed = ParseMessageSetBody("text/plain", text);
        if (error) {
            ASSERT_TRUE(std::holds_alternative<BadRequest>(parsed));
            const BadRequest& bad = std::get<BadRequest>(parsed);
            EXPECT_EQ(bad.error, error->where());
            EXPECT_EQ(std::tie(bad.line, bad.column), std::tie(error->line, error->column));
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<MessageSetRecords>(parsed));
        EXPECT_EQ(std::get<MessageSetRecords>(parsed), expected);
        const auto again = ParseMessageSetBody("", MessageSetToText(expected, codec()));
        ASSERT_TRUE(std::holds_alternative<MessageSetRecords>(again));
        EXPECT_EQ(std::get<MessageSetRecords>(again), expected);
    }
    std::string bytes(kMessageSetFileSize + 100, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 7 + i / kRecordSize);
    for (std::size_t size : {kRecordSize, kMessageSetFileSize - 1, kMessageSetFileSize, bytes.size()}) {
        SCOPED_TRACE(size);
        const auto parsed = ParseMessageSetBody("application/octet-stream", bytes.substr(0, size));
        if (size < kMessageSetFileSize) {
            ASSERT_TRUE(std::holds_alternative<BadRequest>(parsed));
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<MessageSetRecords>(parsed));
        const auto& records = std::get<MessageSetRecords>(parsed);
        for (std::size_t r = 0; r < records.size(); ++r)
            EXPECT_EQ(std::string(records[r].bytes.begin(), records[r].bytes.end()),
                      bytes.substr(r * kRecordSize, kRecordSize));
    }
}

// ---- UTF-8 --------------------------------------------------------------------------

/// Well-formed UTF-8 as RFC 3629 writes it: each row is a lead byte range, the range of the
/// byte after it and how many plain tail bytes (80..BF) follow that.
bool ReferenceUtf8(std::string_view text) {
    struct Row {
        unsigned lead0, lead1, second0, second1, tails;
    };
    static const Row rows[] = {
        {0xC2, 0xDF, 0x80, 0xBF, 0}, {0xE0, 0xE0, 0xA0, 0xBF, 1}, {0xE1, 0xEC, 0x80, 0xBF, 1},
        {0xED, 0xED, 0x80, 0x9F, 1}, {0xEE, 0xEF, 0x80, 0xBF, 1}, {0xF0, 0xF0, 0x90, 0xBF, 2},
        {0xF1, 0xF3, 0x80, 0xBF, 2}, {0xF4, 0xF4, 0x80, 0x8F, 2},
    };
    std::size_t i = 0;
    const auto at = [&](std::size_t k) { return k < text.size() ? unsigned(std::uint8_t(text[k])) : 0x100u; };
    while (i < text.size()) {
        const unsigned lead = at(i);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        const Row* row = nullptr;
        for (const Row& r : rows)
            if (lead >= r.lead0 && lead <= r.lead1) row = &r;
        if (!row || at(i + 1) < row->second0 || at(i + 1) > row->second1) return false;
        for (unsigned t = 0; t < row->tails; ++t)
            if (at(i + 2 + t) < 0x80 || at(i + 2 + t) > 0xBF) return false;
        i += 2 + row->tails;
    }
    return true;
}

TEST(Utf8, RandomBytesAgreeWithTheStandardsTable) {
    // Bytes near every boundary of the table, so sequences that almost fit are common.
    const std::uint8_t pool[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF,
                                 0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE,
                                 0xEF, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xFE, 0xFF};
    std::mt19937 random(1234);
    int valid = 0;
    for (int run = 0; run < 200000; ++run) {
        std::string text(random() % 9, '\0');
        for (char& c : text) c = char(pool[random() % std::size(pool)]);
        const bool expected = ReferenceUtf8(text);
        valid += expected;
        ASSERT_EQ(IsUtf8(text), expected) << ::testing::PrintToString(text);
        // Qt's decoder replaces what it cannot read, so only good text comes back the same.
        const QByteArray bytes(text.data(), qsizetype(text.size()));
        ASSERT_EQ(QString::fromUtf8(bytes).toUtf8() == bytes, expected) << ::testing::PrintToString(text);
    }
    EXPECT_GT(valid, 2000); // the run did reach the interesting side
}

TEST(Utf8, EveryScalarValueEncodedIsAccepted) {
    std::mt19937 random(99);
    for (int run = 0; run < 20000; ++run) {
        char32_t cp = random() % 0x110000;
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        const QString one = QString::fromUcs4(&cp, 1);
        const QByteArray bytes = one.toUtf8();
        ASSERT_TRUE(IsUtf8({bytes.constData(), std::size_t(bytes.size())})) << std::hex << unsigned(cp);
        // Cut short, it is no longer whole.
        if (bytes.size() > 1) {
            ASSERT_FALSE(IsUtf8({bytes.constData(), std::size_t(bytes.size() - 1)}))
                << std::hex << unsigned(cp);
        }
    }
}

// ---- Paths and numbers ---------------------------------------------------------------

TEST(ApiPath, PartsUnderTheVersionOnly) {
    using Parts = std::vector<std::string>;
    const std::vector<std::pair<std::string, Parts>> cases = {
        {"/api/v1/signs", {"signs"}},
        {"/api/v1/signs/shop/messages/3", {"signs", "shop", "messages", "3"}},
        {"/api/v1/signs/", {"signs", ""}},
        {"/api/v1//signs", {"", "signs"}},
        {"/api/v1/a/../b", {"a", "..", "b"}},
        {"/api/v1/", {}},
        {"/api/v1", {}},
        {"/api/v2/signs", {}},
        {"api/v1/signs", {}},
        {"/API/v1/signs", {}},
        {"", {}},
    };
    for (const auto& [path, parts] : cases) EXPECT_EQ(SplitApiPath(path), parts) << path;
}

TEST(BoundedInt, DigitsInRangeOnly) {
    struct Case {
        const char* text;
        int min, max;
        std::optional<int> value;
    };
    const std::vector<Case> cases = {
        {"3", 1, 8, 3},         {"1", 1, 8, 1},          {"8", 1, 8, 8},
        {"0", 1, 8, {}},        {"9", 1, 8, {}},         {"-1", -5, 5, -1},
        {"03", 1, 8, 3},        {"", 1, 8, {}},          {"+3", 1, 8, {}},
        {" 3", 1, 8, {}},       {"3 ", 1, 8, {}},        {"3.0", 1, 8, {}},
        {"3x", 1, 8, {}},       {"0x3", 0, 8, {}},       {"1e1", 0, 100, {}},
        {"100000", 0, 100000, 100000}, {"999999999", 0, 2000000000, 999999999},
        {"2147483648", 0, 2147483647, {}}, {"99999999999", 0, 2147483647, {}},
        {"-", -5, 5, {}},       {"٣", 0, 9, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseBoundedInt(c.text, c.min, c.max), c.value)
            << c.text << " in " << c.min << ".." << c.max;
}

} // namespace
} // namespace pixbar::service
