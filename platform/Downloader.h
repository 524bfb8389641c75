// Fetching a package named by a web address to a local file. The target is either replaced
// by a complete download or left untouched. `Downloader` is the seam that tests replace; the
// real one (CurlDownloader) lives in a module that is loaded only when something is fetched.
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
    virtual DownloadResult download(const std::string& address, const std::string& target,
                                    const DownloadProgress& progress) = 0;
};

// The per-user download target: $XDG_CACHE_HOME/tockit-installer/temp.txt, else
// ~/.cache/tockit-installer/temp.txt. The folder is created by the download.
std::string downloadTarget();

}  // namespace platform
