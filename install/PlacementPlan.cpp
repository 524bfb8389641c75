// Walks the staged tree and the install folder side by side, each through descriptors, so
// that what is examined is what the names stand for, never what a link points to.
#include "install/PlacementPlan.h"

namespace {

using Type = platform::Folder::EntryType;

std::string joined(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

// Plans the contents of `staged` into the existing folder `target`; stops at the first
// refusal, which it records in `plan`.
void planFolder(const platform::Folder& staged, const platform::Folder& target,
                const std::string& path, PlacementPlan& plan) {
    for (const std::string& name : staged.names()) {
        const std::string entryPath = joined(path, name);
        // The staged tree is the reader's own output: it holds files and folders only.
        const bool stagedFolder = staged.typeOf(name) == Type::folder;
        const Type occupant = target.typeOf(name);
        if (occupant == Type::link && stagedFolder) {
            plan.verdict = PlacementPlan::Verdict::linkInTheWay;
            plan.linkPath = target.pathOf(name);
            return;
        }
        if (occupant == Type::missing) {
            plan.placements.push_back({entryPath, false});
        } else if (!stagedFolder && occupant != Type::folder) {
            plan.placements.push_back({entryPath, true});
        } else if (stagedFolder && occupant == Type::folder) {
            planFolder(staged.openFolder(name), target.openFolder(name), entryPath, plan);
        } else {
            plan.verdict = PlacementPlan::Verdict::clash;
        }
        if (plan.verdict != PlacementPlan::Verdict::placeable) {
            return;
        }
    }
}

}  // namespace

PlacementPlan planPlacement(const platform::Folder& stagedFolder,
                            const platform::Folder* installFolder) {
    PlacementPlan plan;
    if (installFolder == nullptr) {
        plan.placements.push_back({"", false});
    } else {
        planFolder(stagedFolder, *installFolder, "", plan);
    }
    return plan;
}
