// The intent journal of an installation: before the first file moves into the install
// folder, the staging folder gets a list of every placement, so that an installer that dies
// midway leaves enough behind for the next one to put the install folder back as it was. It
// only writes, reads and removes the list; undoing it is InstallTransaction's.
#pragma once

#include <optional>
#include <string>
#include <vector>

class StagingFolder;

struct JournalRecord {
    // Relative to the install folder and to the staged package (see Placement).
    std::string path;
    // The name in the aside folder under which the replaced file waits; empty when the
    // placement replaces nothing.
    std::string asideName;
};

struct Journal {
    // The install folder's name in the host folder.
    std::string installFolderName;
    std::vector<JournalRecord> records;
};

// Writes the journal into the staging folder whole, then flushes the file system, so that
// the journal and the staged files it lists are on disk before anything moves. Throws
// platform::CFileException.
void writeJournal(const StagingFolder& staging, const Journal& journal);
// The journal, or nullopt when there is none or it is incomplete. Throws
// platform::CFileException when it cannot be read.
std::optional<Journal> readJournal(const StagingFolder& staging);
bool hasJournal(const StagingFolder& staging);
// Removes the journal, when there is one: the installation's commit point.
void eraseJournal(const StagingFolder& staging);
