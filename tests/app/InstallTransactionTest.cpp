#include <gtest/gtest.h>

#include <filesystem>

#include "app/InstallTransaction.h"
#include "platform/CFileException.h"
#include "tests/app/FolderSnapshot.h"
#include "tests/support/ScratchFolder.h"

namespace fs = std::filesystem;

namespace {

class Transaction : public testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(scratch.pathOf("staged/dir"));
        fs::create_directories(scratch.pathOf("aside"));
        fs::create_directories(scratch.pathOf("App"));
        scratch.writeFile("staged/a.bin", "new a");
        scratch.writeFile("staged/dir/b.bin", "new b");
        scratch.writeFile("App/a.bin", "old a");
    }

    Placement placement(const std::string& name, bool replaces) const {
        return {scratch.pathOf("staged/" + name), scratch.pathOf("App/" + name), replaces};
    }

    testsupport::ScratchFolder scratch;
};

TEST_F(Transaction, CommittedPlacementsStayAndReplacedFilesWaitAside) {
    {
        InstallTransaction transaction(scratch.pathOf("aside"));
        transaction.place(placement("a.bin", true));
        transaction.place(placement("dir", false));
        transaction.commit();
    }
    EXPECT_EQ(testsupport::ScratchFolder::readFile(scratch.pathOf("App/a.bin")), "new a");
    EXPECT_EQ(testsupport::ScratchFolder::readFile(scratch.pathOf("App/dir/b.bin")), "new b");
    EXPECT_EQ(testsupport::ScratchFolder::readFile(scratch.pathOf("aside/0")), "old a");
}

TEST_F(Transaction, FailedRenameThrowsAndEveryEarlierOneIsUndone) {
    const auto installedBefore = snapshotOf(scratch.pathOf("App"), FolderTimes::ignored);
    const auto stagedBefore = snapshotOf(scratch.pathOf("staged"), FolderTimes::ignored);
    {
        InstallTransaction transaction(scratch.pathOf("aside"));
        transaction.place(placement("a.bin", true));
        transaction.place(placement("dir", false));
        EXPECT_THROW(transaction.place(placement("missing.bin", false)), platform::CFileException);
    }
    EXPECT_EQ(snapshotOf(scratch.pathOf("App"), FolderTimes::ignored), installedBefore);
    EXPECT_EQ(snapshotOf(scratch.pathOf("staged"), FolderTimes::ignored), stagedBefore);
    EXPECT_TRUE(fs::is_empty(scratch.pathOf("aside")));
}

TEST_F(Transaction, UncommittedTransactionIsUndoneToo) {
    const auto installedBefore = snapshotOf(scratch.pathOf("App"), FolderTimes::ignored);
    {
        InstallTransaction transaction(scratch.pathOf("aside"));
        transaction.place(placement("a.bin", true));
    }
    EXPECT_EQ(snapshotOf(scratch.pathOf("App"), FolderTimes::ignored), installedBefore);
}

}  // namespace
