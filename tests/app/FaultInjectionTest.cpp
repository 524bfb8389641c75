// Faults injected into an installation, from the source to the last write: a write that fails
// partway, an install folder that is a file, a target that is a folder, a read-only file from
// an earlier install, an archive that ends early, a package too big for the disk, a download
// that breaks and one that stalls. Each must end with its message and leave the install folder
// exactly as it was, and no staging folder or lock file beside it.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>

#include "install/FreeSpace.h"
#include "install/SourceIntake.h"
#include "platform/curl/CurlDownloader.h"
#include "tests/app/BehaviourName.h"
#include "tests/app/FolderSnapshot.h"
#include "tests/app/TestPackages.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/ScratchFolder.h"
#include "zip/CZipReader.h"

namespace {

using behaviourcases::PrintTo;

namespace fs = std::filesystem;
using namespace testpackages;
using testsupport::ScratchFolder;

// A host with an install folder holding files of its own, a read-only one among them.
class Scene {
public:
    Scene() {
        fs::create_directories(scratch.pathOf("host/App/sub"));
        scratch.writeFile("host/App/a.bin", "old code");
        ::chmod(scratch.writeFile("host/App/keep.txt", "from an earlier install").c_str(), 0444);
    }

    std::string package(const std::vector<PlannedEntry>& entries) const {
        writePackage(entries, scratch.pathOf("package.zip"));
        return scratch.pathOf("package.zip");
    }

    IntakeOutcome take(const std::string& text) {
        return takeSource(text, {downloader, downloads, installFolder(), {}});
    }

    std::string installFolder() const { return scratch.pathOf("host/App"); }

    ScratchFolder scratch;
    testsupport::LoopbackHttpServer server;
    platform::CurlDownloader downloader{
        {.connect = std::chrono::seconds(5), .stall = std::chrono::seconds(1)}};
    platform::DownloadCache downloads{scratch.pathOf("cache")};
};

struct Fault {
    const char* behaviour;
    // Prepares the fault and returns the text the user gives.
    std::function<std::string(Scene&)> inject;
    StringId message;
};

class InjectedFault : public testing::TestWithParam<Fault> {};

TEST_P(InjectedFault, EndsWithItsMessageAndChangesNothing) {
    Scene scene;
    const std::string source = GetParam().inject(scene);
    const std::string before = snapshotOf(scene.installFolder());

    const IntakeOutcome outcome = scene.take(source);

    EXPECT_EQ(outcome.verdict, IntakeOutcome::refused);
    EXPECT_EQ(outcome.message, GetParam().message);
    EXPECT_EQ(snapshotOf(scene.installFolder()), before);
    std::vector<std::string> besideTheInstallFolder;
    for (const auto& entry : fs::directory_iterator(scene.scratch.pathOf("host"))) {
        besideTheInstallFolder.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(besideTheInstallFolder, std::vector<std::string>{"App"});
}

std::vector<PlannedEntry> failingLastEntry() {
    std::vector<PlannedEntry> entries = validPackage("new code");
    entries.push_back(file("keep.txt", "replacement"));
    entries.push_back(withData(file("z.bin", "last"), "\xff\xff\xff\xff"));
    return entries;
}

// Entries that declare more bytes than the install folder's file system has free.
std::vector<PlannedEntry> packageBiggerThanTheDisk(const std::string& folder) {
    const std::uintmax_t available = fs::space(folder).available;
    std::vector<PlannedEntry> entries = validPackage();
    for (std::uintmax_t declared = 0; declared <= available; declared += 0xFFFFFFFF) {
        PlannedEntry huge = file("huge" + std::to_string(entries.size()) + ".bin", "x");
        huge.central.uncompressedSize = 0xFFFFFFFF;
        entries.push_back(huge);
    }
    return entries;
}

INSTANTIATE_TEST_SUITE_P(
    FaultInjectionTest, InjectedFault,
    testing::Values(
        Fault{"install folder path that is a file",
              [](Scene& scene) {
                  fs::remove_all(scene.installFolder());
                  scene.scratch.writeFile("host/App", "a file");
                  return scene.package(validPackage());
              },
              IDS_CANNOT_WRITE},
        Fault{"target that is a folder",
              [](Scene& scene) {
                  std::vector<PlannedEntry> entries = validPackage();
                  entries.push_back(file("sub", "a file where a folder is"));
                  return scene.package(entries);
              },
              IDS_NOT_VALID},
        Fault{"read-only file from an earlier install and a damaged entry after its replacement",
              [](Scene& scene) { return scene.package(failingLastEntry()); }, IDS_NOT_VALID},
        Fault{"archive that ends early",
              [](Scene& scene) {
                  const std::string path = scene.package(validPackage(std::string(5000, 'c')));
                  fs::resize_file(path, fs::file_size(path) * 2 / 3);
                  return path;
              },
              IDS_NOT_VALID},
        Fault{"download that breaks midway",
              [](Scene& scene) {
                  ZipArchiveBuilder builder;
                  for (const PlannedEntry& entry : validPackage(std::string(50000, 'c'))) {
                      builder.add(entry);
                  }
                  scene.server.serveCutBody("/cut.zip", builder.build());
                  return scene.server.url("/cut.zip");
              },
              IDS_DOWNLOAD_FAILED},
        Fault{"download that stalls",
              [](Scene& scene) {
                  scene.server.serveStall("/stall.zip", std::string(50000, 'P'));
                  return scene.server.url("/stall.zip");
              },
              IDS_DOWNLOAD_FAILED}),
    BehaviourName{});

// The package is judged by its declared sizes before anything is written: not even a staging
// folder comes and goes beside the install folder, which would change the host folder's time.
TEST(FaultInjectionTest, PackageBiggerThanTheFreeSpaceIsRefusedBeforeAnythingIsWritten) {
    Scene scene;
    const std::string package = scene.package(packageBiggerThanTheDisk(scene.installFolder()));
    const std::string before = snapshotOf(scene.scratch.pathOf("host"));

    const IntakeOutcome outcome = scene.take(package);

    EXPECT_EQ(outcome.message, IDS_CANNOT_WRITE);
    EXPECT_EQ(outcome.messageArguments.back(), std::strerror(ENOSPC));
    EXPECT_EQ(snapshotOf(scene.scratch.pathOf("host")), before);
}

TEST(FaultInjectionTest, FreeSpaceIsJudgedByTheSizesTheEntriesDeclare) {
    Scene scene;
    CZipReader fitting;
    fitting.openArchive(scene.package(validPackage()).c_str(), CZipStore::openReadOnly, 0);
    EXPECT_TRUE(packageFitsInFreeSpace(fitting, scene.installFolder() + "/missing/folder"));
    CZipReader tooBig;
    tooBig.openArchive(scene.package(packageBiggerThanTheDisk(scene.installFolder())).c_str(),
                       CZipStore::openReadOnly, 0);
    EXPECT_FALSE(packageFitsInFreeSpace(tooBig, scene.installFolder()));
}

// Writes beyond a file size limit fail with EFBIG (the signal that would otherwise end the
// process is ignored), so an installation run under the limit fails in the middle of an
// entry. It runs in a child process, which reports the message it ended with.
TEST(FaultInjectionTest, WriteThatFailsPartwayEndsWithItsMessageAndChangesNothing) {
    Scene scene;
    const std::string package = scene.package(validPackage(std::string(1 << 20, 'c')));
    const std::string before = snapshotOf(scene.installFolder());

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{256 * 1024, 256 * 1024};
        std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const IntakeOutcome outcome = scene.take(package);
        ::_exit(outcome.message ? *outcome.message : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), IDS_CANNOT_WRITE);
    EXPECT_EQ(snapshotOf(scene.installFolder()), before);
    EXPECT_EQ(stagingFoldersIn(scene.scratch.pathOf("host")), 0);

    // Without the limit the same package installs: the limit alone made it fail.
    EXPECT_EQ(scene.take(package).verdict, IntakeOutcome::installed);
}

}  // namespace
