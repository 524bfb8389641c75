// The folder and file calls on POSIX. Nothing here changes the current directory, follows a
// path through anything but the OS's own resolution, or creates links.
#include "platform/FileSystem.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/CFileException.h"

namespace platform {

std::string nativePath(std::string_view path) {
    std::string native(path);
    for (char& character : native) {
        if (character == '\\') {
            character = '/';
        }
    }
    return native;
}

PathType pathType(std::string_view path) {
    struct stat status {};
    if (::stat(nativePath(path).c_str(), &status) != 0) {
        return PathType::missing;
    }
    return S_ISDIR(status.st_mode) ? PathType::folder : PathType::file;
}

bool createDirectory(std::string_view path) {
    return ::mkdir(nativePath(path).c_str(), 0777) == 0;
}

bool createDirectoryUnlessPresent(std::string_view path) {
    const std::string native = nativePath(path);
    if (::mkdir(native.c_str(), 0777) == 0) {
        return true;
    }
    if (errno != EEXIST) {
        raiseFileError(errno, native);
    }
    return false;
}

namespace {

constexpr std::uint32_t readOnlyAttribute = 0x01;

// Applies the read-only bit to what `status` describes by calling `changeMode` with its new
// mode, if it has one to take.
template <typename ChangeMode>
bool applyReadOnly(const struct stat& status, ChangeMode changeMode) {
    // Windows ignores the read-only bit on folders; a read-only folder here would also stop the
    // installer from writing the entries that belong inside it.
    if (S_ISDIR(status.st_mode)) {
        return true;
    }
    // Only the write bits go; set-user-id, set-group-id and sticky stay exactly as they were.
    return changeMode((status.st_mode & 07777) & ~mode_t{S_IWUSR | S_IWGRP | S_IWOTH}) == 0;
}

}  // namespace

bool setFileAttributes(std::string_view path, std::uint32_t attributes) {
    // Without the read-only bit there is nothing to apply, and no call is made: the reader
    // stamps every file it writes, most of them writable.
    if ((attributes & readOnlyAttribute) == 0) {
        return true;
    }
    const std::string native = nativePath(path);
    struct stat status {};
    return ::stat(native.c_str(), &status) == 0 &&
           applyReadOnly(status, [&](mode_t mode) { return ::chmod(native.c_str(), mode); });
}

bool setFileAttributes(int descriptor, std::uint32_t attributes) {
    if ((attributes & readOnlyAttribute) == 0) {
        return true;
    }
    struct stat status {};
    return ::fstat(descriptor, &status) == 0 &&
           applyReadOnly(status, [&](mode_t mode) { return ::fchmod(descriptor, mode); });
}

std::string programPath() {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) {
        return {};
    }
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

bool isRemovableDrive(std::string_view) {
    return false;
}

}  // namespace platform
