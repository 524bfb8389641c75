// Counting the read system calls that a piece of code makes, from the kernel's own count for
// this process (`syscr` in /proc/self/io). The count covers every thread of the process.
#pragma once

#include <fstream>
#include <string>

namespace testsupport {

// Read calls of this process so far; -1 when the kernel does not say.
inline long readCallCount() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long value = -1;
    while (io >> key >> value && key != "syscr:") {
    }
    return key == "syscr:" ? value : -1;
}

// The read calls `action` makes, without those of the counting itself; -1 when unknown.
template <typename Action>
long readCallsDuring(Action action) {
    const long first = readCallCount();
    const long countingAlone = readCallCount() - first;
    const long before = readCallCount();
    action();
    return first < 0 ? -1 : readCallCount() - before - countingAlone;
}

}  // namespace testsupport
