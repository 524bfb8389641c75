// Installations stopped at every step, by a crash or a signal, and links put in their way:
// once the next installer has recovered, the install folder is wholly old or wholly new,
// nothing of the installation is left beside it, and nothing was written outside it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <random>

#include "install/PackageInstaller.h"
#include "install/StagingFolder.h"
#include "platform/Folder.h"
#include "tests/install/InstallerTesting.h"

namespace {

namespace fs = std::filesystem;
using namespace installertesting;

// The file system changes seen so far (by any thread), and the one a child dies before.
std::atomic<int> changesSeen = 0;
int dieBefore = 0;

void countAndDie(const platform::Folder&, std::string_view) noexcept {
    if (++changesSeen == dieBefore) {
        ::_exit(0);  // as kill -9: no destructor runs
    }
}

class Crash : public testing::Test {
protected:
    ~Crash() override { platform::setMutationHook(nullptr); }

    // A new host as a finished installation of `earlier` leaves it ("": nothing installed). Each
    // is a new folder: removing thousands of files costs more than making them.
    void reset(const std::string& earlier) {
        host = scratch.pathOf("host" + std::to_string(++generation));
        fs::create_directories(host);
        if (!earlier.empty()) {
            ASSERT_TRUE(installPackage(earlier, host + "/App").installed);
        }
    }
    std::string snapshot() const { return listing(host + "/App", Times::ofFiles); }

    // The next installation, which recovers before it refuses its damaged package.
    void recover() const {
        std::vector<PlannedEntry> damaged = validPackage();
        damaged.push_back(file("z.bin", "last"));
        damaged.back().storedData = "\xff\xff\xff\xff";
        EXPECT_FALSE(installPackage(scratch.writeFile("damaged.zip", zipOf(damaged)), host + "/App")
                         .installed);
    }
    void expectRecoveredTo(const std::string& before, const std::string& after) const {
        recover();
        const std::string recovered = snapshot();
        EXPECT_TRUE(recovered == before || recovered == after) << recovered;
        EXPECT_EQ(listing(host).find(StagingFolder::namePrefix), std::string::npos);
    }

    // Installs `package` in a forked child that dies before the file system change `dieBefore`;
    // true when it died there, as a killed installer would.
    bool diesInstalling(const std::string& package) const {
        changesSeen = 0;
        const pid_t child = ::fork();
        if (child == 0) {
            platform::setMutationHook(countAndDie);
            installPackage(package, host + "/App");
            ::_exit(1);
        }
        int status = 0;
        return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
               WEXITSTATUS(status) == 0;
    }

    testsupport::ScratchFolder scratch;
    std::string host;
    int generation = 0;
};

TEST_F(Crash, AtEveryStepLeavesTheInstallFolderWhollyOldOrWhollyNew) {
    const std::string descriptorFile = descriptor();
    const struct {
        const char* behaviour;
        std::vector<PlannedEntry> earlier;  // empty: the first installation
        std::vector<PlannedEntry> later;
    } upgrades[] = {
        {"first installation", {}, validPackage()},
        {"files changed, added in a new folder, and kept",
         {file("x.app", descriptorFile), file("a.bin", "old"), file("p.bin", "old"),
          file("d/b.bin", "old"), file("kept.bin", "old")},
         {file("x.app", descriptorFile), file("a.bin", "new"), file("p.bin", "new"),
          file("d/b.bin", "new"), file("new/c.bin", "new")}},
    };
    for (const auto& upgrade : upgrades) {
        SCOPED_TRACE(upgrade.behaviour);
        const std::string earlier =
            upgrade.earlier.empty() ? "" : scratch.writeFile("earlier.zip", zipOf(upgrade.earlier));
        const std::string later = scratch.writeFile("later.zip", zipOf(upgrade.later));
        reset(earlier);
        const std::string before = snapshot();
        platform::setMutationHook(countAndDie);
        changesSeen = 0;
        dieBefore = 0;
        ASSERT_TRUE(installPackage(later, host + "/App").installed);
        platform::setMutationHook(nullptr);
        const int changes = changesSeen;
        const std::string after = snapshot();
        ASSERT_NE(after, before);

        for (dieBefore = 1; dieBefore <= changes; ++dieBefore) {
            SCOPED_TRACE(dieBefore);
            reset(earlier);
            ASSERT_TRUE(diesInstalling(later));
            expectRecoveredTo(before, after);
        }
    }
}

// A folder of the staging name that others may enter was not made by an installer of this user:
// its journal could move the install folder's files anywhere, so it is neither undone nor removed.
TEST_F(Crash, LeftoverThatOthersMayEnterIsNotTrusted) {
    reset(scratch.writeFile("earlier.zip", zipOf(validPackage("old"))));
    dieBefore = 12;  // past the journal, within the placement
    ASSERT_TRUE(diesInstalling(scratch.writeFile("later.zip", zipOf(validPackage("new")))));
    for (const auto& entry : fs::directory_iterator(host)) {
        fs::permissions(entry.path(), fs::perms::others_exec, fs::perm_options::add);
    }
    const std::string left = listing(host, Times::ofAll);
    ASSERT_NE(left.find(StagingFolder::namePrefix), std::string::npos);
    recover();
    EXPECT_EQ(listing(host, Times::ofAll), left);
}

// A link put in place of a folder of the installation when it changes the file system by
// `trigger`: the App folder's sub/ once planned, or the folder changed, as soon as it is made.
std::string trigger;
std::string sub;
bool disturbed = false;

void linkInTheWay(const platform::Folder& folder, std::string_view name) noexcept {
    const std::string path = trigger == "journal.tmp" ? sub : folder.path();
    if (name == trigger && !std::exchange(disturbed, true)) {
        fs::rename(path, fs::path(path).parent_path() / "moved-away");
        fs::create_directory_symlink(fs::path(sub).parent_path().parent_path() / "outside", path);
    }
}

TEST_F(Crash, LinkPutInTheWayReceivesNothing) {
    std::vector<PlannedEntry> entries = validPackage();
    entries.push_back(file("sub/new.bin", "new"));
    const std::string package = scratch.writeFile("package.zip", zipOf(entries));
    // The journal is written once the plan is made; the staging folder is made with its package.
    for (const auto& [name, installs] : {std::pair{"journal.tmp", false}, {"package", true}}) {
        SCOPED_TRACE(name);
        reset("");
        fs::create_directories(host + "/App/sub");
        fs::create_directories(host + "/outside");
        std::tie(trigger, sub, disturbed) = std::tuple(name, host + "/App/sub", false);
        platform::setMutationHook(linkInTheWay);
        EXPECT_EQ(installPackage(package, host + "/App").installed, installs);
        platform::setMutationHook(nullptr);
        EXPECT_TRUE(disturbed);
        EXPECT_EQ(listing(host + "/outside"), "");
        EXPECT_EQ(listing(host).find(StagingFolder::namePrefix), std::string::npos);
    }
}

// The quiet program, sent SIGTERM or SIGINT at a random moment of its run while it replaces an
// earlier version of a package of many files.
TEST_F(Crash, SignalLeavesTheInstallFolderWhollyOldOrWhollyNew) {
    std::vector<PlannedEntry> earlier = validPackage("old");
    std::vector<PlannedEntry> later = validPackage("new");
    for (int index = 0; index < 800; ++index) {
        earlier.push_back(
            file("d" + std::to_string(index % 8) + "/" + std::to_string(index), "old"));
        later.push_back(file(earlier.back().name, "new"));
    }
    const std::string package = scratch.writeFile("later.zip", zipOf(later));
    const std::string old = scratch.writeFile("earlier.zip", zipOf(earlier));
    // Runs the program, and sends `signal` after `delay` seconds.
    const auto run = [&](const std::string& signal, double delay) {
        const std::string registry = scratch.writeFile(
            "registry.reg", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Corvane\\Syndal USB]\n" +
                                ("\"Path\"=\"" + host + "/App\"\n"));
        return std::system(("env -u WINEPREFIX TOCKIT_REGISTRY=" + registry +
                            " XDG_CACHE_HOME=" + scratch.pathOf("cache") + " " +
                            TOCKIT_INSTALLER_PROGRAM + " --quiet " + package + " >/dev/null 2>&1" +
                            (signal.empty() ? ""
                                            : " & sleep " + std::to_string(delay) + "; kill -" +
                                                  signal + " $!; wait"))
                               .c_str());
    };
    reset(old);
    const std::string before = snapshot();
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(run("", 0), 0);
    const std::chrono::duration<double> runTime = std::chrono::steady_clock::now() - started;
    const std::string after = snapshot();
    std::mt19937 random{std::random_device{}()};
    for (const char* signal : {"TERM", "INT", "TERM", "INT"}) {
        reset(old);
        run(signal, std::uniform_real_distribution<double>(0, runTime.count())(random));
        expectRecoveredTo(before, after);
    }
}

}  // namespace
