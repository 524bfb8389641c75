// Packages and folder records for the installer's tests: a package reads as the list of what it
// holds, and a folder as one line per path below it.
#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/support/ScratchFolder.h"
#include "tests/support/ZipArchiveBuilder.h"

namespace installertesting {

inline PlannedEntry file(std::string name, std::string content) {
    return {.name = std::move(name), .content = std::move(content)};
}

inline std::string descriptor(const std::string& code = "a.bin", const std::string& par = "p.bin") {
    return "[Tockit]\nName=Mode X\nCODE=" + code + "\nPAR=" + par + "\n";
}

// x.app naming a.bin and p.bin, then the two.
inline std::vector<PlannedEntry> validPackage(const std::string& code = "code") {
    return {file("x.app", descriptor()), file("a.bin", code), file("p.bin", "par")};
}

// About 2 MiB in 120 files, so that it keeps more than one worker busy, and two entries of one
// name that land in one task: the later wins, as one entry after the other gives.
inline std::vector<PlannedEntry> largePackage(const std::string& text = "") {
    std::vector<PlannedEntry> entries = validPackage();
    entries.push_back(file("t1/twice", "first"));
    for (int index = 0; index < 120; ++index) {
        entries.push_back(file("t" + std::to_string(index % 3) + "/f" + std::to_string(index),
                               std::string(16 * 1024, static_cast<char>('a' + index % 26)) + text));
    }
    entries.push_back(file("t1/twice", "second"));
    return entries;
}

inline std::string zipOf(const std::vector<PlannedEntry>& entries) {
    ZipArchiveBuilder builder;
    for (const PlannedEntry& entry : entries) {
        builder.add(entry);
    }
    return builder.build();
}

// One line per path below `folder`, sorted: `name/` for a folder, `name=content` for a file (line
// breaks shown as `|`), `name@` for anything else. With times, paths also show their mode and
// modification time: renames in a folder change its time, and undoing them cannot change it back.
enum class Times { none, ofFiles, ofAll };
inline std::string listing(const std::string& folder, Times times = Times::none) {
    std::error_code error;
    std::set<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error)) {
        paths.insert(entry.path());
    }
    std::string text;
    for (const std::filesystem::path& path : paths) {
        struct stat status {};
        ::lstat(path.c_str(), &status);
        text += path.lexically_relative(folder).string();
        if (times == Times::ofAll || (times == Times::ofFiles && !S_ISDIR(status.st_mode))) {
            text += " " + std::to_string(status.st_mode) + " " +
                    std::to_string(status.st_mtim.tv_sec) + "." +
                    std::to_string(status.st_mtim.tv_nsec);
        }
        std::string content =
            S_ISREG(status.st_mode) ? testsupport::ScratchFolder::readFile(path) : "";
        std::ranges::replace(content, '\n', '|');
        text += (S_ISDIR(status.st_mode)   ? "/"
                 : S_ISREG(status.st_mode) ? "=" + content
                                           : "@") +
                "\n";
    }
    return text;
}

}  // namespace installertesting
