// Bringing staged files into the install folder by renaming, all or nothing: the journal is
// written before the first rename, and unless the installation is committed (the journal
// removed), its renames are undone, by the destructor or, after a crash, by the next
// installer's recovery. Every name is reached through a descriptor, walking down from the
// install folder without following a link. It decides nothing about what goes where (see
// PlacementPlan).
#pragma once

#include <string>
#include <vector>

#include "install/InstallJournal.h"
#include "install/PlacementPlan.h"
#include "install/StagingFolder.h"
#include "platform/Folder.h"

// The two ends of every placement.
struct PlacementSides {
    const platform::Folder& host;
    std::string installFolderName;
    // Null while the install folder does not exist.
    const platform::Folder* installFolder;
    const StagingFolder& staging;
};

class InstallTransaction {
public:
    InstallTransaction(const PlacementSides& sides, const std::vector<Placement>& plan);
    InstallTransaction(const InstallTransaction&) = delete;
    InstallTransaction& operator=(const InstallTransaction&) = delete;
    ~InstallTransaction();

    // Writes the journal, then makes every placement, a replaced file or link moving into the
    // aside folder first. Throws platform::CFileException; the destructor then undoes.
    void placeAll();
    // Removes the journal: from here on the installation stands.
    void commit();

private:
    const PlacementSides& sides;
    Journal journal;
    bool journalWritten = false;
    bool committed = false;
};

// Undoes what the renames listed in `journal` did, last first, judging each by what it finds:
// a staged entry that is gone was moved into the install folder and moves back, and a file
// waiting aside goes back under its name. Throws platform::CFileException when something
// cannot be put back.
void rollBack(const PlacementSides& sides, const Journal& journal);
