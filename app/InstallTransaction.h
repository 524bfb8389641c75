// Bringing staged files into the install folder by renaming, with a journal of every rename so
// that the installation is all or nothing: unless it is committed, the destructor undoes the
// renames in reverse order, which puts every replaced file back. It decides nothing about what
// goes where (see PlacementPlan).
#pragma once

#include <filesystem>
#include <vector>

#include "app/PlacementPlan.h"

class InstallTransaction {
public:
    // Replaced files are moved into `asideFolder`, which must exist on the install folder's
    // file system.
    explicit InstallTransaction(std::filesystem::path asideFolder);
    InstallTransaction(const InstallTransaction&) = delete;
    InstallTransaction& operator=(const InstallTransaction&) = delete;
    ~InstallTransaction();

    // Throws platform::CFileException when a rename fails; what was renamed before stays in
    // the journal and is undone with the rest.
    void place(const Placement& placement);
    void commit() { committed = true; }

private:
    struct Rename {
        std::filesystem::path from;
        std::filesystem::path to;
    };

    // A failure names `blamed`.
    void rename(const std::filesystem::path& from, const std::filesystem::path& to,
                const std::filesystem::path& blamed);

    std::filesystem::path asideFolder;
    std::vector<Rename> journal;
    bool committed = false;
};
