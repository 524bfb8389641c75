// The archive facade: every damaged archive raises its cause with the archive's path, one
// defect per archive; opening, listing and copying entries; zlib's tracked blocks.
#include <gtest/gtest.h>

#include <functional>
#include <list>
#include <memory>

#include "platform/CFileException.h"
#include "tests/zip/ArchiveFixture.h"

namespace {

struct DamagedArchive {
    const char* defect;
    std::function<std::string()> bytes;
    int cause;
};

std::string withEntry(PlannedEntry planned) {
    if (planned.name.empty()) {
        planned.name = "a.bin";
    }
    if (planned.content.empty()) {
        planned.content = std::string(5000, 'x') + "tail";
    }
    return ZipArchiveBuilder().add(std::move(planned)).build();
}

std::string withEndRecord(EndRecordOverrides overrides) {
    return ZipArchiveBuilder().addFile("a.bin", "data").overrideEndRecord(overrides).build();
}

const std::string deflated = ZipArchiveBuilder::deflateRaw(std::string(5000, 'x') + "tail");

const DamagedArchive damagedArchives[] = {
    {"EmptyFile", [] { return std::string(); }, CZipException::endRecordNotFound},
    {"NotAnArchive", [] { return std::string(70000, 't'); }, CZipException::endRecordNotFound},
    {"EndRecordBeyondTheSearchWindow",
     [] { return ZipArchiveBuilder().appendTrailer(std::string(65536, 't')).build(); },
     CZipException::endRecordNotFound},
    {"EndRecordCutShort", [] { return std::string("PK\5\6\0\0\0\0\0\0", 10); },
     CZipException::badArchive},
    {"CentralDirectoryEndsAfterTheEndRecord", [] { return withEndRecord({.centralDirSize = 500}); },
     CZipException::badArchive},
    {"ArchiveCommentCutShort", [] { return withEndRecord({.commentLength = 7}); },
     CZipException::badArchive},
    {"EntriesWithoutCentralDirectory",
     [] { return withEndRecord({.totalEntries = 3, .centralDirSize = 0}); },
     CZipException::badArchive},
    {"CentralDirectoryWithoutEntries", [] { return withEndRecord({.totalEntries = 0}); },
     CZipException::badArchive},
    {"MoreEntriesCountedThanStored", [] { return withEndRecord({.totalEntries = 2}); },
     CZipException::badArchive},
    {"CentralDirectoryOnALaterDisk", [] { return withEndRecord({.centralDirDisk = 1}); },
     CZipException::badArchive},
    {"CentralHeaderSignatureWrong",
     [] { return withEntry({.central = {.signature = 0x02014b51}}); }, CZipException::badArchive},
    {"CentralHeaderFieldsRunPastTheFile",
     [] { return withEntry({.central = {.extraLength = 9000}}); }, CZipException::badArchive},
    {"LocalHeaderSignatureWrong", [] { return withEntry({.local = {.signature = 0x04034b51}}); },
     CZipException::badArchive},
    {"LocalFlagsDiffer", [] { return withEntry({.local = {.flags = 0x0002}}); },
     CZipException::badArchive},
    {"LocalMethodDiffers", [] { return withEntry({.local = {.method = 0}}); },
     CZipException::badArchive},
    {"UnknownCompressionMethod", [] { return withEntry({.method = 14}); },
     CZipException::badArchive},
    {"LocalNameLengthDiffers", [] { return withEntry({.local = {.name = "ab.bin"}}); },
     CZipException::badArchive},
    {"LocalCrcDiffers", [] { return withEntry({.local = {.crc32 = 7}}); },
     CZipException::badArchive},
    {"LocalHeaderOffsetPastTheFile",
     [] { return withEntry({.central = {.localHeaderOffset = 100000}}); },
     CZipException::badArchive},
    {"EntryOnADiskThatDoesNotExist", [] { return withEntry({.central = {.diskNumberStart = 3}}); },
     CZipException::badArchive},
    {"LocalExtraFieldRunsPastTheFile", [] { return withEntry({.local = {.extraLength = 60000}}); },
     CZipException::badArchive},
    {"DataCutShort",
     [] {
         return withEntry(
             {.central = {.compressedSize = 90000}, .local = {.compressedSize = 90000}});
     },
     CZipException::badArchive},
    {"DescriptorCrcDiffers",
     [] {
         return withEntry(
             {.descriptor = DataDescriptor::withSignature, .descriptorValues = {.crc32 = 1}});
     },
     CZipException::badArchive},
    {"UnsignedDescriptorCompressedSizeDiffers",
     [] {
         return withEntry({.descriptor = DataDescriptor::withoutSignature,
                           .descriptorValues = {.compressedSize = 1}});
     },
     CZipException::badArchive},
    {"DescriptorUncompressedSizeDiffers",
     [] {
         return withEntry({.descriptor = DataDescriptor::withSignature,
                           .descriptorValues = {.uncompressedSize = 1}});
     },
     CZipException::badArchive},
    {"CrcMismatch", [] { return withEntry({.central = {.crc32 = 1}, .local = {.crc32 = 1}}); },
     CZipException::badCrc},
    {"CorruptDeflateData", [] { return withEntry({.storedData = std::string(40, '\xFF')}); },
     CZipException::dataError},
    {"DeflateDataEndsBeforeTheStreamEnd",
     [] { return withEntry({.storedData = deflated.substr(0, deflated.size() / 2)}); },
     CZipException::bufferError},
};

void PrintTo(const DamagedArchive& archive, std::ostream* out) {
    *out << archive.defect;
}

class DamagedArchiveTest : public testing::TestWithParam<DamagedArchive> {};

}  // namespace

TEST_P(DamagedArchiveTest, RaisesItsCauseWithTheArchivePath) {
    OpenedArchive archive(GetParam().bytes(), false);
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
    EXPECT_EQ(reader.entryCount(), 0);
    EXPECT_EQ(zipErrorOf([&] { reader.openArchive(archive.path.c_str(), 1, 0); }).cause,
              CZipException::endRecordNotFound);
    EXPECT_TRUE(reader.isArchiveClosed());
    CZipEntry info;
    EXPECT_FALSE(reader.getEntryInfo(info, 0));
    EXPECT_FALSE(reader.isEntryFolder(0));
    const RaisedZipError error = zipErrorOf([&] { reader.raiseError(zipCode::badArchive); });
    EXPECT_EQ(error.cause, CZipException::badArchive);
    EXPECT_EQ(error.fileName, "");
}

TEST(CZipReaderTest, MissingFileRaisesAFileErrorNotAZipError) {
    testsupport::ScratchFolder scratch;
    CZipReader reader;
    EXPECT_THROW(reader.openArchive(scratch.pathOf("missing.zip").c_str(), 1, 0),
                 platform::CFileException);
    EXPECT_TRUE(reader.isArchiveClosed());
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

TEST(CZipReaderTest, FolderEntriesAreKnownByAttributeOrTrailingSeparator) {
    OpenedArchive archive(ZipArchiveBuilder()
                              .addFolder("by-attribute")
                              .add({.name = "by-name/", .method = 0, .externalAttributes = 0})
                              .addFile("file", "")
                              .build());
    EXPECT_TRUE(archive.reader.isEntryFolder(0));
    EXPECT_TRUE(archive.reader.isEntryFolder(1));
    EXPECT_FALSE(archive.reader.isEntryFolder(2));
    EXPECT_FALSE(archive.reader.isEntryFolder(3));
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
