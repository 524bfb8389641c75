// The central directory: finds and checks the end record, reads every central header into the
// entry table, and positions and closes the one entry opened for reading (local header and
// data descriptor checks).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "zip/CZipBuffer.h"
#include "zip/CZipEntry.h"

class CZipStore;

class CZipDirectory {
public:
    CZipDirectory() = default;
    CZipDirectory(const CZipDirectory&) = delete;
    CZipDirectory& operator=(const CZipDirectory&) = delete;
    virtual ~CZipDirectory();

    void reset();
    void readDirectory();
    bool isValidIndex(std::uint16_t index) const { return index < headers.size(); }
    int entryCountInTable() const { return static_cast<int>(headers.size()); }
    CZipEntry* entryAt(std::uint16_t index) const { return headers[index].get(); }
    void openEntry(std::uint16_t index);
    void closeEntry();
    // Forgets the opened entry without reading or checking its data descriptor.
    void abandonEntry() noexcept;
    [[noreturn]] void raiseError(int code) const;

    std::uint32_t endSignature = 0;
    std::uint16_t thisDisk = 0;
    std::uint16_t centralDirDisk = 0;
    std::uint16_t entriesOnThisDisk = 0;
    std::uint16_t totalEntries = 0;
    std::uint32_t centralDirSize = 0;
    std::uint32_t centralDirOffset = 0;
    CZipBuffer archiveComment;
    CZipEntry* openedEntry = nullptr;
    CZipStore* store = nullptr;
    std::uint32_t endRecordPosition = 0;
    std::uint32_t byteShift = 0;
    std::uint32_t searchBufferSize = 32768;
    std::vector<std::unique_ptr<CZipEntry>> headers;
    CZipBuffer localExtraField;

private:
    std::uint32_t findEndRecord();
    void readHeaders();
};
