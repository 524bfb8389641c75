// A file opened for reading with shareDenyWrite: reads of any size from any position give the
// file's bytes, seeks move only the position, and small reads cost one read call per block.
#include <gtest/gtest.h>

#include <string>

#include "platform/CFile.h"
#include "tests/support/ReadCalls.h"
#include "tests/support/ScratchFolder.h"

using platform::CFile;
using platform::CFileException;

namespace {

class ReadAheadFile : public testing::Test {
protected:
    static std::string patternOf(std::size_t size) {
        std::string bytes(size, '\0');
        for (std::size_t index = 0; index < size; ++index) {
            bytes[index] = static_cast<char>((index * 7 + index / 251) & 0xFF);
        }
        return bytes;
    }
    const std::string content = patternOf(300 * 1024);
    testsupport::ScratchFolder scratch;
    CFile file{scratch.writeFile("data.bin", content).c_str(),
               CFile::modeRead | CFile::shareDenyWrite};
};

TEST_F(ReadAheadFile, ReadsOfAnySizeFromAnyPositionGiveTheFilesBytes) {
    // {position, count}; -1 reads on from where the last read ended.
    const std::pair<std::int64_t, unsigned> steps[] = {
        {0, 30}, {-1, 16 * 1024}, {-1, 16 * 1024 - 1}, {-1, 70000}, {65530, 100}, {65535, 2},
        {-1, 1}, {200000, 16384}, {307195, 100},       {307200, 1}, {400000, 10},
    };
    std::uint64_t position = 0;
    for (const auto& [seekTo, count] : steps) {
        if (seekTo >= 0) {
            position = file.Seek(seekTo, CFile::begin);
        }
        std::string bytes(count, '\0');
        bytes.resize(file.Read(bytes.data(), count));
        EXPECT_EQ(bytes, content.substr(std::min<std::uint64_t>(position, content.size()), count))
            << position;
        position += bytes.size();
    }
}

TEST_F(ReadAheadFile, SeeksMoveThePositionAndRefuseToGoBeforeTheStart) {
    EXPECT_EQ(file.Seek(-4, CFile::end), content.size() - 4);
    EXPECT_EQ(file.Seek(-2, CFile::current), content.size() - 6);
    EXPECT_EQ(file.GetLength(), content.size());
    try {
        file.Seek(-1, CFile::begin);
        ADD_FAILURE() << "a seek before the start succeeded";
    } catch (const CFileException& error) {
        EXPECT_EQ(error.m_cause, CFileException::badSeek);
    }
    file.Close();
    EXPECT_THROW(file.Seek(0, CFile::current), CFileException);
}

TEST_F(ReadAheadFile, ManySmallReadsCostOneReadCallPerBlock) {
    std::string record(30, '\0');
    const long calls = testsupport::readCallsDuring([&] {
        for (int index = 0; index < 2000; ++index) {  // 60,000 bytes: within the first block
            file.Read(record.data(), 30);
            file.Seek(0, CFile::current);
        }
    });
    ASSERT_GE(calls, 0) << "/proc/self/io is not available";
    EXPECT_EQ(calls, 1);
}

}  // namespace
