#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace pixbar {

inline constexpr int kTcpBacklog = 4;

/// The sign's line as a serial server in raw mode carries it: a listening socket on
/// 127.0.0.1 and one client at a time; a second client is let in and sent away at once.
class TcpLine {
public:
    TcpLine() = default;
    ~TcpLine();
    TcpLine(const TcpLine&) = delete;
    TcpLine& operator=(const TcpLine&) = delete;

    /// Listens on 127.0.0.1:port, 0 for a free port; false (errno set) when it cannot.
    bool listen(int port);
    bool listening() const { return m_listener >= 0; }
    /// The port listened on.
    int port() const { return m_port; }

    /// Adds the sockets to be waited on to `fds`.
    void watch(std::vector<pollfd>& fds) const;
    /// After a poll of `fds`: takes a new client or sends it away, and appends what the client
    /// sent to `received`. Comings and goings are logged.
    void serve(const std::vector<pollfd>& fds, std::vector<std::uint8_t>& received, std::FILE* log);
    /// Sends the sign's bytes to the client, if there is one; lost when it cannot take them,
    /// as on a line nobody listens to.
    void send(const std::uint8_t* bytes, std::size_t count);

private:
    void accept(std::FILE* log);
    void dropClient(std::FILE* log);

    int m_listener = -1;
    int m_client = -1;
    int m_port = 0;
};

inline TcpLine::~TcpLine() {
    if (m_client >= 0) close(m_client);
    if (m_listener >= 0) close(m_listener);
}

inline bool TcpLine::listen(int port) {
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listener < 0) return false;
    const int on = 1;
    setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, kTcpBacklog) != 0) {
        const int error = errno;
        close(m_listener);
        m_listener = -1;
        errno = error;
        return false;
    }
    socklen_t length = sizeof address;
    getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    return true;
}

inline void TcpLine::watch(std::vector<pollfd>& fds) const {
    for (int fd : {m_listener, m_client})
        if (fd >= 0) fds.push_back({fd, POLLIN, 0});
}

inline void TcpLine::serve(const std::vector<pollfd>& fds, std::vector<std::uint8_t>& received,
                           std::FILE* log) {
    bool incoming = false, waiting = false;
    for (const pollfd& p : fds) {
        if (p.fd == m_client && m_client >= 0) incoming = p.revents & (POLLIN | POLLHUP | POLLERR);
        if (p.fd == m_listener && m_listener >= 0) waiting = p.revents & POLLIN;
    }
    if (incoming) {
        std::uint8_t chunk[4096];
        const ssize_t got = recv(m_client, chunk, sizeof chunk, 0);
        if (got > 0)
            received.insert(received.end(), chunk, chunk + got);
        else if (got == 0 || (errno != EAGAIN && errno != EINTR))
            dropClient(log);
    }
    if (waiting) accept(log);
}

inline void TcpLine::send(const std::uint8_t* bytes, std::size_t count) {
    if (m_client < 0) return;
    [[maybe_unused]] const ssize_t sent = ::send(m_client, bytes, count, MSG_NOSIGNAL);
}

inline void TcpLine::accept(std::FILE* log) {
    const int fd = accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    if (m_client >= 0) {
        close(fd);
        std::fprintf(log, "tcp client turned away: the line is taken\n");
    } else {
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        m_client = fd;
        std::fprintf(log, "tcp client connected\n");
    }
    std::fflush(log);
}

inline void TcpLine::dropClient(std::FILE* log) {
    close(m_client);
    m_client = -1;
    std::fprintf(log, "tcp client gone\n");
    std::fflush(log);
}

} // namespace pixbar
