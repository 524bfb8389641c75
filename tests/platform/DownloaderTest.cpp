// The libcurl downloader against the loopback server: the target ends up holding a complete
// download or is gone. And the download cache: private files of its own for each run, removed
// with the run, and swept by the next run when their owner died.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "platform/curl/CurlDownloader.h"
#include "platform/DownloadCache.h"
#include "tests/support/EnvironmentVariable.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/ScratchFolder.h"

namespace {

using platform::DownloadResult;
namespace fs = std::filesystem;

TEST(CurlDownloader, FillsTheTargetOrRemovesIt) {
    const std::string package(100'000, 'P');
    testsupport::LoopbackHttpServer server;
    testsupport::ScratchFolder scratch;
    server.serveBody("/package.zip", package);
    server.serveBody("/big", package + package);
    server.serveRedirect("/moved", server.url("/package.zip"));
    server.serveRedirect("/to-local-file", "file://" + scratch.writeFile("secret", "private"));
    server.serveCutBody("/cut", package);
    server.serveStall("/stall", package);
    server.serveTrickle("/slow", package, std::chrono::milliseconds(600), 6);
    server.serveTrickle("/crawl", std::string(2400, 'P'), std::chrono::seconds(4), 8);
    platform::CurlDownloader downloader{{.connect = std::chrono::seconds(5),
                                         .stall = std::chrono::seconds(2),
                                         .maximumSize = package.size() * 3 / 2}};
    // {behaviour, a path on the server or a full address, the outcome}
    const std::tuple<const char*, std::string, DownloadResult> cases[] = {
        {"redirect to the body", server.url("/moved"), DownloadResult::completed},
        {"body trickled slowly", server.url("/slow"), DownloadResult::completed},
        {"cancelled once bytes arrive", server.url("/slow"), DownloadResult::cancelled},
        {"missing document (404)", server.url("/missing"), DownloadResult::failed},
        {"connection cut midway", server.url("/cut"), DownloadResult::failed},
        {"transfer stalls", server.url("/stall"), DownloadResult::failed},
        {"transfer below the low-speed limit", server.url("/crawl"), DownloadResult::failed},
        {"announced length above the size limit", server.url("/big"), DownloadResult::failed},
        {"redirect to another scheme", server.url("/to-local-file"), DownloadResult::failed},
        {"address with another scheme", "file:///etc/hostname", DownloadResult::failed},
        {"server that is gone", "http://127.0.0.1:1/package.zip", DownloadResult::failed},
    };
    for (const auto& [behaviour, address, expected] : cases) {
        SCOPED_TRACE(behaviour);
        // As the download cache hands the target out: created and empty.
        const std::string target = scratch.writeFile("download.zip", "");
        std::pair<std::uint64_t, std::uint64_t> last{0, 0};
        const auto progress = [&](std::uint64_t received, std::uint64_t total) {
            EXPECT_GE(received, last.first);
            last = {received, total};
            return expected != DownloadResult::cancelled || received == 0;
        };
        EXPECT_EQ(downloader.download(address, target, progress), expected);
        if (expected == DownloadResult::completed) {
            EXPECT_EQ(testsupport::ScratchFolder::readFile(target), package);
            EXPECT_EQ(last, std::pair(package.size(), package.size()));
        }
        EXPECT_EQ(fs::exists(target), expected == DownloadResult::completed);
    }
    EXPECT_EQ(server.requestedPaths()[0], "/moved");
    EXPECT_EQ(server.requestedPaths()[1], "/package.zip");
}

TEST(DownloadFolder, IsThePerUserCacheFolderUnlessAnAbsoluteXdgCacheHomeNamesAnother) {
    const testsupport::EnvironmentVariable home("HOME", "/home/u");
    const std::pair<const char*, std::string> cases[] = {
        {"/x", "/x"}, {nullptr, "/home/u/.cache"}, {"", "/home/u/.cache"}, {"x", "/home/u/.cache"}};
    for (const auto& [cacheHome, expected] : cases) {
        const testsupport::EnvironmentVariable variable("XDG_CACHE_HOME", cacheHome);
        EXPECT_EQ(platform::downloadFolder(), expected + "/tockit-installer");
    }
}

TEST(DownloadCache, GivesOutPrivateFilesAndSweepsOnlyThoseWhoseOwnerIsGone) {
    const testsupport::ScratchFolder scratch;
    const std::string folder = scratch.pathOf("cache/tockit-installer");
    const auto count = [&] { return std::distance(fs::directory_iterator(folder), {}); };
    std::optional<platform::DownloadCache> living(folder);
    const std::string replaced = living->nextTarget();
    const std::string held = living->nextTarget();
    EXPECT_FALSE(fs::exists(replaced));
    scratch.writeFile("cache/tockit-installer/download-killed.zip", "partial");
    scratch.writeFile("cache/tockit-installer/notes.txt", "not a download");
    {
        platform::DownloadCache starting(folder);
        const std::string own = starting.nextTarget();
        EXPECT_NE(own, held);
        EXPECT_EQ(count(), 3);  // held, own and the notes
        EXPECT_EQ(fs::status(own).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    }
    living.reset();
    EXPECT_EQ(count(), 1);
    EXPECT_EQ(fs::directory_iterator(folder)->path().filename(), "notes.txt");
}

}  // namespace
