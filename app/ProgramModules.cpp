// The module folder is found from /proc/self/exe rather than from the install prefix, so that a
// relocated tree and the build tree work alike. TOCKIT_MODULE_FOLDER is the folder relative to
// the program's own, set by the build.
#include "app/ProgramModules.h"

#include <filesystem>

#include "platform/CModuleException.h"
#include "platform/FileSystem.h"

std::string modulePath(std::string_view fileName) {
    return modulePath(fileName, platform::programPath());
}

std::string modulePath(std::string_view fileName, std::string_view programFile) {
    // A program path that cannot be read would otherwise make the module's path relative to the
    // current folder, and load whatever file of that name happens to lie there.
    if (!programFile.starts_with('/')) {
        throw platform::CModuleException("cannot load module: " + std::string(fileName) +
                                         ": the program's own path cannot be read");
    }
    const std::filesystem::path programFolder = std::filesystem::path(programFile).parent_path();
    return (programFolder / TOCKIT_MODULE_FOLDER / fileName).lexically_normal().string();
}
