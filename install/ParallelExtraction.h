// Running extraction tasks on several workers at once. The calling thread is one of them, with
// the reader it already has; every other worker gets a reader of its own, opened over the
// caller's open archive and never by its path, so every worker reads the very file the caller
// validated and no reader is ever used by two threads. Workers take the tasks in schedule order;
// the first failure, or SIGINT or SIGTERM held off meanwhile, stops the handing out of tasks. It
// decides nothing about what a task does with an entry (that is the extractor's business) nor
// about the order (see ExtractionSchedule).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "install/ExtractionSchedule.h"

class CZipReader;

// Extracts one entry with the worker's reader; false refuses the package.
using EntryExtractor = std::function<bool(CZipReader& reader, std::uint16_t entry)>;
// Sizes of the tasks finished so far, added up; called only on the calling thread.
using ExtractionProgress = std::function<void(std::uint64_t extracted)>;

struct ExtractionWork {
    const std::vector<ExtractionTask>& tasks;
    unsigned workerCount = 1;
};

enum class ExtractionOutcome {
    extracted,    // every entry of every task
    refused,      // the extractor refused an entry
    interrupted,  // termination was requested before every task was taken
};

// An exception thrown by any worker (an archive that the reader refuses, a file that cannot be
// written) is thrown again here, once every worker has stopped.
ExtractionOutcome extractInParallel(CZipReader& callerReader, const ExtractionWork& work,
                                    const EntryExtractor& extract,
                                    const ExtractionProgress& progress);
