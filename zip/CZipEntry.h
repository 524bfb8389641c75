// One central-directory header of an archive: its fixed fields and its name, extra field and
// comment. It reads itself from the store, checks the entry's local header and data descriptor
// against itself, and answers the questions that listing and extraction ask.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "zip/CZipBuffer.h"

class CZipStore;

class CZipEntry {
public:
    CZipEntry() = default;
    CZipEntry(const CZipEntry& other) = default;
    CZipEntry& operator=(const CZipEntry& other) = default;
    virtual ~CZipEntry() = default;

    bool readCentralHeader(CZipStore& store);
    bool verifyLocalHeader(CZipStore& store, std::uint16_t& localExtraLength);
    // `bytes`: CRC-32, compressed size and uncompressed size, 12 bytes little-endian.
    bool matchesCrcAndSizes(const std::uint8_t* bytes) const;
    bool isEncrypted() const { return (flags & 0x0001) != 0; }
    bool hasDataDescriptor() const { return (flags & 0x0008) != 0; }
    // Flag bit 11: the name and comment are UTF-8 already.
    bool hasUtf8Name() const { return (flags & 0x0800) != 0; }
    // The MS-DOS date and time, taken as local time.
    std::time_t modificationTime() const;
    std::string fileNameString() const;
    // The name in UTF-8: as stored when flag bit 11 says so, else from a Unicode Path extra
    // field that matches the stored name, else converted from code page 437.
    void convertNameToAnsi();
    void convertSlashesToBackslashes();

    std::uint32_t signature = 0;
    std::uint16_t versionMadeBy = 0;
    std::uint16_t versionNeeded = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 8;
    std::uint16_t modTime = 0;
    std::uint16_t modDate = 0;
    std::uint32_t crc32 = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint16_t diskNumberStart = 0;
    std::uint16_t internalAttributes = 0;
    std::uint32_t externalAttributes = 0x20;
    std::uint32_t localHeaderOffset = 0;
    CZipBuffer extraField;
    CZipBuffer fileName;
    // The name's length as stored in the headers, whatever its conversion made of it.
    std::uint16_t storedNameLength = 0;
    CZipBuffer comment;
};
