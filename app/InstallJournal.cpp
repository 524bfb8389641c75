// The journal is a file of NUL-terminated fields: a format mark, the install folder's name,
// a path and an aside name per placement, and an end mark. Names of the package never hold a
// NUL. It is written under a temporary name and renamed, so that "journal" is always whole.
#include "app/InstallJournal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <utility>

#include "app/StagingFolder.h"
#include "platform/CFileException.h"

namespace {

constexpr std::string_view journalName = "journal";
constexpr std::string_view unfinishedName = "journal.tmp";
constexpr std::string_view formatMark = "tockit-journal-1";
constexpr std::string_view endMark = "end";

struct OwnedDescriptor {
    ~OwnedDescriptor() {
        if (descriptor >= 0) {
            ::close(descriptor);
        }
    }
    int descriptor = -1;
};

[[noreturn]] void raiseFileError(int error, const StagingFolder& staging, std::string_view name) {
    throw platform::CFileException::fromErrno(error, staging.root().pathOf(name));
}

void appendField(std::string& text, std::string_view field) {
    text.append(field);
    text.push_back('\0');
}

void writeWhole(const StagingFolder& staging, std::string_view name, std::string_view bytes) {
    OwnedDescriptor file{::openat(staging.root().descriptor(), std::string(name).c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600)};
    if (file.descriptor < 0) {
        raiseFileError(errno, staging, name);
    }
    while (!bytes.empty()) {
        const ssize_t written = ::write(file.descriptor, bytes.data(), bytes.size());
        if (written < 0 && errno != EINTR) {
            raiseFileError(errno, staging, name);
        }
        bytes.remove_prefix(written > 0 ? static_cast<std::size_t>(written) : 0);
    }
    if (::close(std::exchange(file.descriptor, -1)) != 0) {
        raiseFileError(errno, staging, name);
    }
}

std::string readWhole(const StagingFolder& staging, std::string_view name) {
    OwnedDescriptor file{::openat(staging.root().descriptor(), std::string(name).c_str(),
                                  O_RDONLY | O_NOFOLLOW | O_CLOEXEC)};
    if (file.descriptor < 0) {
        raiseFileError(errno, staging, name);
    }
    std::string bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t received = ::read(file.descriptor, chunk, sizeof chunk);
        if (received == 0) {
            return bytes;
        }
        if (received < 0 && errno != EINTR) {
            raiseFileError(errno, staging, name);
        }
        bytes.append(chunk, received > 0 ? static_cast<std::size_t>(received) : 0);
    }
}

std::vector<std::string_view> fieldsOf(std::string_view text) {
    std::vector<std::string_view> fields;
    for (std::size_t end = text.find('\0'); end != std::string_view::npos; end = text.find('\0')) {
        fields.push_back(text.substr(0, end));
        text.remove_prefix(end + 1);
    }
    return fields;
}

}  // namespace

void writeJournal(const StagingFolder& staging, const Journal& journal) {
    std::string text;
    appendField(text, formatMark);
    appendField(text, journal.installFolderName);
    for (const JournalRecord& record : journal.records) {
        appendField(text, record.path);
        appendField(text, record.asideName);
    }
    appendField(text, endMark);
    writeWhole(staging, unfinishedName, text);
    staging.root().rename(unfinishedName, staging.root(), journalName);
    // One flush of the whole file system, not one per file: it puts every staged file and the
    // journal on disk in a single pass, where a flush per file would wait for the disk once
    // for each of tens of thousands of files. The renames that follow are not flushed one by
    // one either: whichever of them reached the disk before a power cut, the journal undoes.
    staging.root().syncFileSystem();
}

std::optional<Journal> readJournal(const StagingFolder& staging) {
    if (!hasJournal(staging)) {
        return std::nullopt;
    }
    const std::string text = readWhole(staging, journalName);
    const std::vector<std::string_view> fields = fieldsOf(text);
    // A journal cut short was never flushed, so nothing had moved yet.
    if (fields.size() < 3 || fields.size() % 2 == 0 || fields.front() != formatMark ||
        fields.back() != endMark) {
        return std::nullopt;
    }
    Journal journal{std::string(fields[1]), {}};
    for (std::size_t index = 2; index + 1 < fields.size(); index += 2) {
        journal.records.push_back({std::string(fields[index]), std::string(fields[index + 1])});
    }
    return journal;
}

bool hasJournal(const StagingFolder& staging) {
    return staging.root().typeOf(journalName) != platform::Folder::EntryType::missing;
}

void eraseJournal(const StagingFolder& staging) {
    if (hasJournal(staging)) {
        staging.root().remove(journalName);
    }
}
