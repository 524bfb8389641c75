// Keeps two installations into one install folder from interleaving: the second waits until
// the first is over. The lock is an advisory flock on the folder that holds the install folder
// (where the staging folder goes too), so it leaves no lock file behind. It does not guard
// against writers that are not installers.
#pragma once

#include <filesystem>
#include <optional>

#include "platform/Folder.h"

class InstallLock {
public:
    // Creates `folder` when it is missing (never a missing folder above it), then waits for the
    // lock on `folder`. Throws platform::CFileException when it cannot be created or opened.
    explicit InstallLock(const std::filesystem::path& folder);
    InstallLock(const InstallLock&) = delete;
    InstallLock& operator=(const InstallLock&) = delete;
    // Removes the folder if it created it and it is still empty, then lets the next installer in.
    ~InstallLock();

    // The locked folder, as opened when the lock was taken: work in it goes through this
    // descriptor, so that nothing put in its place under the same path is touched.
    const platform::Folder& folder() const { return lockedFolder; }

private:
    void createFolderIfMissing(const std::filesystem::path& folder);
    bool lockFolder(const std::filesystem::path& folder);

    std::filesystem::path createdFolder;  // empty when the folder was there already
    platform::Folder lockedFolder;
    std::optional<platform::FolderLock> heldLock;
};
