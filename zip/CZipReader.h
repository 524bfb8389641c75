// The one object through which an archive is read: it opens an archive, lists its entries and
// extracts them, and owns the storage, the central directory, the decompression state and every
// block that zlib allocated through it. One thread uses a reader; it takes no locks.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <list>

#include "platform/CFile.h"
#include "zip/CZipBuffer.h"
#include "zip/CZipDirectory.h"
#include "zip/CZipEntry.h"
#include "zip/CZipStore.h"

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

    // Entry indexes are 16-bit: an index argument is reduced to its low 16 bits.
    using WORD = std::uint16_t;

    void openArchive(const char* path, int mode, int volumeSize);
    int entryCount() const;
    bool getEntryInfo(CZipEntry& info, WORD index) const;
    bool isEntryFolder(WORD index) const;
    bool isArchiveClosed() const { return store.currentVolume == -1; }
    CZipEntry* currentEntry() const { return directory.openedEntry; }

    bool openEntryForRead(WORD index);
    unsigned readEntryData(void* buffer, unsigned size);
    // 1 closed and checked; -1 closed before all data was delivered; -2 the attributes could
    // not be set; 0 no entry was open, or the time could not be set.
    int closeCurrentEntry(const char* filePath, bool afterFailure);
    int finishEntryFile(platform::CFile& file);
    bool extractEntry(WORD index, const char* folder, bool keepStoredPath, std::uint32_t bufferSize);

    [[noreturn]] void raiseError(int code) const;
    int checkInflateResult(int code) const;
    static bool isFolderAttribute(std::uint32_t attributes) { return (attributes & 0x10) != 0; }
    static void* trackedAlloc(void* opaque, unsigned items, unsigned size);
    static void trackedFree(void* opaque, void* address);
    void releaseTrackedBlocks();

private:
    CZipStream stream;
    CZipStore store;
    std::list<void*> allocations;
    std::uint8_t entryState = 0;
    CZipDirectory directory;
};
