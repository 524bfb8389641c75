// Finding the host program's folder in the registry and the install folder below it.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "install/StringTable.h"
#include "text/RegistryFile.h"

// The registry keys that may name the host program, in the order they are tried.
inline constexpr std::array<std::string_view, 2> hostRegistryKeys{
    "Software\\Corvane\\Syndal USB",
    "Software\\Veltrane\\Strivana",
};

struct HostLocation {
    // The host folder with "\App" appended; empty when the host was not located.
    std::string installFolder;
    // IDS_HOST_NOT_FOUND (no key, or the host's folder does not exist) or IDS_REGISTRY_ERROR
    // when the host was not located.
    std::optional<StringId> refusal;
};

HostLocation locateHost(const text::RegistryFile& registry);
