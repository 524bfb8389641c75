// The archive's storage. Reads are exact: a shortfall is a damaged archive, never a short
// result. Volume files of a split archive are named from the path of the volume open now.
#include "zip/CZipStore.h"

#include <cstdio>

#include "platform/FileSystem.h"
#include "zip/CZipException.h"
#include "zip/CZipPath.h"

std::string driveOfPath(const char* path) {
    return CZipPath::split(path).drive;
}

bool isRemovableDrive(const char* path) {
    return platform::isRemovableDrive(driveOfPath(path));
}

void CZipStore::open(const char* path, int, int) {
    activeFile = &file;
    openVolumeFile(path);
    spanMode = spanDetect;
}

void CZipStore::openDuplicate(const CZipStore& opened) {
    activeFile = &file;
    platform::CFileException error;
    if (!file.OpenDuplicate(*opened.activeFile, &error)) {
        throw error;
    }
    spanMode = spanDetect;
}

std::uint32_t CZipStore::read(void* destination, std::uint32_t count, bool wholeInVolume) {
    if (count == 0) {
        return 0;
    }
    auto* bytes = static_cast<unsigned char*>(destination);
    // A read that starts at the end of a volume moves on, passing over empty volumes.
    std::uint32_t done = activeFile->Read(bytes, count);
    while (done == 0) {
        moveToNextVolumeOrRaise();
        done = activeFile->Read(bytes, count);
    }
    if (done == count) {
        return count;
    }
    if (wholeInVolume || spanDirection() == 0) {
        raiseError(zipCode::badArchive);
    }
    while (done < count) {
        moveToNextVolumeOrRaise();
        const std::uint32_t more = activeFile->Read(bytes + done, count - done);
        if (more == 0) {
            raiseError(zipCode::badArchive);
        }
        done += more;
    }
    return count;
}

// No volume follows the last one of a split archive, nor the only file of a single-file one:
// the data ends there, and guessing further volume names would only postpone the refusal.
void CZipStore::moveToNextVolumeOrRaise() {
    if (spanDirection() == 0 || (spanMode == spanSplit && currentVolume >= lastVolume)) {
        raiseError(zipCode::badArchive);
    }
    changeVolume(currentVolume + 1);
}

void CZipStore::changeVolume(int number) {
    if (number == currentVolume) {
        return;
    }
    currentVolume = number;
    const std::string name =
        splitVolumeName(currentVolume == lastVolume, activeFile->GetFilePath());
    activeFile->Close();
    openVolumeFile(name);
}

void CZipStore::setLastVolume(std::uint16_t number) {
    currentVolume = number;
    if (number == 0) {
        spanMode = spanNone;
        return;
    }
    if (spanMode == spanDetect && isRemovableDrive(activeFile->GetFilePath().c_str())) {
        spanMode = spanRemovable;
    } else {
        spanMode = spanSplit;
    }
    if (spanMode == spanRemovable) {
        raiseError(zipCode::removableSpan);
    }
    lastVolume = number;
}

void CZipStore::raiseError(int code) const {
    raiseZipError(code, activeFile != nullptr ? activeFile->GetFilePath() : std::string());
}

void CZipStore::openVolumeFile(const std::string& name) {
    // Volume files are only read; others may read them meanwhile.
    constexpr unsigned flags = platform::CFile::modeRead | platform::CFile::modeNoTruncate |
                               platform::CFile::shareDenyWrite;
    platform::CFileException error;
    if (!activeFile->Open(name.c_str(), flags, &error)) {
        throw error;
    }
}

std::string CZipStore::splitVolumeName(bool isLast, const std::string& path) const {
    std::string extension = "zip";
    if (!isLast) {
        char number[16];
        std::snprintf(number, sizeof number, "%.3d", currentVolume);
        extension = number;
    }
    return CZipPath::folderOf(path.c_str()) + CZipPath::titleOf(path.c_str()) + "." + extension;
}
