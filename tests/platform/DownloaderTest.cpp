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
using Response = testsupport::LoopbackHttpServer::Response;
namespace fs = std::filesystem;

// Each server behaviour is served at "/<its row>"; the target (created and empty, as the download
// cache hands it out) ends up complete or is gone, and progress only goes up to the whole size.
TEST(CurlDownloader, FillsTheTargetOrRemovesIt) {
    using enum DownloadResult;
    const std::string package(100'000, 'P');
    testsupport::LoopbackHttpServer server;
    testsupport::ScratchFolder scratch;
    const std::string secret = scratch.writeFile("secret", "private");
    const std::string target = scratch.pathOf("download.zip");
    platform::CurlDownloader downloader{{.connect = std::chrono::seconds(5),
                                         .stall = std::chrono::seconds(2),
                                         .maximumSize = package.size() * 3 / 2}};
    const std::string moved = "302 Found\r\nLocation: ", crawl(2400, 'P');
    const auto slowly = std::chrono::milliseconds(600),
               never = std::chrono::milliseconds(3'600'000);
    const std::tuple<DownloadResult, const char*, Response> cases[] = {
        {completed, "body", {.body = package}},
        {completed, "redirect to the body", {.status = moved + server.url("/0")}},
        {completed, "body trickled slowly", {.body = package, .pieces = 6, .duration = slowly}},
        {cancelled, "cancelled", {.body = package, .pieces = 6, .duration = slowly}},
        {failed, "missing document", {.status = "404 Not Found", .body = "no"}},
        {failed, "connection cut midway", {.body = package, .sent = 50'000}},
        {failed, "transfer stalls", {.body = package, .sent = 1, .duration = never}},
        {failed, "below the low-speed limit", {.body = crawl, .pieces = 8, .duration = slowly * 7}},
        {failed, "announced length above the size limit", {.body = package + package}},
        {failed, "redirect to another scheme", {.status = moved + "file://" + secret}},
    };
    for (std::size_t row = 0; row < std::size(cases); ++row) {
        const auto& [expected, behaviour, response] = cases[row];
        SCOPED_TRACE(behaviour);
        server.serve("/" + std::to_string(row), response);
        scratch.writeFile("download.zip", "");
        std::pair<std::uint64_t, std::uint64_t> last{0, 0};
        const auto progress = [&](std::uint64_t received, std::uint64_t total) {
            EXPECT_GE(received, last.first);
            last = {received, total};
            return expected != cancelled || received == 0;
        };
        EXPECT_EQ(downloader.download(server.url("/" + std::to_string(row)), target, progress),
                  expected);
        if (expected == completed) {
            EXPECT_EQ(testsupport::ScratchFolder::readFile(target), package);
            EXPECT_EQ(last, std::pair(package.size(), package.size()));
        }
        EXPECT_EQ(fs::exists(target), expected == completed);
    }
    EXPECT_EQ(server.requestedPaths()[2], "/0");  // where "/1" redirected to
    // Addresses that reach no server, without a progress callback.
    for (const char* address : {"file:///etc/hostname", "http://127.0.0.1:1/package.zip"}) {
        EXPECT_EQ(downloader.download(address, scratch.writeFile("download.zip", ""), {}), failed);
        EXPECT_FALSE(fs::exists(target));
    }
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
