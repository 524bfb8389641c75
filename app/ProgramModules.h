// Where the program's modules are: the wizard (Qt Widgets) and the downloader (libcurl), each
// loaded only when it is needed so that a quiet installation of a local package loads neither.
// The folder is fixed relative to the program file, the same in the build tree and once
// installed (bin/tockit-installer and lib/<multiarch>/tockit-installer/). It never looks in
// the current folder or along a search path.
#pragma once

#include <string>
#include <string_view>

inline constexpr std::string_view wizardModuleFile = "wizard.so";
inline constexpr std::string_view downloaderModuleFile = "downloader.so";

// The full path of the module `fileName` for the running program. Throws
// platform::CModuleException when the program's own path cannot be read.
std::string modulePath(std::string_view fileName);
// The same for the program file `programFile`, which must be an absolute path.
std::string modulePath(std::string_view fileName, std::string_view programFile);
