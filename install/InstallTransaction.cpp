// Placements and their undoing, both from the journal's list, so that undoing after a
// failure and undoing after a crash are one and the same.
#include "install/InstallTransaction.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string_view>

#include "platform/CFileException.h"

namespace {

using platform::Folder;

// Opens folders below a root by relative paths, one name at a time and never through a link;
// the last one opened is kept, since placements come folder by folder.
class FolderWalk {
public:
    explicit FolderWalk(const Folder* root) : root(root) {}

    const Folder& at(std::string_view path) {
        if (root == nullptr) {
            platform::raiseFileError(ENOENT, std::string(path));
        }
        if (path.empty()) {
            return *root;
        }
        if (!last || lastPath != path) {
            std::optional<Folder> folder;
            for (std::size_t start = 0; start <= path.size();) {
                const std::size_t end = std::min(path.find('/', start), path.size());
                const std::string_view name = path.substr(start, end - start);
                folder = folder ? folder->openFolder(name) : root->openFolder(name);
                start = end + 1;
            }
            last = std::move(folder);
            lastPath = path;
        }
        return *last;
    }

private:
    const Folder* root;
    std::string lastPath;
    std::optional<Folder> last;
};

// A placement's two ends: each a folder and a name in it.
class PlacementEnds {
public:
    explicit PlacementEnds(const PlacementSides& sides)
        : sides(sides), installed(sides.installFolder), staged(&sides.staging.packageFolder()) {}

    const Folder& stagedFolder(std::string_view path) {
        return path.empty() ? sides.staging.root() : staged.at(parentOf(path));
    }
    std::string_view stagedName(std::string_view path) const {
        return path.empty() ? StagingFolder::packageName : nameOf(path);
    }
    const Folder& installedFolder(std::string_view path) {
        return path.empty() ? sides.host : installed.at(parentOf(path));
    }
    std::string_view installedName(std::string_view path) const {
        return path.empty() ? std::string_view(sides.installFolderName) : nameOf(path);
    }

private:
    static std::string_view parentOf(std::string_view path) {
        const std::size_t slash = path.rfind('/');
        return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
    }
    static std::string_view nameOf(std::string_view path) {
        return path.substr(path.rfind('/') + 1);
    }

    const PlacementSides& sides;
    FolderWalk installed;
    FolderWalk staged;
};

}  // namespace

InstallTransaction::InstallTransaction(const PlacementSides& sides,
                                       const std::vector<Placement>& plan)
    : sides(sides), journal{sides.installFolderName, {}} {
    journal.records.reserve(plan.size());
    for (const Placement& placement : plan) {
        journal.records.push_back({placement.path, placement.replaces
                                                       ? std::to_string(journal.records.size())
                                                       : std::string()});
    }
}

InstallTransaction::~InstallTransaction() {
    if (!journalWritten || committed) {
        return;
    }
    try {
        rollBack(sides, journal);
        eraseJournal(sides.staging);
    } catch (const platform::CFileException&) {
        // Only something outside the installer interfering makes an undo fail. The journal
        // then stays, and with it the staging folder and the files waiting aside: the next
        // installation into this host tries again.
    }
}

void InstallTransaction::placeAll() {
    // Set first: a journal that came to exist must be undone even if flushing it failed.
    journalWritten = true;
    writeJournal(sides.staging, journal);
    PlacementEnds ends(sides);
    for (const JournalRecord& record : journal.records) {
        const Folder& installed = ends.installedFolder(record.path);
        const std::string_view name = ends.installedName(record.path);
        if (!record.asideName.empty()) {
            installed.rename(name, sides.staging.asideFolder(), record.asideName);
        }
        // A failure names the file in the install folder: the staging folder is the
        // installer's own, and gone by the time the failure is reported.
        if (const int error = ends.stagedFolder(record.path)
                                  .renameQuietly(ends.stagedName(record.path), installed, name);
            error != 0) {
            platform::raiseFileError(error, installed.pathOf(name));
        }
    }
}

void InstallTransaction::commit() {
    eraseJournal(sides.staging);
    committed = true;
}

void rollBack(const PlacementSides& sides, const Journal& journal) {
    const Folder& aside = sides.staging.asideFolder();
    PlacementEnds ends(sides);
    for (auto record = journal.records.rbegin(); record != journal.records.rend(); ++record) {
        const Folder& staged = ends.stagedFolder(record->path);
        const std::string_view stagedName = ends.stagedName(record->path);
        const bool movedIn = staged.typeOf(stagedName) == Folder::EntryType::missing;
        const bool setAside = !record->asideName.empty() &&
                              aside.typeOf(record->asideName) != Folder::EntryType::missing;
        if (!movedIn && !setAside) {
            continue;
        }
        const Folder& installed = ends.installedFolder(record->path);
        const std::string_view name = ends.installedName(record->path);
        if (movedIn) {
            // Gone from the install folder too, it was removed by someone else meanwhile.
            if (const int error = installed.renameQuietly(name, staged, stagedName);
                error != 0 && error != ENOENT) {
                platform::raiseFileError(error, installed.pathOf(name));
            }
        }
        if (setAside) {
            aside.rename(record->asideName, installed, name);
        }
    }
}
