// Exact reads of single-file and split archives, volume changes and naming, and what each
// failure raises.
#include <gtest/gtest.h>

#include <functional>

#include "tests/support/ScratchFolder.h"
#include "zip/CZipException.h"
#include "zip/CZipStore.h"

namespace {

// Writes the volume files (name, content) and opens the last one as the archive.
class ArchiveOnDisk {
public:
    ArchiveOnDisk(std::initializer_list<std::pair<const char*, const char*>> volumes,
                  std::uint16_t lastVolume) {
        for (const auto& [name, content] : volumes) {
            scratch.writeFile(name, content);
        }
        store.open(scratch.pathOf("demo.zip").c_str(), CZipStore::openReadOnly, 0);
        store.setLastVolume(lastVolume);
    }
    testsupport::ScratchFolder scratch;
    CZipStore store;
};

CZipException badArchiveRaisedBy(const std::function<void()>& action) {
    try {
        action();
    } catch (const CZipException& error) {
        EXPECT_EQ(error.cause, CZipException::badArchive);
        return error;
    }
    ADD_FAILURE() << "no CZipException was raised";
    return CZipException();
}

}  // namespace

TEST(CZipStoreTest, SingleFileArchiveReadsExactlyAndRaisesAtTheEnd) {
    ArchiveOnDisk archive({{"demo.zip", "12345"}}, 0);
    CZipStore& store = archive.store;
    EXPECT_EQ(store.spanMode, CZipStore::spanNone);
    EXPECT_EQ(store.getCurrentVolume(), 0);
    EXPECT_EQ(store.read(nullptr, 0, true), 0u);
    EXPECT_EQ(store.activeFile->Seek(0, platform::CFile::current), 0u);
    char buffer[8] = {};
    EXPECT_EQ(store.read(buffer, 3, false), 3u);
    EXPECT_EQ(std::string(buffer, 3), "123");
    const CZipException error = badArchiveRaisedBy([&] { store.read(buffer, 8, false); });
    EXPECT_EQ(error.fileName, archive.scratch.pathOf("demo.zip"));
    badArchiveRaisedBy([&] { store.read(buffer, 1, false); });  // at the very end
}

TEST(CZipStoreTest, ArchiveOnDiskReadContinuesOnTheNextVolume) {
    ArchiveOnDisk archive({{"demo.000", "abc"}, {"demo.001", "defg"}, {"demo.zip", "hij"}}, 2);
    CZipStore& store = archive.store;
    EXPECT_EQ(store.spanMode, CZipStore::spanSplit);
    EXPECT_EQ(store.lastVolume, 2);
    store.changeVolume(0);
    EXPECT_EQ(store.activeFile->GetFilePath(), archive.scratch.pathOf("demo.000"));
    char buffer[10] = {};
    EXPECT_EQ(store.read(buffer, 9, false), 9u);
    EXPECT_EQ(std::string(buffer, 9), "abcdefghi");
    EXPECT_EQ(store.getCurrentVolume(), 2);
    // No volume follows the last one.
    badArchiveRaisedBy([&] { store.read(buffer, 2, false); });
}

TEST(CZipStoreTest, WholeInVolumeReadIsRefusedAtAVolumeEnd) {
    ArchiveOnDisk archive({{"demo.000", "abc"}, {"demo.001", "defg"}, {"demo.zip", "hij"}}, 2);
    archive.store.changeVolume(0);
    char buffer[5];
    const CZipException error = badArchiveRaisedBy([&] { archive.store.read(buffer, 5, true); });
    EXPECT_EQ(error.fileName, archive.scratch.pathOf("demo.000"));
}

TEST(CZipStoreTest, EmptyVolumesArePassedOverAtTheStartOfARead) {
    ArchiveOnDisk archive(
        {{"demo.000", "abc"}, {"demo.001", ""}, {"demo.002", ""}, {"demo.zip", "xyz"}}, 3);
    archive.store.changeVolume(0);
    char buffer[3];
    archive.store.read(buffer, 3, true);
    EXPECT_EQ(archive.store.read(buffer, 3, true), 3u);
    EXPECT_EQ(std::string(buffer, 3), "xyz");
    EXPECT_EQ(archive.store.getCurrentVolume(), 3);
}

TEST(CZipStoreTest, EmptyVolumeDuringAContinuedReadRaises) {
    ArchiveOnDisk archive({{"demo.000", "abc"}, {"demo.001", ""}, {"demo.zip", "xyz"}}, 2);
    archive.store.changeVolume(0);
    char buffer[5];
    const CZipException error = badArchiveRaisedBy([&] { archive.store.read(buffer, 5, false); });
    EXPECT_EQ(error.fileName, archive.scratch.pathOf("demo.001"));
}

TEST(CZipStoreTest, ChangeVolumeToTheCurrentVolumeKeepsTheFileOpen) {
    ArchiveOnDisk archive({{"demo.zip", "12345"}}, 1);
    archive.store.activeFile->Seek(2, platform::CFile::begin);
    archive.store.changeVolume(1);
    EXPECT_EQ(archive.store.activeFile->Seek(0, platform::CFile::current), 2u);
}

TEST(CZipStoreTest, VolumeNumbersGetAtLeastThreeDigits) {
    ArchiveOnDisk archive({{"demo.zip", "z"}}, 60000);
    const std::pair<int, const char*> numbers[] = {{0, "demo.000"},       {12, "demo.012"},
                                                   {999, "demo.999"},     {1000, "demo.1000"},
                                                   {12345, "demo.12345"}, {60000, "demo.zip"}};
    for (const auto& [number, name] : numbers) {
        archive.scratch.writeFile(name, "v");
        archive.store.changeVolume(number);
        EXPECT_EQ(archive.store.activeFile->GetFilePath(), archive.scratch.pathOf(name));
    }
}

TEST(CZipStoreTest, MissingVolumeRaisesAFileErrorNamingIt) {
    ArchiveOnDisk archive({{"demo.zip", "z"}}, 2);
    try {
        archive.store.changeVolume(0);
        FAIL() << "a missing volume was opened";
    } catch (const platform::CFileException& error) {
        EXPECT_EQ(error.m_cause, platform::CFileException::fileNotFound);
        EXPECT_EQ(error.m_strFileName, archive.scratch.pathOf("demo.000"));
    }
    EXPECT_EQ(archive.store.getCurrentVolume(), 0);
}

TEST(CZipStoreTest, BackslashPathsNameTheirVolumesTheSameWay) {
    testsupport::ScratchFolder scratch;
    scratch.writeFile("demo.000", "a");
    scratch.writeFile("demo.zip", "b");
    const std::string windowsStyle = scratch.path() + "\\demo.zip";
    CZipStore store;
    store.open(windowsStyle.c_str(), CZipStore::openReadOnly, 0);
    store.setLastVolume(1);
    store.changeVolume(0);
    EXPECT_EQ(store.activeFile->GetFilePath(), scratch.path() + "\\demo.000");
}

TEST(CZipStoreTest, DriveOfPathIsALetterAndColonAtTheStart) {
    EXPECT_EQ(driveOfPath("C:\\pkg\\demo.zip"), "C:");
    EXPECT_EQ(driveOfPath("/pkg/demo.zip"), "");
    EXPECT_EQ(driveOfPath("pkg:demo.zip"), "");
    EXPECT_FALSE(isRemovableDrive("A:\\demo.zip"));
}
