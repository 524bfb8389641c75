// Where downloads go. The downloading itself is CurlDownloader's, in a module of its own.
#include "platform/Downloader.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace platform {

namespace {

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    const passwd* user = ::getpwuid(::getuid());
    return user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "";
}

}  // namespace

std::string downloadTarget() {
    const char* cacheHome = std::getenv("XDG_CACHE_HOME");
    // Relative values are invalid by the base-directory rules and are ignored.
    const std::string cacheFolder = cacheHome != nullptr && cacheHome[0] == '/'
                                        ? std::string(cacheHome)
                                        : homeFolder() + "/.cache";
    return cacheFolder + "/tockit-installer/temp.txt";
}

}  // namespace platform
