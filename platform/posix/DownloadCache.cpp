// Creating, locking and sweeping the download files. The lock is the only sign of life a run
// leaves on its file: flock(2) locks vanish with the process however it ends, so a file whose
// lock can be taken has no owner left. Names are checked against the open file before anything
// is removed, because a name may have been removed and taken again in the meantime.
#include "platform/DownloadCache.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <utility>

#include "platform/CFileException.h"

namespace platform {

namespace {

constexpr std::string_view namePrefix = "download-";
constexpr std::string_view randomPart = "XXXXXX";
constexpr std::string_view nameSuffix = ".zip";

bool isDownloadName(std::string_view name) {
    return name.size() == namePrefix.size() + randomPart.size() + nameSuffix.size() &&
           name.starts_with(namePrefix) && name.ends_with(nameSuffix);
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    const passwd* user = ::getpwuid(::getuid());
    return user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "";
}

// mkdir -p with mode 0700: the downloads are private to the user.
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
    if (::stat(folder.c_str(), &status) != 0) {
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

bool stillNames(const std::string& path, int descriptor) {
    struct stat byName {};
    struct stat byDescriptor {};
    return ::lstat(path.c_str(), &byName) == 0 && ::fstat(descriptor, &byDescriptor) == 0 &&
           byName.st_dev == byDescriptor.st_dev && byName.st_ino == byDescriptor.st_ino;
}

void removeIfAbandoned(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        return;
    }
    if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0 && stillNames(path, descriptor)) {
        ::unlink(path.c_str());
    }
    ::close(descriptor);
}

struct FolderCloser {
    void operator()(DIR* folder) const { ::closedir(folder); }
};

void removeAbandoned(const std::string& folder) {
    const std::unique_ptr<DIR, FolderCloser> listing(::opendir(folder.c_str()));
    if (!listing) {
        return;  // no folder yet, so nothing was abandoned in it
    }
    while (const dirent* entry = ::readdir(listing.get())) {
        if (isDownloadName(entry->d_name)) {
            removeIfAbandoned(folder + "/" + entry->d_name);
        }
    }
}

}  // namespace

std::string downloadFolder() {
    const char* cacheHome = std::getenv("XDG_CACHE_HOME");
    // Relative values are invalid by the base-directory rules and are ignored.
    const std::string cacheFolder = cacheHome != nullptr && cacheHome[0] == '/'
                                        ? std::string(cacheHome)
                                        : homeFolder() + "/.cache";
    return cacheFolder + "/tockit-installer";
}

DownloadCache::DownloadCache(std::string folder) : folder(std::move(folder)) {
    removeAbandoned(this->folder);
}

DownloadCache::~DownloadCache() {
    release();
}

std::string DownloadCache::nextTarget() {
    const std::lock_guard lock(mutex);
    release();
    if (!createFolders(folder)) {
        raiseFileError(errno, folder);
    }
    for (;;) {
        std::string path = folder + "/";
        path.append(namePrefix).append(randomPart).append(nameSuffix);
        const int descriptor =
            ::mkostemps(path.data(), static_cast<int>(nameSuffix.size()), O_CLOEXEC);
        if (descriptor < 0) {
            raiseFileError(errno, path);
        }
        if (::flock(descriptor, LOCK_EX) != 0) {
            const int error = errno;
            ::unlink(path.c_str());
            ::close(descriptor);
            raiseFileError(error, path);
        }
        // A run starting just now may have swept the file before it was locked.
        if (stillNames(path, descriptor)) {
            heldPath = path;
            heldDescriptor = descriptor;
            return path;
        }
        ::close(descriptor);
    }
}

std::string DownloadCache::lastTarget() const {
    const std::lock_guard lock(mutex);
    return heldPath;
}

void DownloadCache::release() {
    if (heldDescriptor < 0) {
        return;
    }
    // The downloader removes a file whose download failed; its name may be another's by now.
    if (stillNames(heldPath, heldDescriptor)) {
        ::unlink(heldPath.c_str());
    }
    ::close(heldDescriptor);
    heldDescriptor = -1;
    heldPath.clear();
}

}  // namespace platform
