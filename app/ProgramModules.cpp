// The module folder is found from /proc/self/exe rather than from the install prefix, so that a
// relocated tree and the build tree work alike. TOCKIT_MODULE_FOLDER is the folder relative to
// the program's own, set by the build.
#include "app/ProgramModules.h"

#include <filesystem>

#include "platform/FileSystem.h"

std::string modulePath(std::string_view fileName) {
    const std::filesystem::path programFolder =
        std::filesystem::path(platform::programPath()).parent_path();
    return (programFolder / TOCKIT_MODULE_FOLDER / fileName).lexically_normal().string();
}
