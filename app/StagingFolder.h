// The hidden working folder of one installation, beside the install folder so that its files
// reach their places by renaming: the extracted package goes into packageFolder(), and files
// that the package replaces wait in asideFolder() until the installation is settled. It does
// not decide what moves where; it only guarantees that nothing of it outlives the installation.
#pragma once

#include <filesystem>

class StagingFolder {
public:
    // Creates a uniquely named hidden folder in `parent`, which exists (the install lock made
    // it). Throws platform::CFileException when a folder cannot be created.
    explicit StagingFolder(const std::filesystem::path& parent);
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;
    // Removes the folder with everything in it.
    ~StagingFolder() = default;

    const std::filesystem::path& root() const { return rootFolder.folder; }
    std::filesystem::path packageFolder() const { return root() / "package"; }
    std::filesystem::path asideFolder() const { return root() / "replaced"; }

private:
    // Cleans up after itself, so that a constructor that fails half-way leaves nothing behind
    // either.
    struct OwnedTree {
        ~OwnedTree();
        std::filesystem::path folder;
    };

    void createUniqueRoot(const std::filesystem::path& parent);

    OwnedTree rootFolder;
};
