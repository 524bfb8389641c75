// A file opened through a POSIX file descriptor, with the operations and open flags of the
// original framework's file class. `\` in a path is a folder separator and becomes `/`.
// Failing reads, writes and seeks throw CFileException; the destructor closes quietly.
// A file opened for reading with shareDenyWrite is taken not to change while it is open, as
// the share mode promised: its length is taken once, and small reads are served from blocks
// read ahead, so that reading many small records costs few system calls. Such a file reads by
// position only, which is what lets a duplicate of it be read on another thread. It does not
// follow or create links when it opens a file relative to a Folder.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include "platform/CFileException.h"

namespace platform {

class Folder;

// The times that can be set on a file. A creation time cannot be set on POSIX.
struct CFileStatus {
    std::time_t m_mtime = 0;  // modification time
    std::time_t m_atime = 0;  // last access time
};

class CFile {
public:
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareDenyWrite = 0x0020,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
    };
    enum SeekPosition { begin = 0, current = 1, end = 2 };

    CFile() = default;
    // Opens the file or throws CFileException.
    CFile(const char* fileName, unsigned openFlags);
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
    virtual ~CFile();

    // Opens the file; on failure fills `error` (when given) and returns false. For reading, only
    // a regular file opens, and opening never waits (a FIFO without a writer is refused at once).
    virtual bool Open(const char* fileName, unsigned openFlags, CFileException* error = nullptr);
    // As Open, for the file `name` in `folder`; a link standing at `name` is never followed
    // (ELOOP), so what is written lands in `folder` itself.
    bool Open(const Folder& folder, std::string_view name, unsigned openFlags,
              CFileException* error = nullptr);
    // Opens the very file that `opened` holds open, through a duplicate of its descriptor,
    // whatever its path names now. `opened` must have been opened for reading with
    // shareDenyWrite: both then read by position, so neither moves the other.
    bool OpenDuplicate(const CFile& opened, CFileException* error = nullptr);
    // Returns the number of bytes read: fewer than asked only at the end of the file.
    virtual unsigned Read(void* buffer, unsigned count);
    // Writes every byte or throws.
    virtual void Write(const void* buffer, unsigned count);
    // Returns the new position.
    virtual std::uint64_t Seek(std::int64_t offset, SeekPosition from);
    virtual std::uint64_t GetLength() const;
    virtual void Close();
    bool IsOpen() const { return m_descriptor >= 0; }
    // The path as it was given to Open, separators unchanged.
    const std::string& GetFilePath() const { return m_strFileName; }

    // Sets the modification and access times of a closed file; throws CFileException.
    static void SetStatus(const char* fileName, const CFileStatus& status);
    // As above, on this open file, wherever it has been moved meanwhile.
    void SetStatus(const CFileStatus& status);
    // Applies Windows file attributes to this open file as platform::setFileAttributes does to
    // a path. False on failure.
    bool SetAttributes(std::uint32_t attributes);

private:
    struct ReadAhead {
        std::uint64_t length = 0;
        std::uint64_t position = 0;
        // blockLength bytes read ahead from blockStart.
        std::uint64_t blockStart = 0;
        unsigned blockLength = 0;
        std::unique_ptr<char[]> block;
    };

    bool openAt(int folderDescriptor, const std::string& nativeName, int extraFlags,
                const std::string& fileName, unsigned openFlags, CFileException* error);
    void startReadAhead(std::uint64_t length);
    unsigned readThroughBlock(char* bytes, unsigned count);
    unsigned readAt(std::uint64_t position, char* bytes, unsigned count);

    int m_descriptor = -1;
    std::string m_strFileName;
    // Only for a file that does not change while open; null otherwise.
    std::unique_ptr<ReadAhead> m_readAhead;
};

}  // namespace platform
