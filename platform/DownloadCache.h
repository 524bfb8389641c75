// The files one run downloads packages into. Each download gets a new file in the per-user cache
// folder, created exclusively and readable by the user alone, and locked with flock(2) for as
// long as the run holds it, so that concurrent runs never share a file. A run that starts
// removes the files whose lock it can take: their run ended without cleaning up (it was killed).
// It downloads nothing itself and keeps no file past the life of the cache that made it.
#pragma once

#include <mutex>
#include <string>

namespace platform {

// $XDG_CACHE_HOME/tockit-installer, else ~/.cache/tockit-installer; not created here.
std::string downloadFolder();

class DownloadCache {
public:
    // Removes the abandoned downloads in `folder`, when it exists; creates nothing yet.
    explicit DownloadCache(std::string folder);
    // Removes the file it holds; errors are ignored, as nothing is left to report them to.
    ~DownloadCache();
    DownloadCache(const DownloadCache&) = delete;
    DownloadCache& operator=(const DownloadCache&) = delete;

    // A new, empty file for the next download, `download-XXXXXX.zip` in the folder, which is
    // created (mode 0700) when missing. The file handed out before is removed: a run installs
    // one download at a time, and keeping them all would fill the disk with copies. Throws
    // CFileException when the file cannot be created.
    std::string nextTarget();
    // The file nextTarget gave out last (gone when its download failed); empty before. This and
    // nextTarget may be called from any thread.
    std::string lastTarget() const;

private:
    void release();

    const std::string folder;
    mutable std::mutex mutex;
    std::string heldPath;  // empty while no file is held
    int heldDescriptor = -1;
};

}  // namespace platform
