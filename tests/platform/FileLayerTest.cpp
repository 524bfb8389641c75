// The file layer: how opening, reading, writing, seeking and stamping a file succeed or fail,
// reads served from blocks read ahead, file attributes, and folders that never follow a link.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "platform/CFile.h"
#include "platform/FileSystem.h"
#include "platform/Folder.h"
#include "tests/support/ReadCalls.h"
#include "tests/support/ScratchFolder.h"

namespace {

using platform::CFile;
using platform::Folder;
using E = platform::CFileException;
using Failure = std::tuple<int, int, std::string>;  // cause, OS error, file name
namespace fs = std::filesystem;

Failure failureOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const E& error) {
        return {error.m_cause, error.m_lOsError, error.m_strFileName};
    }
    return {};
}

TEST(CFile, FailuresCarryTheirCauseOsErrorAndFileName) {
    testsupport::ScratchFolder scratch;
    const std::string ten = scratch.writeFile("ten", "0123456789"), no = scratch.pathOf("no");
    CFile closed(ten.c_str(), CFile::modeRead), ahead(ten.c_str(), CFile::shareDenyWrite);
    closed.Close();
    closed.Close();  // harmless
    char byte = 0;
    const std::pair<std::function<void()>, Failure> cases[] = {
        {[&] { CFile(no.c_str(), CFile::modeRead); }, {E::fileNotFound, ENOENT, no}},
        {[&] { CFile(scratch.path().c_str(), 0); }, {E::accessDenied, EISDIR, scratch.path()}},
        {[&] { CFile((ten + "/x").c_str(), 0); }, {E::badPath, ENOTDIR, ten + "/x"}},
        {[&] { CFile("/dev/full", CFile::modeWrite).Write("data", 4); },
         {E::diskFull, ENOSPC, "/dev/full"}},
        {[&] { CFile(ten.c_str(), 0).Seek(-1, CFile::begin); }, {E::badSeek, EINVAL, ten}},
        {[&] { ahead.Seek(-11, CFile::end); }, {E::badSeek, EINVAL, ten}},
        {[&] { closed.Read(&byte, 1); }, {E::genericException, EBADF, ten}},
        {[&] { closed.GetLength(); }, {E::genericException, EBADF, ten}},
        {[&] { ahead.Close(), ahead.Seek(0, CFile::current); }, {E::genericException, EBADF, ten}},
        {[&] { CFile::SetStatus(no.c_str(), {}); }, {E::fileNotFound, ENOENT, no}},
    };
    for (const auto& [call, expected] : cases) {
        EXPECT_EQ(failureOf(call), expected);
    }
}

TEST(CFile, WritesReadsSeeksAndStampsAFileNamedWithBackslashes) {
    testsupport::ScratchFolder scratch;
    const std::string path = scratch.writeFile("out", "old content");
    CFile(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::modeNoTruncate)
        .Write("new", 3);
    EXPECT_EQ(testsupport::ScratchFolder::readFile(path), "new content");
    CFile(path.c_str(), CFile::modeCreate | CFile::modeWrite).Write("0123456789", 10);
    CFile file((scratch.path() + "\\out").c_str(), CFile::modeRead);
    EXPECT_EQ(file.GetFilePath(), scratch.path() + "\\out");
    EXPECT_EQ(file.GetLength(), 10u);
    EXPECT_EQ(file.Seek(-4, CFile::end), 6u);
    EXPECT_EQ(file.Seek(-4, CFile::current), 2u);
    char buffer[10] = {};
    EXPECT_EQ(file.Read(buffer, 3), 3u);
    EXPECT_EQ(file.Read(buffer, 10), 5u);
    EXPECT_EQ(std::string(buffer, 5), "56789");
    EXPECT_EQ(file.Read(buffer, 10), 0u);
    EXPECT_EQ(file.Seek(1, CFile::begin), 1u);
    CFile::SetStatus(path.c_str(), {.m_mtime = 1'000'000'000, .m_atime = 1'100'000'000});
    struct stat status {};
    ::stat(path.c_str(), &status);
    EXPECT_EQ(std::pair(status.st_mtime, status.st_atime),
              std::pair(1'000'000'000L, 1'100'000'000L));
}

// A file opened with shareDenyWrite reads by position from blocks read ahead.
TEST(CFile, ReadsAheadGiveTheFilesBytesFromAnyPositionAtOneReadCallPerBlock) {
    testsupport::ScratchFolder scratch;
    std::string content(300 * 1024, '\0');
    for (std::size_t index = 0; index < content.size(); ++index) {
        content[index] = static_cast<char>((index * 7 + index / 251) & 0xFF);
    }
    CFile file(scratch.writeFile("data", content).c_str(), CFile::modeRead | CFile::shareDenyWrite);
    // {position or -1 to go on from the last read, count}: within, across and past blocks.
    const std::pair<std::int64_t, unsigned> steps[] = {
        {0, 30}, {-1, 16 * 1024}, {-1, 16 * 1024 - 1}, {-1, 70000}, {65530, 100}, {65535, 2},
        {-1, 1}, {200000, 16384}, {307195, 100},       {307200, 1}, {400000, 10},
    };
    std::uint64_t position = 0;
    for (const auto& [seekTo, count] : steps) {
        position = seekTo >= 0 ? file.Seek(seekTo, CFile::begin) : position;
        std::string bytes(count, '\0');
        bytes.resize(file.Read(bytes.data(), count));
        EXPECT_EQ(bytes, content.substr(std::min<std::uint64_t>(position, content.size()), count))
            << position;
        position += bytes.size();
    }
    EXPECT_EQ(file.Seek(-4, CFile::end), content.size() - 4);
    EXPECT_EQ(file.Seek(-2, CFile::current), content.size() - 6);
    EXPECT_EQ(file.GetLength(), content.size());
    file.Seek(0, CFile::begin);
    EXPECT_EQ(testsupport::readCallsDuring([&] {
                  for (int index = 0; index < 2000; ++index) {  // 60,000 bytes: one block
                      file.Read(content.data(), 30);
                      file.Seek(0, CFile::current);
                  }
              }),
              1);
}

TEST(FileSystem, PathsAndTheReadOnlyAttribute) {
    testsupport::ScratchFolder scratch;
    EXPECT_EQ(platform::nativePath("a\\b/c\\\\d"), "a/b/c//d");
    const std::string file = scratch.writeFile("file", "x"), tool = scratch.writeFile("tool", "x");
    const std::string folder = scratch.pathOf("folder");
    ASSERT_TRUE(platform::createDirectory(folder));
    EXPECT_EQ(platform::pathType(file), platform::PathType::file);
    EXPECT_EQ(platform::pathType(folder + "\\"), platform::PathType::folder);
    EXPECT_EQ(platform::pathType(scratch.pathOf("missing")), platform::PathType::missing);
    fs::permissions(tool, fs::perms(04775));
    fs::permissions(folder, fs::perms(0755));
    // The read-only bit (1) takes every write bit of a file, set-user-id aside; nothing else
    // changes anything, and folders keep their permissions.
    const std::pair<std::string, int> applied[] = {
        {file, 0x20}, {file, 0x21}, {tool, 1}, {folder, 0x11}};
    for (const auto& [path, attributes] : applied) {
        EXPECT_TRUE(platform::setFileAttributes(path, attributes));
    }
    EXPECT_FALSE(platform::setFileAttributes(scratch.pathOf("missing"), 0x01));
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0444));
    EXPECT_EQ(fs::status(tool).permissions(), fs::perms(04555));
    EXPECT_EQ(fs::status(folder).permissions(), fs::perms(0755));
    EXPECT_EQ(fs::path(platform::programPath()).filename(), "FileLayerTest");
}

// inside/link points at outside/, which holds the file kept.
TEST(Folder, NeverOpensCreatesWritesOrRemovesThroughALink) {
    testsupport::ScratchFolder scratch;
    fs::create_directories(scratch.pathOf("inside"));
    fs::create_directories(scratch.pathOf("outside"));
    scratch.writeFile("outside/kept", "outside");
    fs::create_directory_symlink(scratch.pathOf("outside"), scratch.pathOf("inside/link"));
    const Folder root(scratch.path());
    const Folder inside = root.openFolder("inside");
    EXPECT_EQ(inside.typeOf("link"), Folder::EntryType::link);
    const std::string link = scratch.pathOf("inside/link");
    EXPECT_EQ(failureOf([&] { inside.openFolder("link"); }), Failure(E::badPath, ENOTDIR, link));
    EXPECT_EQ(failureOf([&] { inside.openOrCreateFolder("link"); }),
              Failure(E::badPath, ENOTDIR, link));
    EXPECT_EQ(failureOf([&] { inside.createFolder("link", 0700); }),
              Failure(E::genericException, EEXIST, link));
    scratch.writeFile("inside/new", "new");
    inside.rename("new", inside, "link");  // replaces the link rather than writing through it
    EXPECT_EQ(inside.typeOf("link"), Folder::EntryType::file);
    fs::create_directory_symlink(scratch.pathOf("outside"), scratch.pathOf("inside/link2"));
    // An open folder stays the same folder when its name is taken by a link.
    root.rename("inside", root, "moved");
    fs::create_directory_symlink(scratch.pathOf("outside"), scratch.pathOf("inside"));
    inside.createFolder("made", 0700);
    EXPECT_TRUE(fs::is_directory(scratch.pathOf("moved/made")));
    root.removeTreeQuietly("moved");
    EXPECT_EQ(root.names(), (std::vector<std::string>{"inside", "outside"}));
    EXPECT_EQ(root.openFolder("outside").names(), std::vector<std::string>{"kept"});
}

}  // namespace
