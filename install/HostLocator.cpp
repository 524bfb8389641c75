// Reads the host program's path from the registry and derives the install folder from it. The
// host's folder must exist; the install folder below it is neither created nor tested here: the
// installation does that.
#include "install/HostLocator.h"

#include <string_view>

#include "platform/FileSystem.h"

namespace {

constexpr std::string_view pathValueName = "Path";
// The buffer the value is read into, terminator included.
constexpr std::size_t pathBufferSize = 260;

HostLocation refuse(StringId message) {
    return {{}, message};
}

bool isAbsolute(std::string_view path) {
    return !path.empty() && (path.front() == '/' || path.front() == '\\');
}

}  // namespace

HostLocation locateHost(const text::RegistryFile& registry) {
    // Only the first key that opens is read, even when it lacks the value.
    const text::RegistryKey* key = nullptr;
    for (std::string_view keyPath : hostRegistryKeys) {
        key = registry.openKey(keyPath);
        if (key != nullptr) {
            break;
        }
    }
    if (key == nullptr) {
        return refuse(IDS_HOST_NOT_FOUND);
    }

    const auto query = key->queryValue(pathValueName, pathBufferSize);
    if (query.status != text::RegistryKey::QueryStatus::ok || query.value.type != text::REG_SZ) {
        return refuse(IDS_REGISTRY_ERROR);
    }
    const std::string& hostPath = query.value.data;
    if (hostPath.find_first_of("\\/") == std::string::npos) {
        return refuse(IDS_REGISTRY_ERROR);
    }
    // A drive letter means something only inside a Wine prefix; a path that is still relative
    // after mapping would land below whatever folder the program was started from.
    const std::optional<std::string> mappedPath = registry.mapDrivePath(hostPath);
    if (!mappedPath || !isAbsolute(*mappedPath)) {
        return refuse(IDS_REGISTRY_ERROR);
    }
    const std::string hostFolder = mappedPath->substr(0, mappedPath->find_last_of("\\/"));
    // A host whose program or folder is gone is not installed: the installation would
    // otherwise put an App folder beside whatever the stale value names (as root, a value of
    // /etc/Syndal would make /etc/App). The value names the program's file, or its folder when
    // it ends in a separator.
    if (platform::pathType(*mappedPath) == platform::PathType::missing ||
        platform::pathType(hostFolder.empty() ? mappedPath->substr(0, 1) : hostFolder) !=
            platform::PathType::folder) {
        return refuse(IDS_HOST_NOT_FOUND);
    }
    return {hostFolder + "\\App", std::nullopt};
}
