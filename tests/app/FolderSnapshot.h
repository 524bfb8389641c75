// A record of a folder tree for tests that must show an operation left it untouched.
#pragma once

#include <string>

// Renames into and out of a folder change its time, and undoing them cannot change it back.
enum class FolderTimes { recorded, ignored };

// One line per path below `folder` (and the folder itself): kind, mode, modification time and,
// for files, the bytes. Empty for a missing folder.
std::string snapshotOf(const std::string& folder, FolderTimes folderTimes = FolderTimes::recorded);

// Paths of the files below `folder`, sorted and separated by spaces.
std::string filesIn(const std::string& folder);

// Names in `folder` that begin with ".tockit-staging-": what an installation left behind.
int stagingFoldersIn(const std::string& folder);
