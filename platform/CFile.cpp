// The file class over POSIX descriptors. Offsets are 64-bit; descriptors are close-on-exec so
// that nothing the installer starts inherits an open archive.
#include "platform/CFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileSystem.h"

namespace platform {

static_assert(sizeof(off_t) == 8, "the file layer needs 64-bit file offsets");

CFile::CFile(const char* fileName, unsigned openFlags) {
    CFileException error;
    if (!Open(fileName, openFlags, &error)) {
        throw error;
    }
}

CFile::~CFile() {
    if (IsOpen()) {
        ::close(m_descriptor);  // a failure here cannot be reported from a destructor
    }
}

bool CFile::Open(const char* fileName, unsigned openFlags, CFileException* error) {
    if (IsOpen()) {
        ::close(m_descriptor);
        m_descriptor = -1;
    }
    int flags = O_CLOEXEC;
    if ((openFlags & modeReadWrite) != 0) {
        flags |= O_RDWR;
    } else if ((openFlags & modeWrite) != 0) {
        flags |= O_WRONLY;
    } else {
        flags |= O_RDONLY;
    }
    if ((openFlags & modeCreate) != 0) {
        flags |= O_CREAT;
        if ((openFlags & modeNoTruncate) == 0) {
            flags |= O_TRUNC;
        }
    }
    // shareDenyWrite has no POSIX counterpart: there are no mandatory share modes, and advisory
    // locks would not stop another process from writing. The flag is accepted and ignored.

    const std::string path = nativePath(fileName);
    int openError = 0;
    const int descriptor = ::open(path.c_str(), flags, 0666);
    if (descriptor < 0) {
        openError = errno;
    } else {
        // open(2) of a folder succeeds for reading on Linux; a folder is not a file here.
        struct stat status {};
        if (::fstat(descriptor, &status) != 0) {
            openError = errno;
        } else if (S_ISDIR(status.st_mode)) {
            openError = EISDIR;
        }
        if (openError != 0) {
            ::close(descriptor);
        }
    }
    if (openError != 0) {
        if (error != nullptr) {
            *error = CFileException::fromErrno(openError, fileName);
        }
        return false;
    }
    m_descriptor = descriptor;
    m_strFileName = fileName;
    return true;
}

unsigned CFile::Read(void* buffer, unsigned count) {
    auto* bytes = static_cast<char*>(buffer);
    unsigned done = 0;
    while (done < count) {
        const ssize_t got = ::read(m_descriptor, bytes + done, count - done);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw CFileException::fromErrno(errno, m_strFileName);
        }
        if (got == 0) {
            break;
        }
        done += static_cast<unsigned>(got);
    }
    return done;
}

void CFile::Write(const void* buffer, unsigned count) {
    const auto* bytes = static_cast<const char*>(buffer);
    unsigned done = 0;
    while (done < count) {
        const ssize_t written = ::write(m_descriptor, bytes + done, count - done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw CFileException::fromErrno(errno, m_strFileName);
        }
        done += static_cast<unsigned>(written);
    }
}

std::uint64_t CFile::Seek(std::int64_t offset, SeekPosition from) {
    int whence = SEEK_SET;
    if (from == current) {
        whence = SEEK_CUR;
    } else if (from == end) {
        whence = SEEK_END;
    }
    const off_t position = ::lseek(m_descriptor, offset, whence);
    if (position < 0) {
        CFileException failure = CFileException::fromErrno(errno, m_strFileName);
        if (failure.m_lOsError == EINVAL) {  // a position before the start of the file
            failure.m_cause = CFileException::badSeek;
        }
        throw failure;
    }
    return static_cast<std::uint64_t>(position);
}

std::uint64_t CFile::GetLength() const {
    struct stat status {};
    if (::fstat(m_descriptor, &status) != 0) {
        throw CFileException::fromErrno(errno, m_strFileName);
    }
    return static_cast<std::uint64_t>(status.st_size);
}

void CFile::Close() {
    if (!IsOpen()) {
        return;
    }
    // The descriptor is released even when close fails, so it is never closed twice.
    const int descriptor = m_descriptor;
    m_descriptor = -1;
    if (::close(descriptor) != 0) {
        throw CFileException::fromErrno(errno, m_strFileName);
    }
}

void CFile::SetStatus(const char* fileName, const CFileStatus& status) {
    struct timespec times[2] = {};
    times[0].tv_sec = status.m_atime;
    times[1].tv_sec = status.m_mtime;
    if (::utimensat(AT_FDCWD, nativePath(fileName).c_str(), times, 0) != 0) {
        throw CFileException::fromErrno(errno, fileName);
    }
}

}  // namespace platform
