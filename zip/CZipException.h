// The exception family of the Zip reader: a cause value and the archive file concerned, and
// nothing else. Raisers work with internal codes (zlib results and the reader's own -101 to
// -109); `mapCause` turns them into causes.
#pragma once

#include <string>

#include "platform/CException.h"

// The reader's own internal codes.
namespace zipCode {
constexpr int badArchive = -101;
constexpr int badCrc = -102;
constexpr int removableSpan = -103;
constexpr int aborted = -104;
constexpr int notRemovable = -105;
constexpr int tooManyVolumes = -106;
constexpr int reserved16 = -107;
constexpr int badPassword = -108;
constexpr int endRecordNotFound = -109;
}  // namespace zipCode

class CZipException : public platform::CException {
public:
    enum Cause {
        generic = 1,
        streamEnd,
        needDictionary,
        systemError,
        streamError,
        dataError,
        memoryError,
        bufferError,
        versionError,
        badArchive,
        badCrc,
        removableSpan,
        aborted,
        notRemovable,
        tooManyVolumes,
        reserved16,
        badPassword,
        endRecordNotFound,
    };

    // `cause` is already a cause value; a null `fileName` leaves the name empty.
    explicit CZipException(int cause = generic, const char* fileName = nullptr);

    static int mapCause(int code);

    const char* what() const noexcept override;

    std::string fileName;
    int cause;
};

// Throws CZipException(mapCause(code), fileName).
[[noreturn]] void raiseZipError(int code, const std::string& fileName);
