// Deciding, before anything moves, where every staged file and folder goes in the install
// folder, and whether the package can go there at all: a file where a folder must go, or a
// folder where a file must go, is a clash that refuses the whole package, and so is a path of
// the package that would pass through a link inside the install folder. It moves nothing.
#pragma once

#include <string>
#include <vector>

#include "platform/Folder.h"

struct Placement {
    // Relative to the install folder and to the staged package, `/` between names; empty for
    // the install folder itself, which is missing and arrives as the whole staged tree.
    std::string path;
    // True when something standing at `path` (a file or a link) is replaced.
    bool replaces = false;
};

struct PlacementPlan {
    enum class Verdict { placeable, clash, linkInTheWay };
    Verdict verdict = Verdict::placeable;
    // linkInTheWay: the link's path.
    std::string linkPath;
    // placeable: the renames, parents before their contents; a staged folder whose target
    // does not exist moves as a whole.
    std::vector<Placement> placements;
};

// `installFolder` is null when the install folder does not exist. Throws
// platform::CFileException when a folder cannot be examined.
PlacementPlan planPlacement(const platform::Folder& stagedFolder,
                            const platform::Folder* installFolder);
