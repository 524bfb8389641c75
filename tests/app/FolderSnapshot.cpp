#include "tests/app/FolderSnapshot.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string describe(const fs::path& path, FolderTimes folderTimes) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) {
        return "unreadable";
    }
    std::ostringstream description;
    description << (S_ISDIR(status.st_mode)   ? "folder"
                    : S_ISLNK(status.st_mode) ? "link"
                                              : "file")
                << " " << std::oct << (status.st_mode & 07777) << std::dec;
    if (!S_ISDIR(status.st_mode) || folderTimes == FolderTimes::recorded) {
        description << " " << status.st_mtim.tv_sec << "." << status.st_mtim.tv_nsec;
    }
    if (S_ISREG(status.st_mode)) {
        std::ifstream file(path, std::ios::binary);
        description << " " << file.rdbuf();
    }
    return description.str();
}

}  // namespace

std::map<std::string, std::string> snapshotOf(const std::string& folder, FolderTimes folderTimes) {
    std::map<std::string, std::string> snapshot;
    std::error_code error;
    if (!fs::exists(fs::symlink_status(folder, error))) {
        return snapshot;
    }
    snapshot[""] = describe(folder, folderTimes);
    if (!fs::is_directory(fs::symlink_status(folder, error))) {
        return snapshot;
    }
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        snapshot[fs::relative(entry.path(), folder).string()] = describe(entry.path(), folderTimes);
    }
    return snapshot;
}

int stagingFoldersIn(const std::string& folder) {
    int count = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        count += entry.path().filename().string().starts_with(".tockit-staging-") ? 1 : 0;
    }
    return count;
}
