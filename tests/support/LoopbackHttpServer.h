// A small HTTP/1.1 server on 127.0.0.1 for tests that download. It listens on an ephemeral port
// and answers one connection at a time on its own thread, one response per connection. Each path
// plays the response a test stages for it (a body, a redirect, a body cut midway, a stall, a slow
// trickle); any other path gets 404. No TLS. Every wait polls in short slices, so that the
// destructor stops the server at once, even amid a stall.
#pragma once

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class LoopbackHttpServer {
public:
    // The status (with any further header lines), a Content-Length of the whole body, then the
    // first `sent` bytes of the body in `pieces` parts spread evenly over `duration`, the first at
    // once. The connection stays until `duration` is over or the client goes away.
    struct Response {
        std::string status = "200 OK";
        std::string body{};
        std::size_t sent = SIZE_MAX;
        std::size_t pieces = 1;
        std::chrono::milliseconds duration{0};
    };

    LoopbackHttpServer() : listener(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        if (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listener, 16) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("no loopback listener");
        }
        listeningPort = ntohs(address.sin_port);
        worker = std::thread([this] { run(); });
    }
    ~LoopbackHttpServer() {
        stopping = true;
        worker.join();
        ::close(listener);
    }

    std::uint16_t port() const { return listeningPort; }
    // "http://127.0.0.1:<port><path>"
    std::string url(std::string_view path) const {
        return "http://127.0.0.1:" + std::to_string(listeningPort) += path;
    }
    void serve(const std::string& path, Response response) {
        const std::lock_guard lock(mutex);
        routes.insert_or_assign(path, std::move(response));
    }
    void serveBody(const std::string& path, std::string body) { serve(path, {.body = body}); }
    void serveRedirect(const std::string& path, std::string location) {
        serve(path, {.status = "302 Found\r\nLocation: " + location});
    }
    void serveCutBody(const std::string& path, std::string body) {
        serve(path, {.body = body, .sent = body.size() / 2});
    }
    // The first byte only, so that a client's stall timer starts at once.
    void serveStall(const std::string& path, std::string body) {
        serve(path, {.body = body, .sent = 1, .duration = std::chrono::hours(1)});
    }
    void serveTrickle(const std::string& path, std::string body, std::chrono::milliseconds duration,
                      std::size_t pieces = 10) {
        serve(path, {.body = body, .pieces = pieces, .duration = duration});
    }
    std::vector<std::string> requestedPaths() const {
        const std::lock_guard lock(mutex);
        return requests;
    }

private:
    static bool readable(int descriptor) {
        pollfd watched{descriptor, POLLIN, 0};
        return ::poll(&watched, 1, 20) > 0;
    }

    // Waits until `until`; false as soon as the client goes away or the server stops. The
    // request was read whole, so the connection turns readable only when the client goes away.
    bool stayConnected(int connection, std::chrono::steady_clock::time_point until) const {
        while (std::chrono::steady_clock::now() < until) {
            if (stopping || readable(connection)) {
                return false;
            }
        }
        return true;
    }

    void run() {
        while (!stopping) {
            if (const int connection =
                    readable(listener) ? ::accept(listener, nullptr, nullptr) : -1;
                connection >= 0) {
                answer(connection);
                ::close(connection);
            }
        }
    }

    void answer(int connection) {
        std::string request;
        char buffer[4096];
        for (ssize_t received = 0; request.find("\r\n\r\n") == std::string::npos; received = 0) {
            if (stopping ||
                (readable(connection) && (received = ::recv(connection, buffer, 4096, 0)) <= 0)) {
                return;
            }
            request.append(buffer, static_cast<std::size_t>(received));
        }
        const std::size_t pathStart = request.find(' ') + 1;  // "GET /path HTTP/1.1"
        const std::string path =
            request.substr(pathStart, request.find(' ', pathStart) - pathStart);
        Response response;
        {
            const std::lock_guard lock(mutex);
            requests.push_back(path);
            response =
                routes.contains(path) ? routes[path] : Response{"404 Not Found", "Not found"};
        }
        // A blocking send returns once it has handed over every byte, unless the client is gone.
        const auto sendAll = [connection](std::string_view bytes) {
            return ::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
                   static_cast<ssize_t>(bytes.size());
        };
        const std::string_view body = std::string_view(response.body).substr(0, response.sent);
        const std::size_t pieceSize = (body.size() + response.pieces - 1) / response.pieces;
        const auto start = std::chrono::steady_clock::now();
        bool connected = sendAll("HTTP/1.1 " + response.status +
                                 "\r\nContent-Length: " + std::to_string(response.body.size()) +
                                 "\r\nConnection: close\r\n\r\n");
        for (std::size_t part = 0; connected && part * pieceSize < body.size(); ++part) {
            connected = stayConnected(connection,
                                      start + response.duration * part /
                                                  std::max<std::size_t>(response.pieces - 1, 1)) &&
                        sendAll(body.substr(part * pieceSize, pieceSize));
        }
        if (connected) {
            stayConnected(connection, start + response.duration);
        }
    }

    int listener;
    std::uint16_t listeningPort = 0;
    std::atomic<bool> stopping{false};
    mutable std::mutex mutex;
    std::map<std::string, Response> routes;
    std::vector<std::string> requests;
    std::thread worker;  // last: starts once everything above exists
};

}  // namespace testsupport
