// Creating and removing the staging folder. Names come from a random suffix and an exclusive
// create, so two installers working beside the same install folder never share one.
#include "install/StagingFolder.h"

#include <sys/stat.h>

#include <cerrno>
#include <random>

#include "install/InstallJournal.h"
#include "platform/CFileException.h"

namespace {

constexpr int nameAttempts = 100;

std::string randomSuffix(std::mt19937& generator) {
    static constexpr std::string_view alphabet = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string suffix(8, ' ');
    for (char& character : suffix) {
        character = alphabet[pick(generator)];
    }
    return suffix;
}

}  // namespace

StagingFolder::StagingFolder(const platform::Folder& host) : host(host) {
    std::mt19937 generator{std::random_device{}()};
    for (int attempt = 0; !rootFolder.isOpen(); ++attempt) {
        const std::string candidate = std::string(namePrefix) + randomSuffix(generator);
        try {
            // The package's files are nobody else's business until they are installed.
            rootFolder = host.createFolder(candidate, S_IRWXU);
            name = candidate;
        } catch (const platform::CFileException& failure) {
            if (failure.m_lOsError != EEXIST || attempt + 1 == nameAttempts) {
                throw;
            }
        }
    }
    try {
        package = rootFolder.createFolder(packageName, S_IRWXU);
        aside = rootFolder.createFolder(asideName, S_IRWXU);
    } catch (const platform::CFileException&) {
        remove();
        throw;
    }
}

StagingFolder::StagingFolder(const platform::Folder& host, std::string name)
    : host(host), name(std::move(name)), rootFolder(host.openFolder(this->name)) {
    // A folder left before its subfolders were made has nothing to undo.
    if (rootFolder.typeOf(packageName) == platform::Folder::EntryType::folder) {
        package = rootFolder.openFolder(packageName);
    }
    if (rootFolder.typeOf(asideName) == platform::Folder::EntryType::folder) {
        aside = rootFolder.openFolder(asideName);
    }
}

// Nothing useful can be done about a leftover here: the installation's verdict is settled,
// and the next installation into this host removes it.
void StagingFolder::remove() noexcept {
    if (!rootFolder.isOpen()) {
        return;
    }
    try {
        if (hasJournal(*this)) {
            return;
        }
        // Emptied through its own descriptor, so that what is removed is this folder's
        // content wherever the folder now is; then its name, which removes only an empty
        // folder or whatever link took its place.
        for (const std::string& inner : rootFolder.names()) {
            rootFolder.removeTreeQuietly(inner);
        }
        rootFolder = platform::Folder();
        package = platform::Folder();
        aside = platform::Folder();
        host.remove(name);
    } catch (const platform::CFileException&) {
        // Left for the next installation into this host.
    }
}
