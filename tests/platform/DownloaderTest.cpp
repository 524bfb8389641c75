// The libcurl downloader against the loopback server: a target is either replaced by a complete
// download or left exactly as it was, and no temporary file is ever left beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "platform/Downloader.h"
#include "tests/support/EnvironmentVariable.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/ScratchFolder.h"

namespace {

using platform::DownloadResult;
using testsupport::ScratchFolder;

const std::string package(100'000, 'P');
const std::string previousContent = "previous download";

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

class Download : public testing::Test {
protected:
    Download() {
        server.serveBody("/package.zip", package);
        server.serveRedirect("/moved", server.url("/package.zip"));
        server.serveRedirect("/to-local-file", "file://" + secret);
        server.serveCutBody("/cut", package);
        server.serveStall("/stall", package);
        server.serveTrickle("/slow", package, std::chrono::milliseconds(600), 6);
    }

    DownloadResult download(const std::string& path,
                            const platform::DownloadProgress& progress = {}) {
        return downloader.download(server.url(path), target, progress);
    }

    testsupport::LoopbackHttpServer server;
    ScratchFolder scratch;
    const std::string secret = scratch.writeFile("secret", "not to be fetched");
    const std::string target = scratch.pathOf("cache/temp.txt");
    platform::CurlDownloader downloader{{std::chrono::seconds(5), std::chrono::seconds(2)}};
};

TEST_F(Download, CompleteBodyBecomesTheTarget) {
    EXPECT_EQ(download("/package.zip"), DownloadResult::completed);
    EXPECT_EQ(ScratchFolder::readFile(target), package);
    EXPECT_EQ(namesIn(scratch.pathOf("cache")), std::vector<std::string>{"temp.txt"});
}

TEST_F(Download, TargetFolderIsCreatedWithItsParents) {
    const std::string deepTarget = scratch.pathOf("a/b/c/temp.txt");
    EXPECT_EQ(downloader.download(server.url("/package.zip"), deepTarget, {}),
              DownloadResult::completed);
    EXPECT_EQ(ScratchFolder::readFile(deepTarget), package);
}

TEST_F(Download, ExistingTargetIsReplaced) {
    std::filesystem::create_directory(scratch.pathOf("cache"));
    scratch.writeFile("cache/temp.txt", previousContent);
    EXPECT_EQ(download("/package.zip"), DownloadResult::completed);
    EXPECT_EQ(ScratchFolder::readFile(target), package);
}

TEST_F(Download, RedirectIsFollowed) {
    EXPECT_EQ(download("/moved"), DownloadResult::completed);
    EXPECT_EQ(ScratchFolder::readFile(target), package);
    EXPECT_EQ(server.requestedPaths(), (std::vector<std::string>{"/moved", "/package.zip"}));
}

TEST_F(Download, ProgressReportsTheBytesReceivedAndTheAnnouncedSize) {
    std::uint64_t lastReceived = 0;
    std::uint64_t lastTotal = 0;
    bool wentBackwards = false;
    const auto progress = [&](std::uint64_t received, std::uint64_t total) {
        wentBackwards = wentBackwards || received < lastReceived;
        lastReceived = received;
        lastTotal = total;
        return true;
    };
    EXPECT_EQ(download("/slow", progress), DownloadResult::completed);
    EXPECT_FALSE(wentBackwards);
    EXPECT_EQ(lastReceived, package.size());
    EXPECT_EQ(lastTotal, package.size());
}

// Every way a download can fail: the result is `failed`, an earlier target is untouched and
// nothing else is left in its folder.
struct FailureCase {
    const char* behaviour;
    const char* path;
};

void PrintTo(const FailureCase& row, std::ostream* out) {
    *out << row.behaviour;
}

const FailureCase failures[] = {
    {"missing document (404)", "/missing"},
    {"connection cut midway", "/cut"},
    {"transfer stalls", "/stall"},
    {"redirect to a scheme other than http", "/to-local-file"},
};

class FailedDownload : public Download, public testing::WithParamInterface<FailureCase> {};

TEST_P(FailedDownload, LeavesTheEarlierTargetUntouchedAndNoTemporaryFile) {
    std::filesystem::create_directory(scratch.pathOf("cache"));
    scratch.writeFile("cache/temp.txt", previousContent);
    EXPECT_EQ(download(GetParam().path), DownloadResult::failed) << GetParam().behaviour;
    EXPECT_EQ(ScratchFolder::readFile(target), previousContent) << GetParam().behaviour;
    EXPECT_EQ(namesIn(scratch.pathOf("cache")), std::vector<std::string>{"temp.txt"})
        << GetParam().behaviour;
}

TEST_P(FailedDownload, CreatesNoTargetWhenThereWasNone) {
    EXPECT_EQ(download(GetParam().path), DownloadResult::failed) << GetParam().behaviour;
    EXPECT_FALSE(std::filesystem::exists(target)) << GetParam().behaviour;
}

INSTANTIATE_TEST_SUITE_P(Table, FailedDownload, testing::ValuesIn(failures));

TEST_F(Download, CancelFromTheProgressCallback) {
    std::filesystem::create_directory(scratch.pathOf("cache"));
    scratch.writeFile("cache/temp.txt", previousContent);
    const auto cancelOnFirstBytes = [](std::uint64_t received, std::uint64_t) {
        return received == 0;
    };
    EXPECT_EQ(download("/slow", cancelOnFirstBytes), DownloadResult::cancelled);
    EXPECT_EQ(ScratchFolder::readFile(target), previousContent);
    EXPECT_EQ(namesIn(scratch.pathOf("cache")), std::vector<std::string>{"temp.txt"});
}

TEST_F(Download, AddressWithAnotherSchemeIsRefused) {
    EXPECT_EQ(downloader.download("file://" + secret, target, {}), DownloadResult::failed);
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(Download, ServerThatIsGoneFails) {
    std::string address;
    {
        const testsupport::LoopbackHttpServer gone;
        address = gone.url("/package.zip");
    }
    EXPECT_EQ(downloader.download(address, target, {}), DownloadResult::failed);
}

TEST_F(Download, TargetThatIsAFolderFailsAndLeavesNoTemporaryFile) {
    std::filesystem::create_directories(scratch.pathOf("cache/temp.txt"));
    EXPECT_EQ(download("/package.zip"), DownloadResult::failed);
    EXPECT_EQ(namesIn(scratch.pathOf("cache")), std::vector<std::string>{"temp.txt"});
}

struct TargetCase {
    const char* cacheHome;  // null: unset
    const char* home;
    const char* expected;
};

void PrintTo(const TargetCase& row, std::ostream* out) {
    *out << row.expected;
}

const TargetCase targets[] = {
    {"/x/cache", "/home/u", "/x/cache/tockit-installer/temp.txt"},
    {nullptr, "/home/u", "/home/u/.cache/tockit-installer/temp.txt"},
    {"", "/home/u", "/home/u/.cache/tockit-installer/temp.txt"},
    {"relative/cache", "/home/u", "/home/u/.cache/tockit-installer/temp.txt"},
};

class DownloadTarget : public testing::TestWithParam<TargetCase> {};

TEST_P(DownloadTarget, LiesInThePerUserCacheFolder) {
    const testsupport::EnvironmentVariable cacheHome("XDG_CACHE_HOME", GetParam().cacheHome);
    const testsupport::EnvironmentVariable home("HOME", GetParam().home);
    EXPECT_EQ(platform::downloadTarget(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, DownloadTarget, testing::ValuesIn(targets));

}  // namespace
