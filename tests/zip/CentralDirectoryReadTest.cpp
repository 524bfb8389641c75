// The central directory is read in blocks: opening an archive of thousands of entries costs a
// handful of read calls, and the entries read that way are the ones the archive holds, names,
// extra fields and comments included, also where a header straddles two blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "tests/support/ScratchFolder.h"
#include "tests/support/ZipArchiveBuilder.h"
#include "zip/CZipReader.h"

namespace {

long readCallCount() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long value = 0;
    while (io >> key >> value) {
        if (key == "syscr:") {
            return value;
        }
    }
    return -1;
}

// Read system calls made by `action`, not counting those that the counting itself makes.
template <typename Action>
long readCallsDuring(Action action) {
    const long first = readCallCount();
    const long countingAlone = readCallCount() - first;
    const long before = readCallCount();
    action();
    return first < 0 ? -1 : readCallCount() - before - countingAlone;
}
constexpr int entryCount = 3000;

std::string nameOf(int index) {
    return "folder" + std::to_string(index % 7) + "/entry" + std::to_string(index) + ".txt";
}

class ReadingTheCentralDirectory : public testing::Test {
protected:
    ReadingTheCentralDirectory() {
        ZipArchiveBuilder builder;
        for (int index = 0; index < entryCount; ++index) {
            PlannedEntry entry{.name = nameOf(index), .content = std::to_string(index)};
            // Fields of varying length move the headers across block boundaries.
            entry.extraField = std::string(static_cast<std::size_t>(index % 13), 'x');
            entry.comment = std::string(static_cast<std::size_t>(index % 5), 'c');
            builder.add(entry);
        }
        builder.writeTo(path);
    }
    testsupport::ScratchFolder scratch;
    const std::string path = scratch.pathOf("many.zip");
};

TEST_F(ReadingTheCentralDirectory, ThousandsOfHeadersTakeAFewReadCalls) {
    CZipReader reader;
    const long calls =
        readCallsDuring([&] { reader.openArchive(path.c_str(), CZipStore::openReadOnly, 0); });
    ASSERT_GE(calls, 0) << "/proc/self/io is not available";
    ASSERT_EQ(reader.entryCount(), entryCount);
    // About 230 KiB of headers: four blocks, and one for the end record.
    EXPECT_LE(calls, 6);
}

TEST_F(ReadingTheCentralDirectory, EveryHeaderReadInBlocksIsTheOneTheArchiveHolds) {
    CZipReader reader;
    reader.openArchive(path.c_str(), CZipStore::openReadOnly, 0);
    ASSERT_EQ(reader.entryCount(), entryCount);
    for (int index = 0; index < entryCount; ++index) {
        CZipEntry info;
        ASSERT_TRUE(reader.getEntryInfo(info, static_cast<CZipReader::WORD>(index)));
        std::string expectedName = nameOf(index);
        std::ranges::replace(expectedName, '/', '\\');
        EXPECT_EQ(info.fileNameString(), expectedName);
        EXPECT_EQ(info.extraField.size(), static_cast<std::uint32_t>(index % 13));
        EXPECT_EQ(info.comment.size(), static_cast<std::uint32_t>(index % 5));
        EXPECT_EQ(info.uncompressedSize, std::to_string(index).size());
    }
    // Reading entries after the directory goes through the same blocks.
    for (const int index : {0, entryCount / 2, entryCount - 1}) {
        const auto entry = static_cast<CZipReader::WORD>(index);
        ASSERT_TRUE(reader.openEntryForRead(entry));
        std::string data(16, '\0');
        data.resize(reader.readEntryData(data.data(), 16));
        EXPECT_EQ(reader.closeCurrentEntry(nullptr, false), 1);
        EXPECT_EQ(data, std::to_string(index));
    }
}

}  // namespace
