// The file class: open failures and their causes, exact reads, full writes, seeks and times.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/CFile.h"
#include "tests/support/ScratchFolder.h"

using platform::CFile;
using platform::CFileException;

namespace {

CFileException openFailure(const std::string& path, unsigned flags = CFile::modeRead) {
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(path.c_str(), flags, &error));
    EXPECT_FALSE(file.IsOpen());
    return error;
}

}  // namespace

TEST(CFileTest, OpenFailuresCarryCauseOsErrorAndName) {
    testsupport::ScratchFolder scratch;
    const std::string plainFile = scratch.writeFile("plain", "x");
    struct Case {
        std::string path;
        int cause;
        int osError;
    };
    const Case cases[] = {
        {scratch.pathOf("missing"), CFileException::fileNotFound, ENOENT},
        {scratch.path(), CFileException::accessDenied, EISDIR},
        {plainFile + "/below", CFileException::badPath, ENOTDIR},
    };
    for (const Case& c : cases) {
        const CFileException error = openFailure(c.path);
        EXPECT_EQ(error.m_cause, c.cause) << c.path;
        EXPECT_EQ(error.m_lOsError, c.osError) << c.path;
        EXPECT_EQ(error.m_strFileName, c.path);
    }
}

TEST(CFileTest, OpenWithoutPermissionIsAccessDenied) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permission checks do not apply to root";
    }
    testsupport::ScratchFolder scratch;
    const std::string path = scratch.writeFile("secret", "x");
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    EXPECT_EQ(openFailure(path).m_cause, CFileException::accessDenied);
}

TEST(CFileTest, ConstructorThrowsWhenTheFileCannotBeOpened) {
    testsupport::ScratchFolder scratch;
    EXPECT_THROW(CFile(scratch.pathOf("missing").c_str(), CFile::modeRead), CFileException);
}

TEST(CFileTest, BackslashPathIsKeptAsGivenAndReadStopsShortOnlyAtTheEnd) {
    testsupport::ScratchFolder scratch;
    scratch.writeFile("five", "12345");
    const std::string windowsStyle = scratch.path() + "\\five";
    CFile file(windowsStyle.c_str(), CFile::modeRead);
    EXPECT_EQ(file.GetFilePath(), windowsStyle);
    EXPECT_EQ(file.GetLength(), 5u);
    char buffer[10] = {};
    EXPECT_EQ(file.Read(buffer, 3), 3u);
    EXPECT_EQ(file.Read(buffer, 10), 2u);
    EXPECT_EQ(std::string(buffer, 2), "45");
    EXPECT_EQ(file.Read(buffer, 10), 0u);
}

TEST(CFileTest, CreateTruncatesUnlessNoTruncateIsGiven) {
    testsupport::ScratchFolder scratch;
    const std::string path = scratch.writeFile("out", "old content");
    {
        CFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::modeNoTruncate);
        file.Write("new", 3);
    }
    EXPECT_EQ(testsupport::ScratchFolder::readFile(path), "new content");
    {
        CFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite);
        file.Write("x", 1);
        file.Close();
    }
    EXPECT_EQ(testsupport::ScratchFolder::readFile(path), "x");
}

TEST(CFileTest, WriteToAFullDeviceThrowsDiskFull) {
    if (::access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "/dev/full is not available";
    }
    CFile file("/dev/full", CFile::modeWrite);
    try {
        file.Write("data", 4);
        FAIL() << "a write to a full device succeeded";
    } catch (const CFileException& error) {
        EXPECT_EQ(error.m_cause, CFileException::diskFull);
        EXPECT_EQ(error.m_lOsError, ENOSPC);
        EXPECT_EQ(error.m_strFileName, "/dev/full");
    }
}

TEST(CFileTest, SeekReturnsThePositionRefusesToGoBeforeTheStartAndFailsOnceClosed) {
    testsupport::ScratchFolder scratch;
    CFile file(scratch.writeFile("ten", "0123456789").c_str(), CFile::modeRead);
    EXPECT_EQ(file.Seek(0, CFile::end), 10u);
    EXPECT_EQ(file.Seek(-4, CFile::current), 6u);
    EXPECT_EQ(file.Seek(2, CFile::begin), 2u);
    char digit = 0;
    file.Read(&digit, 1);
    EXPECT_EQ(digit, '2');
    try {
        file.Seek(-1, CFile::begin);
        FAIL() << "a seek before the start succeeded";
    } catch (const CFileException& error) {
        EXPECT_EQ(error.m_cause, CFileException::badSeek);
    }
    file.Close();
    file.Close();  // closing twice is harmless
    EXPECT_THROW(file.Read(&digit, 1), CFileException);
    EXPECT_THROW(file.GetLength(), CFileException);
}

TEST(CFileTest, SetStatusSetsModificationAndAccessTimes) {
    testsupport::ScratchFolder scratch;
    const std::string path = scratch.writeFile("stamped", "x");
    platform::CFileStatus status;
    status.m_mtime = 1'000'000'000;
    status.m_atime = 1'100'000'000;
    CFile::SetStatus(path.c_str(), status);
    struct stat result {};
    ASSERT_EQ(::stat(path.c_str(), &result), 0);
    EXPECT_EQ(result.st_mtime, status.m_mtime);
    EXPECT_EQ(result.st_atime, status.m_atime);
    EXPECT_THROW(CFile::SetStatus(scratch.pathOf("missing").c_str(), status), CFileException);
}
