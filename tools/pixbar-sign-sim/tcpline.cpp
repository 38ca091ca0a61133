#include "tcpline.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace pixbar {

namespace {
constexpr int kBacklog = 4;
} // namespace

TcpLine::~TcpLine() {
    if (m_client >= 0) close(m_client);
    if (m_listener >= 0) close(m_listener);
}

bool TcpLine::listen(int port) {
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listener < 0) return false;
    const int on = 1;
    setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, kBacklog) != 0) {
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

void TcpLine::watch(std::vector<pollfd>& fds) const {
    for (int fd : {m_listener, m_client})
        if (fd >= 0) fds.push_back({fd, POLLIN, 0});
}

void TcpLine::serve(const std::vector<pollfd>& fds, std::vector<std::uint8_t>& received,
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

void TcpLine::send(const std::uint8_t* bytes, std::size_t count) {
    if (m_client < 0) return;
    [[maybe_unused]] const ssize_t sent = ::send(m_client, bytes, count, MSG_NOSIGNAL);
}

void TcpLine::accept(std::FILE* log) {
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

void TcpLine::dropClient(std::FILE* log) {
    close(m_client);
    m_client = -1;
    std::fprintf(log, "tcp client gone\n");
    std::fflush(log);
}

} // namespace pixbar
