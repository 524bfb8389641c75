// The install lock. A folder that an installer created for its installation is removed again
// by that installer while it still holds the lock; an installer that was waiting on the removed
// folder then finds that its path names another folder, or none, and locks again from the
// start. So at every moment at most one installer holds the lock on the folder the path names.
#include "app/InstallLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "platform/CFileException.h"

namespace fs = std::filesystem;

InstallLock::InstallLock(const fs::path& folder) {
    const fs::path locked = folder.empty() ? fs::path(".") : folder;
    do {
        createMissingFolders(locked);
    } while (!lockFolder(locked));
}

InstallLock::~InstallLock() {
    // A folder that is not empty now holds an installed package and stays; nothing else can be
    // done about a folder that cannot be removed, and a destructor must not throw.
    std::error_code ignored;
    for (auto folder = createdFolders.rbegin(); folder != createdFolders.rend(); ++folder) {
        fs::remove(*folder, ignored);
    }
}

InstallLock::Descriptor::~Descriptor() {
    if (fd >= 0) {
        ::close(fd);  // releases the lock
    }
}

void InstallLock::createMissingFolders(const fs::path& folder) {
    std::vector<fs::path> missing;
    std::error_code error;
    for (fs::path path = folder; !path.empty() && !fs::exists(path, error);
         path = path.parent_path()) {
        if (error) {
            throw platform::CFileException::fromErrno(error.value(), path.string());
        }
        missing.push_back(path);
        if (path == path.parent_path()) {
            break;
        }
    }
    for (auto path = missing.rbegin(); path != missing.rend(); ++path) {
        // Another installer may create the same folder meanwhile; then it is that one's to
        // remove.
        if (::mkdir(path->c_str(), 0777) == 0) {
            if (std::find(createdFolders.begin(), createdFolders.end(), *path) ==
                createdFolders.end()) {
                createdFolders.push_back(*path);
            }
        } else if (errno != EEXIST) {
            throw platform::CFileException::fromErrno(errno, path->string());
        }
    }
}

// False when the folder was replaced or removed while this installer waited.
bool InstallLock::lockFolder(const fs::path& folder) {
    Descriptor opened;
    opened.fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (opened.fd < 0) {
        throw platform::CFileException::fromErrno(errno, folder.string());
    }
    while (::flock(opened.fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            throw platform::CFileException::fromErrno(errno, folder.string());
        }
    }
    struct stat lockedStatus {};
    struct stat namedStatus {};
    if (::fstat(opened.fd, &lockedStatus) != 0 || ::stat(folder.c_str(), &namedStatus) != 0 ||
        lockedStatus.st_dev != namedStatus.st_dev || lockedStatus.st_ino != namedStatus.st_ino) {
        return false;
    }
    std::swap(lockedFolder.fd, opened.fd);
    return true;
}
