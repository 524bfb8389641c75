// The downloader on libcurl. Only the downloading module and the tests link it, so that a
// program that never fetches an address never loads libcurl.
#pragma once

#include <chrono>
#include <cstdint>

#include "platform/Downloader.h"

namespace platform {

// Follows redirects, fails on an HTTP status of 400 or more, verifies TLS certificates, and
// gives up on a connection not made within the connect limit, on a transfer slower than the
// low-speed limit for the stall time, and on a package larger than the size limit or than the
// target folder's free space.
class CurlDownloader final : public Downloader {
public:
    struct Limits {
        std::chrono::seconds connect{30};
        std::chrono::seconds stall{60};
        long lowSpeedBytesPerSecond = 1024;
        std::uint64_t maximumSize = std::uint64_t{4} << 30;
    };

    CurlDownloader() = default;
    // Tests shrink the limits; the program always runs with the defaults.
    explicit CurlDownloader(Limits limits) : limits(limits) {}

    DownloadResult download(const std::string& address, const std::string& target,
                            const DownloadProgress& progress) override;

private:
    Limits limits;
};

}  // namespace platform
