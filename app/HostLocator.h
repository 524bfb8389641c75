// Finding the host program's folder in the registry and the install folder below it.
#pragma once

#include <optional>
#include <string>

#include "app/res/StringTable.h"
#include "platform/RegistryFile.h"

struct HostLocation {
    // The host folder with "\App" appended; empty when the host was not located.
    std::string installFolder;
    // IDS_HOST_NOT_FOUND (no key, or the host's folder does not exist) or IDS_REGISTRY_ERROR
    // when the host was not located.
    std::optional<StringId> refusal;
};

HostLocation locateHost(const platform::RegistryFile& registry);
