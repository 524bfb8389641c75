// What a folder held by its descriptor must never do: follow a link below it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/CFileException.h"
#include "platform/Folder.h"
#include "tests/support/ScratchFolder.h"

namespace {

using platform::Folder;
namespace fs = std::filesystem;

class FolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(scratch.pathOf("inside"));
        fs::create_directories(scratch.pathOf("outside"));
        scratch.writeFile("outside/kept", "outside");
        fs::create_directory_symlink(scratch.pathOf("outside"), scratch.pathOf("inside/link"));
    }

    testsupport::ScratchFolder scratch;
};

TEST_F(FolderTest, NeverOpensOrCreatesThroughALink) {
    const Folder inside(scratch.pathOf("inside"));
    EXPECT_EQ(inside.typeOf("link"), Folder::EntryType::link);
    EXPECT_THROW(inside.openFolder("link"), platform::CFileException);
    EXPECT_THROW(inside.openOrCreateFolder("link"), platform::CFileException);
    EXPECT_THROW(inside.createFolder("link", 0700), platform::CFileException);
}

TEST_F(FolderTest, RenameReplacesALinkInsteadOfWritingThroughIt) {
    const Folder inside(scratch.pathOf("inside"));
    scratch.writeFile("inside/new", "new");
    inside.rename("new", inside, "link");
    EXPECT_EQ(inside.typeOf("link"), Folder::EntryType::file);
    EXPECT_EQ(testsupport::ScratchFolder::readFile(scratch.pathOf("outside/kept")), "outside");
}

TEST_F(FolderTest, RemovingATreeRemovesLinksNotWhatTheyPointTo) {
    const Folder root(scratch.path());
    root.removeTreeQuietly("inside");
    EXPECT_EQ(root.typeOf("inside"), Folder::EntryType::missing);
    EXPECT_EQ(testsupport::ScratchFolder::readFile(scratch.pathOf("outside/kept")), "outside");
}

TEST_F(FolderTest, AnOpenFolderStaysTheSameFolderWhenItsNameIsTakenByALink) {
    const Folder root(scratch.path());
    const Folder inside = root.openFolder("inside");
    root.rename("inside", root, "moved");
    fs::create_directory_symlink(scratch.pathOf("outside"), scratch.pathOf("inside"));
    inside.createFolder("made", 0700);
    EXPECT_TRUE(fs::is_directory(scratch.pathOf("moved/made")));
    EXPECT_FALSE(fs::exists(scratch.pathOf("outside/made")));
}

}  // namespace
