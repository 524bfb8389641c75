// The journal of renames behind an all-or-nothing installation.
#include "app/InstallTransaction.h"

#include <string>
#include <system_error>
#include <utility>

#include "platform/CFileException.h"

namespace fs = std::filesystem;

InstallTransaction::InstallTransaction(fs::path asideFolder)
    : asideFolder(std::move(asideFolder)) {}

InstallTransaction::~InstallTransaction() {
    if (committed) {
        return;
    }
    // A rename back into a folder the installation has just written to can only fail if
    // something outside the installer interferes; there is nobody to tell, and a destructor
    // must not throw, so the undo goes on with the remaining renames.
    std::error_code ignored;
    for (auto done = journal.rbegin(); done != journal.rend(); ++done) {
        fs::rename(done->to, done->from, ignored);
    }
}

void InstallTransaction::place(const Placement& placement) {
    // Either rename failing names the file in the install folder: the staging folder is the
    // installer's own, and gone by the time the failure is reported.
    if (placement.replaces) {
        rename(placement.target, asideFolder / std::to_string(journal.size()), placement.target);
    }
    rename(placement.staged, placement.target, placement.target);
}

void InstallTransaction::rename(const fs::path& from, const fs::path& to, const fs::path& blamed) {
    std::error_code error;
    fs::rename(from, to, error);
    if (error) {
        throw platform::CFileException::fromErrno(error.value(), blamed.string());
    }
    journal.push_back({from, to});
}
