// One entry's record: reading the central header, checking the local header against it, the
// MS-DOS time and the name conversions.
#include <gtest/gtest.h>

#include "tests/support/ScratchFolder.h"
#include "tests/support/ZipArchiveBuilder.h"
#include "zip/CZipEntry.h"
#include "zip/CZipStore.h"

namespace {

void fill(CZipBuffer& buffer, std::string_view bytes) {
    std::copy(bytes.begin(), bytes.end(),
              buffer.allocate(static_cast<std::uint32_t>(bytes.size()), false));
}

// An archive of one entry on disk, opened with a store.
class OneEntryArchive {
public:
    explicit OneEntryArchive(const PlannedEntry& planned)
        : bytes(ZipArchiveBuilder().add(planned).build()) {
        store.open(scratch.writeFile("archive.zip", bytes).c_str(), CZipStore::openReadOnly, 0);
        store.setLastVolume(0);
    }
    // The central header's offset comes from the end record, the last 22 bytes.
    void seekToCentralHeader() {
        const auto* end = reinterpret_cast<const std::uint8_t*>(bytes.data() + bytes.size() - 6);
        const std::int64_t offset = end[0] | end[1] << 8 | end[2] << 16 | end[3] << 24;
        store.activeFile->Seek(offset, platform::CFile::begin);
    }
    void seekToLocalHeader() { store.activeFile->Seek(0, platform::CFile::begin); }
    std::string next(unsigned count) {
        std::string read(count, '\0');
        read.resize(store.activeFile->Read(read.data(), count));
        return read;
    }
    // The central header read as the directory reads it.
    CZipEntry central() {
        CZipEntry entry;
        seekToCentralHeader();
        EXPECT_TRUE(entry.readCentralHeader(store));
        return entry;
    }

    testsupport::ScratchFolder scratch;
    std::string bytes;
    CZipStore store;
};

}  // namespace

TEST(CZipEntryTest, CentralHeaderFieldsAreReadInFileOrder) {
    OneEntryArchive archive({.name = "dir/f.bin",
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
                             .comment = "note"});
    const CZipEntry entry = archive.central();
    EXPECT_EQ(entry.signature, 0x02014b50u);
    EXPECT_EQ(entry.versionMadeBy, 0x0314);
    EXPECT_EQ(entry.versionNeeded, 10);
    EXPECT_EQ(entry.flags, 0x0002);
    EXPECT_EQ(entry.method, 0);
    EXPECT_EQ(entry.modTime, 0x1234);
    EXPECT_EQ(entry.modDate, 0x5678);
    EXPECT_EQ(entry.crc32, ZipArchiveBuilder::crcOf("payload"));
    EXPECT_EQ(entry.compressedSize, 7u);
    EXPECT_EQ(entry.uncompressedSize, 7u);
    EXPECT_EQ(entry.diskNumberStart, 0);
    EXPECT_EQ(entry.internalAttributes, 1);
    EXPECT_EQ(entry.externalAttributes, 0x81A40021u);
    EXPECT_EQ(entry.localHeaderOffset, 0u);
    EXPECT_EQ(entry.fileNameString(), "dir/f.bin");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(entry.extraField.data()), 2), "XY");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(entry.comment.data()), 4), "note");
    EXPECT_EQ(archive.next(4), "PK\5\6");
}

TEST(CZipEntryTest, CentralHeaderIsRejected) {
    struct Case {
        const char* defect;
        CentralHeaderOverrides central;
        std::string nextBytes;  // where the store stands afterwards
    };
    const Case cases[] = {
        {"SignatureWrong", {.signature = 0x02014b51}, "a.bin"},
        {"VariableFieldsRunPastTheFile", {.commentLength = 500}, "a.bin"},
    };
    for (const Case& c : cases) {
        OneEntryArchive archive({.name = "a.bin", .content = "x", .central = c.central});
        CZipEntry entry;
        archive.seekToCentralHeader();
        EXPECT_FALSE(entry.readCentralHeader(archive.store)) << c.defect;
        EXPECT_EQ(entry.fileName.size(), 0u) << c.defect;
        EXPECT_EQ(archive.next(5), c.nextBytes) << c.defect;
    }
}

TEST(CZipEntryTest, LocalHeaderIsCheckedAgainstTheCentralHeader) {
    struct Case {
        const char* name;
        PlannedEntry planned;
        bool accepted;
    };
    const Case cases[] = {
        {"Matching", {.method = 0}, true},
        {"SignatureWrong", {.method = 0, .local = {.signature = 0x04034b51}}, false},
        {"FlagsDifferInBit1", {.local = {.flags = 0x0002}}, false},
        {"FlagsDifferInBit2", {.local = {.flags = 0x0004}}, false},
        {"MethodDiffers", {.method = 0, .local = {.method = 8}}, false},
        {"UnsupportedMethodInBothHeaders", {.method = 12}, false},
        {"NameLengthDiffers", {.method = 0, .local = {.name = "ab.bin"}}, false},
        {"CrcDiffers", {.method = 0, .local = {.crc32 = 1}}, false},
        {"CompressedSizeOffByOne", {.method = 0, .local = {.compressedSize = 6}}, false},
        {"UncompressedSizeDiffers", {.method = 0, .local = {.uncompressedSize = 4}}, false},
        {"DescriptorLeavesZerosInLocalHeader", {.descriptor = DataDescriptor::withSignature}, true},
        {"VersionTimeAndDateDiffer",
         {.method = 0, .local = {.versionNeeded = 45, .modTime = 1, .modDate = 2}},
         true},
        {"NameBytesDifferAtEqualLength", {.method = 0, .local = {.name = "b.bin"}}, true},
        {"LocalExtraFieldRunsPastTheFile", {.method = 0, .local = {.extraLength = 5000}}, false},
    };
    for (Case c : cases) {
        c.planned.name = "a.bin";
        c.planned.content = "hello";
        c.planned.localExtraField = "EXTRA";
        OneEntryArchive archive(c.planned);
        CZipEntry entry = archive.central();
        archive.seekToLocalHeader();
        std::uint16_t localExtraLength = 0;
        EXPECT_EQ(entry.verifyLocalHeader(archive.store, localExtraLength), c.accepted) << c.name;
        if (c.accepted) {
            EXPECT_EQ(localExtraLength, 5) << c.name;
            EXPECT_EQ(archive.next(5), "EXTRA") << c.name;
        }
    }
}

TEST(CZipEntryTest, ModificationTimeIsTheDosTimeInLocalTime) {
    CZipEntry entry;
    entry.modTime = PlannedEntry::dosTime(12, 0, 0);
    entry.modDate = PlannedEntry::dosDate(2004, 1, 1);
    std::time_t time = entry.modificationTime();
    std::tm local{};
    ASSERT_NE(localtime_r(&time, &local), nullptr);
    EXPECT_EQ(local.tm_year, 104);
    EXPECT_EQ(local.tm_mon, 0);
    EXPECT_EQ(local.tm_mday, 1);
    EXPECT_EQ(local.tm_hour, 12);
    EXPECT_EQ(local.tm_min, 0);
    EXPECT_EQ(local.tm_sec, 0);

    entry.modTime = PlannedEntry::dosTime(23, 59, 58);
    time = entry.modificationTime();
    localtime_r(&time, &local);
    EXPECT_EQ(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec, 86398);
}

TEST(CZipEntryTest, NamesAreConvertedFromTheOemCodePageUnlessMarkedUtf8) {
    struct Case {
        std::string stored;
        std::uint16_t flags;
        std::string listed;
    };
    const Case cases[] = {
        {"a\\b/c.bin", 0, "a\\b\\c.bin"},
        {"\x81"
         "ber/\x9B.txt",
         0,
         "\xC3\xBC"
         "ber\\\xC2\xA2.txt"},
        {"\xC3\xBC"
         "ber/x.txt",
         0x0800,
         "\xC3\xBC"
         "ber\\x.txt"},
        {"", 0, ""},
    };
    for (const Case& c : cases) {
        CZipEntry entry;
        entry.flags = c.flags;
        fill(entry.fileName, c.stored);
        entry.convertNameToAnsi();
        entry.convertSlashesToBackslashes();
        EXPECT_EQ(entry.fileNameString(), c.listed);
    }
}
