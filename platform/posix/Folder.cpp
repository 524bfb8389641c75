// Folders through descriptors on POSIX: openat, mkdirat, renameat, unlinkat and fstatat, with
// O_NOFOLLOW and AT_SYMLINK_NOFOLLOW wherever a name below the folder is looked at.
#include "platform/Folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <utility>

#include "platform/CFileException.h"
#include "platform/FileSystem.h"

namespace platform {

namespace {

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

std::atomic<MutationHook> mutationHook{nullptr};

void beforeMutation(const Folder& folder, std::string_view name) noexcept {
    if (const MutationHook hook = mutationHook.load(std::memory_order_relaxed)) {
        hook(folder, name);
    }
}

// Closes a descriptor on every path out of a function.
struct OwnedDescriptor {
    int descriptor = -1;
    ~OwnedDescriptor() {
        if (descriptor >= 0) {
            ::close(descriptor);
        }
    }
    int release() { return std::exchange(descriptor, -1); }
};

}  // namespace

void setMutationHook(MutationHook hook) noexcept {
    mutationHook.store(hook);
}

Folder::Folder(const std::string& path) : path_(nativePath(path)) {
    descriptor_ = ::open(path_.c_str(), folderFlags);
    if (descriptor_ < 0) {
        raiseFileError(errno, path_);
    }
}

Folder::Folder(int descriptor, std::string path)
    : descriptor_(descriptor), path_(std::move(path)) {}

Folder::Folder(Folder&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), path_(std::move(other.path_)) {}

Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
        descriptor_ = std::exchange(other.descriptor_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

Folder::~Folder() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
}

std::string Folder::pathOf(std::string_view name) const {
    std::string path = path_;
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    return path.append(name);
}

Folder Folder::openBelow(std::string_view name, int extraFlags) const {
    const std::string component(name);
    const int opened = ::openat(descriptor_, component.c_str(), folderFlags | extraFlags);
    if (opened < 0) {
        raiseFileError(errno, pathOf(name));
    }
    return Folder(opened, pathOf(name));
}

Folder Folder::openFolder(std::string_view name) const {
    return openBelow(name, O_NOFOLLOW);
}

Folder Folder::openOrCreateFolder(std::string_view name) const {
    const std::string component(name);
    beforeMutation(*this, name);
    // Another installer may create it at the same moment; either way it then exists.
    if (::mkdirat(descriptor_, component.c_str(), 0777) != 0 && errno != EEXIST) {
        raiseFileError(errno, pathOf(name));
    }
    return openFolder(name);
}

Folder Folder::createFolder(std::string_view name, mode_t mode) const {
    const std::string component(name);
    beforeMutation(*this, name);
    if (::mkdirat(descriptor_, component.c_str(), mode) != 0) {
        raiseFileError(errno, pathOf(name));
    }
    return openFolder(name);
}

Folder::EntryType Folder::typeOf(std::string_view name) const {
    const std::string component(name);
    struct stat status {};
    if (::fstatat(descriptor_, component.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) {
            return EntryType::missing;
        }
        raiseFileError(errno, pathOf(name));
    }
    if (S_ISDIR(status.st_mode)) {
        return EntryType::folder;
    }
    if (S_ISLNK(status.st_mode)) {
        return EntryType::link;
    }
    return S_ISREG(status.st_mode) ? EntryType::file : EntryType::other;
}

std::vector<std::string> Folder::names() const {
    // The listing gets a descriptor of its own: closedir closes it, and reading moves its
    // position, which this folder's own descriptor must not share.
    OwnedDescriptor listed{::openat(descriptor_, ".", folderFlags)};
    if (listed.descriptor < 0) {
        raiseFileError(errno, path_);
    }
    DIR* const stream = ::fdopendir(listed.descriptor);
    if (stream == nullptr) {
        raiseFileError(errno, path_);
    }
    listed.release();
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(stream)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    const int error = errno;
    ::closedir(stream);
    if (error != 0) {
        raiseFileError(error, path_);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void Folder::rename(std::string_view from, const Folder& target, std::string_view to) const {
    if (const int error = renameQuietly(from, target, to); error != 0) {
        raiseFileError(error, pathOf(from));
    }
}

int Folder::renameQuietly(std::string_view from, const Folder& target,
                          std::string_view to) const noexcept {
    const std::string source(from);
    const std::string destination(to);
    beforeMutation(*this, from);
    return ::renameat(descriptor_, source.c_str(), target.descriptor_, destination.c_str()) == 0
               ? 0
               : errno;
}

void Folder::remove(std::string_view name) const {
    const std::string component(name);
    const int flags = typeOf(name) == EntryType::folder ? AT_REMOVEDIR : 0;
    beforeMutation(*this, name);
    if (::unlinkat(descriptor_, component.c_str(), flags) != 0) {
        raiseFileError(errno, pathOf(name));
    }
}

void Folder::removeTreeQuietly(std::string_view name) const noexcept {
    try {
        const std::string component(name);
        beforeMutation(*this, name);
        if (::unlinkat(descriptor_, component.c_str(), 0) == 0 || errno == ENOENT) {
            return;
        }
        // Not a file: a folder, emptied first. openFolder refuses a link, which unlinkat above
        // would already have removed.
        const Folder folder = openFolder(name);
        for (const std::string& inner : folder.names()) {
            folder.removeTreeQuietly(inner);
        }
        ::unlinkat(descriptor_, component.c_str(), AT_REMOVEDIR);
    } catch (const std::exception&) {
        // What could not be removed stays; the next installation into this host clears it.
    }
}

bool Folder::isPrivateToThisUser() const {
    struct stat status {};
    if (::fstat(descriptor_, &status) != 0) {
        raiseFileError(errno, path_);
    }
    return status.st_uid == ::geteuid() && (status.st_mode & 077) == 0;
}

void Folder::syncFileSystem() const {
    if (::syncfs(descriptor_) != 0) {
        raiseFileError(errno, path_);
    }
}

FolderLock Folder::lockExclusively() const {
    // A duplicate shares the lock with this folder's descriptor, so the lock's own release
    // below, not the closing of either descriptor, is what ends it.
    OwnedDescriptor locked{::fcntl(descriptor_, F_DUPFD_CLOEXEC, 0)};
    if (locked.descriptor < 0) {
        raiseFileError(errno, path_);
    }
    while (::flock(locked.descriptor, LOCK_EX) != 0) {
        if (errno != EINTR) {
            raiseFileError(errno, path_);
        }
    }
    return FolderLock(locked.release());
}

bool Folder::isNamedBy(const std::string& path) const {
    struct stat opened {};
    struct stat named {};
    return ::fstat(descriptor_, &opened) == 0 && ::stat(nativePath(path).c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

FolderLock::FolderLock(FolderLock&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)) {}

FolderLock::~FolderLock() {
    if (descriptor_ >= 0) {
        ::flock(descriptor_, LOCK_UN);
        ::close(descriptor_);
    }
}

}  // namespace platform
