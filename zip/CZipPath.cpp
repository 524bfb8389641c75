// Path pieces and folder trees for the reader. Both `\` and `/` end a folder, because entry
// names use `\` while POSIX paths use `/`. Folders are tested with stat: the current directory
// is never changed.
#include "zip/CZipPath.h"

#include <string_view>

#include "platform/FileSystem.h"

namespace {

constexpr std::size_t driveLimit = 2;
constexpr std::size_t pieceLimit = 255;

bool isSeparator(char character) {
    return character == '\\' || character == '/';
}

bool isAsciiLetter(char character) {
    return (character >= 'A' && character <= 'Z') || (character >= 'a' && character <= 'z');
}

// At most `limit` bytes of `piece`, never ending inside a UTF-8 sequence.
std::string cutTo(std::string_view piece, std::size_t limit) {
    if (piece.size() <= limit) {
        return std::string(piece);
    }
    std::size_t length = limit;
    while (length > 0 && (static_cast<unsigned char>(piece[length]) & 0xC0) == 0x80) {
        --length;
    }
    return std::string(piece.substr(0, length));
}

}  // namespace

CZipPath::Pieces CZipPath::split(const char* path) {
    std::string_view rest(path);
    Pieces pieces;
    if (rest.size() >= 2 && isAsciiLetter(rest[0]) && rest[1] == ':') {
        pieces.drive = cutTo(rest.substr(0, 2), driveLimit);
        rest.remove_prefix(2);
    }
    const std::size_t lastSeparator = rest.find_last_of("\\/");
    if (lastSeparator != std::string_view::npos) {
        pieces.folder = cutTo(rest.substr(0, lastSeparator + 1), pieceLimit);
        rest.remove_prefix(lastSeparator + 1);
    }
    const std::size_t lastDot = rest.rfind('.');
    if (lastDot != std::string_view::npos) {
        pieces.extension = cutTo(rest.substr(lastDot), pieceLimit);
        rest = rest.substr(0, lastDot);
    }
    pieces.name = cutTo(rest, pieceLimit);
    return pieces;
}

bool CZipPath::isCutBySplitting(const std::string& path) {
    const Pieces pieces = split(path.c_str());
    return pieces.drive.size() + pieces.folder.size() + pieces.name.size() +
               pieces.extension.size() !=
           path.size();
}

std::string CZipPath::folderOf(const char* path) {
    const Pieces pieces = split(path);
    return pieces.drive + pieces.folder;
}

std::string CZipPath::titleOf(const char* path) {
    return split(path).name;
}

std::string CZipPath::pathWithoutDrive(const char* path) {
    const Pieces pieces = split(path);
    // Leading `/` goes as well as `\`: on POSIX it would make the result absolute.
    const std::size_t firstKept = pieces.folder.find_first_not_of("\\/");
    const std::string folder =
        firstKept == std::string::npos ? std::string() : pieces.folder.substr(firstKept);
    return folder + pieces.name + pieces.extension;
}

std::string CZipPath::nameOf(const char* path) {
    const Pieces pieces = split(path);
    return pieces.name + pieces.extension;
}

bool CZipPath::createFolderTree(const char* path) {
    std::string folder(path);
    while (!folder.empty() && isSeparator(folder.back())) {
        folder.pop_back();
    }
    // True for the empty string and a bare drive: the recursion ends at a root or at the start
    // of a relative path.
    if (folderOf(folder.c_str()) == folder) {
        return true;
    }
    if (pathKind(folder.c_str()) == -1) {
        return true;
    }
    if (!createFolderTree(folderOf(folder.c_str()).c_str())) {
        return false;
    }
    return platform::createDirectory(folder);
}

int CZipPath::pathKind(const char* path) {
    switch (platform::pathType(path)) {
        case platform::PathType::folder:
            return -1;
        case platform::PathType::file:
            return 1;
        case platform::PathType::missing:
            break;
    }
    return 0;
}

bool CZipPath::isExistingFolder(const char* path) {
    return platform::pathType(path) == platform::PathType::folder;
}
