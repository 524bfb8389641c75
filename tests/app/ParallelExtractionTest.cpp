// Extraction on several workers: every entry once, the entries of a task in order on one worker,
// progress on the calling thread only, and a failure anywhere ends it as it would on one thread.
// The second half installs packages big enough to be extracted in parallel and compares the
// result with what one entry after the other gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>
#include <numeric>
#include <thread>

#include "app/PackageInstaller.h"
#include "app/ParallelExtraction.h"
#include "tests/app/FolderSnapshot.h"
#include "tests/app/TestPackages.h"
#include "tests/support/ScratchFolder.h"
#include "zip/CZipException.h"
#include "zip/CZipReader.h"

namespace fs = std::filesystem;
using namespace testpackages;
using testsupport::ScratchFolder;

namespace {

constexpr unsigned workerCount = 4;

// Many small tasks of one entry each, and one task of three entries.
std::vector<ExtractionTask> tasksOver(std::uint16_t entryCount) {
    std::vector<ExtractionTask> tasks;
    tasks.push_back({{0, 5, 9}, 3});
    for (std::uint16_t entry = 1; entry < entryCount; ++entry) {
        if (entry != 5 && entry != 9) {
            tasks.push_back({{entry}, 1});
        }
    }
    return tasks;
}

class ExtractingInParallel : public testing::Test {
protected:
    ExtractingInParallel() {
        ZipArchiveBuilder builder;
        for (int index = 0; index < entryCount; ++index) {
            builder.addFile("e" + std::to_string(index), "content");
        }
        builder.writeTo(archivePath);
        reader.openArchive(archivePath.c_str(), CZipStore::openReadOnly, 0);
    }

    bool extract(const EntryExtractor& extractor, std::vector<std::uint64_t>* reports = nullptr) {
        const auto caller = std::this_thread::get_id();
        return extractInParallel(reader, {archivePath, tasks, workerCount}, extractor,
                                 [&](std::uint64_t extracted) {
                                     EXPECT_EQ(std::this_thread::get_id(), caller);
                                     if (reports != nullptr) {
                                         reports->push_back(extracted);
                                     }
                                 });
    }

    static constexpr std::uint16_t entryCount = 40;
    ScratchFolder scratch;
    const std::string archivePath = scratch.pathOf("archive.zip");
    const std::vector<ExtractionTask> tasks = tasksOver(entryCount);
    CZipReader reader;
};

TEST_F(ExtractingInParallel, RunsEveryEntryOnceAndATasksEntriesInOrderOnOneThread) {
    std::mutex mutex;
    std::vector<std::uint16_t> order;
    std::map<std::uint16_t, std::thread::id> threadOf;
    std::vector<std::uint64_t> reports;
    const bool extracted = extract(
        [&](CZipReader& worker, std::uint16_t entry) {
            // Each worker reads the archive through a reader of its own.
            const bool opened = worker.openEntryForRead(entry);
            worker.closeCurrentEntry(nullptr, true);
            const std::lock_guard lock(mutex);
            order.push_back(entry);
            threadOf[entry] = std::this_thread::get_id();
            return opened;
        },
        &reports);
    EXPECT_TRUE(extracted);
    std::vector<std::uint16_t> sorted = order;
    std::ranges::sort(sorted);
    std::vector<std::uint16_t> everyEntry(entryCount);
    std::iota(everyEntry.begin(), everyEntry.end(), 0);
    EXPECT_EQ(sorted, everyEntry);
    const auto positionOf = [&](std::uint16_t entry) { return std::ranges::find(order, entry); };
    EXPECT_LT(positionOf(0), positionOf(5));
    EXPECT_LT(positionOf(5), positionOf(9));
    EXPECT_EQ(threadOf[0], threadOf[5]);
    EXPECT_EQ(threadOf[5], threadOf[9]);
    ASSERT_FALSE(reports.empty());
    EXPECT_TRUE(std::ranges::is_sorted(reports));
    EXPECT_EQ(reports.back(), entryCount);
}

TEST_F(ExtractingInParallel, AnEntryThatIsRefusedAnywhereRefusesTheWhole) {
    for (const std::uint16_t refusedEntry : {std::uint16_t{9}, std::uint16_t{entryCount - 1}}) {
        EXPECT_FALSE(extract([&](CZipReader&, std::uint16_t entry) {
            return entry != refusedEntry;
        })) << refusedEntry;
    }
}

TEST_F(ExtractingInParallel, AnExceptionOnAnyWorkerIsThrownOnTheCallingThread) {
    for (const std::uint16_t failing : {std::uint16_t{0}, std::uint16_t{entryCount - 1}}) {
        try {
            extract([&](CZipReader&, std::uint16_t entry) {
                if (entry == failing) {
                    raiseZipError(zipCode::badCrc, "archive.zip");
                }
                return true;
            });
            ADD_FAILURE() << "no exception for entry " << failing;
        } catch (const CZipException& error) {
            EXPECT_EQ(error.cause, CZipException::badCrc);
        }
    }
}

TEST_F(ExtractingInParallel, AnArchiveThatAHelperCannotOpenIsAFailure) {
    fs::remove(archivePath);  // the caller's reader has it open already; the helpers do not
    EXPECT_THROW(extract([](CZipReader&, std::uint16_t) { return true; }),
                 platform::CFileException);
}

// Entries enough for the installer to use more than one worker on a machine with more than one
// core: about 2 MiB of data in 120 files in a few folders.
std::vector<PlannedEntry> largePackage() {
    std::vector<PlannedEntry> entries = validPackage();
    for (int index = 0; index < 120; ++index) {
        const std::string text = "line " + std::to_string(index) + " of some text\n";
        std::string content;
        while (content.size() < 16 * 1024) {
            content += text;
        }
        entries.push_back(file("tree" + std::to_string(index % 3) + "/sub" +
                                   std::to_string(index % 5) + "/f" + std::to_string(index),
                               content));
    }
    return entries;
}

class InstallingInParallel : public testing::Test {
protected:
    InstallResult install(const std::vector<PlannedEntry>& entries) const {
        writePackage(entries, scratch.pathOf("package.zip"));
        return installPackage(scratch.pathOf("package.zip"), scratch.pathOf("host/App"));
    }
    std::string installedFile(const std::string& name) const {
        return ScratchFolder::readFile(scratch.pathOf("host/App/" + name));
    }
    ScratchFolder scratch;
};

TEST_F(InstallingInParallel, InstallsEveryEntryOfALargePackage) {
    const std::vector<PlannedEntry> entries = largePackage();
    ASSERT_TRUE(install(entries).installed);
    for (const PlannedEntry& entry : entries) {
        EXPECT_EQ(installedFile(entry.name), entry.content) << entry.name;
    }
    EXPECT_EQ(snapshotOf(scratch.path()).find(".tockit-staging-"), std::string::npos);
}

TEST_F(InstallingInParallel, TheLaterOfTwoEntriesOfOneNameWins) {
    std::vector<PlannedEntry> entries = largePackage();
    entries.insert(entries.begin() + 3, file("tree1/sub1/twice", "first"));
    entries.push_back(file("tree1/sub1/twice", "second"));
    entries.insert(entries.begin() + 4, file("Tree2/thrice", "one"));
    entries.push_back(file("Tree2/thrice", "two"));
    entries.push_back(file("Tree2/thrice", "three"));
    ASSERT_TRUE(install(entries).installed);
    EXPECT_EQ(installedFile("tree1/sub1/twice"), "second");
    EXPECT_EQ(installedFile("Tree2/thrice"), "three");
}

TEST_F(InstallingInParallel, ADamagedEntryAnywhereRefusesThePackageAndLeavesNothing) {
    for (const std::size_t position : {std::size_t{3}, std::size_t{60}, std::size_t{122}}) {
        std::vector<PlannedEntry> entries = largePackage();
        entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(position),
                       withData(file("tree0/damaged", "some content"), "not deflate data"));
        EXPECT_FALSE(install(entries).installed) << position;
        EXPECT_FALSE(fs::exists(scratch.pathOf("host"))) << position;
    }
}

TEST_F(InstallingInParallel, AFileWhereAnotherEntryNeedsAFolderRefusesThePackageInEitherOrder) {
    for (const bool fileFirst : {true, false}) {
        std::vector<PlannedEntry> entries = largePackage();
        const PlannedEntry blocking = file("tree0/sub0", "a file where a folder goes");
        entries.insert(fileFirst ? entries.begin() + 3 : entries.end(), blocking);
        EXPECT_FALSE(install(entries).installed) << fileFirst;
        EXPECT_FALSE(fs::exists(scratch.pathOf("host"))) << fileFirst;
    }
}

}  // namespace
