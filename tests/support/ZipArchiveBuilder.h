// Builds Zip archives in memory for tests. Every header field can be set or overridden, so that
// a test can plant exactly one defect per archive. The common case is one line:
//     ZipArchiveBuilder().addFile("a.bin", "data").addFolder("docs/").writeTo(path);
// Not a general Zip writer: no Zip64 and no encryption (the encrypted flag can be set; the data
// is written as given).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class DataDescriptor { none, withSignature, withoutSignature };

// Values written into the central header in place of the ones the builder derives.
struct CentralHeaderOverrides {
    std::optional<std::uint32_t> signature{};
    std::optional<std::uint16_t> flags{};
    std::optional<std::uint16_t> method{};
    std::optional<std::uint32_t> crc32{};
    std::optional<std::uint32_t> compressedSize{};
    std::optional<std::uint32_t> uncompressedSize{};
    std::optional<std::uint16_t> nameLength{};
    std::optional<std::uint16_t> extraLength{};
    std::optional<std::uint16_t> commentLength{};
    std::optional<std::uint16_t> diskNumberStart{};
    std::optional<std::uint32_t> localHeaderOffset{};
};

// Values written into the local header in place of the ones the builder derives. With a data
// descriptor the local CRC and sizes are 0 unless overridden here.
struct LocalHeaderOverrides {
    std::optional<std::uint32_t> signature{};
    std::optional<std::uint16_t> versionNeeded{};
    std::optional<std::uint16_t> flags{};
    std::optional<std::uint16_t> method{};
    std::optional<std::uint16_t> modTime{};
    std::optional<std::uint16_t> modDate{};
    std::optional<std::uint32_t> crc32{};
    std::optional<std::uint32_t> compressedSize{};
    std::optional<std::uint32_t> uncompressedSize{};
    std::optional<std::string> name{};  // bytes written in place of the entry's name
    std::optional<std::uint16_t> nameLength{};
    std::optional<std::uint16_t> extraLength{};
};

struct DataDescriptorOverrides {
    std::optional<std::uint32_t> crc32{};
    std::optional<std::uint32_t> compressedSize{};
    std::optional<std::uint32_t> uncompressedSize{};
};

struct PlannedEntry {
    static constexpr std::uint16_t dosTime(int hour, int minute, int second) {
        return static_cast<std::uint16_t>(hour << 11 | minute << 5 | second / 2);
    }
    static constexpr std::uint16_t dosDate(int year, int month, int day) {
        return static_cast<std::uint16_t>((year - 1980) << 9 | month << 5 | day);
    }

    std::string name{};
    std::string content{};  // the uncompressed bytes
    // 8 deflates `content`; every other number (0 included) writes `content` as it is.
    std::uint16_t method = 8;
    // Bit 3 is added when a data descriptor is written; bit 11 marks a UTF-8 name.
    std::uint16_t flags = 0;
    DataDescriptor descriptor = DataDescriptor::none;
    std::uint16_t modTime = dosTime(12, 0, 0);
    std::uint16_t modDate = dosDate(2004, 1, 1);
    std::uint32_t externalAttributes = 0x20;
    std::uint16_t versionMadeBy = 20;
    std::uint16_t versionNeeded = 20;
    std::uint16_t internalAttributes = 0;
    std::string extraField{};
    std::string localExtraField{};
    std::string comment{};
    // Written after the local header in place of the compressed `content` (whose CRC and size
    // still fill the headers).
    std::optional<std::string> storedData{};
    CentralHeaderOverrides central{};
    LocalHeaderOverrides local{};
    DataDescriptorOverrides descriptorValues{};
};

struct EndRecordOverrides {
    std::optional<std::uint32_t> signature{};
    std::optional<std::uint16_t> thisDisk{};
    std::optional<std::uint16_t> centralDirDisk{};
    std::optional<std::uint16_t> entriesOnThisDisk{};
    std::optional<std::uint16_t> totalEntries{};
    std::optional<std::uint32_t> centralDirSize{};
    std::optional<std::uint32_t> centralDirOffset{};
    std::optional<std::uint16_t> commentLength{};
};

class ZipArchiveBuilder {
public:
    // A deflated file entry.
    ZipArchiveBuilder& addFile(std::string name, std::string content);
    ZipArchiveBuilder& addStoredFile(std::string name, std::string content);
    // A folder entry: stored, empty, with the folder attribute (0x10). The name is kept as given.
    ZipArchiveBuilder& addFolder(std::string name);
    ZipArchiveBuilder& add(PlannedEntry entry);

    // Bytes before the first entry that the archive's offsets do not count (a program stub).
    ZipArchiveBuilder& prependStub(std::string bytes);
    // Bytes after the end record and its comment.
    ZipArchiveBuilder& appendTrailer(std::string bytes);
    ZipArchiveBuilder& setComment(std::string comment);
    ZipArchiveBuilder& overrideEndRecord(EndRecordOverrides overrides);

    // The whole archive as one file.
    std::string build() const;
    // The archive split into volumes of at most `volumeSize` bytes, as a splitting tool cuts
    // it: entry data may run on into the next volume, headers and the end record never do. The
    // stub, when there is one, comes before volume 0's bytes.
    std::vector<std::string> buildVolumes(std::uint32_t volumeSize) const;

    void writeTo(const std::string& path) const;
    // Writes `<base>.000`, `<base>.001`, ... and the last volume as `<base>.zip`; returns the
    // path of the last volume, the one an archive is opened by.
    std::string writeVolumes(const std::string& base, std::uint32_t volumeSize) const;

    // Raw deflate data (no zlib header), as an archive holds it.
    static std::string deflateRaw(std::string_view content);
    static std::uint32_t crcOf(std::string_view content);

private:
    std::vector<PlannedEntry> entries;
    std::string stub;
    std::string trailer;
    std::string comment;
    EndRecordOverrides endRecord;
};
