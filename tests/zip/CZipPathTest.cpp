// Path pieces as `_splitpath` yields them, with both separators, and folder tree creation.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "tests/support/ScratchFolder.h"
#include "zip/CZipPath.h"

TEST(CZipPathTest, PiecesOfTypicalPaths) {
    // path, folder, title, without drive, name
    const std::array<const char*, 5> cases[] = {
        {"C:\\pkg\\docs\\readme.txt", "C:\\pkg\\docs\\", "readme", "pkg\\docs\\readme.txt",
         "readme.txt"},
        {"archive.tar.gz", "", "archive.tar", "archive.tar.gz", "archive.tar.gz"},
        {"/tmp/pkg/demo.zip", "/tmp/pkg/", "demo", "tmp/pkg/demo.zip", "demo.zip"},
        {"a\\b/c.d", "a\\b/", "c", "a\\b/c.d", "c.d"},
        {"\\\\x\\y.txt", "\\\\x\\", "y", "x\\y.txt", "y.txt"},
        {"//x/y.txt", "//x/", "y", "x/y.txt", "y.txt"},
        {"dir.d\\", "dir.d\\", "", "dir.d\\", ""},
        {"dir.d/file", "dir.d/", "file", "dir.d/file", "file"},
        {".profile", "", "", ".profile", ".profile"},
        {"C:", "C:", "", "", ""},
        {"1:\\x", "1:\\", "x", "1:\\x", "x"},
        {"", "", "", "", ""},
    };
    for (const auto& [path, folder, title, withoutDrive, name] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(CZipPath::folderOf(path), folder);
        EXPECT_EQ(CZipPath::titleOf(path), title);
        EXPECT_EQ(CZipPath::pathWithoutDrive(path), withoutDrive);
        EXPECT_EQ(CZipPath::nameOf(path), name);
    }
}

TEST(CZipPathTest, LongPiecesAreCutToTheirLimitsOnCharacterBoundaries) {
    const std::string extension = "." + std::string(300, 'e');
    const CZipPath::Pieces pieces =
        CZipPath::split((std::string(300, 'f') + "/" + std::string(300, 't') + extension).c_str());
    EXPECT_EQ(pieces.folder, std::string(255, 'f'));
    EXPECT_EQ(pieces.name, std::string(255, 't'));
    EXPECT_EQ(pieces.extension, "." + std::string(254, 'e'));
    std::string accented;
    for (int i = 0; i < 128; ++i) {
        accented += "é";  // two bytes each: 256 in all
    }
    EXPECT_EQ(CZipPath::titleOf(accented.c_str()), accented.substr(0, 254));
}

TEST(CZipPathTest, CreateFolderTreeMakesMissingParentsWithEitherSeparator) {
    testsupport::ScratchFolder scratch;
    scratch.writeFile("file", "not a folder");
    EXPECT_TRUE(CZipPath::createFolderTree((scratch.path() + "\\a\\b\\c\\").c_str()));
    EXPECT_EQ(CZipPath::pathKind(scratch.pathOf("a/b/c").c_str()), -1);
    EXPECT_TRUE(CZipPath::createFolderTree((scratch.path() + "/x/y//").c_str()));
    EXPECT_TRUE(CZipPath::isExistingFolder((scratch.pathOf("x/y") + "\\").c_str()));
    EXPECT_TRUE(CZipPath::createFolderTree(scratch.pathOf("a").c_str()));  // exists already
    EXPECT_FALSE(CZipPath::createFolderTree(scratch.pathOf("file\\c").c_str()));
    for (const char* root : {"", "C:\\", "/", "\\"}) {
        EXPECT_TRUE(CZipPath::createFolderTree(root)) << root;
    }
    EXPECT_EQ(CZipPath::pathKind("C:"), 0);  // the root was not created

    const std::string saved = std::filesystem::current_path();
    std::filesystem::current_path(scratch.path());
    const bool relativeCreated = CZipPath::createFolderTree("r\\s");
    std::filesystem::current_path(saved);
    EXPECT_TRUE(relativeCreated);
    EXPECT_EQ(CZipPath::pathKind(scratch.pathOf("r/s").c_str()), -1);
}

TEST(CZipPathTest, PathKindTellsFoldersFilesAndNothing) {
    testsupport::ScratchFolder scratch;
    const std::string file = scratch.writeFile("file.txt", "x");
    EXPECT_EQ(CZipPath::pathKind(scratch.path().c_str()), -1);
    EXPECT_EQ(CZipPath::pathKind(file.c_str()), 1);
    EXPECT_EQ(CZipPath::pathKind(scratch.pathOf("missing").c_str()), 0);
    EXPECT_FALSE(CZipPath::isExistingFolder(file.c_str()));
    EXPECT_FALSE(CZipPath::isExistingFolder(scratch.pathOf("missing").c_str()));
}
