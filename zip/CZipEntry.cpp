// Reading and checking one entry's headers. Mismatches are reported as false, never raised: the
// central directory owns the archive's path and turns them into badArchive. Lengths taken from
// a header are checked against what is left of the volume file before anything is allocated.
#include "zip/CZipEntry.h"

#include <zlib.h>

#include <algorithm>
#include <optional>
#include <string_view>

#include "text/CodePage437.h"
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

bool isWellFormedUtf8(std::string_view text) {
    std::size_t index = 0;
    while (index < text.size()) {
        const auto lead = static_cast<unsigned char>(text[index]);
        std::size_t length = 0;
        char32_t codePoint = 0;
        if (lead < 0x80) {
            length = 1;
            codePoint = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            codePoint = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            codePoint = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            codePoint = lead & 0x07;
        } else {
            return false;
        }
        if (text.size() - index < length) {
            return false;
        }
        for (std::size_t next = 1; next < length; ++next) {
            const auto byte = static_cast<unsigned char>(text[index + next]);
            if ((byte & 0xC0) != 0x80) {
                return false;
            }
            codePoint = codePoint << 6 | (byte & 0x3F);
        }
        constexpr char32_t shortestForLength[] = {0, 0, 0x80, 0x800, 0x10000};
        if (codePoint < shortestForLength[length] || codePoint > 0x10FFFF ||
            (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
            return false;
        }
        index += length;
    }
    return true;
}

// Some tools on Linux store a UTF-8 name without flag bit 11, in the code-page name field, and
// add its UTF-8 form in an extra field (id 0x7075: version 1, the CRC-32 of the stored name,
// then the name). The field is trusted only when it is whole, of version 1, holds well-formed
// UTF-8 and its CRC matches the stored name, so that a name renamed by a tool that kept an old
// field is not replaced by the stale one.
std::optional<std::string> unicodePathOf(const CZipBuffer& extraField, const CZipBuffer& name) {
    constexpr std::uint16_t unicodePathId = 0x7075;
    constexpr std::size_t fixedPart = 5;  // version and CRC
    const std::string_view field(reinterpret_cast<const char*>(extraField.data()),
                                 extraField.size());
    std::size_t position = 0;
    while (field.size() - position >= 4) {
        LittleEndianRecord<4> blockHeader;
        std::copy_n(field.data() + position, 4, blockHeader.data());
        const std::uint16_t id = blockHeader.word<0>();
        const std::size_t size = blockHeader.word<2>();
        position += 4;
        if (size > field.size() - position) {
            return std::nullopt;
        }
        const std::string_view block = field.substr(position, size);
        position += size;
        if (id != unicodePathId) {
            continue;
        }
        if (block.size() <= fixedPart || block[0] != 1) {
            return std::nullopt;
        }
        LittleEndianRecord<4> crc;
        std::copy_n(block.data() + 1, 4, crc.data());
        const std::string_view utf8Name = block.substr(fixedPart);
        const auto storedCrc =
            static_cast<std::uint32_t>(::crc32(0, name.data(), static_cast<uInt>(name.size())));
        if (crc.doubleWord<0>() != storedCrc || !isWellFormedUtf8(utf8Name)) {
            return std::nullopt;
        }
        return std::string(utf8Name);
    }
    return std::nullopt;
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
    storedNameLength = nameLength;
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
        nameLength != storedNameLength) {
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
    const std::optional<std::string> unicodePath = unicodePathOf(extraField, fileName);
    const std::string converted =
        unicodePath ? *unicodePath : text::codePage437ToUtf8(fileNameString());
    std::copy(converted.begin(), converted.end(),
              fileName.allocate(static_cast<std::uint32_t>(converted.size()), false));
}

void CZipEntry::convertSlashesToBackslashes() {
    std::replace(fileName.data(), fileName.data() + fileName.size(), std::uint8_t{'/'},
                 std::uint8_t{'\\'});
}
