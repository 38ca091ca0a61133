#include "auth.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace pixbar::service {
namespace {

using namespace std::chrono_literals;
using Verdict = TokenGuard::Verdict;

const std::string kToken = "3f9c0e1d2b7a4c5e8f6a";

std::string basic(const std::string& userAndPassword) {
    return "Basic " + QByteArray::fromStdString(userAndPassword).toBase64().toStdString();
}

/// A guard whose clock the test moves.
struct ClockedGuard {
    std::chrono::steady_clock::time_point now{};
    TokenGuard guard{kToken, [this] { return now; }};
};

TEST(TokenGuard, WithoutATokenEveryRequestIsLetIn) {
    TokenGuard guard("");
    EXPECT_FALSE(guard.enabled());
    for (int i = 0; i < 20; ++i) EXPECT_EQ(guard.check("10.0.0.1", "Bearer wrong"), Verdict::Allowed);
}

TEST(TokenGuard, BearerOrBasicWithTheTokenAsPassword) {
    struct Case {
        std::string authorization;
        bool allowed;
    };
    const std::vector<Case> cases = {
        {"Bearer " + kToken, true},
        {"bearer " + kToken, true},
        {"BEARER   " + kToken + "  ", true},
        {basic("admin:" + kToken), true},
        {basic(":" + kToken), true},
        {basic("a:b:" + kToken), false}, // the password is "b:TOKEN"
        {"basic " + basic("sklep:" + kToken).substr(6), true},
        {"Bearer " + kToken + "x", false},
        {"Bearer " + kToken.substr(1), false},
        {"Bearer", false},
        {"Bearer ", false},
        {"", false},
        {kToken, false},
        {"Token " + kToken, false},
        {basic(kToken), false},             // no colon: no password at all
        {basic(kToken + ":" + kToken).substr(0, 20), false},
        {"Basic !!!!", false},
        {basic("admin:" + kToken + "\n"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.authorization);
        ClockedGuard g; // a fresh guard each time, so refusals do not add up here
        EXPECT_TRUE(g.guard.enabled());
        EXPECT_EQ(g.guard.check("10.0.0.1", c.authorization),
                  c.allowed ? Verdict::Allowed : Verdict::Unauthorized);
    }
}

TEST(TokenGuard, FiveFailuresLockTheAddressOutForAMinute) {
    ClockedGuard g;
    const std::string right = "Bearer " + kToken;
    for (int i = 0; i < kMaxFailures; ++i) {
        g.now += 1s;
        EXPECT_EQ(g.guard.check("10.0.0.1", "Bearer nope"), Verdict::Unauthorized) << i;
    }
    const auto fifth = g.now;
    for (auto t : {0s, 1s, 30s, 59s}) {
        g.now = fifth + t;
        EXPECT_EQ(g.guard.check("10.0.0.1", right), Verdict::TooMany) << t.count();
        EXPECT_EQ(g.guard.check("10.0.0.1", "Bearer nope"), Verdict::TooMany) << t.count();
        // Another address is neither locked nor counted with it.
        EXPECT_EQ(g.guard.check("10.0.0.2", right), Verdict::Allowed);
    }
    EXPECT_EQ(g.guard.check("10.0.0.2", "Bearer nope"), Verdict::Unauthorized);
    g.now = fifth + kLockout;
    EXPECT_EQ(g.guard.check("10.0.0.1", right), Verdict::Allowed);
    // After the lockout the count starts again from nothing.
    for (int i = 0; i < kMaxFailures; ++i)
        EXPECT_EQ(g.guard.check("10.0.0.1", "Bearer nope"), Verdict::Unauthorized) << i;
    EXPECT_EQ(g.guard.check("10.0.0.1", right), Verdict::TooMany);
}

TEST(TokenGuard, RequestsWithoutATokenAreRefusedButNotCounted) {
    ClockedGuard g;
    // A browser asks without credentials before it shows its login box, once per file.
    for (int i = 0; i < 3 * kMaxFailures; ++i)
        EXPECT_EQ(g.guard.check("10.0.0.1", i % 2 ? "" : "  "), Verdict::Unauthorized) << i;
    EXPECT_EQ(g.guard.check("10.0.0.1", "Bearer " + kToken), Verdict::Allowed);
    // Wrong tokens still count, whatever came without one between them.
    for (int i = 0; i < kMaxFailures; ++i) {
        EXPECT_EQ(g.guard.check("10.0.0.1", ""), Verdict::Unauthorized) << i;
        EXPECT_EQ(g.guard.check("10.0.0.1", "Bearer nope"), Verdict::Unauthorized) << i;
    }
    EXPECT_EQ(g.guard.check("10.0.0.1", ""), Verdict::TooMany);
}

TEST(TokenGuard, OnlyFiveFailuresWithinAMinuteCount) {
    // Seconds of each failure; the address is locked after the failure marked true.
    struct Case {
        const char* name;
        std::vector<int> seconds;
        int lockedAfter; ///< index of the failure that locks, -1: never
    };
    const std::vector<Case> cases = {
        {"a minute apart", {0, 60, 120, 180, 240, 300, 360, 420}, -1},
        {"59 seconds for five", {0, 10, 20, 30, 59}, 4},
        {"60 seconds for five", {0, 10, 20, 30, 60}, -1},
        {"the last five of a slow start", {0, 50, 55, 59, 65, 66}, 5},
        {"one old failure does not help", {0, 61, 62, 63, 64}, -1},
        {"then one more does", {0, 61, 62, 63, 64, 65}, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClockedGuard g;
        const auto start = g.now;
        for (std::size_t i = 0; i < c.seconds.size(); ++i) {
            g.now = start + std::chrono::seconds(c.seconds[i]);
            ASSERT_EQ(g.guard.check("192.0.2.7", "Bearer x"), Verdict::Unauthorized) << i;
            const Verdict after = g.guard.check("192.0.2.7", "Bearer " + kToken);
            EXPECT_EQ(after, int(i) >= c.lockedAfter && c.lockedAfter >= 0 ? Verdict::TooMany
                                                                          : Verdict::Allowed)
                << "after failure " << i;
            if (after == Verdict::TooMany) break;
        }
    }
}

TEST(TokenGuard, AFloodOfOtherAddressesDoesNotWipeACount) {
    ClockedGuard g;
    // A crowd of addresses fails once each; the first still counts its own failures.
    for (int i = 0; i < 4; ++i) g.guard.check("198.51.100.1", "Bearer x");
    for (int i = 0; i < 5000; ++i) g.guard.check("10.1." + std::to_string(i), "Bearer x");
    g.now += 1s;
    EXPECT_EQ(g.guard.check("198.51.100.1", "Bearer x"), Verdict::Unauthorized);
    EXPECT_EQ(g.guard.check("198.51.100.1", "Bearer " + kToken), Verdict::TooMany);
}

TEST(ConstantTimeEquals, SameBytesAndLengthOnly) {
    using namespace std::string_view_literals;
    const std::vector<std::tuple<std::string_view, std::string_view, bool>> cases = {
        {""sv, ""sv, true},           {"a"sv, ""sv, false},         {""sv, "a"sv, false},
        {"abc"sv, "abc"sv, true},     {"abc"sv, "abd"sv, false},    {"abc"sv, "bbc"sv, false},
        {"abc"sv, "abcd"sv, false},   {"abc\0"sv, "abc"sv, false},  {"abc"sv, "abc\0"sv, false},
        {"\0"sv, ""sv, false},        {"\xFF"sv, "\x7F"sv, false},  {"x\0y"sv, "x\0y"sv, true},
    };
    for (const auto& [a, b, equal] : cases)
        EXPECT_EQ(ConstantTimeEquals(a, b), equal) << ::testing::PrintToString(std::string(a)) << " "
                                                   << ::testing::PrintToString(std::string(b));
}

class TokenFiles : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = std::filesystem::temp_directory_path() /
                ("pixbard-token-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::filesystem::path write(const std::string& name, const std::string& text, mode_t mode) {
        const auto file = m_dir / name;
        std::ofstream(file, std::ios::binary) << text;
        ::chmod(file.c_str(), mode);
        return file;
    }
    std::filesystem::path m_dir;
};

TEST_F(TokenFiles, OnlyTheOwnerMayReadAndTheTokenIsLongEnough) {
    struct Case {
        std::string text;
        mode_t mode;
        std::optional<std::string> token;
    };
    const std::string sixteen = "0123456789abcdef";
    const std::vector<Case> cases = {
        {kToken + "\n", 0600, kToken},
        {"  " + kToken + " \r\nsecond line\n", 0400, kToken},
        {sixteen, 0600, sixteen},
        {sixteen.substr(1) + "\n", 0600, std::nullopt},
        {"   " + sixteen.substr(1) + "   \n", 0600, std::nullopt},
        {"\n" + kToken + "\n", 0600, std::nullopt},
        {"", 0600, std::nullopt},
        {kToken + "\n", 0640, std::nullopt},
        {kToken + "\n", 0604, std::nullopt},
        {kToken + "\n", 0660, std::nullopt},
        {kToken + "\n", 0610, std::nullopt},
        {std::string(5000, 'a') + "\n", 0600, std::nullopt},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.text.substr(0, 40)) + " mode " + std::to_string(c.mode));
        const auto file = write("token" + std::to_string(n++), c.text, c.mode);
        std::string error;
        EXPECT_EQ(ReadTokenFile(file, error), c.token);
        EXPECT_EQ(error.empty(), c.token.has_value()) << error;
        if (c.mode & 077) {
            EXPECT_NE(error.find("chmod 600"), std::string::npos) << error;
        }
    }
    std::string error;
    EXPECT_FALSE(ReadTokenFile(m_dir / "missing", error));
    EXPECT_FALSE(error.empty());
    error.clear();
    ::chmod(m_dir.c_str(), 0700);
    EXPECT_FALSE(ReadTokenFile(m_dir, error));
    EXPECT_FALSE(error.empty());
}

TEST_F(TokenFiles, ANewTokenIsAPrivateFileOf64HexDigits) {
    std::set<std::string> tokens;
    for (int i = 0; i < 4; ++i) {
        const auto file = m_dir / ("new" + std::to_string(i));
        std::string error;
        ASSERT_TRUE(WriteNewToken(file, error)) << error;
        struct stat st{};
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        std::ifstream in(file, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        ASSERT_EQ(text.size(), 65u);
        EXPECT_EQ(text.back(), '\n');
        EXPECT_EQ(text.find_first_not_of("0123456789abcdef"), 64u);
        const auto read = ReadTokenFile(file, error);
        ASSERT_TRUE(read) << error;
        EXPECT_EQ(*read, text.substr(0, 64));
        tokens.insert(*read);

        // An existing file is never replaced: it may be the token clients already hold.
        std::string refused;
        EXPECT_FALSE(WriteNewToken(file, refused));
        EXPECT_FALSE(refused.empty());
        EXPECT_EQ(ReadTokenFile(file, error), read);
    }
    EXPECT_EQ(tokens.size(), 4u);
    std::string error;
    EXPECT_FALSE(WriteNewToken(m_dir / "no-such-folder" / "token", error));
}

} // namespace
} // namespace pixbar::service
