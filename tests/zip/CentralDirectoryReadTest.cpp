// The central directory read in blocks: thousands of headers cost a few read calls, and every
// header, also one straddling two blocks, is the one the archive holds.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/ReadCalls.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ZipArchiveBuilder.h"
#include "zip/CZipReader.h"

namespace {

TEST(CentralDirectoryRead, ThousandsOfHeadersTakeAFewReadCallsAndReadWhole) {
    constexpr int entryCount = 3000;
    const auto nameOf = [](int index) {
        return "d" + std::to_string(index % 7) + "/e" + std::to_string(index);
    };
    testsupport::ScratchFolder scratch;
    ZipArchiveBuilder builder;
    for (int index = 0; index < entryCount; ++index) {
        PlannedEntry entry{.name = nameOf(index), .content = std::to_string(index)};
        // Fields of varying length move the headers across block boundaries.
        entry.extraField = std::string(static_cast<std::size_t>(index % 13), 'x');
        entry.comment = std::string(static_cast<std::size_t>(index % 5), 'c');
        builder.add(entry);
    }
    builder.writeTo(scratch.pathOf("many.zip"));

    CZipReader reader;
    const long calls = testsupport::readCallsDuring([&] {
        reader.openArchive(scratch.pathOf("many.zip").c_str(), CZipStore::openReadOnly, 0);
    });
    ASSERT_GE(calls, 0) << "/proc/self/io is not available";
    // About 200 KiB of headers: four blocks, one for the end record and one to find it.
    EXPECT_LE(calls, 6);

    ASSERT_EQ(reader.entryCount(), entryCount);
    for (int index = 0; index < entryCount; ++index) {
        CZipEntry info;
        reader.getEntryInfo(info, static_cast<CZipReader::WORD>(index));
        std::string name = nameOf(index);
        std::ranges::replace(name, '/', '\\');
        ASSERT_EQ(info.fileNameString(), name);
        ASSERT_EQ(info.extraField.size(), static_cast<std::uint32_t>(index % 13));
        ASSERT_EQ(info.comment.size(), static_cast<std::uint32_t>(index % 5));
    }
    const auto last = static_cast<CZipReader::WORD>(entryCount - 1);
    ASSERT_TRUE(reader.openEntryForRead(last));
    std::string data(16, '\0');
    data.resize(reader.readEntryData(data.data(), 16));
    EXPECT_EQ(reader.closeCurrentEntry(nullptr, false), 1);
    EXPECT_EQ(data, std::to_string(entryCount - 1));
}

}  // namespace
