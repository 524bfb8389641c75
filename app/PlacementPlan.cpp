// Walks the staged tree and the install folder side by side. A link in the install folder is
// judged by what it points to when it points to a folder (the files go into that folder), and
// replaced like a file otherwise.
#include "app/PlacementPlan.h"

#include <algorithm>
#include <system_error>

#include "platform/CFileException.h"

namespace fs = std::filesystem;

namespace {

enum class Occupant { nothing, folder, other };

[[noreturn]] void raiseFileError(const std::error_code& error, const fs::path& path) {
    throw platform::CFileException::fromErrno(error.value(), path.string());
}

Occupant occupantOf(const fs::path& path) {
    std::error_code error;
    const fs::file_status own = fs::symlink_status(path, error);
    if (error && own.type() != fs::file_type::not_found) {
        raiseFileError(error, path);
    }
    if (own.type() == fs::file_type::not_found) {
        return Occupant::nothing;
    }
    return fs::status(path, error).type() == fs::file_type::directory ? Occupant::folder
                                                                      : Occupant::other;
}

std::vector<fs::directory_entry> sortedContents(const fs::path& folder) {
    std::error_code error;
    fs::directory_iterator iterator(folder, error);
    if (error) {
        raiseFileError(error, folder);
    }
    std::vector<fs::directory_entry> contents;
    for (; iterator != fs::directory_iterator(); iterator.increment(error)) {
        contents.push_back(*iterator);
    }
    if (error) {
        raiseFileError(error, folder);
    }
    std::sort(contents.begin(), contents.end());
    return contents;
}

// False on a clash.
bool planFolder(const fs::path& staged, const fs::path& target, std::vector<Placement>& plan) {
    switch (occupantOf(target)) {
        case Occupant::nothing:
            plan.push_back({staged, target, false});
            return true;
        case Occupant::other:
            return false;
        case Occupant::folder:
            break;
    }
    for (const fs::directory_entry& entry : sortedContents(staged)) {
        const fs::path entryTarget = target / entry.path().filename();
        // The staged tree is the reader's own output: it holds no links.
        if (entry.is_directory()) {
            if (!planFolder(entry.path(), entryTarget, plan)) {
                return false;
            }
            continue;
        }
        const Occupant occupant = occupantOf(entryTarget);
        if (occupant == Occupant::folder) {
            return false;
        }
        plan.push_back({entry.path(), entryTarget, occupant == Occupant::other});
    }
    return true;
}

}  // namespace

std::optional<std::vector<Placement>> planPlacement(const fs::path& stagedFolder,
                                                    const fs::path& installFolder) {
    std::vector<Placement> plan;
    if (!planFolder(stagedFolder, installFolder, plan)) {
        return std::nullopt;
    }
    return plan;
}
