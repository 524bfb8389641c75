// Fuzz target: an arbitrary archive is opened, listed and every entry extracted into a scratch
// folder, then the same bytes go through the installer's validation and installation into a
// scratch install folder. Besides the sanitizers' findings it stops on what must never happen
// with any input: an exception other than the reader's and the file layer's, a file written
// outside the folder it was meant for, or a staging folder left behind.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "install/PackageInstaller.h"
#include "platform/CException.h"
#include "tests/support/ScratchFolder.h"
#include "zip/CZipReader.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const char* what, const fs::path& where) {
    std::fprintf(stderr, "fuzz invariant broken: %s: %s\n", what, where.c_str());
    std::abort();
}

// Every name directly in `folder` must be one of `allowed`.
void expectOnly(const fs::path& folder, std::initializer_list<std::string_view> allowed) {
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (std::find(allowed.begin(), allowed.end(), name) == allowed.end()) {
            fail("unexpected file", entry.path());
        }
    }
}

void listAndExtract(const std::string& archive, const std::string& folder) {
    CZipReader reader;
    try {
        reader.openArchive(archive.c_str(), CZipStore::openReadOnly, 0);
    } catch (const platform::CException&) {
        return;
    }
    for (int index = 0; index < reader.entryCount(); ++index) {
        const auto entry = static_cast<CZipReader::WORD>(index);
        CZipEntry info;
        reader.getEntryInfo(info, entry);
        (void)info.fileNameString();
        (void)info.modificationTime();
        (void)reader.isEntryFolder(entry);
        const CZipReader::EntryGuard opened(reader);
        try {
            reader.extractEntry(entry, folder.c_str(), true, 4096);
        } catch (const platform::CException&) {
            // A damaged entry is what the fuzzer is after; the guard closes it.
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const testsupport::ScratchFolder scratch;
    const std::string archive =
        scratch.writeFile("archive.zip", {reinterpret_cast<const char*>(data), size});
    const fs::path root = scratch.path();

    listAndExtract(archive, scratch.pathOf("out"));
    expectOnly(root, {"archive.zip", "out"});
    fs::remove_all(root / "out");

    const fs::path host = root / "host";
    installPackage(archive, (host / "App").string());
    expectOnly(root, {"archive.zip", "host"});
    if (fs::exists(host)) {
        expectOnly(host, {"App"});
    }
    fs::remove_all(host);
    return 0;
}
