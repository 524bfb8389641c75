// The extraction schedule: which entries share a task because they land on one path, the order
// of the tasks, the folder trees made beforehand, and when more than one worker is worth it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ExtractionSchedule.h"

namespace {

constexpr std::uint64_t mebibyte = 1024 * 1024;
const std::string folder = "/stage/package";

ScheduledEntry fileOf(std::string name, std::uint64_t size = 10) {
    return {std::move(name), size, false};
}
ScheduledEntry folderOf(std::string name) {
    return {std::move(name), 0, true};
}

std::vector<std::vector<std::uint16_t>> entriesByTask(const ExtractionSchedule& schedule) {
    std::vector<std::vector<std::uint16_t>> tasks;
    for (const ExtractionTask& task : schedule.tasks) {
        tasks.push_back(task.entries);
    }
    return tasks;
}

struct GroupingCase {
    const char* behaviour;
    std::vector<ScheduledEntry> entries;
    std::vector<std::vector<std::uint16_t>> tasks;
};

void PrintTo(const GroupingCase& row, std::ostream* out) {
    *out << row.behaviour;
}

class Grouping : public testing::TestWithParam<GroupingCase> {};

TEST_P(Grouping, EntriesLandingOnOnePathShareATaskInArchiveOrder) {
    EXPECT_EQ(entriesByTask(scheduleExtraction(GetParam().entries, folder)), GetParam().tasks);
}

INSTANTIATE_TEST_SUITE_P(
    Names, Grouping,
    testing::Values(
        GroupingCase{"distinct names", {fileOf("a"), fileOf("b"), fileOf("c\\d")}, {{0}, {1}, {2}}},
        GroupingCase{"the same name twice", {fileOf("a"), fileOf("b"), fileOf("a")}, {{0, 2}, {1}}},
        GroupingCase{"names that differ in ASCII case",
                     {fileOf("Dir\\File.txt"), fileOf("dir\\file.TXT")},
                     {{0, 1}}},
        GroupingCase{"a drive, a leading separator, either separator",
                     {fileOf("d\\x"), fileOf("C:d\\x"), fileOf("\\d\\x"), fileOf("d/x")},
                     {{0, 1, 2, 3}}},
        GroupingCase{"a folder entry and a file of its name",
                     {folderOf("d\\"), fileOf("d"), fileOf("d\\x")},
                     {{0, 1}, {2}}}));

TEST(ExtractionSchedule, LargeTasksComeFirstAndSmallOnesKeepArchiveOrder) {
    const std::vector<ScheduledEntry> entries = {
        fileOf("small1", 100),        fileOf("big2", 2 * mebibyte), fileOf("small2", 900 * 1024),
        fileOf("big9", 9 * mebibyte), fileOf("small3", 0),          fileOf("big2", mebibyte),
        fileOf("big5", 5 * mebibyte),
    };
    const ExtractionSchedule schedule = scheduleExtraction(entries, folder);
    EXPECT_EQ(entriesByTask(schedule),
              (std::vector<std::vector<std::uint16_t>>{{3}, {6}, {1, 5}, {0}, {2}, {4}}));
    EXPECT_EQ(schedule.tasks[2].size, 3 * mebibyte);
}

TEST(ExtractionSchedule, ListsEachFolderTreeOnceAsExtractionNamesIt) {
    const ExtractionSchedule schedule =
        scheduleExtraction({fileOf("top.txt"), fileOf("a\\b\\one"), fileOf("a\\b\\two"),
                            folderOf("a\\c\\"), fileOf("a\\one")},
                           folder + "\\");
    EXPECT_TRUE(schedule.namesArePlain);
    EXPECT_EQ(schedule.folderTrees,
              (std::vector<std::string>{"/stage/package\\", "/stage/package\\a\\b\\",
                                        "/stage/package\\a\\c\\", "/stage/package\\a\\"}));
}

TEST(ExtractionSchedule, NamesThatAreNotPlainKeepExtractionOnOneWorkerInArchiveOrder) {
    const std::string longPiece(300, 'n');
    for (const std::string& name :
         {std::string("a\\..\\x"), std::string("..\\x"), std::string("a\\.\\x"),
          std::string("a\\\\x"), std::string("a\\") + longPiece, longPiece + "\\x",
          std::string("a\0b", 3)}) {
        const ExtractionSchedule schedule = scheduleExtraction(
            {fileOf("a\\x"), fileOf(name), fileOf("big", 64 * mebibyte), fileOf("a\\x")}, folder);
        EXPECT_FALSE(schedule.namesArePlain) << name;
        EXPECT_EQ(entriesByTask(schedule),
                  (std::vector<std::vector<std::uint16_t>>{{0}, {1}, {2}, {3}}))
            << name;
        EXPECT_TRUE(schedule.folderTrees.empty()) << name;
        EXPECT_EQ(usefulWorkerCount(schedule, 8), 1u) << name;
    }
}

struct WorkerCase {
    const char* behaviour;
    std::vector<ScheduledEntry> entries;
    unsigned cores;
    unsigned workers;
};

void PrintTo(const WorkerCase& row, std::ostream* out) {
    *out << row.behaviour;
}

class Workers : public testing::TestWithParam<WorkerCase> {};

TEST_P(Workers, OneMorePerMebibyteOfWorkUpToTheCoresAndTheTasks) {
    EXPECT_EQ(usefulWorkerCount(scheduleExtraction(GetParam().entries, folder), GetParam().cores),
              GetParam().workers);
}

const std::vector<ScheduledEntry> manySmallFiles = [] {
    std::vector<ScheduledEntry> entries;
    for (int index = 0; index < 200; ++index) {
        entries.push_back(fileOf("f" + std::to_string(index), 100));
    }
    return entries;
}();

INSTANTIATE_TEST_SUITE_P(
    Packages, Workers,
    testing::Values(
        WorkerCase{"a small package", {fileOf("a", 40 * 1024), fileOf("b", 12 * 1024)}, 8, 1},
        WorkerCase{"two large entries", {fileOf("a", 8 * mebibyte), fileOf("b", mebibyte)}, 8, 2},
        WorkerCase{"one core", {fileOf("a", 8 * mebibyte), fileOf("b", mebibyte)}, 1, 1},
        WorkerCase{"an unknown number of cores", {fileOf("a", 8 * mebibyte)}, 0, 1},
        WorkerCase{"many small files", manySmallFiles, 2, 2},
        WorkerCase{"many small files on many cores", manySmallFiles, 64, 4},
        WorkerCase{"an empty package", {}, 4, 1}));

}  // namespace
