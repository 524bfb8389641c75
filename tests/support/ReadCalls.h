// Counting the read system calls a piece of code makes, from the kernel's own count for this
// process (`syscr` in /proc/self/io), which covers every thread of the process.
#pragma once

#include <fstream>
#include <string>

namespace testsupport {

// The read calls `action` makes, less those of the counting itself; -1 when unknown.
template <typename Action>
long readCallsDuring(Action action) {
    const auto count = [] {
        std::ifstream io("/proc/self/io");
        std::string key;
        long value = -1;
        while (io >> key >> value && key != "syscr:") {
        }
        return key == "syscr:" ? value : -1;
    };
    const long first = count(), before = count();
    action();
    return first < 0 ? -1 : count() - before - (before - first);
}

}  // namespace testsupport
