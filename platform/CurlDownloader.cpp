// Downloads with libcurl into a temporary file beside the target, renamed over the target only
// once the transfer is complete, so a failed or cancelled download leaves the target as it was
// and no temporary file behind. It keeps no cache, does not resume and sets no proxy (libcurl
// takes the usual proxy variables from the environment by itself).
#include "platform/CurlDownloader.h"

#include <curl/curl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string_view>

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

// mkdir -p with mode 0700: the download folder is private to the user.
bool createFolders(const std::string& folder) {
    for (std::size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::string part = folder.substr(0, end);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (end == std::string::npos) {
            break;
        }
    }
    struct stat status {};
    return ::stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// A file created next to the target that becomes the target on `commit`; removed in the
// destructor otherwise.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target)
        : target(target),
          path(folderOf(target) + "/.download-XXXXXX"),
          descriptor(::mkstemp(path.data())),
          created(descriptor >= 0) {}
    ~TemporaryFile() {
        closeDescriptor();
        if (created && !committed) {
            ::unlink(path.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool isOpen() const { return descriptor >= 0; }

    bool write(const char* bytes, std::size_t size) {
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

    // Flushed to disk first, so that a crash right after cannot leave a short target.
    bool commit() {
        const bool flushed = ::fsync(descriptor) == 0;
        const bool closed = closeDescriptor();
        committed = flushed && closed && ::rename(path.c_str(), target.c_str()) == 0;
        return committed;
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

    const std::string target;
    std::string path;  // the mkstemp template, then the file's name
    int descriptor;
    const bool created;
    bool committed = false;
};

std::size_t writeReceived(char* bytes, std::size_t size, std::size_t count, void* file) {
    // Any count other than the one given makes libcurl stop with a write error.
    return static_cast<TemporaryFile*>(file)->write(bytes, size * count) ? size * count : 0;
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
bool configure(CURL* curl, const std::string& address, TemporaryFile& file,
               const DownloadProgress& progress, const CurlDownloader::Timeouts& timeouts) {
    bool ok =
        curl_easy_setopt(curl, CURLOPT_URL, address.c_str()) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, allowedProtocols) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, allowedProtocols) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_MAXREDIRS, maximumRedirects) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, long(timeouts.connect.count())) ==
            CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK &&
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, long(timeouts.stall.count())) == CURLE_OK &&
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
    if (!curlReady() || !createFolders(folderOf(target))) {
        return DownloadResult::failed;
    }
    TemporaryFile file(target);
    const CurlHandle curl(curl_easy_init());
    if (!file.isOpen() || !curl || !configure(curl.get(), address, file, progress, timeouts)) {
        return DownloadResult::failed;
    }
    switch (curl_easy_perform(curl.get())) {
        case CURLE_OK:
            return file.commit() ? DownloadResult::completed : DownloadResult::failed;
        case CURLE_ABORTED_BY_CALLBACK:
            return DownloadResult::cancelled;
        default:
            return DownloadResult::failed;
    }
}

}  // namespace platform
