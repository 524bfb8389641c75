// What the command line cannot single out: which entries share an extraction task, extraction
// on several workers, installations that wait for each other, and one asked to stop.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <future>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "install/ExtractionSchedule.h"
#include "install/InstallLock.h"
#include "install/PackageInstaller.h"
#include "install/ParallelExtraction.h"
#include "app/ProgramModules.h"
#include "platform/CFileException.h"
#include "platform/CModuleException.h"
#include "platform/TerminationDeferral.h"
#include "tests/install/InstallerTesting.h"
#include "zip/CZipReader.h"

using namespace installertesting;
using testsupport::ScratchFolder;
namespace fs = std::filesystem;

namespace {

using Tasks = std::vector<std::vector<std::uint16_t>>;
constexpr std::uint64_t mebibyte = 1024 * 1024;

Tasks tasksOf(const ExtractionSchedule& schedule) {
    Tasks tasks;
    for (const ExtractionTask& task : schedule.tasks) {
        tasks.push_back(task.entries);
    }
    return tasks;
}

TEST(ExtractionSchedule, EntriesLandingOnOnePathShareATaskLargeTasksFirstOnWorkersWorthIt) {
    const std::vector<ScheduledEntry> twoLarge = {{"a", 8 * mebibyte}, {"b", 1}};
    const struct {
        const char* behaviour;
        std::vector<ScheduledEntry> entries;
        Tasks tasks;
        unsigned workersOnEightCores;
    } rows[] = {
        {"distinct names", {{"a"}, {"b"}, {"c\\d"}}, {{0}, {1}, {2}}, 1},
        {"the same name twice", {{"a"}, {"b"}, {"a"}}, {{0, 2}, {1}}, 1},
        {"ASCII case", {{"Dir\\File.txt"}, {"dir\\file.TXT"}}, {{0, 1}}, 1},
        {"drive, leading separator, either separator",
         {{"d\\x"}, {"C:d\\x"}, {"\\d\\x"}, {"d/x"}},
         {{0, 1, 2, 3}},
         1},
        {"a folder entry and a file of its name",
         {{"d\\", 0, true}, {"d"}, {"d\\x"}},
         {{0, 1}, {2}},
         1},
        {"large tasks first, small ones in archive order",
         {{"s1", 100},
          {"b2", 2 * mebibyte},
          {"s2", 900 * 1024},
          {"b9", 9 * mebibyte},
          {"s3"},
          {"b2", mebibyte},
          {"b5", 5 * mebibyte}},
         {{3}, {6}, {1, 5}, {0}, {2}, {4}},
         6},
        {"two large tasks", twoLarge, {{0}, {1}}, 2},
        {"an empty package", {}, {}, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.behaviour);
        const ExtractionSchedule schedule = scheduleExtraction(row.entries);
        EXPECT_EQ(tasksOf(schedule), row.tasks);
        EXPECT_EQ(usefulWorkerCount(schedule, 8), row.workersOnEightCores);
    }
    EXPECT_EQ(scheduleExtraction(rows[5].entries).tasks[2].size, 3 * mebibyte);
    EXPECT_EQ(usefulWorkerCount(scheduleExtraction(twoLarge), 1), 1u);
    EXPECT_EQ(usefulWorkerCount(scheduleExtraction(twoLarge), 0), 1u) << "cores unknown";
    std::vector<ScheduledEntry> manySmall(200, {"", 100});
    for (std::size_t index = 0; index < manySmall.size(); ++index) {
        manySmall[index].name = std::to_string(index);
    }
    EXPECT_EQ(usefulWorkerCount(scheduleExtraction(manySmall), 64), 4u) << "each entry costs";
}

TEST(ExtractionSchedule, NamesThatAreNotPlainRunOnOneWorkerInArchiveOrder) {
    const std::string longPiece(300, 'n');
    for (const std::string& name :
         {std::string("a\\..\\x"), std::string("a\\.\\x"), std::string("a\\\\x"), "a\\" + longPiece,
          longPiece + "\\x", std::string("a\0b", 3)}) {
        const ExtractionSchedule schedule =
            scheduleExtraction({{"a\\x"}, {name}, {"big", 64 * mebibyte}, {"a\\x"}});
        EXPECT_EQ(tasksOf(schedule), (Tasks{{0}, {1}, {2}, {3}})) << name;
        EXPECT_EQ(usefulWorkerCount(schedule, 8), 1u) << name;
    }
}

TEST(ExtractingInParallel, RunsEachEntryOnceATasksInOrderOnOneThreadAndEndsOnTheCaller) {
    ScratchFolder scratch;
    ZipArchiveBuilder builder;
    std::vector<ExtractionTask> tasks{{{0, 5, 9}, 3}};
    for (std::uint16_t index = 0; index < 40; ++index) {
        builder.addFile("e" + std::to_string(index), "content");
        if (index != 0 && index != 5 && index != 9) {
            tasks.push_back({{index}, 1});
        }
    }
    builder.writeTo(scratch.pathOf("archive.zip"));
    CZipReader reader;
    reader.openArchive(scratch.pathOf("archive.zip").c_str(), CZipStore::openReadOnly, 0);
    std::mutex mutex;
    std::vector<std::uint16_t> order;
    std::map<std::uint16_t, std::thread::id> threadOf;
    std::uint64_t reported = 0;
    const auto caller = std::this_thread::get_id();
    const EntryExtractor extract = [&](CZipReader& worker, std::uint16_t entry) {
        // Each worker reads through a reader of its own.
        const bool opened = worker.openEntryForRead(entry);
        worker.closeCurrentEntry(nullptr, true);
        const std::lock_guard lock(mutex);
        order.push_back(entry);
        threadOf[entry] = std::this_thread::get_id();
        return opened;
    };
    EXPECT_EQ(extractInParallel(reader, {tasks, 4}, extract,
                                [&](std::uint64_t extracted) {
                                    EXPECT_EQ(std::this_thread::get_id(), caller);
                                    EXPECT_GT(extracted, reported);
                                    reported = extracted;
                                }),
              ExtractionOutcome::extracted);
    EXPECT_EQ(order.size(), 40u);
    EXPECT_EQ(threadOf.size(), 40u);
    EXPECT_LT(std::ranges::find(order, 0), std::ranges::find(order, 5));
    EXPECT_LT(std::ranges::find(order, 5), std::ranges::find(order, 9));
    EXPECT_EQ(threadOf[0], threadOf[9]);
    EXPECT_EQ(reported, 40u);
}

// Whether someone waits for the flock on `folder` now, as /proc/locks shows it.
bool someoneWaitsToLock(const std::string& folder) {
    struct stat status {};
    ::stat(folder.c_str(), &status);
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        if (line.find("->") != std::string::npos &&
            line.find(":" + std::to_string(status.st_ino) + " ") != std::string::npos) {
            return true;
        }
    }
    return false;
}

// The package is validated before the wait, and never opened by its name again.
TEST(InstallLock, SecondInstallationWaitsThenInstallsTheFileItValidatedOnSeveralWorkers) {
    ScratchFolder scratch;
    std::vector<PlannedEntry> entries = largePackage();
    const std::string package = scratch.writeFile("package.zip", zipOf(entries));
    scratch.writeFile("other.zip", zipOf(largePackage("another archive")));
    std::optional<InstallLock> first(std::in_place, scratch.pathOf("host"));
    auto second = std::async(std::launch::async,
                             [&] { return installPackage(package, scratch.pathOf("host/App")); });
    while (!someoneWaitsToLock(scratch.pathOf("host")) &&
           second.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
    }
    EXPECT_FALSE(fs::exists(scratch.pathOf("host/App")));
    fs::rename(scratch.pathOf("other.zip"), package);
    first.reset();
    ASSERT_TRUE(second.get().installed);
    entries.erase(entries.begin() + 3);
    for (const PlannedEntry& entry : entries) {
        EXPECT_EQ(ScratchFolder::readFile(scratch.pathOf("host/App/" + entry.name)), entry.content);
    }
}

// Many files per version, so that two unguarded installations would interleave their renames.
TEST(InstallLock, TwoVersionsAtOnceLeaveEveryFileOfOneOfThem) {
    ScratchFolder scratch;
    std::string packages[2];
    std::string alone[2];
    for (const int version : {0, 1}) {
        std::vector<PlannedEntry> entries = validPackage(std::to_string(version));
        for (int index = 0; index < 40; ++index) {
            entries.push_back(file("d/" + std::to_string(index), std::to_string(version)));
        }
        packages[version] = scratch.writeFile(std::to_string(version) + ".zip", zipOf(entries));
        installPackage(packages[version], scratch.pathOf(std::to_string(version) + "/App"));
        alone[version] = listing(scratch.pathOf(std::to_string(version) + "/App"));
    }
    for (int round = 0; round < 5; ++round) {
        auto first = std::async(std::launch::async, [&] {
            return installPackage(packages[0], scratch.pathOf("h/App"));
        });
        EXPECT_TRUE(installPackage(packages[1], scratch.pathOf("h/App")).installed);
        EXPECT_TRUE(first.get().installed);
        const std::string app = listing(scratch.pathOf("h/App"));
        EXPECT_TRUE(app == alone[0] || app == alone[1]) << app;
        EXPECT_EQ(listing(scratch.pathOf("h")).find(".tockit-staging-"), std::string::npos);
    }
}

bool isLocked(const std::string& folder) {
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool locked = ::flock(descriptor, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(descriptor);
    return locked;
}

TEST(InstallLock, CreatesOnlyItsOwnFolderAndRemovesItUnlessFilled) {
    ScratchFolder scratch;
    const std::string folder = scratch.pathOf("a");
    EXPECT_THROW(InstallLock(scratch.pathOf("a/b")), platform::CFileException);
    {
        const InstallLock lock(folder);
        EXPECT_TRUE(isLocked(folder));
    }
    EXPECT_EQ(listing(scratch.path()), "");
    {
        const InstallLock lock(folder);
        scratch.writeFile("a/installed.bin", "x");
    }
    EXPECT_EQ(listing(scratch.path()), "a/\na/installed.bin=x\n");
    EXPECT_FALSE(isLocked(folder));
}

TEST(InstallLock, WaiterOnAFolderThatTheHolderRemovedLocksItsNewFolder) {
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

TEST(Installing, TerminationAskedForStopsTheExtractionAndLeavesNothing) {
    ScratchFolder scratch;
    const std::string package = scratch.writeFile("p.zip", zipOf(validPackage()));
    // The signal held off is raised again when the deferral ends, and ends the process.
    EXPECT_EXIT(
        {
            const platform::TerminationDeferral deferral;
            std::raise(SIGTERM);
            const InstallResult result = installPackage(package, scratch.pathOf("host/App"));
            if (result.failure == InstallResult::interrupted &&
                !fs::exists(scratch.pathOf("host"))) {
                std::cerr << "interrupted, nothing left";
            }
        },
        testing::KilledBySignal(SIGTERM), "interrupted, nothing left");
}

TEST(ModulePath, IsFoundFromTheProgramsOwnAbsolutePathOrNotAtAll) {
    EXPECT_TRUE(modulePath(wizardModuleFile, "/opt/t/bin/tockit-installer").starts_with("/opt/t/"));
    EXPECT_THROW(modulePath(wizardModuleFile, ""), platform::CModuleException);
    EXPECT_THROW(modulePath(wizardModuleFile, "bin/tockit-installer"), platform::CModuleException);
}

}  // namespace
