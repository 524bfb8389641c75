// The all-or-nothing move of staged files into place, undone when any move fails.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/InstallTransaction.h"
#include "platform/CFileException.h"
#include "tests/app/FolderSnapshot.h"
#include "tests/support/ScratchFolder.h"

namespace {

class Transaction : public testing::Test {
protected:
    void SetUp() override {
        for (const char* folder : {"staged/dir", "aside", "App"}) {
            std::filesystem::create_directories(scratch.pathOf(folder));
        }
        scratch.writeFile("staged/a.bin", "new a");
        scratch.writeFile("staged/dir/b.bin", "new b");
        scratch.writeFile("App/a.bin", "old a");
    }

    void placeBoth(InstallTransaction& transaction) const {
        transaction.place({scratch.pathOf("staged/a.bin"), scratch.pathOf("App/a.bin"), true});
        transaction.place({scratch.pathOf("staged/dir"), scratch.pathOf("App/dir"), false});
    }

    std::string snapshot() const { return snapshotOf(scratch.path(), FolderTimes::ignored); }

    testsupport::ScratchFolder scratch;
};

TEST_F(Transaction, CommittedPlacementsStayAndReplacedFilesWaitAside) {
    {
        InstallTransaction transaction(scratch.pathOf("aside"));
        placeBoth(transaction);
        transaction.commit();
    }
    EXPECT_EQ(filesIn(scratch.pathOf("App")), "a.bin dir/b.bin");
    EXPECT_EQ(testsupport::ScratchFolder::readFile(scratch.pathOf("App/a.bin")), "new a");
    EXPECT_EQ(testsupport::ScratchFolder::readFile(scratch.pathOf("aside/0")), "old a");
}

TEST_F(Transaction, FailedRenameThrowsAndEveryEarlierOneIsUndone) {
    const std::string before = snapshot();
    {
        InstallTransaction transaction(scratch.pathOf("aside"));
        placeBoth(transaction);
        EXPECT_THROW(transaction.place({scratch.pathOf("staged/gone"), scratch.pathOf("App/g")}),
                     platform::CFileException);
    }
    EXPECT_EQ(snapshot(), before);
}

}  // namespace
