// Recovery reads each leftover journal and undoes it with the same rollback an installation
// uses on its own failure.
#include "install/InstallRecovery.h"

#include <cerrno>

#include "install/InstallJournal.h"
#include "install/InstallTransaction.h"
#include "install/StagingFolder.h"
#include "platform/CFileException.h"

std::optional<platform::Folder> openInstallFolder(const platform::Folder& host,
                                                  const std::string& name) {
    try {
        return platform::Folder(host.pathOf(name));
    } catch (const platform::CFileException& failure) {
        // A link that leads nowhere is not nothing.
        if (failure.m_lOsError == ENOENT &&
            host.typeOf(name) == platform::Folder::EntryType::missing) {
            return std::nullopt;
        }
        throw;
    }
}

void recoverInterruptedInstallations(const platform::Folder& host) {
    for (const std::string& name : host.names()) {
        if (!name.starts_with(StagingFolder::namePrefix)) {
            continue;
        }
        if (host.typeOf(name) != platform::Folder::EntryType::folder) {
            host.remove(name);
            continue;
        }
        // Staging folders are made private to their installer's user. Any other folder of the
        // name was put there by someone else, and its journal could move files of the install
        // folder anywhere: it is neither undone nor removed.
        if (!host.openFolder(name).isPrivateToThisUser()) {
            continue;
        }
        StagingFolder leftover(host, name);
        if (const std::optional<Journal> journal = readJournal(leftover)) {
            const std::optional<platform::Folder> installFolder =
                openInstallFolder(host, journal->installFolderName);
            rollBack({host, journal->installFolderName, installFolder ? &*installFolder : nullptr,
                      leftover},
                     *journal);
        }
        // A journal that is not whole was never flushed, so nothing had moved yet.
        eraseJournal(leftover);
    }
}
