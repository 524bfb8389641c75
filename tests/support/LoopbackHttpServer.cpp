// The loopback HTTP server for download tests; see the header for what it serves.
#include "tests/support/LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::size_t maximumRequestSize = 16 * 1024;
constexpr milliseconds requestTimeout{5000};
// A client that stops reading must not hold the worker for ever.
constexpr timeval socketTimeout{10, 0};
constexpr std::size_t stallPrefixSize = 1;

[[noreturn]] void throwSystemError(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

int openListener() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throwSystemError("socket");
    }
    return fd;
}

std::uint16_t bindToEphemeralLoopbackPort(int fd) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        throwSystemError("bind");
    }
    if (::listen(fd, 16) != 0) {
        throwSystemError("listen");
    }
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throwSystemError("getsockname");
    }
    return ntohs(address.sin_port);
}

int openStopSignal() {
    const int fd = ::eventfd(0, EFD_CLOEXEC);
    if (fd < 0) {
        throwSystemError("eventfd");
    }
    return fd;
}

int pollTimeout(Clock::time_point until) {
    const auto left = std::chrono::ceil<milliseconds>(until - Clock::now());
    return static_cast<int>(std::clamp<milliseconds::rep>(left.count(), 0, 60'000));
}

std::string responseHead(std::string_view status, std::size_t contentLength,
                         std::string_view extraHeaders = {}) {
    std::string head = "HTTP/1.1 ";
    head += status;
    head += "\r\nContent-Length: " + std::to_string(contentLength) + "\r\n";
    head += extraHeaders;
    head += "Content-Type: application/octet-stream\r\nConnection: close\r\n\r\n";
    return head;
}

// "GET /path HTTP/1.1" -> "/path"; empty when the line is not a request line.
std::string requestPath(std::string_view request) {
    const auto lineEnd = request.find("\r\n");
    const std::string_view line = request.substr(0, lineEnd);
    const auto first = line.find(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    const auto second = line.find(' ', first + 1);
    if (second == std::string_view::npos) {
        return {};
    }
    return std::string(line.substr(first + 1, second - first - 1));
}

bool sendAll(int connection, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto sent = ::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

}  // namespace

void LoopbackHttpServer::Descriptor::reset() {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

LoopbackHttpServer::LoopbackHttpServer() : LoopbackHttpServer(Limits{}) {}

LoopbackHttpServer::LoopbackHttpServer(Limits limits)
    : limits(limits),
      deadline(Clock::now() + limits.lifetime),
      listener(openListener()),
      stopSignal(openStopSignal()) {
    listeningPort = bindToEphemeralLoopbackPort(listener.get());
    worker = std::thread([this] { run(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    const std::uint64_t one = 1;
    // The eventfd counter cannot overflow from a single write, so this write succeeds.
    [[maybe_unused]] const auto written = ::write(stopSignal.get(), &one, sizeof one);
    worker.join();
}

std::string LoopbackHttpServer::url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(listeningPort) + std::string(path);
}

void LoopbackHttpServer::serveBody(const std::string& path, std::string body) {
    addRoute(path, {Behaviour::body, std::move(body)});
}

void LoopbackHttpServer::serveRedirect(const std::string& path, std::string location) {
    addRoute(path, {Behaviour::redirect, std::move(location)});
}

void LoopbackHttpServer::serveCutBody(const std::string& path, std::string body) {
    addRoute(path, {Behaviour::cutBody, std::move(body)});
}

void LoopbackHttpServer::serveStall(const std::string& path, std::string body) {
    addRoute(path, {Behaviour::stall, std::move(body)});
}

void LoopbackHttpServer::serveTrickle(const std::string& path, std::string body,
                                      std::chrono::milliseconds duration, std::size_t pieces) {
    addRoute(path,
             {Behaviour::trickle, std::move(body), duration, std::max<std::size_t>(pieces, 1)});
}

std::vector<std::string> LoopbackHttpServer::requestedPaths() const {
    const std::lock_guard lock(mutex);
    return requests;
}

void LoopbackHttpServer::addRoute(const std::string& path, Route route) {
    const std::lock_guard lock(mutex);
    routes.insert_or_assign(path, std::move(route));
}

void LoopbackHttpServer::run() {
    for (std::size_t served = 0; served < limits.connections; ++served) {
        pollfd watched[] = {{listener.get(), POLLIN, 0}, {stopSignal.get(), POLLIN, 0}};
        const int ready = ::poll(watched, 2, pollTimeout(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0 || (watched[1].revents & POLLIN) != 0 || Clock::now() >= deadline) {
            break;
        }
        Descriptor connection(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (connection.get() < 0) {
            continue;
        }
        ::setsockopt(connection.get(), SOL_SOCKET, SO_SNDTIMEO, &socketTimeout,
                     sizeof socketTimeout);
        ::setsockopt(connection.get(), SOL_SOCKET, SO_RCVTIMEO, &socketTimeout,
                     sizeof socketTimeout);
        answer(connection.get());
        ::shutdown(connection.get(), SHUT_RDWR);
    }
    listener.reset();
}

void LoopbackHttpServer::answer(int connection) {
    std::string request;
    const auto requestDeadline = Clock::now() + requestTimeout;
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < maximumRequestSize) {
        pollfd watched[] = {{connection, POLLIN, 0}, {stopSignal.get(), POLLIN, 0}};
        if (::poll(watched, 2, pollTimeout(std::min(requestDeadline, deadline))) <= 0 ||
            (watched[1].revents & POLLIN) != 0) {
            return;
        }
        char buffer[4096];
        const auto received = ::recv(connection, buffer, sizeof buffer, 0);
        if (received <= 0) {
            return;
        }
        request.append(buffer, static_cast<std::size_t>(received));
    }

    const std::string path = requestPath(request);
    Route route{Behaviour::body, {}};
    bool known = false;
    {
        const std::lock_guard lock(mutex);
        requests.push_back(path);
        if (const auto found = routes.find(path); found != routes.end()) {
            route = found->second;
            known = true;
        }
    }
    if (!known) {
        const std::string_view body = "Not found";
        sendAll(connection, responseHead("404 Not Found", body.size()) + std::string(body));
        return;
    }

    const std::string_view content = route.content;
    switch (route.behaviour) {
        case Behaviour::body:
            sendAll(connection, responseHead("200 OK", content.size()) + route.content);
            break;
        case Behaviour::redirect:
            sendAll(connection,
                    responseHead("302 Found", 0, "Location: " + route.content + "\r\n"));
            break;
        case Behaviour::cutBody:
            sendAll(connection, responseHead("200 OK", content.size()) +
                                    std::string(content.substr(0, content.size() / 2)));
            break;
        case Behaviour::stall:
            if (sendAll(connection, responseHead("200 OK", content.size()) +
                                        std::string(content.substr(0, stallPrefixSize)))) {
                waitWhileConnected(connection, std::chrono::ceil<milliseconds>(limits.lifetime));
            }
            break;
        case Behaviour::trickle: {
            if (!sendAll(connection, responseHead("200 OK", content.size()))) {
                break;
            }
            const std::size_t pieceSize = (content.size() + route.pieces - 1) / route.pieces;
            const milliseconds interval =
                route.pieces > 1 ? route.duration / static_cast<milliseconds::rep>(route.pieces - 1)
                                 : milliseconds{0};
            for (std::size_t offset = 0; offset < content.size(); offset += pieceSize) {
                if ((offset > 0 && !waitWhileConnected(connection, interval)) ||
                    !sendAll(connection, content.substr(offset, pieceSize))) {
                    break;
                }
            }
            break;
        }
    }
}

bool LoopbackHttpServer::waitWhileConnected(int connection, milliseconds duration) const {
    const auto until = std::min(Clock::now() + duration, deadline);
    while (Clock::now() < until) {
        pollfd watched[] = {{connection, POLLIN, 0}, {stopSignal.get(), POLLIN, 0}};
        const int ready = ::poll(watched, 2, pollTimeout(until));
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (ready <= 0) {
            continue;
        }
        if ((watched[1].revents & POLLIN) != 0 || (watched[0].revents & (POLLHUP | POLLERR)) != 0) {
            return false;
        }
        // The request was read whole, so anything readable now is the client closing (or
        // sending something we ignore).
        char buffer[512];
        if (::recv(connection, buffer, sizeof buffer, 0) <= 0) {
            return false;
        }
    }
    return Clock::now() < deadline;
}

}  // namespace testsupport
