// The downloader on libcurl. Only the downloading module and the tests link it, so that a
// program that never fetches an address never loads libcurl.
#pragma once

#include <chrono>

#include "platform/Downloader.h"

namespace platform {

// Follows redirects, fails on an HTTP status of 400 or more, verifies TLS certificates, gives
// up on a connection not made within `connect` and on a transfer that stalls for `stall`.
class CurlDownloader final : public Downloader {
public:
    struct Timeouts {
        std::chrono::seconds connect{30};
        std::chrono::seconds stall{60};
    };

    CurlDownloader() = default;
    explicit CurlDownloader(Timeouts timeouts) : timeouts(timeouts) {}

    DownloadResult download(const std::string& address, const std::string& target,
                            const DownloadProgress& progress) override;

private:
    Timeouts timeouts;
};

}  // namespace platform
