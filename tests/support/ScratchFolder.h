// A temporary folder for one test, removed with everything in it when the test ends, even what
// the test made read-only. It does not change the current directory.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace testsupport {

class ScratchFolder {
public:
    // A fresh folder under `$TMPDIR` or `/tmp`.
    ScratchFolder() {
        const char* root = std::getenv("TMPDIR");
        m_path = (root && *root ? std::filesystem::path(root) : "/tmp") / "tockit-test-XXXXXX";
        if (::mkdtemp(m_path.data()) == nullptr) {
            throw std::runtime_error("cannot make " + m_path);
        }
    }
    ~ScratchFolder() {
        namespace fs = std::filesystem;
        std::error_code ignored;
        // Each folder is opened up before the walk enters it, so that what is inside can go.
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ignored);
        for (fs::recursive_directory_iterator entry(m_path, ignored), end; entry != end;
             entry.increment(ignored)) {
            if (!entry->is_symlink(ignored)) {
                fs::permissions(*entry, fs::perms::owner_all, fs::perm_options::add, ignored);
            }
        }
        fs::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Without a trailing `/`.
    const std::string& path() const { return m_path; }
    std::string pathOf(std::string_view relative) const { return m_path + "/" += relative; }
    // Creates or replaces the file (its folder must exist); returns its full path.
    std::string writeFile(std::string_view relative, std::string_view bytes) const {
        std::ofstream file(pathOf(relative), std::ios::binary);
        if (!file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush()) {
            throw std::runtime_error("cannot write " + pathOf(relative));
        }
        return pathOf(relative);
    }
    // The whole file; throws std::runtime_error when it cannot be opened.
    static std::string readFile(const std::string& fullPath) {
        std::ifstream file(fullPath, std::ios::binary);
        if (!file) {
            throw std::runtime_error("cannot read " + fullPath);
        }
        return {std::istreambuf_iterator<char>(file), {}};
    }

private:
    std::string m_path;
};

}  // namespace testsupport
