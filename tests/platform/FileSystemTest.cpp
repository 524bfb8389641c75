// Folder and file calls: separators, path types, attributes on files and folders.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/FileSystem.h"
#include "tests/support/ScratchFolder.h"

namespace {

mode_t permissionsOf(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

}  // namespace

TEST(FileSystemTest, NativePathTurnsEveryBackslashIntoASlash) {
    EXPECT_EQ(platform::nativePath("a\\b/c\\\\d"), "a/b/c//d");
    EXPECT_EQ(platform::nativePath(""), "");
}

TEST(FileSystemTest, PathTypeTellsFilesFoldersAndNothing) {
    testsupport::ScratchFolder scratch;
    const std::string file = scratch.writeFile("file", "x");
    EXPECT_EQ(platform::pathType(file), platform::PathType::file);
    EXPECT_EQ(platform::pathType(scratch.path() + "\\"), platform::PathType::folder);
    EXPECT_EQ(platform::pathType(scratch.pathOf("missing")), platform::PathType::missing);
}

TEST(FileSystemTest, ReadOnlyAttributeRemovesEveryWriteBitOfAFileOnly) {
    testsupport::ScratchFolder scratch;
    const std::string file = scratch.writeFile("file", "x");
    const std::string setUserIdFile = scratch.writeFile("tool", "x");
    const std::string folder = scratch.pathOf("folder");
    ASSERT_TRUE(platform::createDirectory(folder));
    ASSERT_EQ(::chmod(file.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(setUserIdFile.c_str(), 04775), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);

    EXPECT_TRUE(platform::setFileAttributes(file, 0x20));  // archive bit: nothing changes
    EXPECT_EQ(permissionsOf(file), 0666u);
    EXPECT_TRUE(platform::setFileAttributes(file, 0x21));
    EXPECT_EQ(permissionsOf(file), 0444u);
    EXPECT_TRUE(platform::setFileAttributes(setUserIdFile, 0x01));
    EXPECT_EQ(permissionsOf(setUserIdFile), 04555u);
    EXPECT_TRUE(platform::setFileAttributes(folder, 0x11));  // folders keep their permissions
    EXPECT_EQ(permissionsOf(folder), 0755u);
    EXPECT_FALSE(platform::setFileAttributes(scratch.pathOf("missing"), 0x01));
}

TEST(FileSystemTest, ProgramPathNamesThisTestProgram) {
    const std::string path = platform::programPath();
    EXPECT_EQ(platform::pathType(path), platform::PathType::file);
    EXPECT_NE(path.find("FileSystemTest"), std::string::npos) << path;
}
