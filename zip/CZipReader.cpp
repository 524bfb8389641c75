// The archive facade and the extraction of entries. Every block zlib allocates passes through
// trackedAlloc and is recorded, so that an entry abandoned halfway (an exception, a close after
// a failure, the reader's destruction) still frees each block exactly once. It never writes
// outside the folder an entry is extracted into, and it does not decrypt.
#include "zip/CZipReader.h"

#include <algorithm>
#include <ctime>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "platform/FileSystem.h"
#include "platform/Folder.h"
#include "zip/CZipException.h"
#include "zip/CZipPath.h"

namespace {

constexpr std::uint8_t entryClosed = 0;
constexpr std::uint8_t entryOpenForRead = 255;

std::list<void*>& allocationListOf(void* opaque) {
    return *static_cast<std::list<void*>*>(opaque);
}

// Tools on Unix keep the file's mode in the high half of the external attributes. When that
// mode names a file type, it says whether the entry is a folder, whatever the DOS folder bit in
// the low half claims; an archive from anywhere else is judged by the DOS bit alone.
std::optional<bool> isFolderByUnixMode(const CZipEntry& entry) {
    constexpr unsigned madeOnUnix = 3;
    constexpr std::uint32_t fileTypeMask = 0170000;
    constexpr std::uint32_t folderType = 0040000;
    const std::uint32_t fileType = (entry.externalAttributes >> 16) & fileTypeMask;
    if ((entry.versionMadeBy >> 8) != madeOnUnix || fileType == 0) {
        return std::nullopt;
    }
    return fileType == folderType;
}

bool hasParentFolderComponent(std::string_view path) {
    while (!path.empty()) {
        const std::size_t end = std::min(path.find_first_of("\\/"), path.size());
        if (path.substr(0, end) == "..") {
            return true;
        }
        path.remove_prefix(std::min(end + 1, path.size()));
    }
    return false;
}

// The folder `relative` names below `base`, each piece made where it is missing and none
// reached through a link; empty for `base` itself. Empty and `.` pieces stay where they are,
// as they do in a path. Throws CFileException.
std::optional<platform::Folder> openFolderTree(const platform::Folder& base,
                                               std::string_view relative) {
    std::optional<platform::Folder> reached;
    while (!relative.empty()) {
        const std::size_t end = std::min(relative.find_first_of("\\/"), relative.size());
        const std::string_view piece = relative.substr(0, end);
        if (!piece.empty() && piece != ".") {
            reached = (reached ? *reached : base).openOrCreateFolder(piece);
        }
        relative.remove_prefix(std::min(end + 1, relative.size()));
    }
    return reached;
}

}  // namespace

CZipStream::CZipStream() = default;

CZipReader::CZipReader() {
    directory.store = &store;
    stream.zs.zalloc = trackedAlloc;
    stream.zs.zfree = trackedFree;
    stream.zs.opaque = &allocations;
}

CZipReader::~CZipReader() {
    releaseTrackedBlocks();
}

void CZipReader::openArchive(const char* path, int mode, int volumeSize) {
    if (!isArchiveClosed()) {
        return;
    }
    entryState = entryClosed;
    store.open(path, mode, volumeSize);
    directory.reset();
    directory.readDirectory();
}

void CZipReader::openArchive(const CZipReader& opened) {
    if (!isArchiveClosed() || opened.isArchiveClosed() || opened.spansVolumes()) {
        return;
    }
    entryState = entryClosed;
    store.openDuplicate(opened.store);
    directory.reset();
    directory.readDirectory();
}

int CZipReader::entryCount() const {
    return directory.entryCountInTable();
}

bool CZipReader::getEntryInfo(CZipEntry& info, WORD index) const {
    if (isArchiveClosed() || !directory.isValidIndex(index)) {
        return false;
    }
    info = *directory.entryAt(index);
    return true;
}

bool CZipReader::isEntryFolder(WORD index) const {
    if (isArchiveClosed() || !directory.isValidIndex(index)) {
        return false;
    }
    const CZipEntry& entry = *directory.entryAt(index);
    // Some tools mark folder entries by the trailing separator alone, without the attribute.
    const std::string name = entry.fileNameString();
    if (!name.empty() && name.back() == '\\') {
        return true;
    }
    return isFolderByUnixMode(entry).value_or(isFolderAttribute(entry.externalAttributes));
}

bool CZipReader::openEntryForRead(WORD index) {
    if (!directory.isValidIndex(index) || entryState != entryClosed) {
        return false;
    }
    stream.allocateInput();
    // Checks the local header, which also refuses methods other than stored and deflated.
    directory.openEntry(index);
    const CZipEntry& entry = *directory.openedEntry;
    if (entry.isEncrypted()) {
        return false;
    }
    if (entry.method == 8) {
        checkInflateResult(inflateInit2(&stream.zs, -MAX_WBITS));
    }
    stream.compressedLeft = entry.compressedSize;
    stream.crc = 0;
    stream.uncompressedLeft = entry.uncompressedSize;
    stream.zs.total_out = 0;
    stream.zs.avail_in = 0;
    entryState = entryOpenForRead;
    return true;
}

unsigned CZipReader::readEntryData(void* buffer, unsigned size) {
    if (entryState != entryOpenForRead || buffer == nullptr || size == 0) {
        return 0;
    }
    z_stream& zs = stream.zs;
    const bool deflated = directory.openedEntry->method == 8;
    zs.next_out = static_cast<Bytef*>(buffer);
    zs.avail_out = std::min(size, stream.uncompressedLeft);
    // Nothing is left to deliver but compressed bytes are: this pass lets inflate reach the
    // end of the deflate stream, so that the archive stands after the entry's data.
    const bool forced = zs.avail_out == 0 && stream.compressedLeft > 0;
    unsigned delivered = 0;
    while (zs.avail_out > 0 || (forced && stream.compressedLeft > 0)) {
        bool readInput = false;
        if (zs.avail_in == 0 && stream.compressedLeft > 0) {
            const std::uint32_t count = std::min(stream.inputBufferSize, stream.compressedLeft);
            store.read(stream.inputBuffer.data(), count, false);
            stream.compressedLeft -= count;
            zs.next_in = stream.inputBuffer.data();
            zs.avail_in = count;
            readInput = true;
        }
        const uInt inputBefore = zs.avail_in;
        Bytef* const output = zs.next_out;
        int result = Z_OK;
        unsigned produced = 0;
        if (deflated) {
            const uLong totalBefore = zs.total_out;
            result = inflate(&zs, Z_SYNC_FLUSH);
            produced = static_cast<unsigned>(zs.total_out - totalBefore);
        } else {
            produced = std::min(zs.avail_out, zs.avail_in);
            std::copy_n(zs.next_in, produced, zs.next_out);
            zs.next_in += produced;
            zs.avail_in -= produced;
            zs.next_out += produced;
            zs.avail_out -= produced;
            zs.total_out += produced;
        }
        stream.crc = static_cast<std::uint32_t>(crc32(stream.crc, output, produced));
        stream.uncompressedLeft -= produced;
        delivered += produced;
        if (result == Z_STREAM_END) {
            break;
        }
        checkInflateResult(result);
        // A stored entry whose data is longer than its size would otherwise go round forever.
        if (!readInput && produced == 0 && zs.avail_in == inputBefore) {
            break;
        }
    }
    return delivered;
}

int CZipReader::closeCurrentEntry(const char* filePath, bool afterFailure) {
    return closeEntry(nullptr, filePath, afterFailure);
}

int CZipReader::closeEntry(platform::CFile* written, const char* filePath, bool afterFailure) {
    if (entryState != entryOpenForRead) {
        return 0;
    }
    if (afterFailure) {
        abandonEntry();
        return 1;
    }
    int result = 1;
    const CZipEntry& entry = *directory.openedEntry;
    if (stream.uncompressedLeft != 0) {
        result = -1;
    } else if (stream.crc != entry.crc32) {
        raiseError(zipCode::badCrc);
    }
    if (entry.method == 8) {
        inflateEnd(&stream.zs);
    }
    if (written != nullptr || filePath != nullptr) {
        platform::CFileStatus status;
        status.m_mtime = entry.modificationTime();
        status.m_atime = std::time(nullptr);
        try {
            if (written != nullptr) {
                written->SetStatus(status);
            } else {
                platform::CFile::SetStatus(filePath, status);
            }
        } catch (const platform::CFileException&) {
            // The data is written; only its time is missing. The entry stays opened, and
            // the 0 tells the caller to close it with afterFailure.
            return 0;
        }
        const bool attributesSet =
            written != nullptr ? written->SetAttributes(entry.externalAttributes)
                               : platform::setFileAttributes(filePath, entry.externalAttributes);
        if (!attributesSet) {
            result = -2;
        }
    }
    directory.closeEntry();
    abandonEntry();
    return result;
}

void CZipReader::abandonEntry() noexcept {
    if (entryState != entryOpenForRead) {
        return;
    }
    // The descriptor is not read: after a failure the archive may stand anywhere, and a second
    // fault found there would only repeat the first.
    directory.abandonEntry();
    entryState = entryClosed;
    stream.inputBuffer.release();
    releaseTrackedBlocks();
}

int CZipReader::finishEntryFile(platform::CFile& file) {
    const std::string path = file.GetFilePath();
    file.Close();
    return closeCurrentEntry(path.c_str(), false);
}

bool CZipReader::extractEntry(WORD index, const char* folder, bool keepStoredPath,
                              std::uint32_t bufferSize) {
    std::string target = folder != nullptr ? folder : "";
    target.erase(target.find_last_not_of("\\/") + 1);
    std::optional<platform::Folder> opened;
    const FolderSource openTarget = [&]() -> const platform::Folder& {
        // Named by its path, the folder is wherever that path leads, links and all.
        CZipPath::createFolderTree(target.c_str());
        return opened.emplace(target.empty() ? std::string("/") : target);
    };
    // A folder entry counts as extracted even when its folder could not be made.
    return extractEntryBelow(index, openTarget, keepStoredPath, bufferSize) ||
           (bufferSize != 0 && isEntryFolder(index));
}

bool CZipReader::extractEntry(WORD index, const platform::Folder& folder, bool keepStoredPath,
                              std::uint32_t bufferSize) {
    return extractEntryBelow(
        index, [&folder]() -> const platform::Folder& { return folder; }, keepStoredPath,
        bufferSize);
}

bool CZipReader::extractEntryBelow(WORD index, const FolderSource& folder, bool keepStoredPath,
                                   std::uint32_t bufferSize) {
    if (bufferSize == 0) {
        return false;
    }
    CZipEntry info;
    getEntryInfo(info, index);
    const std::string name = info.fileNameString();
    const std::string storedPath = CZipPath::pathWithoutDrive(name.c_str());
    const std::string tail = keepStoredPath ? storedPath : CZipPath::nameOf(name.c_str());
    if (name.find('\0') != std::string::npos || hasParentFolderComponent(storedPath) ||
        hasParentFolderComponent(tail)) {
        raiseError(zipCode::badArchive);
    }
    // Splitting cuts a long piece of the name short, and the entry would then land somewhere
    // else than its name says: such a name is refused rather than shortened. Where the folder
    // extracted into lies is the caller's business, however long its path.
    if (CZipPath::isCutBySplitting(name)) {
        raiseError(zipCode::badArchive);
    }

    if (isEntryFolder(index)) {
        // Attributes are not applied: the only one that means anything here, read-only, does
        // not apply to folders.
        try {
            openFolderTree(folder(), tail);
        } catch (const platform::CFileException&) {
            // A file of the folder's name came first, or the folder cannot be written: the
            // result says so, and the caller decides what it means.
            return false;
        }
        return true;
    }
    if (!openEntryForRead(index)) {
        return false;
    }
    // The tail is split here rather than by CZipPath, which would take a leading "C:" of what
    // is left for a drive.
    const std::size_t lastSeparator = tail.find_last_of("\\/");
    const std::string_view folderPart = lastSeparator == std::string::npos
                                            ? std::string_view()
                                            : std::string_view(tail).substr(0, lastSeparator);
    const std::string_view fileName =
        std::string_view(tail).substr(lastSeparator == std::string::npos ? 0 : lastSeparator + 1);
    const platform::Folder& base = folder();
    const std::optional<platform::Folder> below = openFolderTree(base, folderPart);
    platform::CFile file;
    platform::CFileException error;
    if (!file.Open(below ? *below : base, fileName,
                   platform::CFile::modeCreate | platform::CFile::modeWrite |
                       platform::CFile::shareDenyWrite,
                   &error)) {
        throw error;
    }
    CZipBuffer buffer(bufferSize, false);
    unsigned count = 0;
    do {
        count = readEntryData(buffer.data(), bufferSize);
        if (count > 0) {
            file.Write(buffer.data(), count);
        }
    } while (count == bufferSize);
    // Stamped through the descriptor that wrote the data, so the time and attributes go to
    // this very file wherever it is now.
    const int closed = closeEntry(&file, nullptr, false);
    file.Close();
    return closed == 1;
}

void CZipReader::raiseError(int code) const {
    raiseZipError(code, isArchiveClosed() ? std::string() : store.activeFile->GetFilePath());
}

int CZipReader::checkInflateResult(int code) const {
    if (code != Z_OK && code != Z_NEED_DICT) {
        raiseError(code);
    }
    return code;
}

// zlib is C: nothing may be thrown through it, and a null result is how it learns of a failure.
void* CZipReader::trackedAlloc(void* opaque, unsigned items, unsigned size) {
    void* block = ::operator new (std::size_t{items} * size, std::nothrow);
    if (block == nullptr || opaque == nullptr) {
        return block;
    }
    try {
        allocationListOf(opaque).push_back(block);
    } catch (const std::bad_alloc&) {
        ::operator delete(block);
        return nullptr;
    }
    return block;
}

void CZipReader::trackedFree(void* opaque, void* address) {
    if (opaque != nullptr) {
        std::list<void*>& blocks = allocationListOf(opaque);
        const auto found = std::find(blocks.begin(), blocks.end(), address);
        if (found != blocks.end()) {
            blocks.erase(found);
        }
    }
    ::operator delete(address);
}

void CZipReader::releaseTrackedBlocks() noexcept {
    for (void* block : allocations) {
        ::operator delete(block);
    }
    allocations.clear();
}
