// One entry's record: reading the central header, checking the local header against it, the
// MS-DOS time and the name conversions.
#include <gtest/gtest.h>

#include <array>
#include <ctime>
#include <tuple>

#include "tests/support/ScratchFolder.h"
#include "tests/support/ZipArchiveBuilder.h"
#include "zip/CZipEntry.h"
#include "zip/CZipStore.h"

namespace {

// An archive of one entry on disk, opened with a store, and its central header read from it.
class OneEntryArchive {
public:
    explicit OneEntryArchive(const PlannedEntry& planned) {
        const std::string bytes = ZipArchiveBuilder().add(planned).build();
        store.open(scratch.writeFile("archive.zip", bytes).c_str(), CZipStore::openReadOnly, 0);
        store.setLastVolume(0);
        // The central header's offset is the end record's third-last field.
        const auto* end = reinterpret_cast<const std::uint8_t*>(bytes.data() + bytes.size() - 6);
        store.activeFile->Seek(end[0] | end[1] << 8 | end[2] << 16 | end[3] << 24,
                               platform::CFile::begin);
        EXPECT_TRUE(central.readCentralHeader(store));
        store.activeFile->Seek(0, platform::CFile::begin);
    }
    std::string next(unsigned count) {
        std::string read(count, '\0');
        read.resize(store.activeFile->Read(read.data(), count));
        return read;
    }

    testsupport::ScratchFolder scratch;
    CZipStore store;
    CZipEntry central;
};

std::string textOf(const CZipBuffer& buffer) {
    return {reinterpret_cast<const char*>(buffer.data()), buffer.size()};
}

}  // namespace

TEST(CZipEntryTest, CentralHeaderFieldsAreReadInFileOrder) {
    const CZipEntry entry = OneEntryArchive({.name = "dir/f.bin",
                                             .content = "payload",
                                             .method = 0,
                                             .flags = 0x0002,
                                             .modTime = 0x1234,
                                             .modDate = 0x5678,
                                             .externalAttributes = 0x81A40021,
                                             .versionMadeBy = 0x0314,
                                             .versionNeeded = 10,
                                             .internalAttributes = 1,
                                             .extraField = "XY",
                                             .comment = "note"})
                                .central;
    EXPECT_EQ(std::tuple(entry.signature, entry.versionMadeBy, entry.versionNeeded, entry.flags,
                         entry.method, entry.modTime, entry.modDate, entry.crc32),
              std::tuple(0x02014b50u, 0x0314, 10, 0x0002, 0, 0x1234, 0x5678,
                         ZipArchiveBuilder::crcOf("payload")));
    EXPECT_EQ(
        std::tuple(entry.compressedSize, entry.uncompressedSize, entry.diskNumberStart,
                   entry.internalAttributes, entry.externalAttributes, entry.localHeaderOffset),
        std::tuple(7u, 7u, 0, 1, 0x81A40021u, 0u));
    EXPECT_EQ(entry.fileNameString() + textOf(entry.extraField) + textOf(entry.comment),
              "dir/f.binXYnote");
}

TEST(CZipEntryTest, LocalHeaderIsCheckedAgainstTheCentralHeader) {
    const std::pair<const char*, PlannedEntry> cases[] = {
        {"Matching", {.method = 0}},
        {"DescriptorLeavesZerosInLocalHeader", {.descriptor = DataDescriptor::withSignature}},
        {"VersionTimeAndDateDiffer",
         {.method = 0, .local = {.versionNeeded = 45, .modTime = 1, .modDate = 2}}},
        {"NameBytesDifferAtEqualLength", {.method = 0, .local = {.name = "b.bin"}}},
        {"!SignatureWrong", {.method = 0, .local = {.signature = 0x04034b51}}},
        {"!FlagsDifferInBit1", {.local = {.flags = 0x0002}}},
        {"!FlagsDifferInBit2", {.local = {.flags = 0x0004}}},
        {"!MethodDiffers", {.method = 0, .local = {.method = 8}}},
        {"!UnsupportedMethodInBothHeaders", {.method = 12}},
        {"!NameLengthDiffers", {.method = 0, .local = {.name = "ab.bin"}}},
        {"!CrcDiffers", {.method = 0, .local = {.crc32 = 1}}},
        {"!CompressedSizeOffByOne", {.method = 0, .local = {.compressedSize = 6}}},
        {"!UncompressedSizeDiffers", {.method = 0, .local = {.uncompressedSize = 4}}},
        {"!LocalExtraFieldRunsPastTheFile", {.method = 0, .local = {.extraLength = 5000}}},
    };
    for (auto [name, planned] : cases) {
        SCOPED_TRACE(name);  // a leading '!' marks a header that must be refused
        const bool accepted = name[0] != '!';
        planned.name = "a.bin";
        planned.content = "hello";
        planned.localExtraField = "EXTRA";
        OneEntryArchive archive(planned);
        std::uint16_t localExtraLength = 0;
        EXPECT_EQ(archive.central.verifyLocalHeader(archive.store, localExtraLength), accepted);
        if (accepted) {
            EXPECT_EQ(localExtraLength, 5);
            EXPECT_EQ(archive.next(5), "EXTRA");
        }
    }
}

TEST(CZipEntryTest, ModificationTimeIsTheDosTimeInLocalTime) {
    for (const auto& [hour, minute, second] : {std::array{12, 0, 0}, std::array{23, 59, 58}}) {
        CZipEntry entry;
        entry.modTime = PlannedEntry::dosTime(hour, minute, second);
        entry.modDate = PlannedEntry::dosDate(2004, 2, 29);
        std::tm expected{};
        expected.tm_sec = second;
        expected.tm_min = minute;
        expected.tm_hour = hour;
        expected.tm_mday = 29;
        expected.tm_mon = 1;
        expected.tm_year = 104;
        expected.tm_isdst = -1;
        EXPECT_EQ(entry.modificationTime(), std::mktime(&expected)) << hour << ":" << minute;
    }
}

TEST(CZipEntryTest, NamesAreConvertedFromTheOemCodePageUnlessMarkedUtf8) {
    // stored name, flags, listed name
    const std::tuple<std::string, std::uint16_t, std::string> cases[] = {
        {"a\\b/c.bin", 0, "a\\b\\c.bin"},
        {"\201ber/\233.txt", 0, "\303\274ber\\\302\242.txt"},
        {"\303\274ber/x.txt", 0x0800, "\303\274ber\\x.txt"},
        {"", 0, ""},
    };
    for (const auto& [stored, flags, listed] : cases) {
        CZipEntry entry;
        entry.flags = flags;
        std::copy(stored.begin(), stored.end(),
                  entry.fileName.allocate(static_cast<std::uint32_t>(stored.size()), false));
        entry.convertNameToAnsi();
        entry.convertSlashesToBackslashes();
        EXPECT_EQ(entry.fileNameString(), listed);
    }
}
