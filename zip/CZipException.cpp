// The reader's exception and the one mapping from internal codes to causes.
#include "zip/CZipException.h"

CZipException::CZipException(int cause, const char* fileName)
    : fileName(fileName != nullptr ? fileName : ""), cause(cause) {}

int CZipException::mapCause(int code) {
    if (code == 1) {
        return streamEnd;
    }
    if (code == 2) {
        return needDictionary;
    }
    if (code <= -1 && code >= -6) {
        return systemError - 1 - code;  // -1 gives systemError, -6 gives versionError
    }
    if (code <= zipCode::badArchive && code >= zipCode::endRecordNotFound) {
        return badArchive + zipCode::badArchive - code;  // -101 gives badArchive, -109 the last
    }
    return generic;
}

const char* CZipException::what() const noexcept {
    return "Zip archive error";
}

void raiseZipError(int code, const std::string& fileName) {
    throw CZipException(CZipException::mapCause(code), fileName.c_str());
}
