// A temporary folder for one test, removed with everything in it when the test ends. Files and
// folders made read-only by the test are made writable again first so removal cannot fail on
// them. It does not change the current directory.
#pragma once

#include <string>
#include <string_view>

namespace testsupport {

class ScratchFolder {
public:
    ScratchFolder();  // a fresh folder under `$TMPDIR` or `/tmp`
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder's path, without a trailing `/`.
    const std::string& path() const { return m_path; }

    // `path() + "/" + relativePath`.
    std::string pathOf(std::string_view relativePath) const;

    // Creates or replaces the file `relativePath` (its folder must exist) with `bytes`;
    // returns its full path.
    std::string writeFile(std::string_view relativePath, std::string_view bytes) const;

    // The whole content of the file at `fullPath`; throws std::runtime_error if unreadable.
    static std::string readFile(const std::string& fullPath);

private:
    std::string m_path;
};

}  // namespace testsupport
