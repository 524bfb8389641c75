// The hidden working folder of one installation, beside the install folder so that its files
// reach their places by renaming: the extracted package goes into packageFolder(), and files
// that the package replaces wait in asideFolder() until the installation is settled. It does
// not decide what moves where; it only guarantees that nothing of it outlives the installation.
#pragma once

#include <filesystem>
#include <vector>

class StagingFolder {
public:
    // Creates a uniquely named hidden folder in `parent`, and `parent` itself with any missing
    // folders above it. Throws platform::CFileException when a folder cannot be created.
    explicit StagingFolder(const std::filesystem::path& parent);
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;
    // Removes the folder with everything in it, then the parents it created if they are empty.
    ~StagingFolder() = default;

    const std::filesystem::path& root() const { return rootFolder.folder; }
    std::filesystem::path packageFolder() const { return root() / "package"; }
    std::filesystem::path asideFolder() const { return root() / "replaced"; }

private:
    // The members clean up after themselves, so that a constructor that fails half-way leaves
    // nothing behind either.
    struct CreatedParents {
        ~CreatedParents();
        std::vector<std::filesystem::path> folders;  // outermost first
    };
    struct OwnedTree {
        ~OwnedTree();
        std::filesystem::path folder;
    };

    void createParents(const std::filesystem::path& parent);
    void createUniqueRoot(const std::filesystem::path& parent);

    CreatedParents createdParents;
    OwnedTree rootFolder;
};
