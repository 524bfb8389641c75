// A record of a folder tree for tests that must show an operation left it untouched: every
// path below it with its kind, permission bits, modification time and, for files, the bytes.
#pragma once

#include <map>
#include <string>

// Renames into and out of a folder change its time, and undoing them cannot change it back.
enum class FolderTimes { recorded, ignored };

// Relative path -> "kind mode mtime [bytes]", the folder itself (or a file in its place) under
// "". An empty map for a missing folder.
std::map<std::string, std::string> snapshotOf(const std::string& folder,
                                              FolderTimes folderTimes = FolderTimes::recorded);

// Names in `folder` that begin with ".tockit-staging-": what an installation left behind.
int stagingFoldersIn(const std::string& folder);
