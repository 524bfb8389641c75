// A folder held open by its descriptor, and the file calls made relative to it. Working from
// descriptors is what keeps the installer's writes where they belong: once a folder is open,
// renaming it or swapping a link in for it changes nothing for the holder, and no call here
// follows a link below it. A link standing where a folder is expected makes the call fail; a
// link standing where a name is renamed to is replaced, never written through. Names given to
// these calls are single path components. It does not interpret Zip names or Windows paths.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace platform {

class Folder;

// Called before every call below that changes the file system, with the folder and the name
// the call changes. A seam for tests that stop or disturb an installation at a chosen step;
// nothing in the program sets it. It must not throw.
using MutationHook = void (*)(const Folder& folder, std::string_view name) noexcept;
void setMutationHook(MutationHook hook) noexcept;

// An exclusive advisory lock on a folder, taken by Folder::lockExclusively and held until it is
// destroyed. Only others who ask for the same lock wait for it; it keeps no writer out.
class FolderLock {
public:
    FolderLock(FolderLock&& other) noexcept;
    FolderLock& operator=(FolderLock&&) = delete;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock();

private:
    friend class Folder;
    explicit FolderLock(int descriptor) noexcept : descriptor_(descriptor) {}

    int descriptor_ = -1;
};

class Folder {
public:
    enum class EntryType { missing, file, folder, link, other };

    Folder() = default;
    // Opens the folder `path` names. Links in `path` itself are followed: where the folder is,
    // is decided once, here. Throws CFileException.
    explicit Folder(const std::string& path);
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder();

    bool isOpen() const { return descriptor_ >= 0; }
    int descriptor() const { return descriptor_; }
    // The path this folder was opened by, followed by the names it was reached through. For
    // messages only: the folder may have moved since.
    const std::string& path() const { return path_; }
    std::string pathOf(std::string_view name) const;

    // The subfolder `name`, never reached through a link. Throws CFileException (ELOOP or
    // ENOTDIR when something other than a folder stands there).
    Folder openFolder(std::string_view name) const;
    // As openFolder, creating the folder (mode 0777 less the umask) when nothing stands there.
    Folder openOrCreateFolder(std::string_view name) const;
    // Creates `name` with `mode`, failing if anything stands there, and opens it.
    Folder createFolder(std::string_view name, mode_t mode) const;

    // What stands at `name`, a link reported as itself. Throws CFileException.
    EntryType typeOf(std::string_view name) const;
    // The names in the folder, without `.` and `..`, sorted.
    std::vector<std::string> names() const;

    // Moves `from` in this folder to `to` in `target`, replacing a file or a link standing
    // there (a folder replaces only an empty folder). Throws CFileException.
    void rename(std::string_view from, const Folder& target, std::string_view to) const;
    // As rename, for undoing: returns the errno value, or 0. Never throws.
    int renameQuietly(std::string_view from, const Folder& target,
                      std::string_view to) const noexcept;
    // Removes the file or empty folder `name`. Throws CFileException.
    void remove(std::string_view name) const;
    // Removes `name` and everything below it, never following a link, as far as it can. Never
    // throws: it serves cleanup, where a failure has nobody to be reported to.
    void removeTreeQuietly(std::string_view name) const noexcept;
    // True when this process's user owns the folder and nobody else may enter it: only such a
    // folder can be one this program's own installer made for itself.
    bool isPrivateToThisUser() const;
    // Flushes every file system write so far on this folder's file system to the disk.
    void syncFileSystem() const;
    // Waits until this process holds the exclusive lock on this folder. Throws CFileException.
    FolderLock lockExclusively() const;
    // Whether `path` names this very folder now, rather than nothing or a folder put in its
    // place since it was opened.
    bool isNamedBy(const std::string& path) const;

private:
    Folder(int descriptor, std::string path);
    Folder openBelow(std::string_view name, int extraFlags) const;

    int descriptor_ = -1;
    std::string path_;
};

}  // namespace platform
