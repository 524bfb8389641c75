#include <gtest/gtest.h>

#include <sstream>

#include "app/CommandLine.h"
#include "app/QuietInstall.h"
#include "app/res/StringTable.h"
#include "tests/app/FakeDownloader.h"
#include "tests/app/TestPackages.h"
#include "tests/support/ScratchFolder.h"

using namespace testpackages;

namespace {

class QuietInstall : public testing::Test {
protected:
    int run(const std::string& source, const std::string& registryText,
            FakeDownloader& downloader) {
        std::ostringstream outStream;
        std::ostringstream errStream;
        const int status =
            runQuietInstall(source, platform::RegistryFile::fromText(registryText), downloader,
                            scratch.pathOf("temp.txt"), outStream, errStream);
        out = outStream.str();
        err = errStream.str();
        return status;
    }

    std::string registry() const {
        return "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Corvane\\Syndal USB]\n\"Path\"=\"" +
               scratch.pathOf("host/Syndal") + "\"\n";
    }

    testsupport::ScratchFolder scratch;
    FakeDownloader noDownload{platform::DownloadResult::failed};
    std::string out;
    std::string err;
};

TEST_F(QuietInstall, InstalledPackagePrintsTheSuccessLine) {
    writePackage(validPackage(), scratch.pathOf("t.zip"));
    EXPECT_EQ(run(scratch.pathOf("t.zip"), registry(), noDownload), exitInstalled);
    EXPECT_EQ(out, "The Mode X Tockit was successfully installed!\n");
    EXPECT_EQ(err, "");
    EXPECT_EQ(testsupport::ScratchFolder::readFile(scratch.pathOf("host/App/a.bin")), "code");
}

TEST_F(QuietInstall, DownloadedPackageIsInstalled) {
    writePackage(validPackage(), scratch.pathOf("t.zip"));
    FakeDownloader downloader(platform::DownloadResult::completed,
                              testsupport::ScratchFolder::readFile(scratch.pathOf("t.zip")));
    EXPECT_EQ(run("http://127.0.0.1:1/t.zip", registry(), downloader), exitInstalled);
    EXPECT_EQ(downloader.addresses, std::vector<std::string>{"http://127.0.0.1:1/t.zip"});
}

TEST_F(QuietInstall, HostNotLocatedEndsWithStatusThree) {
    EXPECT_EQ(run("t.zip", "REGEDIT4\n", noDownload), exitHostNotLocated);
    EXPECT_EQ(err, loadString(IDS_HOST_NOT_FOUND) + "\n");
    EXPECT_EQ(out, "");

    const std::string withoutPath =
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Corvane\\Syndal USB]\n";
    EXPECT_EQ(run("t.zip", withoutPath, noDownload), exitHostNotLocated);
    EXPECT_EQ(err, loadString(IDS_REGISTRY_ERROR) + "\n");
}

TEST_F(QuietInstall, RefusalsEndWithStatusOneOnOneLine) {
    scratch.writeFile("notes.txt", "not a zip");
    const struct {
        std::string source;
        std::string message;
    } refusals[] = {
        {"", loadString(IDS_SOURCE_REQUIRED)},
        {scratch.pathOf("absent.zip"), loadString(IDS_FILE_MISSING)},
        {"https://127.0.0.1:1/t.zip", loadString(IDS_DOWNLOAD_FAILED)},
        {scratch.pathOf("notes.txt"),
         "The file selected is not a valid Tockit Zip file. Please select a different file to "
         "continue.  NOTE: Files must not have a directory structure within the zip file. Files "
         "must also have at a minimum one APP and two BIN files (application and parameter) to be "
         "considered valid."},
    };
    for (const auto& refusal : refusals) {
        EXPECT_EQ(run(refusal.source, registry(), noDownload), exitRefused) << refusal.source;
        EXPECT_EQ(err, refusal.message + "\n") << refusal.source;
        EXPECT_EQ(out, "") << refusal.source;
    }
}

}  // namespace
