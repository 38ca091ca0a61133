#include "httpfront.h"

#include "pagefiles.h"

#include <httplib.h>

#include <sys/socket.h>

namespace pixbard {

using pixbar::service::ApiRequest;
using pixbar::service::ApiResponse;
using pixbar::service::ErrorResponse;
using pixbar::service::TokenGuard;

namespace {

void write(httplib::Response& res, const ApiResponse& answer) {
    res.status = answer.status;
    res.set_content(answer.body, answer.contentType.c_str());
}

std::size_t headSize(const httplib::Request& req) {
    std::size_t size = req.method.size() + req.target.size() + req.version.size() + 4;
    for (const auto& [name, value] : req.headers) size += name.size() + value.size() + 4;
    return size;
}

bool bodiless(const httplib::Request& req) {
    return (req.method == "POST" || req.method == "PUT" || req.method == "PATCH") &&
           !req.has_header("Content-Length") && !req.has_header("Transfer-Encoding");
}

// SO_REUSEADDR lets a restarted service take its port at once. The library's default,
// SO_REUSEPORT, would let a second pixbard listen on the same port and take part of the
// requests to a sign it does not own.
void reuseAddress(int socket) {
    int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

/// The page's own files; false for any other path. A browser that has the file already is
/// answered 304, so a later load of the page costs a few hundred bytes.
bool servePage(const httplib::Request& req, httplib::Response& res) {
    const PageFile* file = FindPageFile(req.path);
    if (!file) return false;
    res.set_header("Cache-Control", "no-cache");
    res.set_header("ETag", std::string(file->etag));
    res.set_header("X-Content-Type-Options", "nosniff");
    if (req.get_header_value("If-None-Match") == file->etag) {
        res.status = 304;
        return true;
    }
    res.status = 200;
    res.set_content(std::string(file->content), std::string(file->contentType));
    return true;
}

} // namespace

int Bind(httplib::Server& server, const std::string& host, int port) {
    int bound = -1;
    // The last socket given options is the one that was bound.
    server.set_socket_options([&bound](int socket) {
        reuseAddress(socket);
        bound = socket;
    });
    const int result = port == 0 ? server.bind_to_any_port(host.c_str())
                                 : (server.bind_to_port(host.c_str(), port) ? port : -1);
    server.set_socket_options(reuseAddress);
    // The library listens with a queue of 5: more clients connecting at once lose their SYN
    // and wait a second for its retry. Linux takes a second listen() as the new length.
    if (result > 0 && bound >= 0) ::listen(bound, SOMAXCONN);
    return result;
}

void InstallApi(httplib::Server& server, pixbar::service::SignService& service, TokenGuard& guard) {
    server.new_task_queue = [] { return new httplib::ThreadPool(kHttpThreads); };
    server.set_payload_max_length(kMaxBody);
    server.set_read_timeout(kIdleSeconds, 0);
    server.set_write_timeout(kIdleSeconds, 0);
    server.set_keep_alive_timeout(kIdleSeconds);
    server.set_keep_alive_max_count(kKeepAliveRequests);
    // Answers are written as head and body; without NODELAY the body waits for the client's
    // delayed ACK of the head, some 40 ms for every request on a kept-alive connection.
    server.set_tcp_nodelay(true);
    server.set_socket_options(reuseAddress);

    const auto api = [&service](const httplib::Request& req, httplib::Response& res) {
        ApiRequest request;
        request.method = req.method;
        request.path = req.path;
        for (const auto& [name, value] : req.params) request.query.emplace(name, value);
        request.contentType = req.get_header_value("Content-Type");
        request.accept = req.get_header_value("Accept");
        request.body = req.body;
        if (req.method == "GET" && servePage(req, res)) return;
        write(res, service.handle(request));
        // The symbols' pictures never change while the program runs.
        if (res.status == 200 && req.path.starts_with("/api/v1/symbols/"))
            res.set_header("Cache-Control", "max-age=86400");
    };
    server.set_pre_routing_handler([&guard, api](const httplib::Request& req, httplib::Response& res) {
        if (headSize(req) > kMaxHeaders) {
            write(res, ErrorResponse(431, "nagłówki żądania są za duże"));
            res.set_header("Connection", "close");
            return httplib::Server::HandlerResponse::Handled;
        }
        switch (guard.check(req.remote_addr, req.get_header_value("Authorization"))) {
        case TokenGuard::Verdict::Allowed:
            // A request with neither a length nor chunks has no body (curl -X POST sends
            // none); the library would wait for one until the read time-out and answer 400.
            if (bodiless(req)) {
                api(req, res);
                return httplib::Server::HandlerResponse::Handled;
            }
            return httplib::Server::HandlerResponse::Unhandled;
        case TokenGuard::Verdict::Unauthorized:
            write(res, ErrorResponse(401, "potrzebny token"));
            res.set_header("WWW-Authenticate", "Basic realm=\"pixbard\", charset=\"UTF-8\"");
            return httplib::Server::HandlerResponse::Handled;
        case TokenGuard::Verdict::TooMany:
            write(res, ErrorResponse(429, "za dużo błędnych prób, spróbuj za minutę"));
            res.set_header("Retry-After", "60");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    const char* everything = "/.*";
    server.Get(everything, api);
    server.Post(everything, api);
    server.Put(everything, api);
    server.Delete(everything, api);
    server.Patch(everything, api);
    server.Options(everything, api);

    // Errors the library answers by itself (413, 400, an unknown method) get the API's shape.
    server.set_error_handler(httplib::Server::HandlerWithResponse(
        [](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        const char* text = res.status == 413   ? "treść żądania ponad 1 MiB"
                           : res.status == 404 ? "nie ma takiej ścieżki"
                                               : "błędne żądanie";
        write(res, ErrorResponse(res.status, text));
        return httplib::Server::HandlerResponse::Handled;
    }));
}

} // namespace pixbard
