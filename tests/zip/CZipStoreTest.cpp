// Exact reads of single-file and split archives, volume changes and naming, and what each
// failure raises.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "tests/support/ScratchFolder.h"
#include "zip/CZipException.h"
#include "zip/CZipStore.h"

namespace {

// Writes the volumes as demo.000, demo.001, ... and the last as demo.zip, opens the last one as
// the archive and turns to the first.
class ArchiveOnDisk {
public:
    explicit ArchiveOnDisk(const std::vector<std::string>& volumes) {
        for (std::size_t number = 0; number + 1 < volumes.size(); ++number) {
            scratch.writeFile("demo.00" + std::to_string(number), volumes[number]);
        }
        scratch.writeFile("demo.zip", volumes.back());
        store.open(scratch.pathOf("demo.zip").c_str(), CZipStore::openReadOnly, 0);
        store.setLastVolume(static_cast<std::uint16_t>(volumes.size() - 1));
        store.changeVolume(0);
    }
    // The bytes read, or the error raised and the volume it names.
    std::string read(std::uint32_t count, bool wholeInVolume) {
        std::string bytes(count, '\0');
        try {
            bytes.resize(store.read(bytes.data(), count, wholeInVolume));
            return bytes;
        } catch (const CZipException& error) {
            const bool inScratch = error.fileName.starts_with(scratch.path() + "/");
            return "cause " + std::to_string(error.cause) + " in " +
                   (inScratch ? error.fileName.substr(scratch.path().size() + 1) : error.fileName);
        }
    }
    testsupport::ScratchFolder scratch;
    CZipStore store;
};

struct Read {
    std::uint32_t count;
    bool wholeInVolume;
    std::string result;
};

const std::string badArchive = "cause " + std::to_string(CZipException::badArchive) + " in ";

}  // namespace

TEST(CZipStoreTest, ReadsAreExactAndRaiseNamingTheVolumeThatFallsShort) {
    const std::tuple<const char*, std::vector<std::string>, std::vector<Read>> cases[] = {
        {"single file reads exactly, then raises at its end",
         {"12345"},
         {{0, true, ""},
          {3, false, "123"},
          {8, false, badArchive + "demo.zip"},
          {1, false, badArchive + "demo.zip"}}},
        {"read continues on the next volumes; none follows the last",
         {"abc", "defg", "hij"},
         {{9, false, "abcdefghi"}, {2, false, badArchive + "demo.zip"}}},
        {"whole-in-volume read is refused at a volume end",
         {"abc", "defg", "hij"},
         {{5, true, badArchive + "demo.000"}}},
        {"empty volumes are passed over at the start of a read",
         {"abc", "", "", "xyz"},
         {{3, true, "abc"}, {3, true, "xyz"}}},
        {"empty volume during a continued read raises",
         {"abc", "", "xyz"},
         {{5, false, badArchive + "demo.001"}}},
    };
    for (const auto& [behaviour, volumes, reads] : cases) {
        SCOPED_TRACE(behaviour);
        ArchiveOnDisk archive(volumes);
        for (const Read& read : reads) {
            EXPECT_EQ(archive.read(read.count, read.wholeInVolume), read.result);
        }
    }
}

TEST(CZipStoreTest, ChangeVolumeToTheCurrentVolumeKeepsTheFileOpen) {
    ArchiveOnDisk archive({"abc", "12345"});
    archive.store.changeVolume(1);
    archive.store.activeFile->Seek(2, platform::CFile::begin);
    archive.store.changeVolume(1);
    EXPECT_EQ(archive.read(3, true), "345");
}

TEST(CZipStoreTest, VolumeNumbersGetAtLeastThreeDigits) {
    ArchiveOnDisk archive({"z"});
    archive.store.setLastVolume(60000);
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
    ArchiveOnDisk archive({"z"});
    archive.store.setLastVolume(2);
    try {
        archive.store.changeVolume(1);
        FAIL() << "a missing volume was opened";
    } catch (const platform::CFileException& error) {
        EXPECT_EQ(error.m_cause, platform::CFileException::fileNotFound);
        EXPECT_EQ(error.m_strFileName, archive.scratch.pathOf("demo.001"));
    }
}

TEST(CZipStoreTest, BackslashPathsNameTheirVolumesTheSameWay) {
    testsupport::ScratchFolder scratch;
    scratch.writeFile("demo.000", "a");
    scratch.writeFile("demo.zip", "b");
    CZipStore store;
    store.open((scratch.path() + "\\demo.zip").c_str(), CZipStore::openReadOnly, 0);
    store.setLastVolume(1);
    store.changeVolume(0);
    EXPECT_EQ(store.activeFile->GetFilePath(), scratch.path() + "\\demo.000");
}

TEST(CZipStoreTest, DriveOfPathIsALetterAndColonAtTheStart) {
    EXPECT_EQ(driveOfPath("C:\\pkg\\demo.zip"), "C:");
    EXPECT_EQ(driveOfPath("/pkg/demo.zip"), "");
    EXPECT_EQ(driveOfPath("pkg:demo.zip"), "");
}
