// The file class over POSIX descriptors. Offsets are 64-bit; descriptors are close-on-exec so
// that nothing the installer starts inherits an open archive.
#include "platform/CFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/FileSystem.h"
#include "platform/Folder.h"

namespace platform {

static_assert(sizeof(off_t) == 8, "the file layer needs 64-bit file offsets");

namespace {

// Large enough for a few hundred central headers or a small entry with its local header;
// small enough that a block read for one local header wastes little.
constexpr unsigned readAheadSize = 64 * 1024;
// Reads this large gain nothing from a block: they go straight to the file.
constexpr unsigned directReadSize = 16 * 1024;

CFileException seekFailure(int error, const std::string& fileName) {
    CFileException failure = CFileException::fromErrno(error, fileName);
    if (error == EINVAL) {  // a position before the start of the file
        failure.m_cause = CFileException::badSeek;
    }
    return failure;
}

// Repeats `transfer(done)`, which moves bytes from `done` on and returns what read(2), write(2)
// or pread(2) returns, until `count` bytes have moved or it reports the end of the file.
// Interrupted calls are repeated; any other failure throws.
template <typename Transfer>
unsigned transferAll(unsigned count, const std::string& fileName, Transfer transfer) {
    unsigned done = 0;
    while (done < count) {
        const ssize_t moved = transfer(done);
        if (moved < 0) {
            if (errno == EINTR) {
                continue;
            }
            raiseFileError(errno, fileName);
        }
        if (moved == 0) {
            break;
        }
        done += static_cast<unsigned>(moved);
    }
    return done;
}

}  // namespace

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
    return openAt(AT_FDCWD, nativePath(fileName), 0, fileName, openFlags, error);
}

bool CFile::Open(const Folder& folder, std::string_view name, unsigned openFlags,
                 CFileException* error) {
    return openAt(folder.descriptor(), std::string(name), O_NOFOLLOW, folder.pathOf(name),
                  openFlags, error);
}

bool CFile::openAt(int folderDescriptor, const std::string& nativeName, int extraFlags,
                   const std::string& fileName, unsigned openFlags, CFileException* error) {
    if (IsOpen()) {
        ::close(m_descriptor);
        m_descriptor = -1;
    }
    m_readAhead.reset();
    const bool forWriting = (openFlags & (modeWrite | modeReadWrite)) != 0;
    int flags = O_CLOEXEC | extraFlags;
    if ((openFlags & modeReadWrite) != 0) {
        flags |= O_RDWR;
    } else if ((openFlags & modeWrite) != 0) {
        flags |= O_WRONLY;
    } else {
        // Opening a FIFO for reading waits for a writer; without blocking it opens at once and
        // the check below refuses it. On a regular file the flag changes nothing.
        flags |= O_RDONLY | O_NONBLOCK;
    }
    if ((openFlags & modeCreate) != 0) {
        flags |= O_CREAT;
        if ((openFlags & modeNoTruncate) == 0) {
            flags |= O_TRUNC;
        }
    }
    // shareDenyWrite has no POSIX counterpart: there are no mandatory share modes, and advisory
    // locks would not stop another process from writing. A reader that asks for it is trusted
    // to read a file that nobody writes meanwhile, which lets its reads be served in blocks.

    int openError = 0;
    const int descriptor = ::openat(folderDescriptor, nativeName.c_str(), flags, 0666);
    struct stat status {};
    if (descriptor < 0) {
        openError = errno;
    } else if (!forWriting) {
        // open(2) of a folder succeeds for reading on Linux; a folder is not a file here. Opened
        // for writing, a folder fails with EISDIR already. A FIFO, device or socket is no file
        // to read a package from either: its reads may block, and it has no length to seek in.
        if (::fstat(descriptor, &status) != 0) {
            openError = errno;
        } else if (S_ISDIR(status.st_mode)) {
            openError = EISDIR;
        } else if (!S_ISREG(status.st_mode)) {
            openError = EINVAL;
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
    if (!forWriting && (openFlags & shareDenyWrite) != 0) {
        startReadAhead(static_cast<std::uint64_t>(status.st_size));
    }
    return true;
}

bool CFile::OpenDuplicate(const CFile& opened, CFileException* error) {
    if (IsOpen()) {
        ::close(m_descriptor);
        m_descriptor = -1;
    }
    m_readAhead.reset();
    // A file read through read(2) shares its position with every duplicate.
    const int descriptor =
        opened.m_readAhead ? ::fcntl(opened.m_descriptor, F_DUPFD_CLOEXEC, 0) : -1;
    if (descriptor < 0) {
        if (error != nullptr) {
            *error =
                CFileException::fromErrno(opened.m_readAhead ? errno : EBADF, opened.m_strFileName);
        }
        return false;
    }
    m_descriptor = descriptor;
    m_strFileName = opened.m_strFileName;
    startReadAhead(opened.m_readAhead->length);
    return true;
}

void CFile::startReadAhead(std::uint64_t length) {
    m_readAhead = std::make_unique<ReadAhead>();
    m_readAhead->length = length;
    m_readAhead->block = std::make_unique_for_overwrite<char[]>(readAheadSize);
}

unsigned CFile::Read(void* buffer, unsigned count) {
    auto* bytes = static_cast<char*>(buffer);
    if (m_readAhead) {
        return readThroughBlock(bytes, count);
    }
    return transferAll(count, m_strFileName, [&](unsigned done) {
        return ::read(m_descriptor, bytes + done, count - done);
    });
}

void CFile::Write(const void* buffer, unsigned count) {
    const auto* bytes = static_cast<const char*>(buffer);
    const unsigned written = transferAll(count, m_strFileName, [&](unsigned done) {
        return ::write(m_descriptor, bytes + done, count - done);
    });
    // write(2) takes nothing without saying why only where no space is left.
    if (written != count) {
        throw CFileException(CFileException::diskFull, ENOSPC, m_strFileName);
    }
}

unsigned CFile::readThroughBlock(char* bytes, unsigned count) {
    ReadAhead& ahead = *m_readAhead;
    unsigned done = 0;
    while (done < count && ahead.position < ahead.length) {
        const std::uint64_t blockEnd = ahead.blockStart + ahead.blockLength;
        if (ahead.position >= ahead.blockStart && ahead.position < blockEnd) {
            const auto available = static_cast<unsigned>(
                std::min<std::uint64_t>(blockEnd - ahead.position, count - done));
            std::memcpy(bytes + done, ahead.block.get() + (ahead.position - ahead.blockStart),
                        available);
            ahead.position += available;
            done += available;
            continue;
        }
        // Never past the length taken at open: asking for more would only cost a call that
        // finds the end.
        const auto untilEnd = [&](unsigned wanted) {
            return static_cast<unsigned>(
                std::min<std::uint64_t>(wanted, ahead.length - ahead.position));
        };
        if (count - done >= directReadSize) {
            const unsigned got = readAt(ahead.position, bytes + done, untilEnd(count - done));
            ahead.position += got;
            done += got;
            break;
        }
        ahead.blockStart = ahead.position;
        ahead.blockLength = readAt(ahead.position, ahead.block.get(), untilEnd(readAheadSize));
        if (ahead.blockLength == 0) {
            break;
        }
    }
    return done;
}

unsigned CFile::readAt(std::uint64_t position, char* bytes, unsigned count) {
    return transferAll(count, m_strFileName, [&](unsigned done) {
        return ::pread(m_descriptor, bytes + done, count - done,
                       static_cast<off_t>(position + done));
    });
}

std::uint64_t CFile::Seek(std::int64_t offset, SeekPosition from) {
    if (m_readAhead) {
        const std::uint64_t base = from == begin     ? 0
                                   : from == current ? m_readAhead->position
                                                     : m_readAhead->length;
        if (offset < 0 && static_cast<std::uint64_t>(-offset) > base) {
            throw seekFailure(EINVAL, m_strFileName);
        }
        m_readAhead->position = base + static_cast<std::uint64_t>(offset);
        return m_readAhead->position;
    }
    int whence = SEEK_SET;
    if (from == current) {
        whence = SEEK_CUR;
    } else if (from == end) {
        whence = SEEK_END;
    }
    const off_t position = ::lseek(m_descriptor, offset, whence);
    if (position < 0) {
        throw seekFailure(errno, m_strFileName);
    }
    return static_cast<std::uint64_t>(position);
}

std::uint64_t CFile::GetLength() const {
    if (m_readAhead) {
        return m_readAhead->length;
    }
    struct stat status {};
    if (::fstat(m_descriptor, &status) != 0) {
        raiseFileError(errno, m_strFileName);
    }
    return static_cast<std::uint64_t>(status.st_size);
}

void CFile::Close() {
    if (!IsOpen()) {
        return;
    }
    // The descriptor is released even when close fails, so it is never closed twice.
    m_readAhead.reset();
    const int descriptor = m_descriptor;
    m_descriptor = -1;
    if (::close(descriptor) != 0) {
        raiseFileError(errno, m_strFileName);
    }
}

void CFile::SetStatus(const char* fileName, const CFileStatus& status) {
    struct timespec times[2] = {};
    times[0].tv_sec = status.m_atime;
    times[1].tv_sec = status.m_mtime;
    if (::utimensat(AT_FDCWD, nativePath(fileName).c_str(), times, 0) != 0) {
        raiseFileError(errno, fileName);
    }
}

void CFile::SetStatus(const CFileStatus& status) {
    struct timespec times[2] = {};
    times[0].tv_sec = status.m_atime;
    times[1].tv_sec = status.m_mtime;
    if (::futimens(m_descriptor, times) != 0) {
        raiseFileError(errno, m_strFileName);
    }
}

bool CFile::SetAttributes(std::uint32_t attributes) {
    return setFileAttributes(m_descriptor, attributes);
}

}  // namespace platform
