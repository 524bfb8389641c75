// Entries and descriptors for the installer's tests, so that each case reads as a list of what
// its package holds.
#pragma once

#include <string>
#include <vector>

#include "tests/support/ZipArchiveBuilder.h"

namespace testpackages {

inline PlannedEntry file(std::string name, std::string content) {
    return {.name = std::move(name), .content = std::move(content)};
}
inline PlannedEntry folder(std::string name) {
    return {.name = std::move(name), .method = 0, .externalAttributes = 0x10};
}
inline PlannedEntry encrypted(std::string name) {
    return {.name = std::move(name), .content = "secret", .method = 0, .flags = 0x0001};
}
// A deflated entry whose archive holds `data` instead of the deflated content.
inline PlannedEntry withData(PlannedEntry entry, std::string data) {
    entry.storedData = std::move(data);
    return entry;
}

inline std::string descriptor(const std::string& code, const std::string& parameters) {
    return "[Tockit]\nName=Mode X\nCODE=" + code + "\nPAR=" + parameters + "\n";
}

// x.app naming a.bin and p.bin, then the two.
inline std::vector<PlannedEntry> validPackage(const std::string& code = "code") {
    return {file("x.app", descriptor("a.bin", "p.bin")), file("a.bin", code), file("p.bin", "par")};
}

inline void writePackage(const std::vector<PlannedEntry>& entries, const std::string& path) {
    ZipArchiveBuilder builder;
    for (const PlannedEntry& entry : entries) {
        builder.add(entry);
    }
    builder.writeTo(path);
}

}  // namespace testpackages
