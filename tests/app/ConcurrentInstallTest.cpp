// Installations at the same time into one install folder: the second waits for the first, two
// versions of a package never mix, and the lock leaves nothing behind, not even a folder it
// had to create.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <optional>
#include <thread>

#include "install/InstallLock.h"
#include "install/PackageInstaller.h"
#include "platform/CFileException.h"
#include "tests/app/FolderSnapshot.h"
#include "tests/app/TestPackages.h"
#include "tests/support/ScratchFolder.h"

namespace {

namespace fs = std::filesystem;
using namespace testpackages;
using testsupport::ScratchFolder;

// Whether another open file description can take the lock on `folder` now.
bool isLocked(const std::string& folder) {
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    EXPECT_GE(descriptor, 0) << folder;
    const bool locked = ::flock(descriptor, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(descriptor);
    return locked;
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ConcurrentInstallTest, SecondInstallationWaitsUntilTheFirstIsOver) {
    ScratchFolder scratch;
    writePackage(validPackage(), scratch.pathOf("package.zip"));
    std::optional<InstallLock> first(std::in_place, scratch.pathOf("host"));

    auto second = std::async(std::launch::async, [&] {
        return installPackage(scratch.pathOf("package.zip"), scratch.pathOf("host/App"));
    });
    EXPECT_EQ(second.wait_for(std::chrono::milliseconds(500)), std::future_status::timeout);
    EXPECT_FALSE(fs::exists(scratch.pathOf("host/App")));

    first.reset();
    EXPECT_TRUE(second.get().installed);
    EXPECT_EQ(filesIn(scratch.pathOf("host/App")), "a.bin p.bin x.app");
}

// Many files per version, so that two unguarded installations would interleave their renames.
std::vector<PlannedEntry> version(int number) {
    std::vector<PlannedEntry> entries = validPackage("version " + std::to_string(number));
    for (int index = 0; index < 40; ++index) {
        entries.push_back(
            file("data/" + std::to_string(index) + ".bin", "version " + std::to_string(number)));
    }
    return entries;
}

TEST(ConcurrentInstallTest, TwoVersionsAtOnceLeaveEveryFileOfOneOfThem) {
    ScratchFolder scratch;
    writePackage(version(1), scratch.pathOf("1.zip"));
    writePackage(version(2), scratch.pathOf("2.zip"));
    const std::string installFolder = scratch.pathOf("host/App");
    for (int round = 0; round < 10; ++round) {
        auto first = std::async(std::launch::async, [&] {
            return installPackage(scratch.pathOf("1.zip"), installFolder);
        });
        auto second = std::async(std::launch::async, [&] {
            return installPackage(scratch.pathOf("2.zip"), installFolder);
        });
        ASSERT_TRUE(first.get().installed);
        ASSERT_TRUE(second.get().installed);

        const std::string winner = ScratchFolder::readFile(installFolder + "/a.bin");
        for (int index = 0; index < 40; ++index) {
            ASSERT_EQ(
                ScratchFolder::readFile(installFolder + "/data/" + std::to_string(index) + ".bin"),
                winner)
                << "round " << round << ", file " << index;
        }
        EXPECT_EQ(namesIn(scratch.pathOf("host")), std::vector<std::string>{"App"});
    }
}

TEST(ConcurrentInstallTest, LockCreatesOnlyItsOwnFolderAndRemovesItUnlessFilled) {
    ScratchFolder scratch;
    EXPECT_THROW(InstallLock(scratch.pathOf("a/b")), platform::CFileException);
    EXPECT_EQ(namesIn(scratch.path()), std::vector<std::string>{});
    const std::string folder = scratch.pathOf("a");
    {
        const InstallLock lock(folder);
        EXPECT_TRUE(isLocked(folder));
    }
    EXPECT_EQ(namesIn(scratch.path()), std::vector<std::string>{});
    {
        const InstallLock lock(folder);
        scratch.writeFile("a/installed.bin", "x");
    }
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"installed.bin"});
    EXPECT_FALSE(isLocked(folder));
}

TEST(ConcurrentInstallTest, WaiterOnAFolderThatTheHolderRemovedLocksItsNewFolder) {
    ScratchFolder scratch;
    const std::string folder = scratch.pathOf("host");
    std::optional<InstallLock> holder(std::in_place, folder);
    auto waiter = std::async(std::launch::async, [&] {
        const InstallLock lock(folder);
        return isLocked(folder);
    });
    // Long enough for the waiter to have opened the folder that the holder then removes.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    holder.reset();
    EXPECT_TRUE(waiter.get());
    EXPECT_FALSE(fs::exists(folder));
}

}  // namespace
