// The folder and file calls that the reader and the installer need, on POSIX. Paths may use
// `\` or `/` as separators; both reach the OS as `/`. The current directory is never changed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The path with every `\` turned into `/`, as the OS wants it.
std::string nativePath(std::string_view path);

enum class PathType { missing, file, folder };
PathType pathType(std::string_view path);

// mkdir with mode 0777 (the umask applies). False when the folder could not be created.
bool createDirectory(std::string_view path);
// As createDirectory, but something already standing at `path` is no failure: true when this
// call made the folder, false when something stood there. Throws CFileException otherwise.
bool createDirectoryUnlessPresent(std::string_view path);

// Applies Windows file attributes: on a file, the read-only bit (0x01) removes every write
// permission bit; on a folder nothing changes; every other bit is ignored. False on failure.
// Without the read-only bit there is nothing to apply: the path is not looked at, and the
// result is true.
bool setFileAttributes(std::string_view path, std::uint32_t attributes);
// As above, on an open file descriptor.
bool setFileAttributes(int descriptor, std::uint32_t attributes);

// The running program's own file (`/proc/self/exe`).
std::string programPath();

// No POSIX path lies on a removable drive.
bool isRemovableDrive(std::string_view drive);

}  // namespace platform
