// Installing a package: which descriptor is taken, what it must name, and that a refused
// package leaves the install folder exactly as it was, and a place that cannot be written is
// named rather than the package blamed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "install/PackageInstaller.h"
#include "platform/TerminationDeferral.h"
#include "tests/app/BehaviourName.h"
#include "tests/app/FolderSnapshot.h"
#include "tests/app/TestPackages.h"
#include "tests/support/ScratchFolder.h"

namespace fs = std::filesystem;
using namespace testpackages;
using testsupport::ScratchFolder;

namespace {

using behaviourcases::PrintTo;

struct InstallCase {
    const char* behaviour;
    std::vector<PlannedEntry> entries;
    std::string installedFiles;  // empty: refused
    std::string appName = "Mode X";
};

class Installing : public testing::TestWithParam<InstallCase> {
protected:
    InstallResult install(const std::vector<PlannedEntry>& entries) const {
        writePackage(entries, scratch.pathOf("package.zip"));
        return installPackage(scratch.pathOf("package.zip"), scratch.pathOf("host") + "\\App");
    }
    ScratchFolder scratch;
};

TEST_P(Installing, InstallsEveryEntryOrRefusesAndLeavesNothing) {
    const InstallResult result = install(GetParam().entries);
    const bool accepted = !GetParam().installedFiles.empty();
    EXPECT_EQ(result.installed, accepted);
    EXPECT_EQ(result.appName, accepted ? GetParam().appName : "");
    EXPECT_EQ(filesIn(scratch.pathOf("host/App")), GetParam().installedFiles);
    // On a refusal even the host folder, made only for the staging folder, is gone.
    EXPECT_EQ(fs::exists(scratch.pathOf("host")), accepted);
    EXPECT_EQ(snapshotOf(scratch.path()).find(".tockit-staging-"), std::string::npos);
}

const std::string mebibyte = [] {
    std::string text = descriptor("a.bin", "p.bin");
    text.resize(1024 * 1024, ';');  // comment lines
    return text;
}();
const PlannedEntry code = file("a.bin", "code");
const PlannedEntry parameters = file("p.bin", "par");

INSTANTIATE_TEST_SUITE_P(
    Packages, Installing,
    testing::Values(
        InstallCase{"first .app after other entries is the descriptor, a later one a file",
                    {code, parameters, file("x.app", descriptor("a.bin", "p.bin")),
                     file("y.app", "[Tockit]\nCODE=none\n")},
                    "a.bin p.bin x.app y.app"},
        InstallCase{"the descriptor checked is the last of its path, the one installed",
                    {file("x.app", descriptor("a.bin", "p.bin")), code, parameters,
                     file("x.app", descriptor("gone.bin", "p.bin"))},
                    ""},
        InstallCase{"upper-case .APP is no descriptor",
                    {file("X.APP", descriptor("a.bin", "p.bin")), code, parameters},
                    ""},
        InstallCase{"CODE and PAR may name one entry",
                    {file("x.apps", descriptor("a.bin", "a.bin")), code},
                    "a.bin x.apps"},
        InstallCase{
            "names compare without regard to case",
            {file("x.app", descriptor("a.bin", "P.bin")), file("A.BIN", "c"), file("p.BIN", "p")},
            "A.BIN p.BIN x.app"},
        InstallCase{"entries in a folder need the folder in CODE and PAR",
                    {file("dir/x.app", descriptor("a.bin", "p.bin")), file("dir/a.bin", "c"),
                     file("dir/p.bin", "p")},
                    ""},
        InstallCase{"entries in a folder named with the folder install below it",
                    {file("dir/x.app", descriptor("dir\\a.bin", "dir\\p.bin")),
                     file("dir/a.bin", "c"), file("dir/p.bin", "p"), folder("empty/")},
                    "dir/a.bin dir/p.bin dir/x.app"},
        InstallCase{"no Name installs with an empty name",
                    {file("x.app", "[Tockit]\nCODE=a.bin\nPAR=a.bin\n"), code},
                    "a.bin x.app",
                    ""},
        InstallCase{"no CODE", {file("x.app", "[Tockit]\nPAR=a.bin\n"), code}, ""},
        InstallCase{
            "stored entries with data descriptors",
            {{.name = "x.app",
              .content = descriptor("a.bin", "a.bin"),
              .method = 0,
              .descriptor = DataDescriptor::withSignature},
             {.name = "a.bin", .content = "c", .descriptor = DataDescriptor::withSignature}},
            "a.bin x.app"},
        InstallCase{"descriptor of one mebibyte",
                    {file("x.app", mebibyte), code, parameters},
                    "a.bin p.bin x.app"},
        InstallCase{
            "descriptor over one mebibyte", {file("x.app", mebibyte + ";"), code, parameters}, ""},
        InstallCase{"encrypted descriptor", {encrypted("x.app"), code, parameters}, ""},
        InstallCase{"encrypted CODE entry",
                    {file("x.app", descriptor("a.bin", "a.bin")), encrypted("a.bin")},
                    ""},
        InstallCase{"descriptor failing its CRC",
                    {{.name = "x.app",
                      .content = descriptor("a.bin", "a.bin"),
                      .central = {.crc32 = 1},
                      .local = {.crc32 = 1}},
                     code},
                    ""},
        InstallCase{"a stored path climbing out of its folder",
                    {file("x.app", descriptor("a.bin", "a.bin")), code, file("../up.bin", "x")},
                    ""},
        InstallCase{"a folder entry where a file entry went",
                    {file("x.app", descriptor("a.bin", "a.bin")), code, folder("a.bin/")},
                    ""}),
    BehaviourName{});

TEST_F(Installing, NotAZipArchiveIsRefused) {
    scratch.writeFile("package.zip", "<html>Not found</html>");
    EXPECT_FALSE(installPackage(scratch.pathOf("package.zip"), scratch.pathOf("App")).installed);
    EXPECT_EQ(filesIn(scratch.path()), "package.zip");
}

TEST_F(Installing, LaterEntryOfTheSameNameWins) {
    ASSERT_TRUE(install({file("x.app", descriptor("a.bin", "a.bin")), file("a.bin", "first"),
                         file("a.bin", "second")})
                    .installed);
    EXPECT_EQ(ScratchFolder::readFile(scratch.pathOf("host/App/a.bin")), "second");
}

TEST_F(Installing, HostPathLongerThanAnyPieceOfAStoredName) {
    const std::string host = scratch.pathOf(std::string(200, 'h') + "/" + std::string(200, 'h'));
    fs::create_directories(host);
    writePackage(validPackage(), scratch.pathOf("package.zip"));
    EXPECT_TRUE(installPackage(scratch.pathOf("package.zip"), host + "/App").installed);
    EXPECT_EQ(filesIn(host + "/App"), "a.bin p.bin x.app");
}

TEST_F(Installing, TerminationAskedForStopsTheExtractionAndLeavesNothing) {
    writePackage(validPackage(), scratch.pathOf("package.zip"));
    // The signal held off is raised again when the deferral ends, and ends the process.
    EXPECT_EXIT(
        {
            const platform::TerminationDeferral deferral;
            std::raise(SIGTERM);
            const InstallResult result =
                installPackage(scratch.pathOf("package.zip"), scratch.pathOf("host/App"));
            if (result.failure == InstallResult::interrupted &&
                !fs::exists(scratch.pathOf("host"))) {
                std::cerr << "interrupted, nothing left";
            }
        },
        testing::KilledBySignal(SIGTERM), "interrupted, nothing left");
}

// Makes a folder refuse new entries while it lives: by its permissions, and for root, whom they
// do not stop, by the immutable attribute where the file system has one.
class UnwritableFolder {
public:
    explicit UnwritableFolder(const std::string& folder)
        : descriptor(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        ::fchmod(descriptor, 0555);
        setImmutable(true);
        refusesEntries = ::faccessat(descriptor, ".", W_OK, AT_EACCESS) != 0;
    }
    ~UnwritableFolder() {
        setImmutable(false);
        ::fchmod(descriptor, 0755);
        ::close(descriptor);
    }
    UnwritableFolder(const UnwritableFolder&) = delete;
    UnwritableFolder& operator=(const UnwritableFolder&) = delete;

    bool refusesEntries = false;

private:
    void setImmutable(bool immutable) const {
        int flags = 0;
        if (::ioctl(descriptor, FS_IOC_GETFLAGS, &flags) == 0) {
            flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
            ::ioctl(descriptor, FS_IOC_SETFLAGS, &flags);
        }
    }

    int descriptor;
};

TEST_F(Installing, PlaceThatCannotBeWrittenIsNamedWithTheSystemsReason) {
    // The unwritable folder, and the start of the path blamed.
    const std::pair<const char*, const char*> cases[] = {
        {"host/App", "host/App/"},
        {"host", "host/.tockit-staging-"},
    };
    fs::create_directories(scratch.pathOf("host/App"));
    for (const auto& [unwritable, blamed] : cases) {
        const UnwritableFolder folder(scratch.pathOf(unwritable));
        if (!folder.refusesEntries) {
            GTEST_SKIP() << "nothing stops this process from writing into " << unwritable;
        }
        const InstallResult result = install(validPackage());
        EXPECT_FALSE(result.installed);
        EXPECT_EQ(result.failure, InstallResult::cannotWrite) << unwritable;
        EXPECT_TRUE(result.failurePath.starts_with(scratch.pathOf(blamed))) << result.failurePath;
        EXPECT_TRUE(result.failureReason == std::strerror(EACCES) ||
                    result.failureReason == std::strerror(EPERM))
            << result.failureReason;
    }
}

// An install folder with files of its own, old times and a read-only file, so that any change
// to it shows in its snapshot.
class AllOrNothing : public Installing {
protected:
    void SetUp() override {
        fs::create_directories(scratch.pathOf("host/App/sub"));
        scratch.writeFile("host/App/a.bin", "old code");
        chmod(scratch.writeFile("host/App/keep.txt", "the user's").c_str(), 0444);
        for (const char* path :
             {"host/App/a.bin", "host/App/keep.txt", "host/App/sub", "host/App"}) {
            fs::last_write_time(scratch.pathOf(path),
                                fs::file_time_type::clock::now() - std::chrono::hours(100));
        }
    }
};

TEST_F(AllOrNothing, RefusalLeavesTheInstallFolderExactlyAsItWas) {
    const std::vector<PlannedEntry> refusals[] = {
        // A damaged last entry, after entries that would replace files.
        {file("x.app", descriptor("a.bin", "p.bin")), file("a.bin", "new"), parameters,
         withData(file("z.bin", "last"), "\xff\xff\xff\xff")},
        // The last entry's deflate stream ends before its declared size.
        {file("x.app", descriptor("a.bin", "p.bin")), file("a.bin", "new"), parameters,
         withData(file("z.bin", "0123456789"), ZipArchiveBuilder::deflateRaw("01"))},
        {file("x.app", descriptor("a.bin", "p.bin")), file("a.bin", "new"), parameters,
         encrypted("z.bin")},
        // Clashes: a folder where the install folder has a file, and the reverse.
        {file("x.app", descriptor("a.bin", "p.bin")), file("a.bin", "new"), parameters,
         file("keep.txt/inner.bin", "clash")},
        {file("x.app", descriptor("a.bin", "p.bin")), file("a.bin", "new"), parameters,
         file("sub", "clash")},
    };
    const std::string before = snapshotOf(scratch.pathOf("host/App"));
    for (const auto& entries : refusals) {
        EXPECT_FALSE(install(entries).installed) << entries.back().name;
        EXPECT_EQ(snapshotOf(scratch.pathOf("host/App")), before) << entries.back().name;
        EXPECT_EQ(stagingFoldersIn(scratch.pathOf("host")), 0);
    }
}

TEST_F(AllOrNothing, InstallFolderThatIsAFileIsRefusedUntouched) {
    fs::remove_all(scratch.pathOf("host/App"));
    scratch.writeFile("host/App", "a file");
    const std::string before = snapshotOf(scratch.pathOf("host"), FolderTimes::ignored);
    EXPECT_FALSE(install(validPackage()).installed);
    EXPECT_EQ(snapshotOf(scratch.pathOf("host"), FolderTimes::ignored), before);
}

TEST_F(AllOrNothing, ReinstallReplacesInstalledFilesEvenReadOnlyOnesAndKeepsOthers) {
    std::vector<PlannedEntry> first = validPackage("code 1");
    first[1].externalAttributes = 0x21;
    ASSERT_TRUE(install(first).installed);
    EXPECT_EQ(fs::status(scratch.pathOf("host/App/a.bin")).permissions() & fs::perms::owner_write,
              fs::perms::none);
    ASSERT_TRUE(install(validPackage("code 2")).installed);
    EXPECT_EQ(ScratchFolder::readFile(scratch.pathOf("host/App/a.bin")), "code 2");
    EXPECT_EQ(filesIn(scratch.pathOf("host/App")), "a.bin keep.txt p.bin x.app");
    EXPECT_EQ(stagingFoldersIn(scratch.pathOf("host")), 0);
}

}  // namespace
