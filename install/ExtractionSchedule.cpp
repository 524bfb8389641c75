// Grouping entries by the path they land on and ordering the groups. Where an entry lands is
// read the way the reader's extraction walks it (the stored path without its drive, separated by
// either separator, empty and `.` pieces staying where they are), so that two spellings of one
// file are seen as one. It never builds a path on disk.
#include "install/ExtractionSchedule.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "text/TextScanning.h"
#include "zip/CZipPath.h"

namespace {

// Below this size the order of tasks hardly matters to how evenly the workers finish.
constexpr std::uint64_t smallTaskSize = 1024 * 1024;
// Creating, filling, stamping and closing a file costs about as much as extracting this many
// bytes more.
constexpr std::uint64_t entryCostInBytes = 16 * 1024;
// One more worker pays off for about this much work.
constexpr std::uint64_t workPerWorker = 1024 * 1024;

// One key for the spellings of a path below the extraction folder that reach one file: either
// separator, with or without a trailing one (a folder entry), empty and `.` pieces, any ASCII
// case (on a case-insensitive file system such names meet).
std::string landingKey(const std::string& name) {
    const std::string storedPath = CZipPath::pathWithoutDrive(name.c_str());
    std::string key;
    std::string_view rest = storedPath;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find_first_of("\\/"), rest.size());
        const std::string_view piece = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (piece.empty() || piece == ".") {
            continue;
        }
        if (!key.empty()) {
            key += '\\';
        }
        for (const char character : piece) {
            key += text::asciiLower(character);
        }
    }
    return key;
}

// A stored path of ordinary components only, none of them cut by splitting: it lies inside the
// extraction folder, and extraction refuses none of it.
bool isPlain(const std::string& name) {
    if (name.find('\0') != std::string::npos || CZipPath::isCutBySplitting(name)) {
        return false;
    }
    const std::string storedPath = CZipPath::pathWithoutDrive(name.c_str());
    std::string_view rest = storedPath;
    while (!rest.empty()) {
        const std::size_t end = rest.find_first_of("\\/");
        const std::string_view component = rest.substr(0, end);
        // A folder entry's name ends with one separator, and only there may a piece be empty.
        if (component == "." || component == ".." ||
            (component.empty() && end != std::string_view::npos)) {
            return false;
        }
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    return true;
}

}  // namespace

ExtractionSchedule scheduleExtraction(const std::vector<ScheduledEntry>& entries) {
    ExtractionSchedule schedule;
    std::unordered_map<std::string, std::size_t> taskOfPath;
    taskOfPath.reserve(entries.size());
    for (std::size_t index = 0; index < entries.size(); ++index) {
        const ScheduledEntry& entry = entries[index];
        schedule.namesArePlain = schedule.namesArePlain && isPlain(entry.name);
        const auto [found, isNew] =
            taskOfPath.try_emplace(landingKey(entry.name), schedule.tasks.size());
        if (isNew) {
            schedule.tasks.emplace_back();
        }
        ExtractionTask& task = schedule.tasks[found->second];
        task.entries.push_back(static_cast<std::uint16_t>(index));
        task.size += entry.size;
    }
    schedule.lastOnSamePath.resize(entries.size());
    for (const ExtractionTask& task : schedule.tasks) {
        for (const std::uint16_t entry : task.entries) {
            schedule.lastOnSamePath[entry] = task.entries.back();
        }
    }
    if (!schedule.namesArePlain) {
        // One entry after the other, in archive order: exactly the extraction without workers.
        schedule.tasks.clear();
        for (std::size_t index = 0; index < entries.size(); ++index) {
            schedule.tasks.push_back({{static_cast<std::uint16_t>(index)}, entries[index].size});
        }
        return schedule;
    }
    std::ranges::stable_sort(schedule.tasks, std::greater<>(), [](const ExtractionTask& task) {
        return std::max(task.size, smallTaskSize);
    });
    return schedule;
}

unsigned usefulWorkerCount(const ExtractionSchedule& schedule, unsigned cores) {
    if (!schedule.namesArePlain) {
        return 1;
    }
    std::uint64_t work = 0;
    for (const ExtractionTask& task : schedule.tasks) {
        work += task.size + task.entries.size() * entryCostInBytes;
    }
    const std::uint64_t limit = std::min<std::uint64_t>(cores, schedule.tasks.size());
    return static_cast<unsigned>(
        std::max<std::uint64_t>(1, std::min(limit, 1 + work / workPerWorker)));
}
