#pragma once

#include "auth.h"
#include "signservice.h"

#include <string>

namespace httplib {
class Server;
}

namespace pixbard {

/// Largest request body taken; a larger one is answered 413 before it is read.
inline constexpr std::size_t kMaxBody = 1 << 20;
/// Largest request head (all header lines together) taken.
inline constexpr std::size_t kMaxHeaders = 16 * 1024;
/// A connection that sends nothing for this long is closed.
inline constexpr int kIdleSeconds = 10;
/// Requests one kept-alive connection carries before it is closed. Clients that poll the
/// status keep their connection instead of opening a new one every few requests, which
/// overflows the listen queue under many clients (a refused SYN costs the client a second).
inline constexpr std::size_t kKeepAliveRequests = 1000;
/// Requests served at once: writes wait for their jobs while status requests go on.
inline constexpr int kHttpThreads = 48;

/// Puts the API behind `server`: every request is checked for its size and token, turned into
/// an ApiRequest for the service, and its answer written back.
void InstallApi(httplib::Server& server, pixbar::service::SignService& service,
                pixbar::service::TokenGuard& guard);

/// Binds `server` (after InstallApi) to HOST:PORT, port 0 for a free one, with a listen queue
/// for many clients at once; the port, or -1 when it cannot be bound.
int Bind(httplib::Server& server, const std::string& host, int port);

} // namespace pixbard
