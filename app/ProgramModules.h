// Where the program's modules are: the wizard (Qt Widgets) and the downloader (libcurl), each
// loaded only when it is needed so that a quiet installation of a local package loads neither.
// The folder is fixed relative to the program file, the same in the build tree and once
// installed (bin/tockit-installer and lib/<multiarch>/tockit-installer/).
#pragma once

#include <string>
#include <string_view>

inline constexpr std::string_view wizardModuleFile = "wizard.so";
inline constexpr std::string_view downloaderModuleFile = "downloader.so";

// The full path of the module `fileName` for the running program.
std::string modulePath(std::string_view fileName);
