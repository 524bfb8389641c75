// Scratch folders for tests: created with mkdtemp, removed recursively with nftw.
#include "tests/support/ScratchFolder.h"

#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace testsupport {
namespace {

std::string temporaryRoot() {
    const char* fromEnvironment = std::getenv("TMPDIR");
    std::string root =
        (fromEnvironment != nullptr && *fromEnvironment != '\0') ? fromEnvironment : "/tmp";
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    return root;
}

// A pre-order walk: each folder is made writable and searchable before its entries are visited,
// so entries inside read-only folders can be removed afterwards.
int restoreWritePermission(const char* path, const struct stat* status, int type, struct FTW*) {
    if (type == FTW_D || type == FTW_DNR) {
        ::chmod(path, (status->st_mode & 07777) | S_IRWXU);
    } else if (type == FTW_F) {
        ::chmod(path, (status->st_mode & 07777) | S_IWUSR);
    }
    return 0;
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    ::remove(path);
    return 0;
}

}  // namespace

ScratchFolder::ScratchFolder() {
    std::string pattern = temporaryRoot() + "/tockit-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed for " + pattern + ": " + std::strerror(errno));
    }
    m_path = buffer.data();
}

ScratchFolder::~ScratchFolder() {
    ::nftw(m_path.c_str(), restoreWritePermission, 16, FTW_PHYS);
    ::nftw(m_path.c_str(), removeEntry, 16, FTW_PHYS | FTW_DEPTH);
}

std::string ScratchFolder::pathOf(std::string_view relativePath) const {
    return m_path + "/" + std::string(relativePath);
}

std::string ScratchFolder::writeFile(std::string_view relativePath, std::string_view bytes) const {
    const std::string fullPath = pathOf(relativePath);
    std::ofstream file(fullPath, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        throw std::runtime_error("cannot write " + fullPath);
    }
    return fullPath;
}

std::string ScratchFolder::readFile(const std::string& fullPath) {
    std::ifstream file(fullPath, std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot read " + fullPath);
    }
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

}  // namespace testsupport
