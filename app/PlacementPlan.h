// Deciding, before anything moves, where every staged file and folder goes in the install
// folder, and whether the package can go there at all: a file where a folder must go, or a
// folder where a file must go, is a clash that refuses the whole package. It moves nothing.
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

struct Placement {
    std::filesystem::path staged;
    std::filesystem::path target;
    // True when an existing file at `target` is replaced.
    bool replaces = false;
};

// The renames that bring the tree below `stagedFolder` into `installFolder`, parents before
// their contents; a staged folder whose target does not exist moves as a whole. nullopt on a
// clash. Throws platform::CFileException when a folder cannot be examined.
std::optional<std::vector<Placement>> planPlacement(const std::filesystem::path& stagedFolder,
                                                    const std::filesystem::path& installFolder);
