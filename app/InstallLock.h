// Keeps two installations into one install folder from interleaving: the second waits until
// the first is over. The lock is an advisory flock on the folder that holds the install folder
// (where the staging folder goes too), so it leaves no lock file behind. It does not guard
// against writers that are not installers.
#pragma once

#include <filesystem>
#include <vector>

class InstallLock {
public:
    // Creates `folder` and any missing folder above it, then waits for the lock on `folder`.
    // Throws platform::CFileException when a folder cannot be created or opened.
    explicit InstallLock(const std::filesystem::path& folder);
    InstallLock(const InstallLock&) = delete;
    InstallLock& operator=(const InstallLock&) = delete;
    // Removes the folders it created that are still empty, then lets the next installer in.
    ~InstallLock();

private:
    struct Descriptor {
        ~Descriptor();
        int fd = -1;
    };

    void createMissingFolders(const std::filesystem::path& folder);
    bool lockFolder(const std::filesystem::path& folder);

    std::vector<std::filesystem::path> createdFolders;  // outermost first
    Descriptor lockedFolder;
};
