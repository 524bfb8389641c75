#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>

#include "app/PackageInstaller.h"
#include "tests/app/FolderSnapshot.h"
#include "tests/app/TestPackages.h"
#include "tests/support/ScratchFolder.h"

namespace fs = std::filesystem;
using namespace testpackages;

namespace {

using Files = std::map<std::string, std::string>;

// Every file below `folder` by relative path, with its bytes.
Files filesIn(const std::string& folder) {
    Files files;
    if (!fs::is_directory(folder)) {
        return files;
    }
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[entry.path().lexically_relative(folder).string()] =
                testsupport::ScratchFolder::readFile(entry.path().string());
        }
    }
    return files;
}

std::string padded(std::string text, std::size_t size) {
    text.resize(size, ';');
    return text;
}

// A deflated entry whose data is `data` instead of the deflated content.
ZipEntrySpec withData(ZipEntrySpec entry, std::string data) {
    entry.storedData = std::move(data);
    return entry;
}

struct InstallCase {
    const char* behaviour;
    std::vector<ZipEntrySpec> entries;
    bool installed;
    std::string appName;
    Files files;  // what the install folder holds afterwards
};

class Installing : public testing::TestWithParam<InstallCase> {};

TEST_P(Installing, AcceptsAndInstallsOrRefusesAndWritesNothing) {
    const InstallCase& installCase = GetParam();
    testsupport::ScratchFolder scratch;
    const std::string package = scratch.pathOf("package.zip");
    writePackage(installCase.entries, package);
    const std::string installFolder = scratch.pathOf("host") + "\\App";

    const InstallResult result = installPackage(package, installFolder);

    EXPECT_EQ(result.installed, installCase.installed);
    EXPECT_EQ(result.appName, installCase.appName);
    EXPECT_EQ(filesIn(scratch.pathOf("host/App")), installCase.files);
    EXPECT_EQ(stagingFoldersIn(scratch.pathOf("host")), 0);
    if (!installCase.installed) {
        // The host folder was made only for the staging folder, and is gone with it.
        EXPECT_FALSE(fs::exists(scratch.pathOf("host")));
    }
}

const std::string mebibyte = padded(descriptor("a.bin", "p.bin"), 1024 * 1024);

INSTANTIATE_TEST_SUITE_P(
    Packages, Installing,
    testing::Values(
        InstallCase{"plain package",
                    validPackage(),
                    true,
                    "Mode X",
                    {{"x.app", descriptor("a.bin", "p.bin")}, {"a.bin", "code"}, {"p.bin", "par"}}},
        InstallCase{"first .app after other entries is the descriptor, a second is a file",
                    {file("a.bin", "code"), file("p.bin", "par"),
                     file("x.app", descriptor("a.bin", "p.bin")), file("y.app", "[Tockit]\n")},
                    true,
                    "Mode X",
                    {{"a.bin", "code"},
                     {"p.bin", "par"},
                     {"x.app", descriptor("a.bin", "p.bin")},
                     {"y.app", "[Tockit]\n"}}},
        InstallCase{"upper-case .APP is no descriptor",
                    {file("X.APP", descriptor("a.bin", "p.bin")), file("a.bin", "code"),
                     file("p.bin", "par")},
                    false,
                    "",
                    {}},
        InstallCase{"a name merely containing .app is the descriptor",
                    {file("x.apps.txt", descriptor("a.bin", "a.bin")), file("a.bin", "code")},
                    true,
                    "Mode X",
                    {{"x.apps.txt", descriptor("a.bin", "a.bin")}, {"a.bin", "code"}}},
        InstallCase{"CODE and PAR may name one entry",
                    {file("x.app", descriptor("a.bin", "a.bin")), file("a.bin", "code")},
                    true,
                    "Mode X",
                    {{"x.app", descriptor("a.bin", "a.bin")}, {"a.bin", "code"}}},
        InstallCase{"names compare without regard to case",
                    {file("x.app", descriptor("a.bin", "P.bin")), file("A.BIN", "code"),
                     file("p.BIN", "par")},
                    true,
                    "Mode X",
                    {{"x.app", descriptor("a.bin", "P.bin")}, {"A.BIN", "code"}, {"p.BIN", "par"}}},
        InstallCase{"entries in a folder need the folder in CODE and PAR",
                    {file("dir/x.app", descriptor("a.bin", "p.bin")), file("dir/a.bin", "code"),
                     file("dir/p.bin", "par")},
                    false,
                    "",
                    {}},
        InstallCase{"entries in a folder named with the folder install below it",
                    {file("dir/x.app", descriptor("dir\\a.bin", "dir\\p.bin")),
                     file("dir/a.bin", "code"), file("dir/p.bin", "par")},
                    true,
                    "Mode X",
                    {{"dir/x.app", descriptor("dir\\a.bin", "dir\\p.bin")},
                     {"dir/a.bin", "code"},
                     {"dir/p.bin", "par"}}},
        InstallCase{
            "folder entries make their folders",
            {folder("dir/"), folder("empty/"), file("x.app", descriptor("a.bin", "a.bin")),
             file("a.bin", "code"), file("dir/b.bin", "b")},
            true,
            "Mode X",
            {{"x.app", descriptor("a.bin", "a.bin")}, {"a.bin", "code"}, {"dir/b.bin", "b"}}},
        InstallCase{"no Name installs with an empty name",
                    {file("x.app", "[Tockit]\nCODE=a.bin\nPAR=a.bin\n"), file("a.bin", "code")},
                    true,
                    "",
                    {{"x.app", "[Tockit]\nCODE=a.bin\nPAR=a.bin\n"}, {"a.bin", "code"}}},
        InstallCase{"no CODE",
                    {file("x.app", "[Tockit]\nPAR=a.bin\n"), file("a.bin", "code")},
                    false,
                    "",
                    {}},
        InstallCase{"PAR naming no entry",
                    {file("x.app", descriptor("a.bin", "q.bin")), file("a.bin", "code")},
                    false,
                    "",
                    {}},
        InstallCase{"stored entries",
                    {{.name = "x.app", .content = descriptor("a.bin", "a.bin"), .method = 0},
                     {.name = "a.bin", .content = "code", .method = 0}},
                    true,
                    "Mode X",
                    {{"x.app", descriptor("a.bin", "a.bin")}, {"a.bin", "code"}}},
        InstallCase{
            "entries with data descriptors",
            {{.name = "x.app",
              .content = descriptor("a.bin", "a.bin"),
              .descriptor = DataDescriptor::withSignature},
             {.name = "a.bin", .content = "code", .descriptor = DataDescriptor::withSignature}},
            true,
            "Mode X",
            {{"x.app", descriptor("a.bin", "a.bin")}, {"a.bin", "code"}}},
        InstallCase{"a later entry of the same name wins",
                    {file("x.app", descriptor("a.bin", "a.bin")), file("a.bin", "first"),
                     file("a.bin", "second")},
                    true,
                    "Mode X",
                    {{"x.app", descriptor("a.bin", "a.bin")}, {"a.bin", "second"}}},
        InstallCase{"descriptor of exactly one mebibyte is read",
                    {file("x.app", mebibyte), file("a.bin", "code"), file("p.bin", "par")},
                    true,
                    "Mode X",
                    {{"x.app", mebibyte}, {"a.bin", "code"}, {"p.bin", "par"}}},
        InstallCase{"descriptor over one mebibyte is refused",
                    {file("x.app", mebibyte + ";"), file("a.bin", "code"), file("p.bin", "par")},
                    false,
                    "",
                    {}},
        InstallCase{"encrypted descriptor",
                    {encrypted("x.app", descriptor("a.bin", "a.bin")), file("a.bin", "code")},
                    false,
                    "",
                    {}},
        InstallCase{"encrypted CODE entry refuses the package",
                    {file("x.app", descriptor("a.bin", "a.bin")), encrypted("a.bin", "code")},
                    false,
                    "",
                    {}},
        InstallCase{"descriptor failing its CRC",
                    {{.name = "x.app",
                      .content = descriptor("a.bin", "a.bin"),
                      .central = {.crc32 = 1},
                      .local = {.crc32 = 1}},
                     file("a.bin", "code")},
                    false,
                    "",
                    {}},
        InstallCase{"deflate stream ending before the declared size",
                    {file("x.app", descriptor("a.bin", "a.bin")),
                     withData(file("a.bin", "0123456789"), ZipArchiveBuilder::deflateRaw("012"))},
                    false,
                    "",
                    {}},
        InstallCase{"damaged deflate data",
                    {file("x.app", descriptor("a.bin", "a.bin")),
                     withData(file("a.bin", "code"), std::string(16, '\xff'))},
                    false,
                    "",
                    {}},
        InstallCase{"a stored path climbing out of its folder",
                    {file("x.app", descriptor("a.bin", "a.bin")), file("a.bin", "code"),
                     file("../escaped.bin", "out")},
                    false,
                    "",
                    {}},
        InstallCase{
            "a folder entry where a file entry already went",
            {file("x.app", descriptor("a.bin", "a.bin")), file("a.bin", "code"), folder("a.bin/")},
            false,
            "",
            {}}),
    [](const testing::TestParamInfo<InstallCase>& info) {
        std::string name = info.param.behaviour;
        for (char& character : name) {
            character = std::isalnum(static_cast<unsigned char>(character)) ? character : '_';
        }
        return name;
    });

TEST(Installing, NotAZipArchiveIsRefused) {
    testsupport::ScratchFolder scratch;
    const std::string package = scratch.writeFile("package.zip", "<html>Not found</html>");
    EXPECT_FALSE(installPackage(package, scratch.pathOf("App")).installed);
    EXPECT_EQ(snapshotOf(scratch.path()).size(), 2u);  // the scratch folder and the package
}

TEST(Installing, PathClimbingOutWritesNothingOutside) {
    testsupport::ScratchFolder scratch;
    fs::create_directories(scratch.pathOf("host/App"));
    writePackage({file("x.app", descriptor("a.bin", "a.bin")), file("a.bin", "code"),
                  file("..\\..\\escaped.bin", "out"), file("../../escaped2.bin", "out")},
                 scratch.pathOf("package.zip"));
    // The staging folder comes and goes beside the install folder, which changes the host
    // folder's time.
    const auto before = snapshotOf(scratch.path(), FolderTimes::ignored);
    EXPECT_FALSE(
        installPackage(scratch.pathOf("package.zip"), scratch.pathOf("host/App")).installed);
    EXPECT_EQ(snapshotOf(scratch.path(), FolderTimes::ignored), before);
}

// An install folder with files of its own, old times and a read-only file, so that any change
// to it shows in its snapshot.
class AllOrNothing : public testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(scratch.pathOf("host/App/sub"));
        scratch.writeFile("host/App/a.bin", "old code");
        scratch.writeFile("host/App/keep.txt", "the user's");
        scratch.writeFile("host/App/sub/old.txt", "older");
        chmod(scratch.pathOf("host/App/keep.txt").c_str(), 0444);
        for (const char* path : {"host/App/a.bin", "host/App/keep.txt", "host/App/sub/old.txt",
                                 "host/App/sub", "host/App"}) {
            fs::last_write_time(scratch.pathOf(path),
                                fs::file_time_type::clock::now() - std::chrono::hours(100));
        }
    }

    InstallResult install(const std::vector<ZipEntrySpec>& entries) const {
        writePackage(entries, scratch.pathOf("package.zip"));
        return installPackage(scratch.pathOf("package.zip"), installFolder);
    }

    testsupport::ScratchFolder scratch;
    const std::string installFolder = scratch.pathOf("host") + "\\App";
};

struct RefusalCase {
    const char* behaviour;
    std::vector<ZipEntrySpec> entries;
};

class RefusedInstallation : public AllOrNothing, public testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusedInstallation, LeavesTheInstallFolderExactlyAsItWas) {
    const auto before = snapshotOf(scratch.pathOf("host/App"));
    EXPECT_FALSE(install(GetParam().entries).installed);
    EXPECT_EQ(snapshotOf(scratch.pathOf("host/App")), before);
    EXPECT_EQ(stagingFoldersIn(scratch.pathOf("host")), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, RefusedInstallation,
    testing::Values(
        RefusalCase{"damaged last entry",
                    {file("x.app", descriptor("a.bin", "p.bin")), file("a.bin", "new code"),
                     file("p.bin", "par"), withData(file("z.bin", "last"), "\xff\xff\xff\xff")}},
        RefusalCase{"last entry's stream ends early",
                    {file("x.app", descriptor("a.bin", "p.bin")), file("a.bin", "new code"),
                     file("p.bin", "par"),
                     withData(file("z.bin", "0123456789"), ZipArchiveBuilder::deflateRaw("01"))}},
        RefusalCase{"encrypted last entry",
                    {file("x.app", descriptor("a.bin", "p.bin")), file("a.bin", "new code"),
                     file("p.bin", "par"), encrypted("z.bin", "secret")}},
        RefusalCase{"a folder where the install folder has a file",
                    {file("x.app", descriptor("a.bin", "p.bin")), file("a.bin", "new code"),
                     file("p.bin", "par"), file("keep.txt/inner.bin", "clash")}},
        RefusalCase{"a file where the install folder has a folder",
                    {file("a.bin", "new code"), file("x.app", descriptor("a.bin", "p.bin")),
                     file("p.bin", "par"), file("sub", "clash")}},
        RefusalCase{"CODE naming no entry",
                    {file("x.app", descriptor("c.bin", "p.bin")), file("a.bin", "new code"),
                     file("p.bin", "par")}}),
    [](const testing::TestParamInfo<RefusalCase>& info) {
        std::string name = info.param.behaviour;
        for (char& character : name) {
            character = std::isalnum(static_cast<unsigned char>(character)) ? character : '_';
        }
        return name;
    });

TEST_F(AllOrNothing, InstallFolderThatIsAFileIsRefusedUntouched) {
    fs::remove_all(scratch.pathOf("host/App"));
    scratch.writeFile("host/App", "a file");
    const auto before = snapshotOf(scratch.pathOf("host"), FolderTimes::ignored);
    EXPECT_FALSE(install(validPackage()).installed);
    EXPECT_EQ(snapshotOf(scratch.pathOf("host"), FolderTimes::ignored), before);
}

TEST_F(AllOrNothing, ReinstallReplacesInstalledFilesAndKeepsOthers) {
    std::vector<ZipEntrySpec> first = validPackage("code 1", "par 1");
    first[1].externalAttributes = 0x21;  // read-only
    ASSERT_TRUE(install(first).installed);
    EXPECT_EQ(fs::status(scratch.pathOf("host/App/a.bin")).permissions() & fs::perms::owner_write,
              fs::perms::none);

    ASSERT_TRUE(install(validPackage("code 2", "par 2")).installed);

    EXPECT_EQ(filesIn(scratch.pathOf("host/App")), (Files{{"x.app", descriptor("a.bin", "p.bin")},
                                                          {"a.bin", "code 2"},
                                                          {"p.bin", "par 2"},
                                                          {"keep.txt", "the user's"},
                                                          {"sub/old.txt", "older"}}));
    EXPECT_EQ(stagingFoldersIn(scratch.pathOf("host")), 0);
}

}  // namespace
