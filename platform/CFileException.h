// A failure of the file layer: which file, what went wrong, and the OS error behind it.
// It carries no message text of its own; the catch site words the failure for the user.
#pragma once

#include <string>

#include "platform/CException.h"

namespace platform {

class CFileException : public CException {
public:
    // Causes, as the file layer of the original framework numbered them.
    enum Cause {
        none = 0,
        genericException = 1,
        fileNotFound = 2,
        badPath = 3,
        tooManyOpenFiles = 4,
        accessDenied = 5,
        invalidFile = 6,
        removeCurrentDir = 7,
        directoryFull = 8,
        badSeek = 9,
        hardIO = 10,
        sharingViolation = 11,
        lockViolation = 12,
        diskFull = 13,
        endOfFile = 14,
    };

    CFileException(int cause = none, int osError = -1, std::string fileName = {});

    // Builds the exception for a failed call from its errno value.
    static CFileException fromErrno(int error, std::string fileName);

    const char* what() const noexcept override;

    int m_cause;
    int m_lOsError;
    std::string m_strFileName;
};

// Throws the exception fromErrno builds: the one way a failed call is raised as a file error.
[[noreturn]] void raiseFileError(int error, std::string fileName);

}  // namespace platform
