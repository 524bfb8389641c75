// Installations stopped at every step, by a crash or a signal, and links put in their way:
// once the next installer has recovered, the install folder is wholly old or wholly new,
// nothing of the installation is left beside it, and nothing was written outside it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <thread>

#include "install/PackageInstaller.h"
#include "install/StagingFolder.h"
#include "platform/Folder.h"
#include "tests/app/BehaviourName.h"
#include "tests/app/FolderSnapshot.h"
#include "tests/app/TestPackages.h"
#include "tests/support/ScratchFolder.h"

namespace {

using behaviourcases::PrintTo;

namespace fs = std::filesystem;
using namespace testpackages;
using testsupport::ScratchFolder;

// The hook's state: the file system changes seen so far (by any thread), and the one a child
// dies before.
std::atomic<int> changesSeen = 0;
int dieBefore = 0;

void countAndDie(const platform::Folder&, std::string_view) noexcept {
    if (++changesSeen == dieBefore) {
        ::_exit(0);  // as kill -9: no destructor runs
    }
}

class Installations : public ScratchFolder {
public:
    std::string host() const { return pathOf("host" + std::to_string(generation)); }
    std::string app() const { return host() + "/App"; }
    std::string snapshot() const { return snapshotOf(app(), FolderTimes::ignored); }

    // A new host as a finished installation of `earlier` leaves it; empty: nothing installed.
    // Each is a new folder: removing thousands of files costs more than making them.
    void reset(const std::string& earlier) {
        ++generation;
        fs::create_directories(host());
        if (!earlier.empty()) {
            ASSERT_TRUE(installPackage(earlier, app()).installed);
        }
    }

    // The next installation, which recovers before it refuses its damaged package.
    void recover() const {
        std::vector<PlannedEntry> damaged = validPackage();
        damaged.push_back(withData(file("z.bin", "last"), "\xff\xff\xff\xff"));
        EXPECT_FALSE(installPackage(package("damaged.zip", damaged), app()).installed);
    }

    std::string package(const std::string& name, const std::vector<PlannedEntry>& entries) const {
        writePackage(entries, pathOf(name));
        return pathOf(name);
    }

private:
    int generation = 0;
};

struct Upgrade {
    const char* behaviour;
    std::vector<PlannedEntry> earlier;  // empty: the first installation
    std::vector<PlannedEntry> later;
};

class Crash : public testing::TestWithParam<Upgrade> {
protected:
    void TearDown() override { platform::setMutationHook(nullptr); }
    Installations scene;
};

// Installs `package` in a forked child that dies before the file system change `dieBefore`;
// true when it died there, as a killed installer would.
bool diesInstalling(const std::string& package, const std::string& installFolder) {
    changesSeen = 0;
    const pid_t child = ::fork();
    if (child == 0) {
        platform::setMutationHook(countAndDie);
        installPackage(package, installFolder);
        ::_exit(1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

TEST_P(Crash, AtEveryStepLeavesTheInstallFolderWhollyOldOrWhollyNew) {
    const std::string earlier =
        GetParam().earlier.empty() ? "" : scene.package("earlier.zip", GetParam().earlier);
    const std::string later = scene.package("later.zip", GetParam().later);
    scene.reset(earlier);
    const std::string before = scene.snapshot();
    platform::setMutationHook(countAndDie);
    changesSeen = 0;
    dieBefore = 0;
    ASSERT_TRUE(installPackage(later, scene.app()).installed);
    platform::setMutationHook(nullptr);
    const int changes = changesSeen;
    const std::string after = scene.snapshot();
    ASSERT_NE(after, before);

    for (dieBefore = 1; dieBefore <= changes; ++dieBefore) {
        scene.reset(earlier);
        ASSERT_TRUE(diesInstalling(later, scene.app())) << dieBefore;
        scene.recover();
        const std::string recovered = scene.snapshot();
        EXPECT_TRUE(recovered == before || recovered == after) << dieBefore << "\n" << recovered;
        EXPECT_EQ(stagingFoldersIn(scene.host()), 0) << dieBefore;
    }
}

// A folder of the staging name that others may enter was not made by an installer of this user:
// its journal could move the install folder's files anywhere, so it is neither undone nor removed.
TEST_F(Crash, LeftoverThatOthersMayEnterIsNotTrusted) {
    scene.reset(scene.package("earlier.zip", validPackage("old")));
    const std::string later = scene.package("later.zip", validPackage("new"));
    dieBefore = 12;  // past the journal, within the placement
    ASSERT_TRUE(diesInstalling(later, scene.app()));
    ASSERT_EQ(stagingFoldersIn(scene.host()), 1);
    for (const auto& entry : fs::directory_iterator(scene.host())) {
        fs::permissions(entry.path(), fs::perms::group_exec | fs::perms::others_exec,
                        fs::perm_options::add);
    }
    scene.recover();
    EXPECT_EQ(stagingFoldersIn(scene.host()), 1);
}

INSTANTIATE_TEST_SUITE_P(
    CrashConsistencyTest, Crash,
    testing::Values(Upgrade{"first installation", {}, validPackage()},
                    Upgrade{"more files",
                            validPackage("old"),
                            {file("x.app", descriptor("a.bin", "p.bin")), file("a.bin", "new"),
                             file("p.bin", "par"), file("dir/b.bin", "b"), file("new/c.bin", "c")}},
                    Upgrade{"fewer files",
                            {file("x.app", descriptor("a.bin", "p.bin")), file("a.bin", "old"),
                             file("p.bin", "par"), file("dir/b.bin", "b")},
                            validPackage("new")},
                    Upgrade{"changed files",
                            {file("x.app", descriptor("a.bin", "p.bin")), file("a.bin", "old"),
                             file("p.bin", "old"), file("dir/b.bin", "old")},
                            {file("x.app", descriptor("a.bin", "p.bin")), file("a.bin", "new"),
                             file("p.bin", "new"), file("dir/b.bin", "new")}}),
    BehaviourName{});

// Where links are put in the installation's way, and what they lead to.
std::string linkTarget;
std::string installFolder;
bool disturbed = false;

void replaceByLink(const std::string& path) {
    if (!std::exchange(disturbed, true)) {
        fs::rename(path, fs::path(path).parent_path() / "moved-away");
        fs::create_directory_symlink(linkTarget, path);
    }
}

struct LinkCase {
    const char* behaviour;
    platform::MutationHook hook;
    bool installed;
};

class LinkInTheWay : public testing::TestWithParam<LinkCase> {
protected:
    void TearDown() override { platform::setMutationHook(nullptr); }
    Installations scene;
};

TEST_P(LinkInTheWay, ReceivesNothing) {
    std::vector<PlannedEntry> entries = validPackage();
    entries.push_back(file("sub/new.bin", "new"));
    const std::string package = scene.package("package.zip", entries);
    scene.reset("");
    fs::create_directories(scene.app() + "/sub");
    fs::create_directories(scene.pathOf("outside"));
    linkTarget = scene.pathOf("outside");
    installFolder = scene.app();
    disturbed = false;
    platform::setMutationHook(GetParam().hook);

    const InstallResult result = installPackage(package, scene.app());

    EXPECT_TRUE(disturbed);
    EXPECT_EQ(result.installed, GetParam().installed);
    EXPECT_EQ(filesIn(scene.pathOf("outside")), "");
    EXPECT_EQ(stagingFoldersIn(scene.host()), 0);
    if (result.failure == InstallResult::linkInTheWay) {
        EXPECT_EQ(result.failurePath, scene.app() + "/sub");
    }
}

INSTANTIATE_TEST_SUITE_P(
    CrashConsistencyTest, LinkInTheWay,
    testing::Values(LinkCase{"folder link inside the install folder is refused",
                             [](const platform::Folder&, std::string_view name) noexcept {
                                 if (name.starts_with(StagingFolder::namePrefix)) {
                                     replaceByLink(installFolder + "/sub");
                                 }
                             },
                             false},
                    LinkCase{"folder swapped for a link after the plan",
                             [](const platform::Folder&, std::string_view name) noexcept {
                                 if (name == "journal.tmp") {
                                     replaceByLink(installFolder + "/sub");
                                 }
                             },
                             false},
                    LinkCase{"staging folder swapped for a link as soon as it is made",
                             [](const platform::Folder& folder, std::string_view name) noexcept {
                                 if (name == StagingFolder::packageName) {
                                     replaceByLink(folder.path());
                                 }
                             },
                             true}),
    BehaviourName{});

// The quiet program, with its output thrown away.
pid_t startProgram(const Installations& scene, const std::string& package) {
    scene.writeFile("registry.reg",
                    "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Corvane\\Syndal USB]\n\"Path\"=\"" +
                        scene.host() + "/Syndal\"\n");
    std::filesystem::create_directories(scene.host() + "/Syndal");
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::setenv("TOCKIT_REGISTRY", scene.pathOf("registry.reg").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", scene.pathOf("cache").c_str(), 1);
        ::unsetenv("WINEPREFIX");
        ::execl(TOCKIT_INSTALLER_PROGRAM, TOCKIT_INSTALLER_PROGRAM, "--quiet", package.c_str(),
                nullptr);
        ::_exit(127);
    }
    return child;
}

// The program, sent SIGTERM or SIGINT at a random moment of its run while it replaces an
// earlier version of a package of many files.
TEST(CrashConsistencyTest, SignalLeavesTheInstallFolderWhollyOldOrWhollyNew) {
    Installations scene;
    std::vector<PlannedEntry> earlierEntries = validPackage("old");
    std::vector<PlannedEntry> laterEntries = validPackage("new");
    for (int index = 0; index < 800; ++index) {
        const std::string name = "dir" + std::to_string(index % 8) + "/" + std::to_string(index);
        earlierEntries.push_back(file(name, "old"));
        laterEntries.push_back(file(name, "new"));
    }
    const std::string earlier = scene.package("earlier.zip", earlierEntries);
    const std::string later = scene.package("later.zip", laterEntries);
    scene.reset(earlier);
    const std::string before = scene.snapshot();
    const auto started = std::chrono::steady_clock::now();
    int status = 0;
    const pid_t uninterrupted = startProgram(scene, later);
    ASSERT_EQ(::waitpid(uninterrupted, &status, 0), uninterrupted);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const auto runTime = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);
    const std::string after = scene.snapshot();

    std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<std::int64_t> moment(0, runTime.count());
    for (const int signalNumber : {SIGTERM, SIGINT, SIGTERM, SIGINT}) {
        scene.reset(earlier);
        const pid_t child = startProgram(scene, later);
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        ::kill(child, signalNumber);
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        scene.recover();
        const std::string recovered = scene.snapshot();
        EXPECT_TRUE(recovered == before || recovered == after);
        EXPECT_EQ(stagingFoldersIn(scene.host()), 0);
    }
}

}  // namespace
