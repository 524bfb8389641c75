// Downloads with libcurl straight into the target, which is removed unless the transfer
// completes, so a failed or cancelled download leaves nothing behind. libcurl calls the progress
// callback at least once a second even while nothing arrives, which is what lets a cancel (or a
// termination request behind it) take effect promptly. It keeps no cache, does not resume and
// sets no proxy (libcurl takes the usual proxy variables from the environment by itself).
#include "platform/curl/CurlDownloader.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <memory>

namespace platform {

namespace {

constexpr long maximumRedirects = 10;
constexpr const char* allowedProtocols = "http,https";

bool curlReady() {
    // Static initialisation runs once even when several threads get here together.
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return initialised;
}

struct CurlCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlHandle = std::unique_ptr<CURL, CurlCleanup>;

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Unknown free space leaves the size limit alone.
std::uint64_t freeSpaceIn(const std::string& folder) {
    struct statvfs status {};
    if (::statvfs(folder.c_str(), &status) != 0) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return std::uint64_t{status.f_bavail} * status.f_frsize;
}

// The download's file, written in place and removed in the destructor unless it completed.
// It takes at most `room` bytes, whatever the server announced.
class TargetFile {
public:
    TargetFile(const std::string& path, std::uint64_t room)
        : path(path),
          descriptor(
              ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600)),
          opened(descriptor >= 0),
          room(room) {}
    ~TargetFile() {
        closeDescriptor();
        if (opened && !completed) {
            ::unlink(path.c_str());
        }
    }
    TargetFile(const TargetFile&) = delete;
    TargetFile& operator=(const TargetFile&) = delete;

    bool isOpen() const { return descriptor >= 0; }

    bool write(const char* bytes, std::size_t size) {
        if (size > room) {
            return false;
        }
        room -= size;
        while (size > 0) {
            const auto written = ::write(descriptor, bytes, size);
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                return false;
            }
            bytes += written;
            size -= static_cast<std::size_t>(written);
        }
        return true;
    }

    // No fsync: the file lives only as long as the run that installs from it.
    bool complete() {
        completed = closeDescriptor();
        return completed;
    }

private:
    bool closeDescriptor() {
        if (descriptor < 0) {
            return true;
        }
        const bool closed = ::close(descriptor) == 0;
        descriptor = -1;
        return closed;
    }

    const std::string path;
    int descriptor;
    const bool opened;
    std::uint64_t room;
    bool completed = false;
};

std::size_t writeReceived(char* bytes, std::size_t size, std::size_t count, void* file) {
    // Any count other than the one given makes libcurl stop with a write error.
    return static_cast<TargetFile*>(file)->write(bytes, size * count) ? size * count : 0;
}

// noexcept: an exception must not unwind through libcurl's C frames; it terminates instead.
int reportProgress(void* progress, curl_off_t totalToReceive, curl_off_t received, curl_off_t,
                   curl_off_t) noexcept {
    const auto& callback = *static_cast<const DownloadProgress*>(progress);
    const bool goOn =
        callback(static_cast<std::uint64_t>(received), static_cast<std::uint64_t>(totalToReceive));
    return goOn ? 0 : 1;
}

// Every option in one place; false if libcurl refused one.
bool configure(CURL* curl, const std::string& address, TargetFile& file, std::uint64_t maximumSize,
               const DownloadProgress& progress, const CurlDownloader::Limits& limits) {
    bool ok =
        curl_easy_setopt(curl, CURLOPT_URL, address.c_str()) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, allowedProtocols) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, allowedProtocols) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_MAXREDIRS, maximumRedirects) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, long(limits.connect.count())) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedBytesPerSecond) ==
            CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, long(limits.stall.count())) == CURLE_OK &&
        // Refuses an announced length at once; the file counts what arrives without one.
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(maximumSize)) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeReceived) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &file) == CURLE_OK;
    if (ok && progress) {
        ok = curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, reportProgress) == CURLE_OK &&
             curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &progress) == CURLE_OK &&
             curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
    }
    return ok;
}

}  // namespace

DownloadResult CurlDownloader::download(const std::string& address, const std::string& target,
                                        const DownloadProgress& progress) {
    const std::uint64_t maximumSize = std::min(limits.maximumSize, freeSpaceIn(folderOf(target)));
    TargetFile file(target, maximumSize);
    // A size of 0 would mean no limit at all to libcurl.
    if (maximumSize == 0 || !file.isOpen() || !curlReady()) {
        return DownloadResult::failed;
    }
    const CurlHandle curl(curl_easy_init());
    if (!curl || !configure(curl.get(), address, file, maximumSize, progress, limits)) {
        return DownloadResult::failed;
    }
    switch (curl_easy_perform(curl.get())) {
        case CURLE_OK:
            return file.complete() ? DownloadResult::completed : DownloadResult::failed;
        case CURLE_ABORTED_BY_CALLBACK:
            return DownloadResult::cancelled;
        default:
            return DownloadResult::failed;
    }
}

}  // namespace platform
