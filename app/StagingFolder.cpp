// Creating and removing the staging folder. Names come from a random suffix and an atomic
// create, so two installers working beside the same install folder never share one.
#include "app/StagingFolder.h"

#include <random>
#include <system_error>

#include "platform/CFileException.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view namePrefix = ".tockit-staging-";
constexpr int nameAttempts = 100;

[[noreturn]] void raiseFileError(const std::error_code& error, const fs::path& path) {
    throw platform::CFileException::fromErrno(error.value(), path.string());
}

void createFolder(const fs::path& folder) {
    std::error_code error;
    if (!fs::create_directory(folder, error)) {
        raiseFileError(error ? error : std::make_error_code(std::errc::file_exists), folder);
    }
}

std::string randomSuffix(std::mt19937& generator) {
    static constexpr std::string_view alphabet = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string suffix(8, ' ');
    for (char& character : suffix) {
        character = alphabet[pick(generator)];
    }
    return suffix;
}

}  // namespace

StagingFolder::StagingFolder(const fs::path& parent) {
    createUniqueRoot(parent.empty() ? fs::path(".") : parent);
    createFolder(packageFolder());
    createFolder(asideFolder());
}

// Nothing useful can be done about a leftover: the installation's verdict is already settled,
// and a destructor must not throw.
StagingFolder::OwnedTree::~OwnedTree() {
    std::error_code ignored;
    if (!folder.empty()) {
        fs::remove_all(folder, ignored);
    }
}

void StagingFolder::createUniqueRoot(const fs::path& parent) {
    std::mt19937 generator{std::random_device{}()};
    for (int attempt = 0; attempt < nameAttempts; ++attempt) {
        const fs::path candidate = parent / (std::string(namePrefix) + randomSuffix(generator));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            rootFolder.folder = candidate;
            // The package's files are nobody else's business until they are installed.
            fs::permissions(candidate, fs::perms::owner_all, error);
            return;
        }
        if (error) {
            raiseFileError(error, candidate);
        }
    }
    raiseFileError(std::make_error_code(std::errc::file_exists), parent / namePrefix);
}
