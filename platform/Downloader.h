// Fetching a package named by a web address to a local file. The target is either replaced
// by a complete download or left untouched. `Downloader` is the seam that tests replace.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace platform {

enum class DownloadResult { completed, failed, cancelled };

// Bytes received so far and the size the server announced (0 when unknown). Returning false
// cancels the download.
using DownloadProgress = std::function<bool(std::uint64_t received, std::uint64_t total)>;

class Downloader {
public:
    virtual ~Downloader() = default;
    virtual DownloadResult download(const std::string& address, const std::string& target,
                                    const DownloadProgress& progress) = 0;
};

// libcurl: follows redirects, fails on an HTTP status of 400 or more, verifies TLS
// certificates, gives up on a connection not made within `connectTimeout` and on a transfer
// that stalls for `stallTimeout`.
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

// The per-user download target: $XDG_CACHE_HOME/tockit-installer/temp.txt, else
// ~/.cache/tockit-installer/temp.txt. The folder is created by the download.
std::string downloadTarget();

}  // namespace platform
