// Helpers shared by the reader's tests: an archive made by the test archive builder, written
// into a scratch folder and opened with a reader; the CZipException an action raised; and
// incompressible content.
#pragma once

#include <random>
#include <string>
#include <utility>

#include "tests/support/ScratchFolder.h"
#include "tests/support/ZipArchiveBuilder.h"
#include "zip/CZipException.h"
#include "zip/CZipReader.h"

// The same bytes for the same size: content that deflate cannot shrink.
inline std::string randomBytes(std::size_t size) {
    std::mt19937 generator(static_cast<unsigned>(size));
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(generator());
    }
    return bytes;
}

struct RaisedZipError {
    int cause = 0;  // 0: nothing was raised
    std::string fileName;
};

template <class Action>
RaisedZipError zipErrorOf(Action&& action) {
    try {
        std::forward<Action>(action)();
    } catch (const CZipException& error) {
        return {error.cause, error.fileName};
    }
    return {};
}

class OpenedArchive {
public:
    // Writes the archive's bytes and opens them unless `open` is false (for tests of opening).
    explicit OpenedArchive(const std::string& bytes, bool open = true)
        : path(scratch.writeFile("archive.zip", bytes)), folder(scratch.pathOf("out")) {
        if (open) {
            reader.openArchive(path.c_str(), CZipStore::openReadOnly, 0);
        }
    }

    bool extract(CZipReader::WORD index, bool keepStoredPath = true,
                 std::uint32_t bufferSize = 65535) {
        return reader.extractEntry(index, folder.c_str(), keepStoredPath, bufferSize);
    }
    std::string extracted(const std::string& relativePath) const {
        return testsupport::ScratchFolder::readFile(folder + "/" + relativePath);
    }

    testsupport::ScratchFolder scratch;
    std::string path;
    std::string folder;  // where entries are extracted to
    CZipReader reader;
};
