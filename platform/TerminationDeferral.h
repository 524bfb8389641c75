// Holding off SIGINT and SIGTERM while the installer has work that must not be cut short. While
// a deferral lives, either signal only records that termination was asked for; work that can
// stop early (a download, the extraction, a wait for the install lock) asks
// terminationRequested() and winds down through its destructors, and work that must finish
// (moving files into the install folder) simply finishes. When the outermost deferral ends, a
// recorded signal is raised again with its default action, so the process ends as the signal
// meant it to, with everything cleaned up. Deferrals nest; with none alive the signals act as
// usual. It does not touch SIGKILL, which nothing can defer: the next installation repairs
// what a killed one left.
#pragma once

namespace platform {

class TerminationDeferral {
public:
    TerminationDeferral();
    TerminationDeferral(const TerminationDeferral&) = delete;
    TerminationDeferral& operator=(const TerminationDeferral&) = delete;
    ~TerminationDeferral();
};

// True once SIGINT or SIGTERM arrived while a deferral was alive.
bool terminationRequested();

}  // namespace platform
