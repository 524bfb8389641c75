// Extracting entries to disk: the bytes, time and attributes written, where they are written,
// what is refused, and how the reader recovers after a failed entry.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/CFileException.h"
#include "platform/Folder.h"
#include "tests/zip/ArchiveFixture.h"

namespace {

// Raw deflate data that holds `content` in stored blocks and then many empty blocks, so that
// compressed bytes remain after the last byte of output.
std::string deflateWithLongTail(const std::string& content) {
    std::string data;
    const auto block = [&](bool last, std::string_view bytes) {
        const auto length = static_cast<std::uint16_t>(bytes.size());
        data += {static_cast<char>(last ? 1 : 0), static_cast<char>(length & 0xFF),
                 static_cast<char>(length >> 8), static_cast<char>(~length & 0xFF),
                 static_cast<char>((~length >> 8) & 0xFF)};
        data += bytes;
    };
    block(false, content);
    for (int count = 0; count < 4000; ++count) {
        block(false, "");
    }
    block(true, "");
    return data;
}

bool isWritable(const std::string& path) {
    using std::filesystem::perms;
    return (std::filesystem::status(path).permissions() &
            (perms::owner_write | perms::group_write | perms::others_write)) != perms::none;
}

std::time_t modificationTimeOf(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mtime;
}

struct ExtractedEntry {
    const char* name;
    PlannedEntry planned;
    std::uint32_t bufferSize = 65535;
};

void PrintTo(const ExtractedEntry& entry, std::ostream* out) {
    *out << entry.name;
}

class ExtractedEntryTest : public testing::TestWithParam<ExtractedEntry> {};

const std::string exactMultiple = randomBytes(8192);

const ExtractedEntry extractedEntries[] = {
    {"StoredFile", {.content = randomBytes(3000), .method = 0}},
    {"DeflatedFileOverManyInputBlocks", {.content = randomBytes(200000)}},
    {"CompressibleDeflatedFile", {.content = std::string(300000, 'r')}},
    {"EmptyStoredFile", {.method = 0}},
    {"EmptyDeflatedFile", {}},
    {"ExactMultipleOfTheBufferSize", {.content = exactMultiple}, 4096},
    {"DescriptorWithSignature",
     {.content = randomBytes(50000), .descriptor = DataDescriptor::withSignature}},
    {"DescriptorWithoutSignature",
     {.content = "abc", .method = 0, .descriptor = DataDescriptor::withoutSignature}},
    {"CompressedBytesLeftAfterTheLastOutputByte",
     {.content = exactMultiple,
      .descriptor = DataDescriptor::withSignature,
      .storedData = deflateWithLongTail(exactMultiple)},
     4096},
    {"StoredDataLongerThanItsSize",
     {.content = "short", .method = 0, .storedData = "short" + std::string(20000, 'j')},
     5},
};

}  // namespace

TEST_P(ExtractedEntryTest, FileHoldsTheEntryAndItsTimes) {
    PlannedEntry planned = GetParam().planned;
    planned.name = "sub/entry.bin";
    OpenedArchive archive(ZipArchiveBuilder().add(planned).build());
    const std::time_t before = std::time(nullptr);
    EXPECT_TRUE(archive.extract(0, true, GetParam().bufferSize));
    EXPECT_EQ(archive.extracted("sub/entry.bin"), planned.content);
    CZipEntry info;
    archive.reader.getEntryInfo(info, 0);
    struct stat status {};
    ASSERT_EQ(::stat((archive.folder + "/sub/entry.bin").c_str(), &status), 0);
    EXPECT_EQ(status.st_mtime, info.modificationTime());
    EXPECT_GE(status.st_atime, before);  // accessed now
}

INSTANTIATE_TEST_SUITE_P(CZipExtractionTest, ExtractedEntryTest,
                         testing::ValuesIn(extractedEntries),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CZipExtractionTest, StoredFoldersAreKeptOrDropped) {
    OpenedArchive archive(ZipArchiveBuilder()
                              .addFile("docs/readme.txt", "read me")
                              .addFile("C:\\drive\\c.txt", "c")
                              .addFile("//rooted/r.txt", "r")
                              .build());
    for (CZipReader::WORD index = 0; index < 3; ++index) {
        EXPECT_TRUE(archive.extract(index, true));
        EXPECT_TRUE(archive.extract(index, false));
    }
    EXPECT_EQ(archive.extracted("docs/readme.txt"), "read me");
    EXPECT_EQ(archive.extracted("readme.txt"), "read me");
    EXPECT_EQ(archive.extracted("drive/c.txt"), "c");
    EXPECT_EQ(archive.extracted("rooted/r.txt"), "r");
    EXPECT_EQ(archive.extracted("r.txt"), "r");
}

TEST(CZipExtractionTest, FolderEntriesCreateFoldersAndReadOnlyAppliesToFilesOnly) {
    OpenedArchive archive(ZipArchiveBuilder()
                              .add({.name = "ro/", .method = 0, .externalAttributes = 0x11})
                              .add({.name = "plain/deep/", .method = 0, .externalAttributes = 0})
                              .add({.name = "ro.bin", .content = "x", .externalAttributes = 0x21})
                              .build());
    for (CZipReader::WORD index = 0; index < 3; ++index) {
        EXPECT_TRUE(archive.extract(index));
    }
    EXPECT_TRUE(std::filesystem::is_directory(archive.folder + "/plain/deep"));
    EXPECT_TRUE(isWritable(archive.folder + "/ro"));
    EXPECT_FALSE(isWritable(archive.folder + "/ro.bin"));
    EXPECT_TRUE(archive.extract(1, false));  // its target is the extraction folder itself
    EXPECT_EQ(archive.reader.currentEntry(), nullptr);
}

TEST(CZipExtractionTest, IntoAnOpenFolderNothingIsWrittenThroughALink) {
    namespace fs = std::filesystem;
    OpenedArchive archive(ZipArchiveBuilder()
                              .addFile("sub/a.bin", "a")
                              .addFile("b.bin", "b")
                              .addFile("c.bin", "c")
                              .build());
    const std::string elsewhere = archive.scratch.pathOf("elsewhere");
    fs::create_directories(elsewhere);
    fs::create_directories(archive.folder);
    const platform::Folder folder(archive.folder);
    fs::create_directory_symlink(elsewhere, archive.folder + "/sub");
    fs::create_symlink(elsewhere + "/b.bin", archive.folder + "/b.bin");
    for (const CZipReader::WORD index : {0, 1}) {
        EXPECT_THROW(archive.reader.extractEntry(index, folder, true, 65535),
                     platform::CFileException);
        archive.reader.closeCurrentEntry(nullptr, true);
    }
    // The folder moves, and a link to elsewhere takes its name.
    fs::rename(archive.folder, archive.scratch.pathOf("moved"));
    fs::create_directory_symlink(elsewhere, archive.folder);
    EXPECT_TRUE(archive.reader.extractEntry(2, folder, true, 65535));
    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_EQ(archive.scratch.readFile(archive.scratch.pathOf("moved/c.bin")), "c");
}

TEST(CZipExtractionTest, NamesThatLeaveTheFolderAreRefusedBeforeAnythingIsCreated) {
    for (const std::string& name :
         {std::string("../evil.bin"), std::string("sub/../../evil.bin"),
          std::string("C:..\\evil.bin"), std::string("/sub/.."), std::string("sub/a\0b.bin", 11)}) {
        OpenedArchive archive(ZipArchiveBuilder().addFile(name, "evil").build());
        for (bool keepStoredPath : {true, false}) {
            const RaisedZipError error = zipErrorOf([&] { archive.extract(0, keepStoredPath); });
            EXPECT_EQ(error.cause, CZipException::badArchive) << name;
        }
        EXPECT_FALSE(std::filesystem::exists(archive.folder)) << name;
        EXPECT_FALSE(std::filesystem::exists(archive.scratch.pathOf("evil.bin"))) << name;
    }
}

TEST(CZipExtractionTest, EncryptedEntryAndZeroBufferAreDeclinedWithoutCreatingAnything) {
    OpenedArchive archive(ZipArchiveBuilder()
                              .add({.name = "sub/secret.bin", .content = "s", .flags = 0x0001})
                              .addFile("a.bin", "a")
                              .build());
    EXPECT_FALSE(archive.extract(0));
    EXPECT_EQ(archive.reader.closeCurrentEntry(nullptr, true), 0);  // nothing was opened
    EXPECT_FALSE(archive.extract(1, true, 0));
    EXPECT_FALSE(std::filesystem::exists(archive.folder));
}

TEST(CZipExtractionTest, FailedEntryStaysOpenedUntilClosedAfterFailureThenTheNextExtracts) {
    const std::pair<PlannedEntry, int> failures[] = {
        {{.content = randomBytes(100000), .storedData = std::string(50000, '\xFF')},
         CZipException::dataError},
        {{.content = "a", .central = {.crc32 = 9}, .local = {.crc32 = 9}}, CZipException::badCrc},
        // Closing after the failure reads no descriptor, so it does not raise a second time.
        {{.content = "a",
          .descriptor = DataDescriptor::withSignature,
          .descriptorValues = {.crc32 = 1}},
         CZipException::badArchive},
    };
    for (auto [bad, cause] : failures) {
        SCOPED_TRACE(cause);
        bad.name = "bad.bin";
        OpenedArchive archive(ZipArchiveBuilder().add(bad).addFile("good.bin", "good").build());
        EXPECT_EQ(zipErrorOf([&] { archive.extract(0); }).cause, cause);
        EXPECT_FALSE(archive.extract(1));
        EXPECT_EQ(archive.reader.closeCurrentEntry(nullptr, true), 1);
        EXPECT_TRUE(archive.extract(1));
        EXPECT_EQ(archive.extracted("good.bin"), "good");
    }
}

TEST(CZipExtractionTest, StreamEndingBeforeTheDeclaredSizeClosesWithMinusOne) {
    OpenedArchive archive(ZipArchiveBuilder()
                              .add({.name = "a.bin",
                                    .content = "abc",
                                    .central = {.uncompressedSize = 10},
                                    .local = {.uncompressedSize = 10}})
                              .build());
    ASSERT_TRUE(archive.reader.openEntryForRead(0));
    char buffer[16] = {};
    EXPECT_EQ(archive.reader.readEntryData(buffer, sizeof buffer), 3u);
    EXPECT_EQ(archive.reader.readEntryData(buffer, sizeof buffer), 0u);
    const std::string file = archive.scratch.writeFile("a.bin", "abc");
    EXPECT_EQ(archive.reader.closeCurrentEntry(file.c_str(), false), -1);
    CZipEntry info;
    archive.reader.getEntryInfo(info, 0);
    EXPECT_EQ(modificationTimeOf(file), info.modificationTime());
}

TEST(CZipExtractionTest, TimeThatCannotBeSetLeavesTheEntryOpened) {
    OpenedArchive archive(ZipArchiveBuilder().addFile("a.bin", "a").build());
    ASSERT_TRUE(archive.reader.openEntryForRead(0));
    char byte = 0;
    archive.reader.readEntryData(&byte, 1);
    EXPECT_EQ(archive.reader.closeCurrentEntry(archive.scratch.pathOf("missing").c_str(), false),
              0);
    EXPECT_FALSE(archive.reader.openEntryForRead(0));
    EXPECT_EQ(archive.reader.closeCurrentEntry(nullptr, true), 1);
    EXPECT_TRUE(archive.reader.openEntryForRead(0));
}

TEST(CZipExtractionTest, TargetThatCannotBeCreatedRaisesAFileError) {
    OpenedArchive archive(ZipArchiveBuilder().addFile("a.bin", "a").build());
    archive.scratch.writeFile("out", "a file where the folder should be");
    EXPECT_THROW(archive.extract(0), platform::CFileException);
    EXPECT_EQ(archive.reader.closeCurrentEntry(nullptr, true), 1);
}

TEST(CZipExtractionTest, SplitArchiveIsReadAcrossItsVolumes) {
    testsupport::ScratchFolder scratch;
    const std::string big = randomBytes(70000);
    const ZipArchiveBuilder builder = ZipArchiveBuilder()
                                          .addFile("first.bin", big)
                                          .add({.name = "second.bin",
                                                .content = randomBytes(40000),
                                                .method = 0,
                                                .descriptor = DataDescriptor::withoutSignature})
                                          .addFile("third.bin", "third");
    ASSERT_EQ(builder.buildVolumes(30000).size(), 4u);
    CZipReader reader;
    reader.openArchive(builder.writeVolumes(scratch.pathOf("demo"), 30000).c_str(), 1, 0);
    ASSERT_EQ(reader.entryCount(), 3);
    for (CZipReader::WORD index = 0; index < 3; ++index) {
        EXPECT_TRUE(reader.extractEntry(index, scratch.pathOf("out").c_str(), true, 65535));
    }
    EXPECT_EQ(scratch.readFile(scratch.pathOf("out/first.bin")), big);
    EXPECT_EQ(scratch.readFile(scratch.pathOf("out/second.bin")), randomBytes(40000));
    EXPECT_EQ(scratch.readFile(scratch.pathOf("out/third.bin")), "third");
}
