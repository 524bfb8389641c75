// The journal is a file of NUL-terminated fields: a format mark, the install folder's name,
// a path and an aside name per placement, and an end mark. Names of the package never hold a
// NUL. It is written under a temporary name and renamed, so that "journal" is always whole.
#include "install/InstallJournal.h"

#include <algorithm>
#include <string_view>

#include "install/StagingFolder.h"
#include "platform/CFile.h"
#include "platform/CFileException.h"

namespace {

constexpr std::string_view journalName = "journal";
constexpr std::string_view unfinishedName = "journal.tmp";
constexpr std::string_view formatMark = "tockit-journal-1";
constexpr std::string_view endMark = "end";

void appendField(std::string& text, std::string_view field) {
    text.append(field);
    text.push_back('\0');
}

// The staging folder is this installer's own and fresh, so nothing stands at `name` yet.
void writeWhole(const StagingFolder& staging, std::string_view name, std::string_view bytes) {
    platform::CFile file;
    platform::CFileException error;
    if (!file.Open(staging.root(), name, platform::CFile::modeCreate | platform::CFile::modeWrite,
                   &error)) {
        throw error;
    }
    constexpr std::size_t largestWrite = 1u << 30;
    while (!bytes.empty()) {
        const std::size_t count = std::min(bytes.size(), largestWrite);
        file.Write(bytes.data(), static_cast<unsigned>(count));
        bytes.remove_prefix(count);
    }
    file.Close();
}

std::string readWhole(const StagingFolder& staging, std::string_view name) {
    platform::CFile file;
    platform::CFileException error;
    if (!file.Open(staging.root(), name, platform::CFile::modeRead, &error)) {
        throw error;
    }
    std::string bytes;
    char chunk[65536];
    while (const unsigned received = file.Read(chunk, sizeof chunk)) {
        bytes.append(chunk, received);
    }
    return bytes;
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
