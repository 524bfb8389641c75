// The archive's storage: the open volume file and the bookkeeping of archives split into
// numbered volume files (`.000`, `.001`, ..., last `.zip`). Exact reads continue on the next
// volume where the caller allows it. Archives spanned over removable disks are refused.
#pragma once

#include <cstdint>
#include <string>

#include "zip/CZipBigFile.h"

// The drive part of a path ("C:"), or empty.
std::string driveOfPath(const char* path);
bool isRemovableDrive(const char* path);

class CZipStore {
public:
    enum SpanMode { spanNone = 0, spanRemovable = 1, spanSplit = 2, spanDetect = 3 };
    enum OpenMode { openReadOnly = 1 };

    CZipStore() = default;
    CZipStore(const CZipStore&) = delete;
    CZipStore& operator=(const CZipStore&) = delete;
    virtual ~CZipStore() = default;

    // Opens the archive file; a file that cannot be opened throws CFileException.
    void open(const char* path, int mode, int volumeSize);
    // Opens the file that `opened` has open now, through a duplicate of its descriptor.
    void openDuplicate(const CZipStore& opened);
    // Reads exactly `count` bytes or raises badArchive.
    std::uint32_t read(void* destination, std::uint32_t count, bool wholeInVolume);
    void changeVolume(int number);
    void setLastVolume(std::uint16_t number);
    int spanDirection() const { return spanMode == spanNone ? 0 : -1; }
    int getCurrentVolume() const { return currentVolume; }
    [[noreturn]] void raiseError(int code) const;

    CZipBigFile file;
    platform::CFile* activeFile = nullptr;
    int spanMode = spanDetect;
    int lastVolume = 0;
    int currentVolume = -1;

private:
    void moveToNextVolumeOrRaise();
    void openVolumeFile(const std::string& name);
    std::string splitVolumeName(bool isLast, const std::string& path) const;
};
