// Grouping entries by the path they land on, ordering the groups and listing folder trees. The
// paths are built the way the reader's extraction builds them (folder, `\`, stored path without
// its drive), pieces cut to their limits included, so that two spellings of one file are seen
// as one, and the folder trees are the very ones extraction would create.
#include "app/ExtractionSchedule.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "zip/CZipPath.h"

namespace {

// Below this size the order of tasks hardly matters to how evenly the workers finish.
constexpr std::uint64_t smallTaskSize = 1024 * 1024;
// Creating, filling, stamping and closing a file costs about as much as extracting this many
// bytes more.
constexpr std::uint64_t entryCostInBytes = 16 * 1024;
// One more worker pays off for about this much work.
constexpr std::uint64_t workPerWorker = 1024 * 1024;

std::string extractionTarget(std::string folder, const std::string& name) {
    folder.erase(folder.find_last_not_of("\\/") + 1);
    return folder + '\\' + CZipPath::pathWithoutDrive(name.c_str());
}

// One hash for the spellings of a plain path that reach one file: either separator, with or
// without a trailing one (a folder entry), any ASCII case (on a case-insensitive file system
// such names meet). Two paths that share a hash only
// share a task, which costs parallelism, never correctness.
std::uint64_t landingKey(std::string target) {
    for (char& character : target) {
        if (character == '/') {
            character = '\\';
        } else if (character >= 'A' && character <= 'Z') {
            character = static_cast<char>(character - 'A' + 'a');
        }
    }
    target.erase(target.find_last_not_of('\\') + 1);
    return std::hash<std::string>{}(target);
}

bool isCutBySplitting(const std::string& path) {
    const CZipPath::Pieces pieces = CZipPath::split(path.c_str());
    return pieces.drive.size() + pieces.folder.size() + pieces.name.size() +
               pieces.extension.size() !=
           path.size();
}

// A stored path of ordinary components only, none of them cut by splitting: its folder tree
// lies inside the extraction folder, and creating it twice at once is the only race.
bool isPlain(const std::string& name, const std::string& target) {
    if (name.find('\0') != std::string::npos || isCutBySplitting(name) ||
        isCutBySplitting(target)) {
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

ExtractionSchedule scheduleExtraction(const std::vector<ScheduledEntry>& entries,
                                      const std::string& folder) {
    ExtractionSchedule schedule;
    std::unordered_map<std::uint64_t, std::size_t> taskOfPath;
    taskOfPath.reserve(entries.size());
    std::unordered_set<std::string> listedTrees;
    for (std::size_t index = 0; index < entries.size() && schedule.namesArePlain; ++index) {
        const ScheduledEntry& entry = entries[index];
        std::string target = extractionTarget(folder, entry.name);
        schedule.namesArePlain = isPlain(entry.name, target);
        std::string tree = entry.isFolder ? target : CZipPath::folderOf(target.c_str());
        if (listedTrees.insert(tree).second) {
            schedule.folderTrees.push_back(std::move(tree));
        }
        const auto [found, isNew] =
            taskOfPath.try_emplace(landingKey(std::move(target)), schedule.tasks.size());
        if (isNew) {
            schedule.tasks.emplace_back();
        }
        ExtractionTask& task = schedule.tasks[found->second];
        task.entries.push_back(static_cast<std::uint16_t>(index));
        task.size += entry.size;
    }
    if (!schedule.namesArePlain) {
        // One entry after the other, in archive order: exactly the extraction without workers.
        schedule.folderTrees.clear();
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
