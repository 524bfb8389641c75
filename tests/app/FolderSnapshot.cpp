#include "tests/app/FolderSnapshot.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string contentOf(const fs::path& path) {
    std::ostringstream content;
    content << std::ifstream(path, std::ios::binary).rdbuf();
    return content.str();
}

// Every path below `folder` relative to it, sorted; "" for the folder itself.
std::set<fs::path> pathsBelow(const std::string& folder) {
    std::error_code error;
    if (!fs::exists(fs::symlink_status(folder, error))) {
        return {};
    }
    std::set<fs::path> paths{""};
    for (const auto& entry : fs::recursive_directory_iterator(folder, error)) {
        paths.insert(entry.path().lexically_relative(folder));
    }
    return paths;
}

}  // namespace

std::string snapshotOf(const std::string& folder, FolderTimes folderTimes) {
    std::ostringstream snapshot;
    for (const fs::path& relative : pathsBelow(folder)) {
        const fs::path path = fs::path(folder) / relative;
        struct stat status {};
        lstat(path.c_str(), &status);
        snapshot << relative.string() << " " << std::oct << status.st_mode << std::dec;
        if (!S_ISDIR(status.st_mode) || folderTimes == FolderTimes::recorded) {
            snapshot << " " << status.st_mtim.tv_sec << "." << status.st_mtim.tv_nsec;
        }
        snapshot << (S_ISREG(status.st_mode) ? " " + contentOf(path) : "") << "\n";
    }
    return snapshot.str();
}

std::string filesIn(const std::string& folder) {
    std::string files;
    for (const fs::path& relative : pathsBelow(folder)) {
        if (fs::is_regular_file(fs::path(folder) / relative)) {
            files += (files.empty() ? "" : " ") + relative.string();
        }
    }
    return files;
}

int stagingFoldersIn(const std::string& folder) {
    int count = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        count += entry.path().filename().string().starts_with(".tockit-staging-") ? 1 : 0;
    }
    return count;
}
