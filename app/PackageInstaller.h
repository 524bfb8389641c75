// Validating a Tockit package and installing every entry of it into the install folder, all or
// nothing: a refused or failed installation leaves the install folder exactly as it was. Every
// refusal is the one message IDS_NOT_VALID; the caller shows it.
#pragma once

#include <string>

struct InstallResult {
    bool installed = false;
    // The descriptor's "Name", for the success line.
    std::string appName;
};

InstallResult installPackage(const std::string& packagePath, const std::string& installFolder);
