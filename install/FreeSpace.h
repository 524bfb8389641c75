// Whether a package fits on the file system it is to be installed on, judged before anything
// is written by the uncompressed sizes that its entries declare. It does not reserve the space:
// another writer may still take it, and a write that then fails undoes the installation.
#pragma once

#include <filesystem>

class CZipReader;

// True when the declared uncompressed sizes of every entry of the opened archive add up to no
// more than the space available to the installer on the file system where `folder` is or
// would be created. Throws platform::CFileException when that space cannot be found out.
bool packageFitsInFreeSpace(const CZipReader& reader, const std::filesystem::path& folder);
