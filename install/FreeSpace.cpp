// The free-space check. Sizes add up in 64 bits: 65535 entries of up to 4 GiB each cannot
// overflow them.
#include "install/FreeSpace.h"

#include <cstdint>
#include <system_error>

#include "platform/CFileException.h"
#include "zip/CZipReader.h"

bool packageFitsInFreeSpace(const CZipReader& reader, const std::filesystem::path& folder) {
    std::uint64_t declared = 0;
    for (int index = 0; index < reader.entryCount(); ++index) {
        CZipEntry info;
        reader.getEntryInfo(info, static_cast<CZipReader::WORD>(index));
        declared += info.uncompressedSize;
    }
    // The nearest folder that exists lies on the file system that a missing one would join.
    std::filesystem::path existing = folder.empty() ? std::filesystem::path(".") : folder;
    std::error_code error;
    while (!std::filesystem::exists(existing, error) && !error && existing.has_relative_path()) {
        existing = existing.parent_path().empty() ? "." : existing.parent_path();
    }
    const std::filesystem::space_info space = std::filesystem::space(existing, error);
    if (error) {
        platform::raiseFileError(error.value(), existing.string());
    }
    return declared <= space.available;
}
