#include "tests/support/ZipArchiveBuilder.h"

#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <utility>

namespace {

constexpr std::uint32_t localHeaderSignature = 0x04034b50;
constexpr std::uint32_t centralHeaderSignature = 0x02014b50;
constexpr std::uint32_t endRecordSignature = 0x06054b50;
constexpr std::uint32_t dataDescriptorSignature = 0x08074b50;
constexpr std::uint16_t dataDescriptorFlag = 0x0008;
constexpr std::uint32_t folderAttribute = 0x10;

// Appends little-endian fields to a growing record.
class RecordWriter {
public:
    RecordWriter& word(std::uint16_t value) {
        record.push_back(static_cast<char>(value & 0xFF));
        record.push_back(static_cast<char>(value >> 8));
        return *this;
    }
    RecordWriter& doubleWord(std::uint32_t value) {
        word(static_cast<std::uint16_t>(value & 0xFFFF));
        return word(static_cast<std::uint16_t>(value >> 16));
    }
    RecordWriter& bytes(std::string_view value) {
        record.append(value);
        return *this;
    }
    const std::string& result() const { return record; }

private:
    std::string record;
};

std::uint16_t lengthOf(std::string_view field) {
    return static_cast<std::uint16_t>(field.size());
}

struct Position {
    std::uint16_t volume = 0;
    std::uint32_t offset = 0;
};

// Lays records and data out over volumes of a limited size (0: one volume without a limit).
class VolumeLayout {
public:
    explicit VolumeLayout(std::uint32_t limit) : limit(limit) {}

    // Where appendWhole would place a record of `size` bytes.
    Position placeOf(std::size_t size) const {
        const std::string& last = volumes.back();
        if (limit != 0 && !last.empty() && last.size() + size > limit) {
            return {static_cast<std::uint16_t>(volumes.size()), 0};
        }
        return {static_cast<std::uint16_t>(volumes.size() - 1),
                static_cast<std::uint32_t>(last.size())};
    }

    // A record that must lie within one volume; a record larger than a volume gets its own.
    Position appendWhole(std::string_view record) {
        Position position = placeOf(record.size());
        if (position.volume == volumes.size()) {
            volumes.emplace_back();
        }
        volumes.back().append(record);
        return position;
    }

    // Data that may run on into the following volumes.
    void appendSpanning(std::string_view data) {
        while (!data.empty()) {
            if (limit != 0 && volumes.back().size() >= limit) {
                volumes.emplace_back();
            }
            std::size_t room = limit == 0 ? data.size() : limit - volumes.back().size();
            std::size_t piece = std::min(room, data.size());
            volumes.back().append(data.substr(0, piece));
            data.remove_prefix(piece);
        }
    }

    std::vector<std::string> volumes{1};

private:
    std::uint32_t limit;
};

std::string localHeaderOf(const PlannedEntry& entry, std::uint16_t flags, std::uint32_t crc,
                          std::uint32_t compressedSize) {
    const LocalHeaderOverrides& local = entry.local;
    bool deferred = entry.descriptor != DataDescriptor::none;
    std::string name = local.name.value_or(entry.name);
    RecordWriter writer;
    writer.doubleWord(local.signature.value_or(localHeaderSignature))
        .word(local.versionNeeded.value_or(entry.versionNeeded))
        .word(local.flags.value_or(flags))
        .word(local.method.value_or(entry.method))
        .word(local.modTime.value_or(entry.modTime))
        .word(local.modDate.value_or(entry.modDate))
        .doubleWord(local.crc32.value_or(deferred ? 0 : crc))
        .doubleWord(local.compressedSize.value_or(deferred ? 0 : compressedSize))
        .doubleWord(local.uncompressedSize.value_or(
            deferred ? 0 : static_cast<std::uint32_t>(entry.content.size())))
        .word(local.nameLength.value_or(lengthOf(name)))
        .word(local.extraLength.value_or(lengthOf(entry.localExtraField)))
        .bytes(name)
        .bytes(entry.localExtraField);
    return writer.result();
}

std::string dataDescriptorOf(const PlannedEntry& entry, std::uint32_t crc,
                             std::uint32_t compressedSize) {
    const DataDescriptorOverrides& values = entry.descriptorValues;
    RecordWriter writer;
    if (entry.descriptor == DataDescriptor::withSignature) {
        writer.doubleWord(dataDescriptorSignature);
    }
    writer.doubleWord(values.crc32.value_or(crc))
        .doubleWord(values.compressedSize.value_or(compressedSize))
        .doubleWord(
            values.uncompressedSize.value_or(static_cast<std::uint32_t>(entry.content.size())));
    return writer.result();
}

std::string centralHeaderOf(const PlannedEntry& entry, std::uint16_t flags, std::uint32_t crc,
                            std::uint32_t compressedSize, Position localHeader) {
    const CentralHeaderOverrides& central = entry.central;
    RecordWriter writer;
    writer.doubleWord(central.signature.value_or(centralHeaderSignature))
        .word(entry.versionMadeBy)
        .word(entry.versionNeeded)
        .word(central.flags.value_or(flags))
        .word(central.method.value_or(entry.method))
        .word(entry.modTime)
        .word(entry.modDate)
        .doubleWord(central.crc32.value_or(crc))
        .doubleWord(central.compressedSize.value_or(compressedSize))
        .doubleWord(
            central.uncompressedSize.value_or(static_cast<std::uint32_t>(entry.content.size())))
        .word(central.nameLength.value_or(lengthOf(entry.name)))
        .word(central.extraLength.value_or(lengthOf(entry.extraField)))
        .word(central.commentLength.value_or(lengthOf(entry.comment)))
        .word(central.diskNumberStart.value_or(localHeader.volume))
        .word(entry.internalAttributes)
        .doubleWord(entry.externalAttributes)
        .doubleWord(central.localHeaderOffset.value_or(localHeader.offset))
        .bytes(entry.name)
        .bytes(entry.extraField)
        .bytes(entry.comment);
    return writer.result();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        throw std::runtime_error("cannot write " + path);
    }
}

// Deflate state that is ended however the compression leaves.
class RawDeflater {
public:
    RawDeflater() {
        if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8,
                         Z_DEFAULT_STRATEGY) != Z_OK) {
            throw std::runtime_error("deflateInit2 failed");
        }
    }
    RawDeflater(const RawDeflater&) = delete;
    RawDeflater& operator=(const RawDeflater&) = delete;
    ~RawDeflater() { deflateEnd(&stream); }

    std::string compress(std::string_view content) {
        std::string output(deflateBound(&stream, static_cast<uLong>(content.size())), '\0');
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
        stream.avail_in = static_cast<uInt>(content.size());
        stream.next_out = reinterpret_cast<Bytef*>(output.data());
        stream.avail_out = static_cast<uInt>(output.size());
        if (deflate(&stream, Z_FINISH) != Z_STREAM_END) {
            throw std::runtime_error("deflate did not finish");
        }
        output.resize(stream.total_out);
        return output;
    }

private:
    z_stream stream{};
};

}  // namespace

ZipArchiveBuilder& ZipArchiveBuilder::addFile(std::string name, std::string content) {
    return add({.name = std::move(name), .content = std::move(content)});
}

ZipArchiveBuilder& ZipArchiveBuilder::addStoredFile(std::string name, std::string content) {
    return add({.name = std::move(name), .content = std::move(content), .method = 0});
}

ZipArchiveBuilder& ZipArchiveBuilder::addFolder(std::string name) {
    return add({.name = std::move(name), .method = 0, .externalAttributes = folderAttribute});
}

ZipArchiveBuilder& ZipArchiveBuilder::add(PlannedEntry entry) {
    entries.push_back(std::move(entry));
    return *this;
}

ZipArchiveBuilder& ZipArchiveBuilder::prependStub(std::string bytes) {
    stub = std::move(bytes);
    return *this;
}

ZipArchiveBuilder& ZipArchiveBuilder::appendTrailer(std::string bytes) {
    trailer = std::move(bytes);
    return *this;
}

ZipArchiveBuilder& ZipArchiveBuilder::setComment(std::string text) {
    comment = std::move(text);
    return *this;
}

ZipArchiveBuilder& ZipArchiveBuilder::overrideEndRecord(EndRecordOverrides overrides) {
    endRecord = std::move(overrides);
    return *this;
}

std::string ZipArchiveBuilder::build() const {
    return buildVolumes(0).front();
}

std::vector<std::string> ZipArchiveBuilder::buildVolumes(std::uint32_t volumeSize) const {
    VolumeLayout layout(volumeSize);

    std::vector<std::string> centralHeaders;
    for (const PlannedEntry& entry : entries) {
        std::string data = entry.storedData.value_or(entry.method == 8 ? deflateRaw(entry.content)
                                                                       : entry.content);
        std::uint32_t crc = crcOf(entry.content);
        auto compressedSize = static_cast<std::uint32_t>(data.size());
        auto flags = static_cast<std::uint16_t>(
            entry.flags | (entry.descriptor != DataDescriptor::none ? dataDescriptorFlag : 0));

        Position localHeader = layout.appendWhole(localHeaderOf(entry, flags, crc, compressedSize));
        layout.appendSpanning(data);
        if (entry.descriptor != DataDescriptor::none) {
            layout.appendSpanning(dataDescriptorOf(entry, crc, compressedSize));
        }
        centralHeaders.push_back(centralHeaderOf(entry, flags, crc, compressedSize, localHeader));
    }

    std::vector<Position> centralPositions;
    std::uint32_t centralDirSize = 0;
    for (const std::string& header : centralHeaders) {
        centralPositions.push_back(layout.appendWhole(header));
        centralDirSize += static_cast<std::uint32_t>(header.size());
    }

    Position endPosition = layout.placeOf(22 + comment.size());
    Position centralStart = centralPositions.empty() ? endPosition : centralPositions.front();
    std::uint16_t entriesOnLastDisk = 0;
    for (const Position& position : centralPositions) {
        entriesOnLastDisk += position.volume == endPosition.volume ? 1 : 0;
    }
    RecordWriter writer;
    writer.doubleWord(endRecord.signature.value_or(endRecordSignature))
        .word(endRecord.thisDisk.value_or(endPosition.volume))
        .word(endRecord.centralDirDisk.value_or(centralStart.volume))
        .word(endRecord.entriesOnThisDisk.value_or(entriesOnLastDisk))
        .word(endRecord.totalEntries.value_or(static_cast<std::uint16_t>(entries.size())))
        .doubleWord(endRecord.centralDirSize.value_or(centralDirSize))
        .doubleWord(endRecord.centralDirOffset.value_or(centralStart.offset))
        .word(endRecord.commentLength.value_or(lengthOf(comment)))
        .bytes(comment);
    layout.appendWhole(writer.result());

    layout.volumes.front().insert(0, stub);
    layout.volumes.back().append(trailer);
    return layout.volumes;
}

void ZipArchiveBuilder::writeTo(const std::string& path) const {
    writeFile(path, build());
}

std::string ZipArchiveBuilder::writeVolumes(const std::string& base,
                                            std::uint32_t volumeSize) const {
    std::vector<std::string> volumes = buildVolumes(volumeSize);
    for (std::size_t number = 0; number + 1 < volumes.size(); ++number) {
        std::string extension = std::to_string(number);
        extension.insert(0, extension.size() < 3 ? 3 - extension.size() : 0, '0');
        writeFile(base + "." + extension, volumes[number]);
    }
    std::string last = base + ".zip";
    writeFile(last, volumes.back());
    return last;
}

std::string ZipArchiveBuilder::deflateRaw(std::string_view content) {
    return RawDeflater().compress(content);
}

std::uint32_t ZipArchiveBuilder::crcOf(std::string_view content) {
    return static_cast<std::uint32_t>(::crc32(0, reinterpret_cast<const Bytef*>(content.data()),
                                              static_cast<uInt>(content.size())));
}
