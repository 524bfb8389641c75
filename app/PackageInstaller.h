// Validating a Tockit package and installing every entry of it into the install folder, all or
// nothing: a refused or failed installation leaves the install folder exactly as it was. Every
// refusal is the one message IDS_NOT_VALID; the caller shows it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct InstallResult {
    bool installed = false;
    // The descriptor's "Name", for the success line.
    std::string appName;
};

// Uncompressed bytes written so far and the package's total, called on the thread that called
// installPackage, now and then while the entries are extracted.
using InstallProgress = std::function<void(std::uint64_t written, std::uint64_t total)>;

InstallResult installPackage(const std::string& packagePath, const std::string& installFolder,
                             const InstallProgress& progress = {});
