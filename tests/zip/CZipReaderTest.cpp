// The archive facade: every damaged archive raises its cause with the archive's path, one
// defect per archive; opening, listing and copying entries; zlib's tracked blocks.
#include <gtest/gtest.h>

#include <list>
#include <memory>
#include <vector>

#include "platform/CFileException.h"
#include "tests/zip/ArchiveFixture.h"

namespace {

struct DamagedArchive {
    const char* defect;
    std::string bytes;
    int cause;
};

void PrintTo(const DamagedArchive& archive, std::ostream* out) {
    *out << archive.defect;
}

const std::string content = std::string(5000, 'x') + "tail";
const std::string deflated = ZipArchiveBuilder::deflateRaw(content);

std::string entry(PlannedEntry planned) {
    planned.name = "a.bin";
    planned.content = content;
    return ZipArchiveBuilder().add(std::move(planned)).build();
}

std::string endRecord(EndRecordOverrides overrides) {
    return ZipArchiveBuilder().addFile("a.bin", "data").overrideEndRecord(overrides).build();
}

constexpr int bad = CZipException::badArchive;
constexpr DataDescriptor signedDescriptor = DataDescriptor::withSignature;

const DamagedArchive damagedArchives[] = {
    {"EmptyFile", "", CZipException::endRecordNotFound},
    {"NotAnArchive", std::string(70000, 't'), CZipException::endRecordNotFound},
    {"EndRecordBeyondTheSearchWindow",
     ZipArchiveBuilder().appendTrailer(std::string(65536, 't')).build(),
     CZipException::endRecordNotFound},
    {"EndRecordCutShort", std::string("PK\5\6\0\0\0\0\0\0", 10), bad},
    {"CentralDirectoryEndsAfterTheEndRecord", endRecord({.centralDirSize = 500}), bad},
    {"ArchiveCommentCutShort", endRecord({.commentLength = 7}), bad},
    {"EntriesWithoutCentralDirectory", endRecord({.totalEntries = 3, .centralDirSize = 0}), bad},
    {"CentralDirectoryWithoutEntries", endRecord({.totalEntries = 0}), bad},
    {"MoreEntriesCountedThanStored", endRecord({.totalEntries = 2}), bad},
    {"CentralDirectoryOnALaterDisk", endRecord({.centralDirDisk = 1}), bad},
    {"CentralHeaderSignatureWrong", entry({.central = {.signature = 0x02014b51}}), bad},
    {"CentralHeaderFieldsRunPastTheFile", entry({.central = {.extraLength = 9000}}), bad},
    {"LocalHeaderDisagreesWithTheCentral", entry({.local = {.crc32 = 7}}), bad},
    {"UnknownCompressionMethod", entry({.method = 14}), bad},
    {"LocalHeaderOffsetPastTheFile", entry({.central = {.localHeaderOffset = 100000}}), bad},
    {"EntryOnADiskThatDoesNotExist", entry({.central = {.diskNumberStart = 3}}), bad},
    {"LocalExtraFieldRunsPastTheFile", entry({.local = {.extraLength = 60000}}), bad},
    {"DataCutShort",
     entry({.central = {.compressedSize = 90000}, .local = {.compressedSize = 90000}}), bad},
    {"DescriptorCrcDiffers",
     entry({.descriptor = signedDescriptor, .descriptorValues = {.crc32 = 1}}), bad},
    {"UnsignedDescriptorCompressedSizeDiffers",
     entry({.descriptor = DataDescriptor::withoutSignature,
            .descriptorValues = {.compressedSize = 1}}),
     bad},
    {"DescriptorUncompressedSizeDiffers",
     entry({.descriptor = signedDescriptor, .descriptorValues = {.uncompressedSize = 1}}), bad},
    {"CrcMismatch", entry({.central = {.crc32 = 1}, .local = {.crc32 = 1}}), CZipException::badCrc},
    {"CorruptDeflateData", entry({.storedData = std::string(40, '\xFF')}),
     CZipException::dataError},
    {"DeflateDataEndsBeforeTheStreamEnd",
     entry({.storedData = deflated.substr(0, deflated.size() / 2)}), CZipException::bufferError},
};

class DamagedArchiveTest : public testing::TestWithParam<DamagedArchive> {};

}  // namespace

TEST_P(DamagedArchiveTest, RaisesItsCauseWithTheArchivePath) {
    OpenedArchive archive(GetParam().bytes, false);
    const RaisedZipError error = zipErrorOf([&] {
        archive.reader.openArchive(archive.path.c_str(), CZipStore::openReadOnly, 0);
        for (int index = 0; index < archive.reader.entryCount(); ++index) {
            archive.extract(static_cast<CZipReader::WORD>(index));
        }
    });
    EXPECT_EQ(error.cause, GetParam().cause);
    EXPECT_EQ(error.fileName, archive.path);
}

INSTANTIATE_TEST_SUITE_P(CZipReaderTest, DamagedArchiveTest, testing::ValuesIn(damagedArchives),
                         [](const auto& info) { return std::string(info.param.defect); });

TEST(CZipReaderTest, FailedOpenLeavesTheReaderClosed) {
    OpenedArchive archive("not an archive", false);
    CZipReader& reader = archive.reader;
    EXPECT_EQ(zipErrorOf([&] { reader.openArchive(archive.path.c_str(), 1, 0); }).cause,
              CZipException::endRecordNotFound);
    EXPECT_TRUE(reader.isArchiveClosed());
    EXPECT_EQ(reader.entryCount(), 0);
    CZipEntry info;
    EXPECT_FALSE(reader.getEntryInfo(info, 0));
    EXPECT_FALSE(reader.isEntryFolder(0));
    // A missing file is a file error, not a damaged archive.
    EXPECT_THROW(reader.openArchive(archive.scratch.pathOf("missing.zip").c_str(), 1, 0),
                 platform::CFileException);
    EXPECT_TRUE(reader.isArchiveClosed());
    EXPECT_EQ(zipErrorOf([&] { reader.raiseError(zipCode::badArchive); }).fileName, "");
}

TEST(CZipReaderTest, SecondOpenIsIgnored) {
    OpenedArchive archive(ZipArchiveBuilder().addFile("a.bin", "a").build());
    const std::string other = archive.scratch.writeFile(
        "other.zip", ZipArchiveBuilder().addFile("b", "b").addFile("c", "c").build());
    archive.reader.openArchive(other.c_str(), 1, 0);
    EXPECT_EQ(archive.reader.entryCount(), 1);
}

TEST(CZipReaderTest, EntryInfoIsADeepCopyAtASixteenBitIndex) {
    auto archive = std::make_unique<OpenedArchive>(
        ZipArchiveBuilder().addFile("a.bin", "a").addFile("dir/b.bin", "b").build());
    CZipEntry info;
    info.crc32 = 12345;
    EXPECT_FALSE(archive->reader.getEntryInfo(info, 2));
    EXPECT_EQ(info.crc32, 12345u);
    const int wrapped = 65536 + 1;
    ASSERT_TRUE(archive->reader.getEntryInfo(info, static_cast<CZipReader::WORD>(wrapped)));
    archive.reset();
    EXPECT_EQ(info.fileNameString(), "dir\\b.bin");
    EXPECT_EQ(info.crc32, ZipArchiveBuilder::crcOf("b"));
}

TEST(CZipReaderTest, FolderEntriesAreKnownByAttributeUnixModeOrTrailingSeparator) {
    constexpr std::uint16_t madeOnUnix = 0x031e;
    OpenedArchive archive(
        ZipArchiveBuilder()
            .addFolder("by-attribute")
            .add({.name = "by-name/", .method = 0, .externalAttributes = 0})
            .add({.name = "by-mode", .externalAttributes = 0x41ed0000, .versionMadeBy = madeOnUnix})
            .addFile("file", "")
            .add({.name = "regular-mode-despite-0x10",
                  .externalAttributes = 0x81fdffff,
                  .versionMadeBy = madeOnUnix})
            .build());
    const std::vector<bool> folders = {true, true, true, false, false, false};
    for (CZipReader::WORD index = 0; index < folders.size(); ++index) {
        EXPECT_EQ(archive.reader.isEntryFolder(index), folders[index]) << index;
    }
}

TEST(CZipReaderTest, InflateResultsOtherThanOkAndNeedDictionaryRaise) {
    OpenedArchive archive(ZipArchiveBuilder().build());
    EXPECT_EQ(archive.reader.checkInflateResult(Z_OK), Z_OK);
    EXPECT_EQ(archive.reader.checkInflateResult(Z_NEED_DICT), Z_NEED_DICT);
    const RaisedZipError error =
        zipErrorOf([&] { archive.reader.checkInflateResult(Z_VERSION_ERROR); });
    EXPECT_EQ(error.cause, CZipException::versionError);
    EXPECT_EQ(error.fileName, archive.path);
}

TEST(CZipReaderTest, OneEntryIsOpenedAtATime) {
    OpenedArchive archive(ZipArchiveBuilder().addFile("a", "a").addFile("b", "b").build());
    CZipReader& reader = archive.reader;
    EXPECT_EQ(reader.closeCurrentEntry(nullptr, false), 0);
    EXPECT_EQ(reader.closeCurrentEntry(nullptr, true), 0);
    EXPECT_FALSE(reader.openEntryForRead(2));
    ASSERT_TRUE(reader.openEntryForRead(0));
    EXPECT_FALSE(reader.openEntryForRead(1));
    EXPECT_EQ(reader.currentEntry()->fileNameString(), "a");
    char byte = 0;
    EXPECT_EQ(reader.readEntryData(&byte, 1), 1u);
    EXPECT_EQ(reader.closeCurrentEntry(nullptr, false), 1);
    EXPECT_EQ(reader.currentEntry(), nullptr);
    EXPECT_TRUE(reader.openEntryForRead(1));
}

TEST(CZipReaderTest, TrackedBlocksAreRecordedUntilFreed) {
    std::list<void*> blocks;
    void* first = CZipReader::trackedAlloc(&blocks, 3, 100);
    void* second = CZipReader::trackedAlloc(&blocks, 1, 8);
    EXPECT_EQ(blocks, (std::list<void*>{first, second}));
    CZipReader::trackedFree(&blocks, first);
    EXPECT_EQ(blocks, std::list<void*>{second});
    CZipReader::trackedFree(&blocks, second);
    EXPECT_TRUE(blocks.empty());
    void* untracked = CZipReader::trackedAlloc(nullptr, 1, 1);
    ASSERT_NE(untracked, nullptr);
    CZipReader::trackedFree(nullptr, untracked);
}

#if !defined(__SANITIZE_ADDRESS__)
TEST(CZipReaderTest, FailedAllocationReturnsNullForZlib) {
    std::list<void*> blocks;
    EXPECT_EQ(CZipReader::trackedAlloc(&blocks, 0xFFFFFFFFu, 0xFFFFFFFFu), nullptr);
    EXPECT_TRUE(blocks.empty());
}
#endif

TEST(CZipReaderTest, ReaderDestroyedWithAnOpenedDeflatedEntryFreesZlibsBlocks) {
    const std::string content(200000, 'z');
    OpenedArchive archive(ZipArchiveBuilder().addFile("a.bin", content).build());
    ASSERT_TRUE(archive.reader.openEntryForRead(0));
    std::string part(1000, '\0');
    EXPECT_EQ(archive.reader.readEntryData(part.data(), 1000), 1000u);
    EXPECT_EQ(part, content.substr(0, 1000));
    // The sanitizer build reports a block that the reader's destruction leaves behind.
}
