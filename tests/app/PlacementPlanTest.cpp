#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "app/PlacementPlan.h"
#include "tests/support/ScratchFolder.h"

namespace fs = std::filesystem;

namespace {

// What a placement looks like relative to the two roots, for readable expectations.
std::string describe(const Placement& placement, const fs::path& staged, const fs::path& target) {
    return placement.staged.lexically_relative(staged).string() + " -> " +
           placement.target.lexically_relative(target).string() +
           (placement.replaces ? " (replaces)" : "");
}

struct PlanCase {
    const char* behaviour;
    // Prepares the install folder ("App" below the scratch folder); the staged tree is always
    // a.bin, dir/b.bin and dir/sub/c.bin.
    std::function<void(const testsupport::ScratchFolder&)> prepareInstallFolder;
    std::optional<std::vector<std::string>> expected;
};

class Planning : public testing::TestWithParam<PlanCase> {};

TEST_P(Planning, PlacesTheStagedTreeOrFindsTheClash) {
    testsupport::ScratchFolder scratch;
    fs::create_directories(scratch.pathOf("staged/dir/sub"));
    scratch.writeFile("staged/a.bin", "a");
    scratch.writeFile("staged/dir/b.bin", "b");
    scratch.writeFile("staged/dir/sub/c.bin", "c");
    GetParam().prepareInstallFolder(scratch);

    const fs::path staged = scratch.pathOf("staged");
    const fs::path target = scratch.pathOf("App");
    const auto plan = planPlacement(staged, target);

    ASSERT_EQ(plan.has_value(), GetParam().expected.has_value());
    if (plan) {
        std::vector<std::string> described;
        for (const Placement& placement : *plan) {
            described.push_back(describe(placement, staged, target));
        }
        EXPECT_EQ(described, *GetParam().expected);
    }
}

using Lines = std::vector<std::string>;

INSTANTIATE_TEST_SUITE_P(
    InstallFolders, Planning,
    testing::Values(
        PlanCase{"missing install folder moves as a whole", [](const auto&) {}, Lines{". -> ."}},
        PlanCase{"empty install folder takes each top-level item",
                 [](const auto& scratch) { fs::create_directory(scratch.pathOf("App")); },
                 Lines{"a.bin -> a.bin", "dir -> dir"}},
        PlanCase{"existing file is replaced, existing folder is entered",
                 [](const auto& scratch) {
                     fs::create_directories(scratch.pathOf("App/dir"));
                     scratch.writeFile("App/a.bin", "old");
                     scratch.writeFile("App/dir/b.bin", "old");
                     scratch.writeFile("App/dir/keep.txt", "mine");
                 },
                 Lines{"a.bin -> a.bin (replaces)", "dir/b.bin -> dir/b.bin (replaces)",
                       "dir/sub -> dir/sub"}},
        PlanCase{"a link to a folder counts as the folder",
                 [](const auto& scratch) {
                     fs::create_directories(scratch.pathOf("elsewhere"));
                     fs::create_directories(scratch.pathOf("App"));
                     fs::create_directory_symlink(scratch.pathOf("elsewhere"),
                                                  scratch.pathOf("App/dir"));
                 },
                 Lines{"a.bin -> a.bin", "dir/b.bin -> dir/b.bin", "dir/sub -> dir/sub"}},
        PlanCase{"a dangling link is replaced like a file",
                 [](const auto& scratch) {
                     fs::create_directories(scratch.pathOf("App"));
                     fs::create_symlink(scratch.pathOf("nowhere"), scratch.pathOf("App/a.bin"));
                 },
                 Lines{"a.bin -> a.bin (replaces)", "dir -> dir"}},
        PlanCase{"install folder that is a file clashes",
                 [](const auto& scratch) { scratch.writeFile("App", "file"); }, std::nullopt},
        PlanCase{"file where a folder must go clashes",
                 [](const auto& scratch) {
                     fs::create_directories(scratch.pathOf("App/dir"));
                     scratch.writeFile("App/dir/sub", "file");
                 },
                 std::nullopt},
        PlanCase{
            "folder where a file must go clashes",
            [](const auto& scratch) { fs::create_directories(scratch.pathOf("App/dir/b.bin")); },
            std::nullopt}),
    [](const testing::TestParamInfo<PlanCase>& info) {
        std::string name = info.param.behaviour;
        for (char& character : name) {
            character = std::isalnum(static_cast<unsigned char>(character)) ? character : '_';
        }
        return name;
    });

}  // namespace
