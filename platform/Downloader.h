// Fetching a package named by a web address into a local file. The target ends up holding the
// complete download, or is removed. `Downloader` is the seam that tests replace; the real one
// (CurlDownloader) lives in a module that is loaded only when something is fetched. Where the
// target lies is DownloadCache's business, not the downloader's.
#pragma once

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
    // Writes into `target`, created or truncated; unless the result is `completed`, the target
    // is removed, so that no partial download is ever taken for a package.
    virtual DownloadResult download(const std::string& address, const std::string& target,
                                    const DownloadProgress& progress) = 0;
};

}  // namespace platform
