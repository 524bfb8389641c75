// The handlers record the signal in an atomic and nothing else, which is all a signal handler
// may safely do. They are installed without SA_RESTART, so that a thread blocked in a slow call
// (flock, a read from the network) returns with EINTR and gets to ask terminationRequested().
#include "platform/TerminationDeferral.h"

#include <signal.h>

#include <atomic>
#include <mutex>

namespace platform {

namespace {

constexpr int deferredSignals[] = {SIGINT, SIGTERM};

std::atomic<int> receivedSignal{0};

// Guards the nesting count and the installed handlers; never taken in a handler.
std::mutex nestingMutex;
int nesting = 0;
struct sigaction previousActions[std::size(deferredSignals)];

extern "C" void recordSignal(int signalNumber) {
    receivedSignal.store(signalNumber);
}

}  // namespace

TerminationDeferral::TerminationDeferral() {
    const std::lock_guard lock(nestingMutex);
    if (nesting++ > 0) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = recordSignal;
    sigemptyset(&action.sa_mask);
    for (std::size_t index = 0; index < std::size(deferredSignals); ++index) {
        ::sigaction(deferredSignals[index], &action, &previousActions[index]);
        // A signal the process was told to ignore (nohup, a background job) stays ignored.
        if (previousActions[index].sa_handler == SIG_IGN) {
            ::sigaction(deferredSignals[index], &previousActions[index], nullptr);
        }
    }
}

TerminationDeferral::~TerminationDeferral() {
    const std::lock_guard lock(nestingMutex);
    if (--nesting > 0) {
        return;
    }
    for (std::size_t index = 0; index < std::size(deferredSignals); ++index) {
        ::sigaction(deferredSignals[index], &previousActions[index], nullptr);
    }
    if (const int signalNumber = receivedSignal.exchange(0); signalNumber != 0) {
        ::raise(signalNumber);
    }
}

bool terminationRequested() {
    return receivedSignal.load() != 0;
}

}  // namespace platform
