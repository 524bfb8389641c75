// The workers of one extraction. A shared counter hands out the tasks and another adds up the
// sizes of finished ones; the calling thread reads the sum and reports it, so that progress is
// reported on that thread only. Exceptions cross from a worker to the calling thread as
// exception pointers and are thrown again there, so a failure in a worker ends the
// installation exactly as the same failure on the calling thread would.
#include "install/ParallelExtraction.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/TerminationDeferral.h"
#include "zip/CZipReader.h"

namespace {

// The longest a report waits for a wake-up that was lost.
constexpr std::chrono::milliseconds reportInterval{100};

class TaskBoard {
public:
    explicit TaskBoard(const std::vector<ExtractionTask>& tasks) : tasks(tasks) {}

    // The next task, or null when none is left or a worker has failed.
    const ExtractionTask* take() {
        if (stopped.load()) {
            return nullptr;
        }
        const std::size_t index = nextTask.fetch_add(1);
        return index < tasks.size() ? &tasks[index] : nullptr;
    }
    void stop() { stopped.store(true); }

    // Not under the lock, which would make the workers wait for each other at every task: a
    // wake-up this loses, while the calling thread is about to wait, only delays a report.
    void finished(const ExtractionTask& task) {
        extracted.fetch_add(task.size);
        changed.notify_all();
    }
    void refuse() {
        {
            const std::lock_guard lock(mutex);
            refused = true;
        }
        stop();
    }
    void interrupt() {
        {
            const std::lock_guard lock(mutex);
            interrupted = true;
        }
        stop();
    }
    void fail(std::exception_ptr error) {
        {
            const std::lock_guard lock(mutex);
            if (!failure) {
                failure = std::move(error);
            }
        }
        stop();
    }
    void helperStarting() {
        const std::lock_guard lock(mutex);
        ++runningHelpers;
    }
    void helperDone() {
        {
            const std::lock_guard lock(mutex);
            --runningHelpers;
        }
        changed.notify_all();
    }

    // The two below run on the calling thread only.
    void reportProgress(const ExtractionProgress& progress) {
        const std::uint64_t now = extracted.load();
        if (now != reported) {
            reported = now;
            if (progress) {
                progress(now);  // not under the lock: it may take its time
            }
        }
    }
    void waitForHelpers(const ExtractionProgress& progress) {
        for (;;) {
            reportProgress(progress);
            std::unique_lock lock(mutex);
            if (runningHelpers == 0 && extracted.load() == reported) {
                return;
            }
            changed.wait_for(lock, reportInterval, [this] {
                return runningHelpers == 0 || extracted.load() != reported;
            });
        }
    }

    // After every worker has stopped.
    ExtractionOutcome outcome() const {
        if (failure) {
            std::rethrow_exception(failure);
        }
        if (refused) {
            return ExtractionOutcome::refused;
        }
        return interrupted ? ExtractionOutcome::interrupted : ExtractionOutcome::extracted;
    }

private:
    const std::vector<ExtractionTask>& tasks;
    std::atomic<std::size_t> nextTask{0};
    std::atomic<bool> stopped{false};

    std::atomic<std::uint64_t> extracted{0};

    std::mutex mutex;
    std::condition_variable changed;
    unsigned runningHelpers = 0;
    bool refused = false;
    bool interrupted = false;
    std::exception_ptr failure;

    std::uint64_t reported = 0;
};

template <typename AfterTask>
void runTasks(CZipReader& reader, TaskBoard& board, const EntryExtractor& extract,
              AfterTask afterTask) {
    while (const ExtractionTask* task = board.take()) {
        // Between tasks only: a task's entries land on one path, and stopping inside one would
        // leave an earlier entry where a later one belongs.
        if (platform::terminationRequested()) {
            board.interrupt();
            return;
        }
        for (const std::uint16_t entry : task->entries) {
            if (!extract(reader, entry)) {
                board.refuse();
                return;
            }
        }
        board.finished(*task);
        afterTask();
    }
}

void runHelper(CZipReader& reader, TaskBoard& board, const EntryExtractor& extract) {
    try {
        runTasks(reader, board, extract, [] {});
    } catch (...) {
        // Not handled here: thrown again on the calling thread, which reports it.
        board.fail(std::current_exception());
    }
    board.helperDone();
}

// Whatever way the calling thread leaves, the helpers take no further task before they are
// joined.
struct StopOnExit {
    TaskBoard& board;
    ~StopOnExit() { board.stop(); }
};

}  // namespace

ExtractionOutcome extractInParallel(CZipReader& callerReader, const ExtractionWork& work,
                                    const EntryExtractor& extract,
                                    const ExtractionProgress& progress) {
    // A split archive opens its further volumes by name, so only the caller's reader, which
    // opened it so in the first place, reads one.
    const unsigned workerCount = callerReader.spansVolumes() ? 1 : work.workerCount;
    // Opened here, before any worker starts, so that nobody reads the caller's reader meanwhile.
    std::vector<std::unique_ptr<CZipReader>> helperReaders;
    for (unsigned helper = 1; helper < workerCount; ++helper) {
        helperReaders.push_back(std::make_unique<CZipReader>());
        helperReaders.back()->openArchive(callerReader);
    }
    TaskBoard board(work.tasks);
    {
        std::vector<std::jthread> helpers;
        helpers.reserve(workerCount);
        const StopOnExit stopOnExit{board};
        for (const std::unique_ptr<CZipReader>& reader : helperReaders) {
            board.helperStarting();
            try {
                helpers.emplace_back(runHelper, std::ref(*reader), std::ref(board),
                                     std::cref(extract));
            } catch (const std::system_error&) {
                // No thread to be had: the workers already running share its tasks.
                board.helperDone();
                break;
            }
        }
        try {
            runTasks(callerReader, board, extract, [&] { board.reportProgress(progress); });
        } catch (...) {
            board.fail(std::current_exception());
        }
        board.waitForHelpers(progress);
    }
    return board.outcome();
}
