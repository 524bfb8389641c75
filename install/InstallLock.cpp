// The install lock. A folder that an installer created for its installation is removed again
// by that installer while it still holds the lock; an installer that was waiting on the removed
// folder then finds that its path names another folder, or none, and locks again from the
// start. So at every moment at most one installer holds the lock on the folder the path names.
#include "install/InstallLock.h"

#include <system_error>
#include <utility>

#include "platform/FileSystem.h"

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

void InstallLock::createFolderIfMissing(const fs::path& folder) {
    // Only the folder itself: a missing folder above it means the host is gone, and making the
    // chain would put folders where nobody asked for them (as root, anywhere). Another
    // installer may create the folder meanwhile; then it is that one's to remove.
    if (platform::createDirectoryUnlessPresent(folder.string())) {
        createdFolder = folder;
    }
}

// False when the folder was replaced or removed while this installer waited.
bool InstallLock::lockFolder(const fs::path& folder) {
    platform::Folder opened(folder.string());
    platform::FolderLock lock = opened.lockExclusively();
    if (!opened.isNamedBy(folder.string())) {
        return false;
    }
    lockedFolder = std::move(opened);
    heldLock.emplace(std::move(lock));
    return true;
}
