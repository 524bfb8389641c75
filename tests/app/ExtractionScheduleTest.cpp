// The extraction schedule: which entries share a task because they land on one path, the order
// of the tasks, and when more than one worker is worth it.
#include <gtest/gtest.h>

#include "install/ExtractionSchedule.h"

namespace {

using Tasks = std::vector<std::vector<std::uint16_t>>;
constexpr std::uint64_t mebibyte = 1024 * 1024;

ScheduledEntry fileOf(std::string name, std::uint64_t size = 10) {
    return {std::move(name), size, false};
}

Tasks tasksOf(const ExtractionSchedule& schedule) {
    Tasks tasks;
    for (const ExtractionTask& task : schedule.tasks) {
        tasks.push_back(task.entries);
    }
    return tasks;
}

TEST(ExtractionSchedule, EntriesLandingOnOnePathShareATaskInArchiveOrder) {
    const struct {
        const char* behaviour;
        std::vector<ScheduledEntry> entries;
        Tasks tasks;
    } rows[] = {
        {"distinct names", {fileOf("a"), fileOf("b"), fileOf("c\\d")}, {{0}, {1}, {2}}},
        {"the same name twice", {fileOf("a"), fileOf("b"), fileOf("a")}, {{0, 2}, {1}}},
        {"ASCII case", {fileOf("Dir\\File.txt"), fileOf("dir\\file.TXT")}, {{0, 1}}},
        {"drive, leading separator, either separator",
         {fileOf("d\\x"), fileOf("C:d\\x"), fileOf("\\d\\x"), fileOf("d/x")},
         {{0, 1, 2, 3}}},
        {"a folder entry and a file of its name",
         {{"d\\", 0, true}, fileOf("d"), fileOf("d\\x")},
         {{0, 1}, {2}}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(tasksOf(scheduleExtraction(row.entries)), row.tasks) << row.behaviour;
    }
}

TEST(ExtractionSchedule, LargeTasksComeFirstAndSmallOnesKeepArchiveOrder) {
    const ExtractionSchedule schedule =
        scheduleExtraction({fileOf("s1", 100), fileOf("b2", 2 * mebibyte), fileOf("s2", 900 * 1024),
                            fileOf("b9", 9 * mebibyte), fileOf("s3", 0), fileOf("b2", mebibyte),
                            fileOf("b5", 5 * mebibyte)});
    EXPECT_EQ(tasksOf(schedule), (Tasks{{3}, {6}, {1, 5}, {0}, {2}, {4}}));
    EXPECT_EQ(schedule.tasks[2].size, 3 * mebibyte);
}

TEST(ExtractionSchedule, NamesThatAreNotPlainRunOnOneWorkerInArchiveOrder) {
    const std::string longPiece(300, 'n');
    for (const std::string& name :
         {std::string("a\\..\\x"), std::string("a\\.\\x"), std::string("a\\\\x"), "a\\" + longPiece,
          longPiece + "\\x", std::string("a\0b", 3)}) {
        const ExtractionSchedule schedule = scheduleExtraction(
            {fileOf("a\\x"), fileOf(name), fileOf("big", 64 * mebibyte), fileOf("a\\x")});
        EXPECT_EQ(tasksOf(schedule), (Tasks{{0}, {1}, {2}, {3}})) << name;
        EXPECT_EQ(usefulWorkerCount(schedule, 8), 1u) << name;
    }
}

TEST(ExtractionSchedule, OneMoreWorkerPerMebibyteOfWorkUpToTheCoresAndTheTasks) {
    std::vector<ScheduledEntry> manySmall;
    for (int index = 0; index < 200; ++index) {
        manySmall.push_back(fileOf("f" + std::to_string(index), 100));
    }
    const std::vector<ScheduledEntry> twoLarge = {fileOf("a", 8 * mebibyte), fileOf("b", 1)};
    const struct {
        const char* behaviour;
        std::vector<ScheduledEntry> entries;
        unsigned cores;
        unsigned workers;
    } rows[] = {
        {"a small package", {fileOf("a", 40 * 1024), fileOf("b", 12 * 1024)}, 8, 1},
        {"two tasks", twoLarge, 8, 2},
        {"one core", twoLarge, 1, 1},
        {"an unknown number of cores", twoLarge, 0, 1},
        {"many small files, each a cost of its own", manySmall, 64, 4},
        {"an empty package", {}, 4, 1},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(usefulWorkerCount(scheduleExtraction(row.entries), row.cores), row.workers)
            << row.behaviour;
    }
}

}  // namespace
