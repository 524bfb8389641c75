#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "app/StagingFolder.h"
#include "platform/CFileException.h"
#include "tests/app/FolderSnapshot.h"
#include "tests/support/ScratchFolder.h"

namespace fs = std::filesystem;

namespace {

TEST(StagingFolder, IsHiddenPrivateAndHoldsItsTwoFolders) {
    testsupport::ScratchFolder scratch;
    const StagingFolder staging(scratch.path());

    EXPECT_EQ(staging.root().parent_path(), fs::path(scratch.path()));
    EXPECT_TRUE(staging.root().filename().string().starts_with(".tockit-staging-"));
    EXPECT_TRUE(fs::is_directory(staging.packageFolder()));
    EXPECT_TRUE(fs::is_directory(staging.asideFolder()));
    EXPECT_EQ(fs::status(staging.root()).permissions(), fs::perms::owner_all);
}

TEST(StagingFolder, TwoAtOnceDoNotShareAFolder) {
    testsupport::ScratchFolder scratch;
    const StagingFolder first(scratch.path());
    const StagingFolder second(scratch.path());
    EXPECT_NE(first.root(), second.root());
    EXPECT_EQ(stagingFoldersIn(scratch.path()), 2);
}

TEST(StagingFolder, LeavesNothingBehindWhateverItHolds) {
    testsupport::ScratchFolder scratch;
    {
        const StagingFolder staging(scratch.path());
        fs::create_directories(staging.packageFolder() / "dir" / "deeper");
        const std::string readOnly = scratch.writeFile(
            fs::relative(staging.packageFolder() / "dir" / "deeper" / "r.bin", scratch.path())
                .string(),
            "x");
        chmod(readOnly.c_str(), 0444);
        scratch.writeFile(fs::relative(staging.asideFolder() / "0", scratch.path()).string(), "y");
    }
    EXPECT_EQ(snapshotOf(scratch.path()).size(), 1u);  // the scratch folder itself
}

TEST(StagingFolder, CreatesMissingParentsAndRemovesThemWhenLeftEmpty) {
    testsupport::ScratchFolder scratch;
    const fs::path parent = fs::path(scratch.path()) / "host" / "deeper";
    {
        const StagingFolder staging(parent);
        EXPECT_TRUE(fs::is_directory(parent));
    }
    EXPECT_FALSE(fs::exists(fs::path(scratch.path()) / "host"));
}

TEST(StagingFolder, KeepsCreatedParentsThatReceivedAnInstallation) {
    testsupport::ScratchFolder scratch;
    const fs::path parent = fs::path(scratch.path()) / "host";
    {
        const StagingFolder staging(parent);
        fs::rename(staging.packageFolder(), parent / "App");
    }
    EXPECT_TRUE(fs::is_directory(parent / "App"));
    EXPECT_EQ(stagingFoldersIn(parent.string()), 0);
}

TEST(StagingFolder, ParentThatIsAFileThrowsTheFileException) {
    testsupport::ScratchFolder scratch;
    scratch.writeFile("host", "not a folder");
    EXPECT_THROW(StagingFolder(fs::path(scratch.path()) / "host" / "below"),
                 platform::CFileException);
    EXPECT_EQ(snapshotOf(scratch.path()).size(), 2u);  // the scratch folder and the file
}

}  // namespace
