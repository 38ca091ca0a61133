// Requests as clients really send them, written byte by byte to pixbard's HTTP front: bodies
// without a length, with Content-Length: 0, chunked, and requests one after another on one
// connection.
#include "httpfront.h"
#include "timing.h"

#include <httplib.h>

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace pixbar::service;
using Clock = std::chrono::steady_clock;

constexpr const char* kToken = "0123456789abcdef0123456789abcdef";

/// pixbard's front on a free port, in front of one sign "s" whose port does not exist (so every
/// job for it ends at once as Offline, 409).
class Front {
public:
    explicit Front(std::string token = {}, bool serving = true) : m_guard(std::move(token)) {
        ServiceConfig config;
        SignEntry sign;
        sign.name = "s";
        sign.port = "/nonexistent/ttyPIXBAR";
        config.signs.push_back(sign);
        m_service = std::make_unique<SignService>(
            config, [] { return std::make_unique<pixbar::ComProtocol>(); }, pixbar::GlyphSets(),
            m_clock);
        pixbard::InstallApi(m_server, *m_service, m_guard);
        m_port = pixbard::Bind(m_server, "127.0.0.1", 0);
        if (serving) serve();
    }
    ~Front() {
        if (m_thread.joinable()) {
            m_server.stop();
            m_thread.join();
        }
        m_service->stop();
    }
    /// Starts taking connections (a Front made with `serving` false has only bound its port).
    void serve() {
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        for (int i = 0; i < 500 && !m_server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    int port() const { return m_port; }
    /// A second server with the same API, bound to `port`; false when the port is taken.
    bool secondBinds(int port) {
        httplib::Server second;
        pixbard::InstallApi(second, *m_service, m_guard);
        return pixbard::Bind(second, "127.0.0.1", port) == port;
    }

private:
    pixbar::SystemClock m_clock;
    TokenGuard m_guard;
    std::unique_ptr<SignService> m_service;
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
};

struct Answer {
    int status = 0;
    std::string body;
};

/// Sends each request on one new connection once the answer to the one before has come, and
/// gives the answers read (each with Content-Length); gives up after `limit`. `seconds` is the
/// time until the last answer was complete.
std::vector<Answer> Exchange(int port, const std::vector<std::string>& requests, double& seconds,
                             std::chrono::seconds limit = std::chrono::seconds(4)) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval timeout{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::vector<Answer> answers;
    const auto start = Clock::now();
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return answers;
    }
    static const std::regex head(
        R"(^HTTP/1\.1 (\d{3})[^\r]*\r\n(?:[^\r]*\r\n)*?Content-Length: (\d+)\r\n(?:[^\r]*\r\n)*?\r\n)",
        std::regex::icase);
    for (const std::string& raw : requests) {
        if (send(fd, raw.data(), raw.size(), MSG_NOSIGNAL) != ssize_t(raw.size())) break;
        std::string received;
        const std::size_t before = answers.size();
        while (answers.size() == before && Clock::now() - start < limit) {
            std::smatch m;
            if (std::regex_search(received, m, head) && m.position(0) == 0) {
                const std::size_t length = std::stoul(m[2]);
                const std::size_t headLength = std::size_t(m.length(0));
                if (received.size() >= headLength + length) {
                    answers.push_back({std::stoi(m[1]), received.substr(headLength, length)});
                    break;
                }
            }
            char buffer[4096];
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n == 0) break;
            if (n > 0) received.append(buffer, std::size_t(n));
        }
        if (answers.size() == before) break;
    }
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    close(fd);
    return answers;
}

struct BodyCase {
    const char* name;
    std::string request;
    int status;
    const char* bodyHas;
};

void PrintTo(const BodyCase& c, std::ostream* os) {
    *os << c.name;
}

// Each request names its own framing; the answers are those of the API's rules for the same
// request with an empty body (or the chunked one), well within the 10 s read time-out.
class FrontBodies : public testing::TestWithParam<BodyCase> {};

TEST_P(FrontBodies, AnsweredAtOnceAsTheBodyIs) {
    Front front;
    const BodyCase& c = GetParam();
    double seconds = 0;
    const auto answers = Exchange(front.port(), {c.request}, seconds);
    ASSERT_EQ(answers.size(), 1u) << c.request;
    EXPECT_EQ(answers[0].status, c.status) << answers[0].body;
    EXPECT_NE(answers[0].body.find(c.bodyHas), std::string::npos) << answers[0].body;
    EXPECT_LT(seconds, 2.0);
}

const std::string kHost = "Host: 127.0.0.1\r\n";

INSTANTIATE_TEST_SUITE_P(
    Framing, FrontBodies,
    testing::Values(
        BodyCase{"PostWithoutLength", "POST /api/v1/signs/s/clock HTTP/1.1\r\n" + kHost + "\r\n", 409,
                 "\"result\":\"Offline\""},
        BodyCase{"PostWithZeroLength",
                 "POST /api/v1/signs/s/clock HTTP/1.1\r\n" + kHost + "Content-Length: 0\r\n\r\n", 409,
                 "\"result\":\"Offline\""},
        BodyCase{"ShowWithoutBody", "POST /api/v1/signs/s/show HTTP/1.1\r\n" + kHost + "\r\n", 400,
                 "\"error\""},
        BodyCase{"PutWithoutLength",
                 "PUT /api/v1/signs/s/messages/1 HTTP/1.1\r\n" + kHost +
                     "Content-Type: application/octet-stream\r\n\r\n",
                 400, "1024"},
        BodyCase{"UnknownSignWithoutLength", "POST /api/v1/signs/x/clock HTTP/1.1\r\n" + kHost + "\r\n",
                 404, "\"error\""},
        BodyCase{"WrongMethodWithoutLength", "PUT /api/v1/signs/s/clock HTTP/1.1\r\n" + kHost + "\r\n",
                 405, "\"error\""},
        BodyCase{"ChunkedBody",
                 "POST /api/v1/decode HTTP/1.1\r\n" + kHost +
                     "Transfer-Encoding: chunked\r\nContent-Type: application/octet-stream\r\n\r\n"
                     "3\r\nabc\r\n0\r\n\r\n",
                 400, "1024"},
        BodyCase{"QueryOfABodilessPost",
                 "POST /api/v1/preview.png?width=99 HTTP/1.1\r\n" + kHost + "\r\n", 400, "width"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Front, ConnectionGoesOnAfterABodilessRequest) {
    Front front;
    // The later requests are only read right if the bodiless one left the connection as it was.
    double seconds = 0;
    const auto answers = Exchange(
        front.port(),
        {"POST /api/v1/signs/s/clock HTTP/1.1\r\n" + kHost + "\r\n",
         "GET /api/v1/signs/s HTTP/1.1\r\n" + kHost + "\r\n",
         "PUT /api/v1/signs/s/config HTTP/1.1\r\n" + kHost +
             "Content-Length: 16\r\n\r\n{\"brightness\":5}"},
        seconds);
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_EQ(answers[0].status, 409);
    EXPECT_EQ(answers[1].status, 200);
    EXPECT_NE(answers[1].body.find("\"name\":\"s\""), std::string::npos);
    EXPECT_EQ(answers[2].status, 409);
    EXPECT_LT(seconds, 2.0);
}

TEST(Front, OneConnectionCarriesManyRequests) {
    Front front;
    const std::vector<std::string> requests(
        40, "GET /api/v1/signs HTTP/1.1\r\n" + kHost + "\r\n");
    double seconds = 0;
    const auto answers = Exchange(front.port(), requests, seconds);
    ASSERT_EQ(answers.size(), requests.size());
    for (const Answer& a : answers) EXPECT_EQ(a.status, 200);
}

TEST(Front, SecondServiceCannotTakeTheSamePort) {
    Front front;
    EXPECT_FALSE(front.secondBinds(front.port()));
}

// Clients that connect at once before the service accepts any: each must get its connection
// from the kernel's queue, not wait a second for its SYN to be sent again.
TEST(Front, ManyClientsConnectAtOnce) {
    Front front({}, false);
    constexpr int kAtOnce = 40;
    std::vector<int> sockets;
    for (int i = 0; i < kAtOnce; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(std::uint16_t(front.port()));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        sockets.push_back(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int connected = 0;
    for (const int fd : sockets) {
        int error = -1;
        socklen_t size = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0) {
            sockaddr_in peer{};
            socklen_t peerSize = sizeof peer;
            if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) == 0) ++connected;
        }
        close(fd);
    }
    EXPECT_EQ(connected, kAtOnce);
}

TEST(Front, TokenIsCheckedBeforeABodilessRequestRuns) {
    Front front(kToken);
    struct Case {
        std::string authorization;
        int status;
    };
    for (const Case& c : {Case{"", 401}, Case{"Authorization: Bearer wrong-token-0000\r\n", 401},
                          Case{std::string("Authorization: Bearer ") + kToken + "\r\n", 409}}) {
        double seconds = 0;
        const auto answers = Exchange(
            front.port(), {"POST /api/v1/signs/s/clock HTTP/1.1\r\n" + kHost + c.authorization + "\r\n"},
            seconds);
        ASSERT_EQ(answers.size(), 1u) << c.authorization;
        EXPECT_EQ(answers[0].status, c.status) << c.authorization;
    }
}

} // namespace

int main(int argc, char** argv) {
    // The sign's port is a QSerialPort, which wants an application object.
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
