// A small HTTP/1.1 server on 127.0.0.1 for tests that download. It listens on an ephemeral
// port, answers one connection at a time on its own thread, and closes every connection after
// one response. Each route plays one behaviour a download must cope with: a complete body, a
// redirect, a body cut midway, a stall, a slow trickle; any other path gets 404.
// It is bounded: it stops by itself after a number of connections or a lifetime, and the
// destructor stops it at once. It does not parse more of a request than its first line, and
// it does not speak TLS.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace testsupport {

class LoopbackHttpServer {
public:
    struct Limits {
        std::size_t connections = 64;
        std::chrono::seconds lifetime{60};
    };

    LoopbackHttpServer();
    explicit LoopbackHttpServer(Limits limits);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    std::uint16_t port() const { return listeningPort; }
    // "http://127.0.0.1:<port>" followed by `path`, which starts with '/'.
    std::string url(std::string_view path) const;

    // 200 with Content-Length and the whole body.
    void serveBody(const std::string& path, std::string body);
    // 302 to `location`, taken as it is (an absolute address, usually `url(...)`).
    void serveRedirect(const std::string& path, std::string location);
    // Announces the whole body's length, sends its first half and closes the connection.
    void serveCutBody(const std::string& path, std::string body);
    // Announces the body's length, sends its first byte, then nothing until the client goes
    // away or the server stops. One byte, so that a client's stall timer starts at once.
    void serveStall(const std::string& path, std::string body);
    // 200 with Content-Length; the body goes out in `pieces` equal parts spread over
    // `duration`, the first at once.
    void serveTrickle(const std::string& path, std::string body, std::chrono::milliseconds duration,
                      std::size_t pieces = 10);

    // The request paths received so far, in order.
    std::vector<std::string> requestedPaths() const;

private:
    // Owns one socket or event descriptor.
    class Descriptor {
    public:
        explicit Descriptor(int fd) : fd(fd) {}
        ~Descriptor() { reset(); }
        Descriptor(const Descriptor&) = delete;
        Descriptor& operator=(const Descriptor&) = delete;
        int get() const { return fd; }
        void reset();

    private:
        int fd;
    };

    enum class Behaviour { body, redirect, cutBody, stall, trickle };
    struct Route {
        Behaviour behaviour = Behaviour::body;
        std::string content;  // the body, or the redirect's location
        std::chrono::milliseconds duration{0};
        std::size_t pieces = 1;
    };

    void addRoute(const std::string& path, Route route);
    void run();
    void answer(int connection);
    // Waits up to `duration`; false when the server is stopping or the client went away.
    bool waitWhileConnected(int connection, std::chrono::milliseconds duration) const;

    const Limits limits;
    const std::chrono::steady_clock::time_point deadline;
    Descriptor listener;    // closed by the worker when it ends, so late clients are refused
    Descriptor stopSignal;  // becomes readable when the destructor asks the worker to stop
    std::uint16_t listeningPort = 0;

    mutable std::mutex mutex;
    std::map<std::string, Route> routes;
    std::vector<std::string> requests;

    std::thread worker;  // last: starts once everything above exists
};

}  // namespace testsupport
