// Which entries of a package may be extracted at the same time, and in which order. Entries that
// land on the same path (the same name twice, or names that differ only in case, a drive or the
// separator) form one task, which one worker runs in archive order: the later entry wins, as it
// does when the entries are extracted one after the other. Larger tasks come first,
// so that the workers finish together; small ones keep archive order, so that a worker reads
// neighbouring entries. Names that are not plain (empty, `.` or `..` components, pieces that path
// splitting would cut) keep the extraction on one worker, one entry after the other in archive
// order. Two workers may make the same folder at once: each takes the folder the other made. It
// extracts nothing and creates nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ScheduledEntry {
    std::string name;  // as the reader reports it
    std::uint64_t size = 0;
    bool isFolder = false;
};

struct ExtractionTask {
    std::vector<std::uint16_t> entries;  // archive order
    std::uint64_t size = 0;              // of all its entries
};

struct ExtractionSchedule {
    std::vector<ExtractionTask> tasks;
    // For each entry, the last entry in archive order that lands on the same path: the one
    // whose file or folder stands there once every entry is extracted. Plain names or not.
    std::vector<std::uint16_t> lastOnSamePath;
    bool namesArePlain = true;
};

// `entries[i]` describes the entry of index i.
ExtractionSchedule scheduleExtraction(const std::vector<ScheduledEntry>& entries);

// How many workers the schedule keeps busy on `cores` cores: a worker costs a thread and a
// reading of the central directory, which a small package does not repay. One unless every
// name is plain.
unsigned usefulWorkerCount(const ExtractionSchedule& schedule, unsigned cores);
