// The install lock. A folder that an installer created for its installation is removed again
// by that installer while it still holds the lock; an installer that was waiting on the removed
// folder then finds that its path names another folder, or none, and locks again from the
// start. So at every moment at most one installer holds the lock on the folder the path names.
#include "app/InstallLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/CFileException.h"

namespace fs = std::filesystem;

InstallLock::InstallLock(const fs::path& folder) {
    const fs::path locked = folder.empty() ? fs::path(".") : folder;
    do {
        createFolderIfMissing(locked);
    } while (!lockFolder(locked));
}

InstallLock::~InstallLock() {
    // A folder that is not empty now holds an installed package and stays; nothing else can be
    // done about a folder that cannot be removed, and a destructor must not throw.
    std::error_code ignored;
    if (!createdFolder.empty()) {
        fs::remove(createdFolder, ignored);
    }
}

InstallLock::Descriptor::~Descriptor() {
    if (fd >= 0) {
        ::close(fd);  // releases the lock
    }
}

void InstallLock::createFolderIfMissing(const fs::path& folder) {
    // Only the folder itself: a missing folder above it means the host is gone, and making the
    // chain would put folders where nobody asked for them (as root, anywhere). Another
    // installer may create the folder meanwhile; then it is that one's to remove.
    if (::mkdir(folder.c_str(), 0777) == 0) {
        createdFolder = folder;
    } else if (errno != EEXIST) {
        throw platform::CFileException::fromErrno(errno, folder.string());
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
