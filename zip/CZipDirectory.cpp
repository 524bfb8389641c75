// The central directory. Every offset and disk number taken from the archive is checked against
// the volume it points into before the directory seeks there, so that a damaged record is
// reported as badArchive instead of sending reads into another file or past an end. It reads
// through the store only and never opens files itself.
#include "zip/CZipDirectory.h"

#include <algorithm>
#include <tuple>

#include "zip/CZipException.h"
#include "zip/CZipStore.h"
#include "zip/LittleEndianRecord.h"

namespace {

constexpr std::uint8_t endRecordSignature[] = {0x50, 0x4B, 0x05, 0x06};
constexpr std::uint32_t dataDescriptorSignature = 0x08074b50;
constexpr std::uint32_t endRecordSize = 22;
constexpr std::uint32_t localHeaderSize = 30;
// The longest comment and the record itself: the record begins within this tail.
constexpr std::uint64_t endRecordSearchWindow = 65535 + endRecordSize;

// False when, on any volume, an entry's local header and data run into the next entry's local
// header, or into the central directory. Entries that share data (the small archive that
// inflates to gigabytes through many entries pointing into one compressed stream) are damaged
// archives for this reader. The local extra field is not known before the local header is
// read, so each entry is taken at its least possible length; that is enough to catch any
// entry whose header starts inside another entry's data.
bool entriesKeepApart(const std::vector<std::unique_ptr<CZipEntry>>& headers,
                      std::uint16_t centralDirDisk, std::uint32_t centralDirOffset,
                      std::uint32_t centralDirSize) {
    constexpr std::uint64_t shortestDataDescriptor = 12;
    struct Extent {
        std::uint16_t disk;
        std::uint64_t start;
        std::uint64_t end;
    };
    std::vector<Extent> extents;
    extents.reserve(headers.size() + 1);
    for (const auto& entry : headers) {
        const std::uint64_t start = entry->localHeaderOffset;
        extents.push_back({entry->diskNumberStart, start,
                           start + localHeaderSize + entry->storedNameLength +
                               entry->compressedSize +
                               (entry->hasDataDescriptor() ? shortestDataDescriptor : 0)});
    }
    // The central directory takes its place on its volume like an entry. Every extent is at
    // least one byte long, so two that start together always overlap.
    extents.push_back(
        {centralDirDisk, centralDirOffset, std::uint64_t{centralDirOffset} + centralDirSize});
    std::sort(extents.begin(), extents.end(), [](const Extent& left, const Extent& right) {
        return std::tie(left.disk, left.start, left.end) <
               std::tie(right.disk, right.start, right.end);
    });
    // An entry whose data runs on into the next volume is the last one on its own, so only
    // neighbours on one volume are compared.
    for (std::size_t index = 1; index < extents.size(); ++index) {
        const Extent& previous = extents[index - 1];
        if (previous.disk == extents[index].disk && previous.end > extents[index].start) {
            return false;
        }
    }
    return true;
}

}  // namespace

CZipDirectory::~CZipDirectory() = default;

void CZipDirectory::reset() {
    endRecordPosition = 0;
    byteShift = 0;
    openedEntry = nullptr;
    archiveComment.release();
}

std::uint32_t CZipDirectory::findEndRecord() {
    platform::CFile& file = *store->activeFile;
    const std::uint64_t length = file.GetLength();
    const std::uint64_t window = std::min(length, endRecordSearchWindow);
    if (window == 0) {
        raiseError(zipCode::endRecordNotFound);
    }
    CZipBuffer chunk(searchBufferSize, false);
    // Chunks are read backwards from the end and overlap by 3 bytes, so that a signature
    // straddling two chunks is found whole; the occurrence nearest the end wins.
    std::uint64_t scanned = 0;
    std::uint64_t reach = 0;
    do {
        reach = std::min(scanned + searchBufferSize, window);
        const auto count = static_cast<unsigned>(reach - scanned);
        file.Seek(-static_cast<std::int64_t>(reach), platform::CFile::end);
        if (file.Read(chunk.data(), count) != count) {
            raiseError(zipCode::badArchive);
        }
        for (unsigned offset = count >= 4 ? count - 4 + 1 : 0; offset-- > 0;) {
            if (std::equal(std::begin(endRecordSignature), std::end(endRecordSignature),
                           chunk.data() + offset)) {
                return static_cast<std::uint32_t>(length - reach + offset);
            }
        }
        scanned = reach - 3;
    } while (reach < window);
    raiseError(zipCode::endRecordNotFound);
}

void CZipDirectory::readDirectory() {
    endRecordPosition = findEndRecord();
    platform::CFile& endVolume = *store->activeFile;
    LittleEndianRecord<endRecordSize> record;
    endVolume.Seek(endRecordPosition, platform::CFile::begin);
    if (endVolume.Read(record.data(), record.size()) != record.size()) {
        raiseError(zipCode::badArchive);
    }
    endSignature = record.doubleWord<0>();
    thisDisk = record.word<4>();
    centralDirDisk = record.word<6>();
    entriesOnThisDisk = record.word<8>();
    totalEntries = record.word<10>();
    centralDirSize = record.doubleWord<12>();
    centralDirOffset = record.doubleWord<16>();
    const std::uint16_t commentLength = record.word<20>();

    store->setLastVolume(thisDisk);
    const bool singleVolume = store->spanDirection() == 0;
    if (singleVolume &&
        endRecordPosition < std::uint64_t{centralDirOffset} + std::uint64_t{centralDirSize}) {
        raiseError(zipCode::badArchive);
    }
    if (commentLength != 0) {
        if (endVolume.GetLength() - endRecordPosition - endRecordSize < commentLength) {
            raiseError(zipCode::badArchive);
        }
        archiveComment.allocate(commentLength, false);
        if (endVolume.Read(archiveComment.data(), commentLength) != commentLength) {
            raiseError(zipCode::badArchive);
        }
    }
    byteShift = singleVolume ? endRecordPosition - centralDirOffset - centralDirSize : 0;
    if ((centralDirSize == 0) != (totalEntries == 0)) {
        raiseError(zipCode::badArchive);
    }
    // The end record lies on the last volume: no part of the archive lies on a later one.
    if (centralDirDisk > thisDisk) {
        raiseError(zipCode::badArchive);
    }
    store->changeVolume(centralDirDisk);
    if (centralDirSize != 0) {
        readHeaders();
    }
}

void CZipDirectory::readHeaders() {
    platform::CFile& file = *store->activeFile;
    const std::uint64_t start = std::uint64_t{centralDirOffset} + byteShift;
    if (start > file.GetLength()) {
        raiseError(zipCode::badArchive);
    }
    file.Seek(static_cast<std::int64_t>(start), platform::CFile::begin);
    headers.clear();
    for (unsigned number = 0; number < totalEntries; ++number) {
        CZipEntry& entry = *headers.emplace_back(std::make_unique<CZipEntry>());
        if (!entry.readCentralHeader(*store)) {
            raiseError(zipCode::badArchive);
        }
        entry.convertNameToAnsi();
        entry.convertSlashesToBackslashes();
    }
    if (!entriesKeepApart(headers, centralDirDisk, centralDirOffset, centralDirSize)) {
        raiseError(zipCode::badArchive);
    }
}

void CZipDirectory::openEntry(std::uint16_t index) {
    openedEntry = headers[index].get();
    if (openedEntry->diskNumberStart > thisDisk) {
        raiseError(zipCode::badArchive);
    }
    store->changeVolume(openedEntry->diskNumberStart);
    platform::CFile& file = *store->activeFile;
    const std::uint64_t start = std::uint64_t{openedEntry->localHeaderOffset} + byteShift;
    if (start + localHeaderSize > file.GetLength()) {
        raiseError(zipCode::badArchive);
    }
    file.Seek(static_cast<std::int64_t>(start), platform::CFile::begin);
    std::uint16_t localExtraLength = 0;
    if (!openedEntry->verifyLocalHeader(*store, localExtraLength)) {
        raiseError(zipCode::badArchive);
    }
    // verifyLocalHeader has made sure that the field lies within this volume.
    localExtraField.release();
    store->read(localExtraField.allocate(localExtraLength, false), localExtraLength, true);
}

void CZipDirectory::closeEntry() {
    if (openedEntry == nullptr) {
        return;
    }
    localExtraField.release();
    if (openedEntry->hasDataDescriptor()) {
        // The signature is optional. Four bytes that are not the signature are the CRC already;
        // keeping them, rather than seeking back, also works when they came from two volumes.
        LittleEndianRecord<12> descriptor;
        store->read(descriptor.data(), 4, false);
        if (descriptor.doubleWord<0>() == dataDescriptorSignature) {
            store->read(descriptor.data(), 4, false);
        }
        store->read(descriptor.data() + 4, 8, false);
        if (!openedEntry->matchesCrcAndSizes(descriptor.data())) {
            raiseError(zipCode::badArchive);
        }
    }
    openedEntry = nullptr;
}

void CZipDirectory::abandonEntry() noexcept {
    localExtraField.release();
    openedEntry = nullptr;
}

void CZipDirectory::raiseError(int code) const {
    raiseZipError(code, store->activeFile->GetFilePath());
}
