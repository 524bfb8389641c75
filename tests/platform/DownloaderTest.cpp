// The libcurl downloader against the loopback server: a target is either replaced by a complete
// download or left exactly as it was, and no temporary file is ever left beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "platform/CurlDownloader.h"
#include "tests/app/BehaviourName.h"
#include "tests/support/EnvironmentVariable.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/ScratchFolder.h"

namespace {

using platform::DownloadResult;
using testsupport::ScratchFolder;

const std::string package(100'000, 'P');
const std::string previousContent = "previous download";

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

    // `path` on the server, or a full address.
    DownloadResult download(const std::string& path,
                            const platform::DownloadProgress& progress = {}) {
        return downloader.download(path.starts_with('/') ? server.url(path) : path, target,
                                   progress);
    }
    void writePreviousTarget() const {
        std::filesystem::create_directory(scratch.pathOf("cache"));
        scratch.writeFile("cache/temp.txt", previousContent);
    }
    std::vector<std::string> namesInCache() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(scratch.pathOf("cache"))) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    testsupport::LoopbackHttpServer server;
    ScratchFolder scratch;
    const std::string secret = scratch.writeFile("secret", "not to be fetched");
    const std::string target = scratch.pathOf("cache/temp.txt");
    platform::CurlDownloader downloader{{std::chrono::seconds(5), std::chrono::seconds(2)}};
};

TEST_F(Download, RedirectedBodyReplacesTheTargetAndLeavesNothingElse) {
    writePreviousTarget();
    EXPECT_EQ(download("/moved"), DownloadResult::completed);
    EXPECT_EQ(ScratchFolder::readFile(target), package);
    EXPECT_EQ(namesInCache(), std::vector<std::string>{"temp.txt"});
    EXPECT_EQ(server.requestedPaths(), (std::vector<std::string>{"/moved", "/package.zip"}));
}

TEST_F(Download, TargetFolderIsCreatedWithItsParents) {
    const std::string deepTarget = scratch.pathOf("a/b/c/temp.txt");
    EXPECT_EQ(downloader.download(server.url("/package.zip"), deepTarget, {}),
              DownloadResult::completed);
    EXPECT_EQ(ScratchFolder::readFile(deepTarget), package);
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

// Every way a download can fail: no target is created where there was none, an earlier target
// is untouched and nothing else is left in its folder.
struct FailureCase {
    const char* behaviour;
    const char* path;  // on the server, or a full address
};

void PrintTo(const FailureCase& row, std::ostream* out) {
    *out << row.behaviour;
}

const FailureCase failures[] = {
    {"missing document (404)", "/missing"},
    {"connection cut midway", "/cut"},
    {"transfer stalls", "/stall"},
    {"redirect to a scheme other than http", "/to-local-file"},
    {"address with a scheme other than http", "file:///etc/hostname"},
    {"server that is gone", "http://127.0.0.1:1/package.zip"},
};

class FailedDownload : public Download, public testing::WithParamInterface<FailureCase> {};

TEST_P(FailedDownload, LeavesNoTargetOrTheEarlierOneUntouched) {
    EXPECT_EQ(download(GetParam().path), DownloadResult::failed);
    EXPECT_FALSE(std::filesystem::exists(target));
    writePreviousTarget();
    EXPECT_EQ(download(GetParam().path), DownloadResult::failed);
    EXPECT_EQ(ScratchFolder::readFile(target), previousContent);
    EXPECT_EQ(namesInCache(), std::vector<std::string>{"temp.txt"});
}

INSTANTIATE_TEST_SUITE_P(Table, FailedDownload, testing::ValuesIn(failures), BehaviourName{});

TEST_F(Download, CancelFromTheProgressCallbackLeavesTheEarlierTarget) {
    writePreviousTarget();
    const auto cancelOnFirstBytes = [](std::uint64_t received, std::uint64_t) {
        return received == 0;
    };
    EXPECT_EQ(download("/slow", cancelOnFirstBytes), DownloadResult::cancelled);
    EXPECT_EQ(ScratchFolder::readFile(target), previousContent);
    EXPECT_EQ(namesInCache(), std::vector<std::string>{"temp.txt"});
}

TEST_F(Download, TargetThatIsAFolderFailsAndLeavesNoTemporaryFile) {
    std::filesystem::create_directories(target);
    EXPECT_EQ(download("/package.zip"), DownloadResult::failed);
    EXPECT_EQ(namesInCache(), std::vector<std::string>{"temp.txt"});
}

struct TargetCase {
    const char* behaviour;
    const char* cacheHome;  // null: unset
    const char* expected;
};

void PrintTo(const TargetCase& row, std::ostream* out) {
    *out << row.behaviour;
}

const TargetCase targets[] = {
    {"cache home", "/x/cache", "/x/cache/tockit-installer/temp.txt"},
    {"no cache home", nullptr, "/home/u/.cache/tockit-installer/temp.txt"},
    {"empty cache home", "", "/home/u/.cache/tockit-installer/temp.txt"},
    {"relative cache home", "relative/cache", "/home/u/.cache/tockit-installer/temp.txt"},
};

class DownloadTarget : public testing::TestWithParam<TargetCase> {};

TEST_P(DownloadTarget, LiesInThePerUserCacheFolder) {
    const testsupport::EnvironmentVariable cacheHome("XDG_CACHE_HOME", GetParam().cacheHome);
    const testsupport::EnvironmentVariable home("HOME", "/home/u");
    EXPECT_EQ(platform::downloadTarget(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, DownloadTarget, testing::ValuesIn(targets), BehaviourName{});

}  // namespace
