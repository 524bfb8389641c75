// The hidden working folder of one installation, beside the install folder so that its files
// reach their places by renaming: the extracted package goes into packageFolder(), files that
// the package replaces wait in asideFolder() until the installation is settled, and the intent
// journal lies in root(). It is reached only through descriptors, so that renaming it away or
// putting a link in its place redirects nothing. It does not decide what moves where.
#pragma once

#include <string>
#include <string_view>

#include "platform/Folder.h"

class StagingFolder {
public:
    static constexpr std::string_view namePrefix = ".tockit-staging-";
    static constexpr std::string_view packageName = "package";
    static constexpr std::string_view asideName = "replaced";

    // Creates a uniquely named folder in `host`, which only its owner may enter. Throws
    // platform::CFileException when a folder cannot be created.
    explicit StagingFolder(const platform::Folder& host);
    // Takes over the staging folder `name` that an earlier installer left in `host`.
    StagingFolder(const platform::Folder& host, std::string name);
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;
    ~StagingFolder() { remove(); }

    const platform::Folder& root() const { return rootFolder; }
    const platform::Folder& packageFolder() const { return package; }
    const platform::Folder& asideFolder() const { return aside; }

    // Removes the folder with everything in it, unless it still holds a journal: then files
    // of the install folder may still be in it, and only undoing the journal may remove it.
    void remove() noexcept;

private:
    const platform::Folder& host;
    std::string name;
    platform::Folder rootFolder;
    platform::Folder package;
    platform::Folder aside;
};
