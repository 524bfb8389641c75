// The one object through which an archive is read: it opens an archive, lists its entries and
// extracts them, and owns the storage, the central directory, the decompression state and every
// block that zlib allocated through it. One thread uses a reader; it takes no locks. Readers on
// other threads read the same archive by opening it over this one.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <list>

#include "platform/CFile.h"
#include "zip/CZipBuffer.h"
#include "zip/CZipDirectory.h"
#include "zip/CZipEntry.h"
#include "zip/CZipStore.h"

namespace platform {
class Folder;
}

// The decompression state of the opened entry.
class CZipStream {
public:
    CZipStream();
    virtual ~CZipStream() = default;

    void allocateInput() { inputBuffer.allocate(inputBufferSize, false); }

    std::uint32_t inputBufferSize = 16384;
    z_stream zs{};
    std::uint32_t uncompressedLeft = 0;
    std::uint32_t compressedLeft = 0;
    std::uint32_t crc = 0;
    CZipBuffer inputBuffer;
};

class CZipReader {
public:
    CZipReader();
    CZipReader(const CZipReader&) = delete;
    CZipReader& operator=(const CZipReader&) = delete;
    virtual ~CZipReader();

    // Closes the entry opened on the reader, without its checks, if it is still opened when the
    // guard goes: a caller that leaves by an exception leaves the reader ready for its next
    // entry, and nobody has to remember to close it by hand.
    class EntryGuard {
    public:
        explicit EntryGuard(CZipReader& reader) noexcept : reader(reader) {}
        EntryGuard(const EntryGuard&) = delete;
        EntryGuard& operator=(const EntryGuard&) = delete;
        ~EntryGuard() { reader.abandonEntry(); }

    private:
        CZipReader& reader;
    };

    // Entry indexes are 16-bit: an index argument is reduced to its low 16 bits.
    using WORD = std::uint16_t;

    void openArchive(const char* path, int mode, int volumeSize);
    // Opens the archive that `opened` holds open, through a duplicate of its descriptor and never
    // by its path: this reader reads the very file that `opened` read, even when another file
    // has taken its name since. Call it on the thread that uses `opened`. A split archive finds
    // its further volumes by name and cannot be shared so: this reader then stays closed.
    void openArchive(const CZipReader& opened);
    bool spansVolumes() const { return !isArchiveClosed() && store.spanDirection() != 0; }
    int entryCount() const;
    bool getEntryInfo(CZipEntry& info, WORD index) const;
    bool isEntryFolder(WORD index) const;
    bool isArchiveClosed() const { return store.currentVolume == -1; }
    CZipEntry* currentEntry() const { return directory.openedEntry; }

    bool openEntryForRead(WORD index);
    unsigned readEntryData(void* buffer, unsigned size);
    // 1 closed and checked; -1 closed before all data was delivered; -2 the attributes could
    // not be set; 0 no entry was open, or the time could not be set. After a failure it checks
    // nothing, not even a data descriptor, and so cannot raise.
    int closeCurrentEntry(const char* filePath, bool afterFailure);
    int finishEntryFile(platform::CFile& file);
    bool extractEntry(WORD index, const char* folder, bool keepStoredPath,
                      std::uint32_t bufferSize);
    // As above, into the open `folder`: the entry's folders are made one below the other and
    // the file is created in the last of them, none of them reached through a link, so nothing
    // lands outside `folder` even when it is renamed or a link is put in its way meanwhile.
    // Unlike the path form, a folder entry whose folder cannot be made (a file of its name is
    // in the way) returns false.
    bool extractEntry(WORD index, const platform::Folder& folder, bool keepStoredPath,
                      std::uint32_t bufferSize);

    [[noreturn]] void raiseError(int code) const;
    int checkInflateResult(int code) const;
    static bool isFolderAttribute(std::uint32_t attributes) { return (attributes & 0x10) != 0; }
    static void* trackedAlloc(void* opaque, unsigned items, unsigned size);
    static void trackedFree(void* opaque, void* address);
    void releaseTrackedBlocks() noexcept;

private:
    // The folder an entry is extracted into, asked for only once the entry is known to be
    // written, so that a refused entry creates nothing.
    using FolderSource = std::function<const platform::Folder&()>;

    bool extractEntryBelow(WORD index, const FolderSource& folder, bool keepStoredPath,
                           std::uint32_t bufferSize);
    // closeCurrentEntry, stamping the open `written` file or else the file at `filePath`.
    int closeEntry(platform::CFile* written, const char* filePath, bool afterFailure);
    // Closes the opened entry, if any, and checks nothing: whatever the entry's data or
    // descriptor say, it is closed.
    void abandonEntry() noexcept;

    CZipStream stream;
    CZipStore store;
    std::list<void*> allocations;
    std::uint8_t entryState = 0;
    CZipDirectory directory;
};
