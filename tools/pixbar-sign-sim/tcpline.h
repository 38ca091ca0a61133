#pragma once

#include <poll.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace pixbar {

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

} // namespace pixbar
