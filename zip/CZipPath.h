// Splitting paths into drive, folder, name and extension (both `\` and `/` end a folder),
// creating folder trees, and telling folders from files. Stateless.
#pragma once

#include <string>

class CZipPath {
public:
    // A path split as the Windows `_splitpath` does; each piece is cut to its limit (drive 2,
    // the others 255 bytes).
    struct Pieces {
        std::string drive;      // a letter and a colon at the very start, else empty
        std::string folder;     // up to and including the last `\` or `/`
        std::string name;       // up to the last dot
        std::string extension;  // the last dot and what follows it
    };
    static Pieces split(const char* path);
    // Whether splitting cuts a piece of `path` short, so that the pieces no longer name it.
    static bool isCutBySplitting(const std::string& path);

    static std::string folderOf(const char* path);
    static std::string titleOf(const char* path);
    static std::string pathWithoutDrive(const char* path);
    static std::string nameOf(const char* path);
    static bool createFolderTree(const char* path);
    // -1 an existing folder, 1 an existing file, 0 nothing.
    static int pathKind(const char* path);
    static bool isExistingFolder(const char* path);
};
