// What the text the user gives becomes: an address to download, a file to install, or a
// refusal with its message.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "install/SourceIntake.h"
#include "tests/app/BehaviourName.h"
#include "tests/app/TestPackages.h"
#include "tests/support/ScratchFolder.h"

using platform::DownloadResult;

namespace {

using behaviourcases::PrintTo;

TEST(AddressDetection, FindsHttpOrHttpsAnywhereInAnyLetterCase) {
    for (const char* address : {"http://h/t.zip", "https://h/t.zip", "HTTP://H/T.ZIP",
                                "hTtPs://h/t.zip", "see http://h/t.zip"}) {
        EXPECT_TRUE(isAddress(address)) << address;
    }
    for (const char* path : {"ftp://h/t.zip", "http:/h", "/home/http/t.zip", "c:\\t.zip", ""}) {
        EXPECT_FALSE(isAddress(path)) << path;
    }
}

// Plays a download: a completed one writes a valid package to the target, or an error page
// when the address names 404.
class FakeDownloader : public platform::Downloader {
public:
    DownloadResult download(const std::string& address, const std::string& target,
                            const platform::DownloadProgress&) override {
        addresses.push_back(address);
        if (result == DownloadResult::completed && address.find("404") == std::string::npos) {
            testpackages::writePackage(testpackages::validPackage(), target);
        } else if (result == DownloadResult::completed) {
            std::ofstream(target) << "<html>404</html>";
        }
        return result;
    }
    DownloadResult result = DownloadResult::failed;
    std::vector<std::string> addresses;
};

struct IntakeCase {
    const char* behaviour;
    std::string text;  // "@" stands for the scratch folder
    DownloadResult download;
    IntakeOutcome::Verdict verdict;
    std::optional<StringId> message;
};

class Intake : public testing::TestWithParam<IntakeCase> {};

TEST_P(Intake, RefusesDownloadsOrInstallsTheSource) {
    const IntakeCase& intake = GetParam();
    testsupport::ScratchFolder scratch;
    testpackages::writePackage(testpackages::validPackage(), scratch.pathOf("t.zip"));
    scratch.writeFile("notes.txt", "not a zip");
    std::filesystem::create_directory(scratch.pathOf("folder"));
    ::mkfifo(scratch.pathOf("fifo").c_str(), 0600);
    FakeDownloader downloader;
    downloader.result = intake.download;
    const std::string text =
        intake.text.starts_with('@') ? scratch.path() + intake.text.substr(1) : intake.text;
    platform::DownloadCache downloads(scratch.pathOf("cache"));

    const IntakeOutcome outcome =
        takeSource(text, {downloader, downloads, scratch.pathOf("App"), {}});

    EXPECT_EQ(outcome.verdict, intake.verdict);
    EXPECT_EQ(outcome.message, intake.message);
    // Only a missing text and a missing file send the user back to the text box.
    EXPECT_EQ(outcome.focusSource,
              intake.message == IDS_SOURCE_REQUIRED || intake.message == IDS_FILE_MISSING);
    const bool downloaded = isAddress(text);
    EXPECT_EQ(downloader.addresses, downloaded ? std::vector{text} : std::vector<std::string>{});
    // A completed download stands for the text from then on.
    const bool completed = downloaded && intake.download == DownloadResult::completed;
    EXPECT_EQ(outcome.source, completed ? downloads.lastTarget() : text);
    EXPECT_EQ(outcome.appName, intake.verdict == IntakeOutcome::installed ? "Mode X" : "");
    EXPECT_EQ(std::filesystem::exists(scratch.pathOf("App/a.bin")),
              intake.verdict == IntakeOutcome::installed);
}

using enum DownloadResult;
constexpr auto installed = IntakeOutcome::installed;
constexpr auto refused = IntakeOutcome::refused;

INSTANTIATE_TEST_SUITE_P(
    Sources, Intake,
    testing::Values(
        IntakeCase{"empty text", "", completed, refused, IDS_SOURCE_REQUIRED},
        IntakeCase{"spaces are a path", "  ", completed, refused, IDS_FILE_MISSING},
        IntakeCase{"ftp is a path", "ftp://h/t.zip", completed, refused, IDS_FILE_MISSING},
        IntakeCase{"missing file", "@/absent.zip", failed, refused, IDS_FILE_MISSING},
        IntakeCase{"folder", "@/folder", failed, refused, IDS_FILE_MISSING},
        IntakeCase{"FIFO, refused without waiting for a writer", "@/fifo", failed, refused,
                   IDS_FILE_MISSING},
        IntakeCase{"device", "/dev/null", failed, refused, IDS_FILE_MISSING},
        IntakeCase{"local package", "@/t.zip", failed, installed, std::nullopt},
        IntakeCase{"local file that is no package", "@/notes.txt", failed, refused, IDS_NOT_VALID},
        IntakeCase{"failed download", "HTTPS://h/t.zip", failed, refused, IDS_DOWNLOAD_FAILED},
        IntakeCase{"cancelled download", "http://h/t.zip", cancelled, IntakeOutcome::cancelled,
                   std::nullopt},
        IntakeCase{"downloaded package", "see http://h/t.zip", completed, installed, std::nullopt},
        IntakeCase{"downloaded error page", "http://h/404", completed, refused, IDS_NOT_VALID}),
    BehaviourName{});

}  // namespace
