// pixbard's relay listeners on free ports of 127.0.0.1, in front of a sign whose port does not
// exist: what happens to connections, whatever the sign would say.
#include "relayfront.h"
#include "timing.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace pixbar::service;

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

/// A client socket; closed with the object.
class Client {
public:
    explicit Client(int port) : m_fd(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(std::uint16_t(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Client() { ::close(m_fd); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool connected() const { return m_connected; }
    void send(const std::vector<std::uint8_t>& bytes) {
        ASSERT_EQ(::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
    }
    /// True when the relay closed the connection within `ms`; false when it stayed open and
    /// silent that long.
    bool closedWithin(int ms) {
        timeval limit{ms / 1000, (ms % 1000) * 1000};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        std::uint8_t byte = 0;
        const ssize_t n = ::recv(m_fd, &byte, 1, 0);
        if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
        EXPECT_TRUE(n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            << "the offline sign cannot have answered";
        return false;
    }

private:
    int m_fd;
    bool m_connected = false;
};

/// The service with one sign "s" whose port does not exist (every job for it ends as
/// Offline) and a relay for it on `port`.
class Service {
public:
    explicit Service(int port) {
        SignEntry sign;
        sign.name = "s";
        sign.port = "/nonexistent/ttyPIXBAR";
        sign.relayHost = "127.0.0.1";
        sign.relayPort = std::uint16_t(port);
        sign.relay = "127.0.0.1:" + std::to_string(port);
        m_config.signs.push_back(sign);
        m_service = std::make_unique<SignService>(
            m_config, [] { return std::make_unique<pixbar::ComProtocol>(); }, pixbar::GlyphSets(),
            m_clock);
    }
    ~Service() { m_service->stop(); }
    const ServiceConfig& config() const { return m_config; }
    SignService& service() { return *m_service; }

private:
    pixbar::SystemClock m_clock;
    ServiceConfig m_config;
    std::unique_ptr<SignService> m_service;
};

// The identify question, a whole frame of the sign's protocol.
const std::vector<std::uint8_t> kIdentify = {0xFF, 0x00, 0x00, 0xF0, 0x0F, 0x55, 0xAA};
constexpr int kOpenMs = 300;
constexpr int kClosedMs = 5000;

TEST(RelayFront, ClientOfAnOfflineSignStaysConnectedAndHearsNothing) {
    const int port = FreePort();
    Service s(port);
    pixbard::RelayFront front(s.config(), s.service());
    std::string error;
    ASSERT_TRUE(front.start(error)) << error;
    Client client(port);
    ASSERT_TRUE(client.connected());
    client.send(kIdentify);
    EXPECT_FALSE(client.closedWithin(kOpenMs));
    front.stop();
    EXPECT_TRUE(client.closedWithin(kClosedMs)) << "stop() leaves a client connected";
}

TEST(RelayFront, SecondServiceCannotTakeTheRelayPort) {
    const int port = FreePort();
    Service first(port);
    pixbard::RelayFront front(first.config(), first.service());
    std::string error;
    ASSERT_TRUE(front.start(error)) << error;
    Service second(port);
    pixbard::RelayFront other(second.config(), second.service());
    EXPECT_FALSE(other.start(error));
    EXPECT_NE(
        error.find("sign s: cannot listen for the relay on 127.0.0.1:" + std::to_string(port)),
        std::string::npos)
        << error;
}

TEST(RelayFront, ClientBeyondTheLimitIsClosedAndItsPlaceFreedByOneLeaving) {
    const int port = FreePort();
    Service s(port);
    pixbard::RelayFront front(s.config(), s.service());
    std::string error;
    ASSERT_TRUE(front.start(error)) << error;
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < pixbard::kMaxRelayClients; ++i) {
        clients.push_back(std::make_unique<Client>(port));
        ASSERT_TRUE(clients.back()->connected());
    }
    Client extra(port);
    ASSERT_TRUE(extra.connected()); // the kernel takes it; the relay then turns it away
    EXPECT_TRUE(extra.closedWithin(kClosedMs));
    for (auto& c : clients) EXPECT_FALSE(c->closedWithin(20)) << "an admitted client was closed";

    // The place of a client that left goes to the next one, once the relay has seen it go.
    clients.front().reset();
    bool admitted = false;
    for (int attempt = 0; attempt < 50 && !admitted; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        Client next(port);
        admitted = next.connected() && !next.closedWithin(kOpenMs);
    }
    EXPECT_TRUE(admitted) << "a freed place was not given again";
}

} // namespace
