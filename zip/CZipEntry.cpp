// Reading and checking one entry's headers. Mismatches are reported as false, never raised: the
// central directory owns the archive's path and turns them into badArchive. Lengths taken from
// a header are checked against what is left of the volume file before anything is allocated.
#include "zip/CZipEntry.h"

#include <algorithm>
#include <string_view>

#include "platform/CodePage437.h"
#include "zip/CZipStore.h"
#include "zip/LittleEndianRecord.h"

namespace {

constexpr std::uint32_t centralHeaderSignature = 0x02014b50;
constexpr std::uint32_t localHeaderSignature = 0x04034b50;

// Bytes left in the volume file from its current position.
std::uint64_t bytesLeftInVolume(platform::CFile& file) {
    const std::uint64_t position = file.Seek(0, platform::CFile::current);
    const std::uint64_t length = file.GetLength();
    return length > position ? length - position : 0;
}

bool readField(platform::CFile& file, CZipBuffer& field, std::uint16_t length) {
    field.allocate(length, false);
    return length == 0 || file.Read(field.data(), length) == length;
}

}  // namespace

bool CZipEntry::readCentralHeader(CZipStore& store) {
    LittleEndianRecord<46> header;
    store.read(header.data(), header.size(), true);
    signature = header.doubleWord<0>();
    versionMadeBy = header.word<4>();
    versionNeeded = header.word<6>();
    flags = header.word<8>();
    method = header.word<10>();
    modTime = header.word<12>();
    modDate = header.word<14>();
    crc32 = header.doubleWord<16>();
    compressedSize = header.doubleWord<20>();
    uncompressedSize = header.doubleWord<24>();
    const std::uint16_t nameLength = header.word<28>();
    const std::uint16_t extraLength = header.word<30>();
    const std::uint16_t commentLength = header.word<32>();
    diskNumberStart = header.word<34>();
    internalAttributes = header.word<36>();
    externalAttributes = header.doubleWord<38>();
    localHeaderOffset = header.doubleWord<42>();
    if (signature != centralHeaderSignature) {
        return false;
    }
    // The variable fields never continue on the next volume: a header whose fields run past the
    // end of this one is damaged.
    platform::CFile& file = *store.activeFile;
    if (bytesLeftInVolume(file) <
        std::uint64_t{nameLength} + std::uint64_t{extraLength} + commentLength) {
        return false;
    }
    return readField(file, fileName, nameLength) && readField(file, extraField, extraLength) &&
           readField(file, comment, commentLength);
}

bool CZipEntry::verifyLocalHeader(CZipStore& store, std::uint16_t& localExtraLength) {
    LittleEndianRecord<30> header;
    store.read(header.data(), header.size(), true);
    const std::uint16_t localFlags = header.word<6>();
    const std::uint16_t nameLength = header.word<26>();
    const std::uint16_t extraLength = header.word<28>();
    if (header.doubleWord<0>() != localHeaderSignature || localFlags != flags ||
        header.word<8>() != method || (method != 0 && method != 8) ||
        nameLength != static_cast<std::uint16_t>(fileName.size())) {
        return false;
    }
    if ((localFlags & 0x0008) == 0 && !matchesCrcAndSizes(header.data() + 14)) {
        return false;
    }
    // The name is skipped and the extra field read from this volume: both must lie in it.
    platform::CFile& file = *store.activeFile;
    if (bytesLeftInVolume(file) < std::uint64_t{nameLength} + extraLength) {
        return false;
    }
    localExtraLength = extraLength;
    file.Seek(nameLength, platform::CFile::current);
    return true;
}

bool CZipEntry::matchesCrcAndSizes(const std::uint8_t* bytes) const {
    LittleEndianRecord<12> values;
    std::copy_n(bytes, values.size(), values.data());
    return values.doubleWord<0>() == crc32 && values.doubleWord<4>() == compressedSize &&
           values.doubleWord<8>() == uncompressedSize;
}

std::time_t CZipEntry::modificationTime() const {
    std::tm parts{};
    parts.tm_sec = (modTime & 0x1F) * 2;
    parts.tm_min = (modTime >> 5) & 0x3F;
    parts.tm_hour = modTime >> 11;
    parts.tm_mday = modDate & 0x1F;
    parts.tm_mon = ((modDate >> 5) & 0x0F) - 1;
    parts.tm_year = (modDate >> 9) + 80;
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

std::string CZipEntry::fileNameString() const {
    return std::string(reinterpret_cast<const char*>(fileName.data()), fileName.size());
}

void CZipEntry::convertNameToAnsi() {
    if (hasUtf8Name()) {
        return;
    }
    const std::string converted = platform::codePage437ToUtf8(fileNameString());
    std::copy(converted.begin(), converted.end(),
              fileName.allocate(static_cast<std::uint32_t>(converted.size()), false));
}

void CZipEntry::convertSlashesToBackslashes() {
    std::replace(fileName.data(), fileName.data() + fileName.size(), std::uint8_t{'/'},
                 std::uint8_t{'\\'});
}
