// Extraction on several workers: every entry once, a task's entries in order on one thread,
// progress on the calling thread only, a failure anywhere thrown there; and installs of packages
// large enough for several workers give what one entry after the other gives.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "install/InstallLock.h"
#include "install/PackageInstaller.h"
#include "install/ParallelExtraction.h"
#include "tests/app/TestPackages.h"
#include "tests/support/ScratchFolder.h"
#include "zip/CZipException.h"
#include "zip/CZipReader.h"

using namespace testpackages;
using testsupport::ScratchFolder;

namespace {

class ExtractingInParallel : public testing::Test {
protected:
    ExtractingInParallel() {
        ZipArchiveBuilder builder;
        for (std::uint16_t index = 0; index < entryCount; ++index) {
            builder.addFile("e" + std::to_string(index), "content");
            if (index != 0 && index != 5 && index != 9) {
                tasks.push_back({{index}, 1});
            }
        }
        builder.writeTo(archivePath);
        reader.openArchive(archivePath.c_str(), CZipStore::openReadOnly, 0);
    }

    ExtractionOutcome extract(const EntryExtractor& extractor) {
        const auto caller = std::this_thread::get_id();
        reported = 0;
        return extractInParallel(reader, {tasks, 4}, extractor, [&](std::uint64_t extracted) {
            EXPECT_EQ(std::this_thread::get_id(), caller);
            EXPECT_GT(extracted, reported);
            reported = extracted;
        });
    }

    static constexpr std::uint16_t entryCount = 40;
    ScratchFolder scratch;
    const std::string archivePath = scratch.pathOf("archive.zip");
    std::vector<ExtractionTask> tasks{{{0, 5, 9}, 3}};
    CZipReader reader;
    std::uint64_t reported = 0;
};

TEST_F(ExtractingInParallel, RunsEveryEntryOnceAndATasksEntriesInOrderOnOneThread) {
    std::mutex mutex;
    std::vector<std::uint16_t> order;
    std::map<std::uint16_t, std::thread::id> threadOf;
    EXPECT_EQ(extract([&](CZipReader& worker, std::uint16_t entry) {
                  // Each worker reads through a reader of its own.
                  const bool opened = worker.openEntryForRead(entry);
                  worker.closeCurrentEntry(nullptr, true);
                  const std::lock_guard lock(mutex);
                  order.push_back(entry);
                  threadOf[entry] = std::this_thread::get_id();
                  return opened;
              }),
              ExtractionOutcome::extracted);
    EXPECT_EQ(order.size(), std::size_t{entryCount});
    EXPECT_EQ(threadOf.size(), std::size_t{entryCount});
    const auto positionOf = [&](std::uint16_t entry) { return std::ranges::find(order, entry); };
    EXPECT_LT(positionOf(0), positionOf(5));
    EXPECT_LT(positionOf(5), positionOf(9));
    EXPECT_EQ(threadOf[0], threadOf[9]);
    EXPECT_EQ(reported, std::uint64_t{entryCount});
}

TEST_F(ExtractingInParallel, ARefusalOrAnExceptionOnAnyWorkerEndsItOnTheCallingThread) {
    for (const std::uint16_t failing : {std::uint16_t{9}, std::uint16_t{entryCount - 1}}) {
        EXPECT_EQ(extract([&](CZipReader&, std::uint16_t entry) { return entry != failing; }),
                  ExtractionOutcome::refused);
        EXPECT_THROW(extract([&](CZipReader&, std::uint16_t entry) {
                         if (entry == failing) {
                             raiseZipError(zipCode::badCrc, "archive.zip");
                         }
                         return true;
                     }),
                     CZipException);
    }
}

// About 2 MiB in 120 files: more than one worker wherever there is more than one core.
std::vector<PlannedEntry> largePackage() {
    std::vector<PlannedEntry> entries = validPackage();
    for (int index = 0; index < 120; ++index) {
        std::string content;
        while (content.size() < 16 * 1024) {
            content += "line " + std::to_string(index) + " of some text\n";
        }
        entries.push_back(file("t" + std::to_string(index % 3) + "/s" + std::to_string(index % 5) +
                                   "/f" + std::to_string(index),
                               content));
    }
    return entries;
}

TEST(InstallingInParallel, InstallsEveryEntryAndTheLaterOfTwoEntriesOfOneNameWins) {
    ScratchFolder scratch;
    std::vector<PlannedEntry> entries = largePackage();
    entries.insert(entries.begin() + 3, file("t1/s1/twice", "first"));
    entries.push_back(file("t1/s1/twice", "second"));
    writePackage(entries, scratch.pathOf("package.zip"));
    ASSERT_TRUE(
        installPackage(scratch.pathOf("package.zip"), scratch.pathOf("host/App")).installed);
    entries.erase(entries.begin() + 3);
    for (const PlannedEntry& entry : entries) {
        EXPECT_EQ(ScratchFolder::readFile(scratch.pathOf("host/App/" + entry.name)), entry.content);
    }
}

// Whether someone waits for the flock on `folder` now, as /proc/locks shows it.
bool someoneWaitsToLock(const std::string& folder) {
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0) {
        return false;
    }
    const std::string inode = ":" + std::to_string(status.st_ino) + " ";
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        if (line.find("->") != std::string::npos && line.find(inode) != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST(InstallingInParallel, InstallsTheValidatedFileThoughAnotherArchiveTookItsNameMeanwhile) {
    ScratchFolder scratch;
    const std::vector<PlannedEntry> entries = largePackage();
    writePackage(entries, scratch.pathOf("package.zip"));
    std::vector<PlannedEntry> other(entries.begin() + 1, entries.end());  // no descriptor
    for (PlannedEntry& entry : other) {
        entry.content = "another archive's";
    }
    writePackage(other, scratch.pathOf("other.zip"));
    std::optional<InstallLock> holder(std::in_place, scratch.pathOf("host"));
    auto installing = std::async(std::launch::async, [&] {
        return installPackage(scratch.pathOf("package.zip"), scratch.pathOf("host/App"));
    });
    // The installer waits for the lock once it has validated the package.
    while (!someoneWaitsToLock(scratch.pathOf("host")) &&
           installing.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
    }
    std::filesystem::rename(scratch.pathOf("other.zip"), scratch.pathOf("package.zip"));
    holder.reset();
    ASSERT_TRUE(installing.get().installed);
    for (const PlannedEntry& entry : entries) {
        EXPECT_EQ(ScratchFolder::readFile(scratch.pathOf("host/App/" + entry.name)), entry.content);
    }
}

TEST(InstallingInParallel, AnEntryRefusedAnywhereRefusesThePackageAndLeavesNothing) {
    const PlannedEntry damaged = withData(file("t0/damaged", "some content"), "not deflate data");
    const PlannedEntry fileWhereAFolderGoes = file("t0/s0", "a file");
    for (const auto& [blocking, position] : {std::pair{damaged, 3},
                                             {damaged, 123},
                                             {fileWhereAFolderGoes, 3},
                                             {fileWhereAFolderGoes, 123}}) {
        ScratchFolder scratch;
        std::vector<PlannedEntry> entries = largePackage();
        entries.insert(entries.begin() + position, blocking);
        writePackage(entries, scratch.pathOf("package.zip"));
        EXPECT_FALSE(
            installPackage(scratch.pathOf("package.zip"), scratch.pathOf("host/App")).installed)
            << blocking.name << " at " << position;
        EXPECT_FALSE(std::filesystem::exists(scratch.pathOf("host"))) << position;
    }
}

}  // namespace
