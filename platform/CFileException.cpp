// Turns errno values into the file layer's causes. The OS error number is kept as it came so a
// caller that needs more detail than the cause can still see it.
#include "platform/CFileException.h"

#include <cerrno>
#include <utility>

namespace platform {
namespace {

int causeOfErrno(int error) {
    switch (error) {
        case ENOENT:
            return CFileException::fileNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:  // a folder opened as a file is refused, as on Windows
            return CFileException::accessDenied;
        case ENOTDIR:
        case ENAMETOOLONG:
            return CFileException::badPath;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return CFileException::diskFull;
        case EMFILE:
        case ENFILE:
            return CFileException::tooManyOpenFiles;
        default:
            return CFileException::genericException;
    }
}

}  // namespace

CFileException::CFileException(int cause, int osError, std::string fileName)
    : m_cause(cause), m_lOsError(osError), m_strFileName(std::move(fileName)) {}

CFileException CFileException::fromErrno(int error, std::string fileName) {
    return CFileException(causeOfErrno(error), error, std::move(fileName));
}

void raiseFileError(int error, std::string fileName) {
    throw CFileException::fromErrno(error, std::move(fileName));
}

const char* CFileException::what() const noexcept {
    return "File error";
}

}  // namespace platform
