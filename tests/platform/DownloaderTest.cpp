// The libcurl downloader against the loopback server: the target ends up holding a complete
// download or is gone. And the download cache: private files of its own for each run, removed
// with the run, and swept by the next run when their owner died.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/curl/CurlDownloader.h"
#include "platform/DownloadCache.h"
#include "tests/app/BehaviourName.h"
#include "tests/support/EnvironmentVariable.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/ScratchFolder.h"

namespace {

using behaviourcases::PrintTo;

using platform::DownloadResult;
using testsupport::ScratchFolder;

const std::string package(100'000, 'P');

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
        server.serveBody("/big", package + package);
        server.serveRedirect("/moved", server.url("/package.zip"));
        server.serveRedirect("/to-local-file", "file://" + secret);
        server.serveCutBody("/cut", package);
        server.serveStall("/stall", package);
        server.serveTrickle("/slow", package, std::chrono::milliseconds(600), 6);
        server.serveTrickle("/crawl", std::string(2400, 'P'), std::chrono::seconds(4), 8);
        // As the download cache hands it out: created and empty.
        std::filesystem::create_directory(scratch.pathOf("cache"));
        scratch.writeFile("cache/download.zip", "");
    }

    // `path` on the server, or a full address.
    DownloadResult download(const std::string& path,
                            const platform::DownloadProgress& progress = {}) {
        return downloader.download(path.starts_with('/') ? server.url(path) : path, target,
                                   progress);
    }

    testsupport::LoopbackHttpServer server;
    ScratchFolder scratch;
    const std::string secret = scratch.writeFile("secret", "not to be fetched");
    const std::string target = scratch.pathOf("cache/download.zip");
    platform::CurlDownloader downloader{{.connect = std::chrono::seconds(5),
                                         .stall = std::chrono::seconds(2),
                                         .maximumSize = package.size() * 3 / 2}};
};

TEST_F(Download, RedirectedBodyFillsTheTargetAndLeavesNothingElse) {
    EXPECT_EQ(download("/moved"), DownloadResult::completed);
    EXPECT_EQ(ScratchFolder::readFile(target), package);
    EXPECT_EQ(namesIn(scratch.pathOf("cache")), std::vector<std::string>{"download.zip"});
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

// Every way a download can fail: the target is removed and nothing else is left in its folder.
struct FailureCase {
    const char* behaviour;
    const char* path;  // on the server, or a full address
};

const FailureCase failures[] = {
    {"missing document (404)", "/missing"},
    {"connection cut midway", "/cut"},
    {"transfer stalls", "/stall"},
    {"redirect to a scheme other than http", "/to-local-file"},
    {"address with a scheme other than http", "file:///etc/hostname"},
    {"server that is gone", "http://127.0.0.1:1/package.zip"},
    {"announced length above the size limit", "/big"},
    {"transfer below the low-speed limit", "/crawl"},
};

class FailedDownload : public Download, public testing::WithParamInterface<FailureCase> {};

TEST_P(FailedDownload, LeavesNoFile) {
    EXPECT_EQ(download(GetParam().path), DownloadResult::failed);
    EXPECT_EQ(namesIn(scratch.pathOf("cache")), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Table, FailedDownload, testing::ValuesIn(failures), BehaviourName{});

TEST_F(Download, CancelFromTheProgressCallbackLeavesNoFile) {
    const auto cancelOnFirstBytes = [](std::uint64_t received, std::uint64_t) {
        return received == 0;
    };
    EXPECT_EQ(download("/slow", cancelOnFirstBytes), DownloadResult::cancelled);
    EXPECT_EQ(namesIn(scratch.pathOf("cache")), std::vector<std::string>{});
}

struct TargetCase {
    const char* behaviour;
    const char* cacheHome;  // null: unset
    const char* expected;
};

const TargetCase targets[] = {
    {"cache home", "/x/cache", "/x/cache/tockit-installer"},
    {"no cache home", nullptr, "/home/u/.cache/tockit-installer"},
    {"empty cache home", "", "/home/u/.cache/tockit-installer"},
    {"relative cache home", "relative/cache", "/home/u/.cache/tockit-installer"},
};

class DownloadFolder : public testing::TestWithParam<TargetCase> {};

TEST_P(DownloadFolder, IsThePerUserCacheFolder) {
    const testsupport::EnvironmentVariable cacheHome("XDG_CACHE_HOME", GetParam().cacheHome);
    const testsupport::EnvironmentVariable home("HOME", "/home/u");
    EXPECT_EQ(platform::downloadFolder(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, DownloadFolder, testing::ValuesIn(targets), BehaviourName{});

TEST(DownloadCache, GivesOutPrivateFilesAndSweepsOnlyThoseWhoseOwnerIsGone) {
    const ScratchFolder scratch;
    const std::string folder = scratch.pathOf("cache/tockit-installer");
    std::optional<platform::DownloadCache> living(folder);
    const std::string replaced = living->nextTarget();
    const std::string held = living->nextTarget();
    EXPECT_FALSE(std::filesystem::exists(replaced));
    scratch.writeFile("cache/tockit-installer/download-killed.zip", "partial");
    scratch.writeFile("cache/tockit-installer/notes.txt", "not a download");
    {
        platform::DownloadCache starting(folder);
        EXPECT_FALSE(std::filesystem::exists(folder + "/download-killed.zip"));
        EXPECT_TRUE(std::filesystem::exists(held));
        const std::string own = starting.nextTarget();
        EXPECT_NE(own, held);
        EXPECT_EQ(std::filesystem::status(own).permissions(),
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    }
    living.reset();
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"notes.txt"});
}

}  // namespace
