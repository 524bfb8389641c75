// A file opened for reading with shareDenyWrite: reads of any size from any position give the
// file's bytes, seeks move only the position, and small reads cost few system calls.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/CFile.h"
#include "tests/support/ScratchFolder.h"

using platform::CFile;
using platform::CFileException;

namespace {

constexpr unsigned readAheadFlags = CFile::modeRead | CFile::shareDenyWrite;

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
std::string patternOf(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t index = 0; index < size; ++index) {
        bytes[index] = static_cast<char>((index * 7 + index / 251) & 0xFF);
    }
    return bytes;
}

class ReadAheadFile : public testing::Test {
protected:
    const std::string content = patternOf(300 * 1024);
    testsupport::ScratchFolder scratch;
    const std::string path = scratch.writeFile("data.bin", content);
    CFile file{path.c_str(), readAheadFlags};
};

struct ReadStep {
    std::int64_t seekTo;  // from the start; -1 reads on from where the last read ended
    unsigned count;
};

TEST_F(ReadAheadFile, ReadsOfAnySizeFromAnyPositionGiveTheFilesBytes) {
    const std::vector<ReadStep> steps = {
        {0, 30},     {-1, 46},        {-1, 16 * 1024},     {-1, 16 * 1024 - 1},
        {-1, 70000}, {100, 1},        {65535, 2},          {65530, 100},
        {-1, 1},     {200000, 16384}, {300 * 1024 - 5, 5},
    };
    std::uint64_t position = 0;
    for (const ReadStep& step : steps) {
        if (step.seekTo >= 0) {
            position = file.Seek(step.seekTo, CFile::begin);
        }
        std::string bytes(step.count, '\0');
        ASSERT_EQ(file.Read(bytes.data(), step.count), step.count) << position;
        EXPECT_EQ(bytes, content.substr(position, step.count)) << position;
        position += step.count;
    }
}

TEST_F(ReadAheadFile, ReadsStopShortOnlyAtTheEnd) {
    file.Seek(-10, CFile::end);
    std::string bytes(100, '\0');
    EXPECT_EQ(file.Read(bytes.data(), 100), 10u);
    EXPECT_EQ(bytes.substr(0, 10), content.substr(content.size() - 10));
    EXPECT_EQ(file.Read(bytes.data(), 100), 0u);
    file.Seek(10, CFile::end);
    EXPECT_EQ(file.Read(bytes.data(), 100), 0u);
}

TEST_F(ReadAheadFile, SeeksReturnThePositionAndRefuseToGoBeforeTheStart) {
    EXPECT_EQ(file.GetLength(), content.size());
    EXPECT_EQ(file.Seek(0, CFile::end), content.size());
    EXPECT_EQ(file.Seek(-4, CFile::current), content.size() - 4);
    EXPECT_EQ(file.Seek(2, CFile::begin), 2u);
    EXPECT_EQ(file.Seek(0, CFile::current), 2u);
    for (const CFile::SeekPosition from : {CFile::begin, CFile::current}) {
        try {
            file.Seek(-3, from);
            ADD_FAILURE() << "a seek before the start succeeded";
        } catch (const CFileException& error) {
            EXPECT_EQ(error.m_cause, CFileException::badSeek);
        }
    }
    char byte = 0;
    file.Read(&byte, 1);
    EXPECT_EQ(byte, content[2]);
}

TEST_F(ReadAheadFile, ManySmallReadsAndSeeksCostOneReadCallPerBlock) {
    std::string record(30, '\0');
    const long calls = readCallsDuring([&] {
        for (int index = 0; index < 2000; ++index) {
            file.Read(record.data(), 30);
            file.Seek(0, CFile::current);
            file.GetLength();
        }
    });
    ASSERT_GE(calls, 0) << "/proc/self/io is not available";
    // 60,000 bytes lie in the first 64 KiB block.
    EXPECT_EQ(calls, 1);
}

TEST_F(ReadAheadFile, AClosedFileRefusesEveryOperation) {
    file.Close();
    char byte = 0;
    EXPECT_THROW(file.Read(&byte, 1), CFileException);
    EXPECT_THROW(file.GetLength(), CFileException);
    EXPECT_THROW(file.Seek(0, CFile::current), CFileException);
}

TEST(ReadAheadFileOpening, AFolderIsNotAFileAndWritingNeedsNoReadAhead) {
    testsupport::ScratchFolder scratch;
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(scratch.path().c_str(), readAheadFlags, &error));
    EXPECT_EQ(error.m_lOsError, EISDIR);
    EXPECT_FALSE(file.Open(scratch.path().c_str(), CFile::modeCreate | CFile::modeWrite, &error));
    EXPECT_EQ(error.m_lOsError, EISDIR);
    const std::string path = scratch.pathOf("written");
    {
        CFile written(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::shareDenyWrite);
        written.Write("abc", 3);
        EXPECT_EQ(written.GetLength(), 3u);  // not a length taken at open
    }
    EXPECT_EQ(testsupport::ScratchFolder::readFile(path), "abc");
}

}  // namespace
