// Splitting paths into drive, folder, name and extension (both `\` and `/` end a folder),
// creating folder trees, and telling folders from files. Stateless.
#pragma once

#include <string>

class CZipPath {
public:
    static std::string folderOf(const char* path);
    static std::string titleOf(const char* path);
    static std::string pathWithoutDrive(const char* path);
    static std::string nameOf(const char* path);
    static bool createFolderTree(const char* path);
    // -1 an existing folder, 1 an existing file, 0 nothing.
    static int pathKind(const char* path);
    static bool isExistingFolder(const char* path);
};
