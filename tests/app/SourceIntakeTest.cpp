#include <gtest/gtest.h>

#include <filesystem>

#include "app/SourceIntake.h"
#include "tests/app/FakeDownloader.h"
#include "tests/app/TestPackages.h"
#include "tests/support/ScratchFolder.h"

using namespace testpackages;

namespace {

struct AddressCase {
    std::string text;
    bool address;
};

class AddressDetection : public testing::TestWithParam<AddressCase> {};

TEST_P(AddressDetection, FindsTheSchemeAnywhereInAnyCase) {
    EXPECT_EQ(isAddress(GetParam().text), GetParam().address) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, AddressDetection,
                         testing::Values(AddressCase{"http://example.test/tockit.zip", true},
                                         AddressCase{"https://example.test/tockit.zip", true},
                                         AddressCase{"HTTP://EXAMPLE.TEST/TOCKIT.ZIP", true},
                                         AddressCase{"hTtPs://example.test/t.zip", true},
                                         AddressCase{"see http://example.test/t.zip", true},
                                         AddressCase{"ftp://example.test/t.zip", false},
                                         AddressCase{"http:/example.test", false},
                                         AddressCase{"/home/user/http/tockit.zip", false},
                                         AddressCase{"c:\\temp\\tockit.zip", false},
                                         AddressCase{"", false}));

class Intake : public testing::Test {
protected:
    IntakeOutcome take(const std::string& text, FakeDownloader& downloader) const {
        return takeSource(text, {downloader, target, scratch.pathOf("App"), {}});
    }

    std::string validPackageFile() const {
        writePackage(validPackage(), scratch.pathOf("package.zip"));
        return scratch.pathOf("package.zip");
    }

    std::string zipBytes() const {
        return testsupport::ScratchFolder::readFile(validPackageFile());
    }

    testsupport::ScratchFolder scratch;
    const std::string target = scratch.pathOf("temp.txt");
};

TEST_F(Intake, EmptyTextAsksForASourceAndFocusesIt) {
    FakeDownloader downloader(platform::DownloadResult::completed);
    const IntakeOutcome outcome = take("", downloader);
    EXPECT_EQ(outcome.verdict, IntakeOutcome::refused);
    EXPECT_EQ(outcome.message, IDS_SOURCE_REQUIRED);
    EXPECT_TRUE(outcome.focusSource);
    EXPECT_TRUE(downloader.addresses.empty());
}

TEST_F(Intake, LocalTextThatIsNoReadableFileIsMissing) {
    std::filesystem::create_directory(scratch.pathOf("a folder"));
    for (const std::string& text : {std::string("   "), std::string("ftp://example.test/t.zip"),
                                    scratch.pathOf("absent.zip"), scratch.pathOf("a folder")}) {
        FakeDownloader downloader(platform::DownloadResult::completed);
        const IntakeOutcome outcome = take(text, downloader);
        EXPECT_EQ(outcome.verdict, IntakeOutcome::refused) << text;
        EXPECT_EQ(outcome.message, IDS_FILE_MISSING) << text;
        EXPECT_TRUE(outcome.focusSource) << text;
        EXPECT_TRUE(downloader.addresses.empty()) << text;
    }
}

TEST_F(Intake, FailedDownloadIsReportedWithoutMovingTheFocus) {
    FakeDownloader downloader(platform::DownloadResult::failed);
    const IntakeOutcome outcome = take("HTTPS://example.test/t.zip", downloader);
    EXPECT_EQ(outcome.verdict, IntakeOutcome::refused);
    EXPECT_EQ(outcome.message, IDS_DOWNLOAD_FAILED);
    EXPECT_FALSE(outcome.focusSource);
    EXPECT_EQ(downloader.addresses, std::vector<std::string>{"HTTPS://example.test/t.zip"});
}

TEST_F(Intake, CancelledDownloadEndsWithoutAMessage) {
    FakeDownloader downloader(platform::DownloadResult::cancelled);
    const IntakeOutcome outcome = take("http://example.test/t.zip", downloader);
    EXPECT_EQ(outcome.verdict, IntakeOutcome::cancelled);
    EXPECT_EQ(outcome.message, std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(scratch.pathOf("App")));
}

TEST_F(Intake, DownloadedPackageIsInstalledFromTheTargetWhichThenStandsForTheText) {
    FakeDownloader downloader(platform::DownloadResult::completed, zipBytes());
    const IntakeOutcome outcome = take("look at http://example.test/t.zip", downloader);
    EXPECT_EQ(outcome.verdict, IntakeOutcome::installed);
    EXPECT_EQ(outcome.appName, "Mode X");
    EXPECT_EQ(outcome.source, target);
    EXPECT_EQ(downloader.addresses, std::vector<std::string>{"look at http://example.test/t.zip"});
    EXPECT_EQ(testsupport::ScratchFolder::readFile(scratch.pathOf("App/a.bin")), "code");
}

TEST_F(Intake, DownloadedErrorPageIsNotAValidPackage) {
    FakeDownloader downloader(platform::DownloadResult::completed, "<html>404</html>");
    const IntakeOutcome outcome = take("http://example.test/t.zip", downloader);
    EXPECT_EQ(outcome.verdict, IntakeOutcome::refused);
    EXPECT_EQ(outcome.message, IDS_NOT_VALID);
    EXPECT_FALSE(outcome.focusSource);
    EXPECT_EQ(outcome.source, target);
}

TEST_F(Intake, LocalPackageIsInstalledAndKeepsItsText) {
    FakeDownloader downloader(platform::DownloadResult::failed);
    const std::string package = validPackageFile();
    const IntakeOutcome outcome = take(package, downloader);
    EXPECT_EQ(outcome.verdict, IntakeOutcome::installed);
    EXPECT_EQ(outcome.message, std::nullopt);
    EXPECT_EQ(outcome.source, package);
    EXPECT_TRUE(downloader.addresses.empty());
}

TEST_F(Intake, LocalFileThatIsNoPackageIsNotValid) {
    FakeDownloader downloader(platform::DownloadResult::failed);
    const IntakeOutcome outcome = take(scratch.writeFile("notes.txt", "hello"), downloader);
    EXPECT_EQ(outcome.verdict, IntakeOutcome::refused);
    EXPECT_EQ(outcome.message, IDS_NOT_VALID);
}

}  // namespace
