// Validating a Tockit package and installing every entry of it into the install folder, all or
// nothing: a refused or failed installation leaves the install folder exactly as it was. The
// result says why a package was not installed; the caller words it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct InstallResult {
    // Why a package was not installed.
    enum Failure {
        notValid,      // the package is not a valid Tockit
        cannotWrite,   // the install folder or the staging folder could not be written
        linkInTheWay,  // a path of the package passes through a link inside the install folder
        interrupted,   // SIGINT or SIGTERM asked the installer to stop
    };
    bool installed = false;
    // The descriptor's "Name", for the success line.
    std::string appName;
    Failure failure = notValid;
    // cannotWrite: the file or folder that could not be written; linkInTheWay: the link.
    std::string failurePath;
    // cannotWrite: the system's own words for the failure.
    std::string failureReason;
};

// Uncompressed bytes written so far and the package's total, called on the thread that called
// installPackage, now and then while the entries are extracted.
using InstallProgress = std::function<void(std::uint64_t written, std::uint64_t total)>;

InstallResult installPackage(const std::string& packagePath, const std::string& installFolder,
                             const InstallProgress& progress = {});
