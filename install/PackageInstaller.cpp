// Validating a package and installing it through a staging folder. Every entry is extracted
// and checked before the first file reaches the install folder, and the files then arrive by
// renames, journaled first, that are undone if any of them fails or the installer dies. The
// descriptor is read from memory: no copy of it is written anywhere.
#include "install/PackageInstaller.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "install/ExtractionSchedule.h"
#include "install/FreeSpace.h"
#include "install/InstallLock.h"
#include "install/InstallRecovery.h"
#include "install/InstallTransaction.h"
#include "install/ParallelExtraction.h"
#include "install/PlacementPlan.h"
#include "install/StagingFolder.h"
#include "platform/CException.h"
#include "platform/CFileException.h"
#include "platform/FileSystem.h"
#include "platform/Folder.h"
#include "platform/TerminationDeferral.h"
#include "text/IniFile.h"
#include "text/TextScanning.h"
#include "zip/CZipReader.h"

namespace {

using WORD = CZipReader::WORD;

constexpr std::uint32_t extractionBufferSize = 65535;
// The output buffer of an extracted entry holds the whole entry up to this size: the inflater
// copies up to 32 KiB of every call's output into its window, so a large entry wants few calls.
constexpr std::uint32_t largestOutputBuffer = 1024 * 1024;
// A descriptor is a few lines of text; anything bigger is not one, and is not read into memory.
constexpr std::uint32_t descriptorSizeLimit = 1024 * 1024;
constexpr std::string_view descriptorSection = "Tockit";

InstallResult refused() {
    return {};
}

InstallResult interrupted() {
    InstallResult result;
    result.failure = InstallResult::interrupted;
    return result;
}

std::string entryName(const CZipReader& reader, WORD index) {
    CZipEntry info;
    reader.getEntryInfo(info, index);
    return info.fileNameString();
}

// The first entry whose name contains ".app" names the descriptor's path; the entry read is the
// one that ends up installed there, the last to land on it.
std::optional<WORD> findDescriptor(const CZipReader& reader, const ExtractionSchedule& schedule) {
    for (int index = 0; index < reader.entryCount(); ++index) {
        if (entryName(reader, static_cast<WORD>(index)).find(".app") != std::string::npos) {
            return schedule.lastOnSamePath[static_cast<std::size_t>(index)];
        }
    }
    return std::nullopt;
}

// The descriptor's text, or nullopt when it cannot be read in full and checked.
std::optional<std::string> readDescriptor(CZipReader& reader, WORD index) {
    CZipEntry info;
    reader.getEntryInfo(info, index);
    const CZipReader::EntryGuard opened(reader);
    if (info.uncompressedSize > descriptorSizeLimit || !reader.openEntryForRead(index)) {
        return std::nullopt;
    }
    std::string text;
    std::vector<char> chunk(extractionBufferSize);
    unsigned received = 0;
    do {
        // A call after the last byte lets the inflater reach the end of its stream.
        received = reader.readEntryData(chunk.data(), extractionBufferSize);
        text.append(chunk.data(), received);
    } while (received == extractionBufferSize);
    if (reader.closeCurrentEntry(nullptr, false) != 1) {
        return std::nullopt;
    }
    return text;
}

bool namesBothFiles(const CZipReader& reader, std::string_view code, std::string_view parameters) {
    bool codeFound = false;
    bool parametersFound = false;
    for (int index = 0; index < reader.entryCount(); ++index) {
        const std::string name = entryName(reader, static_cast<WORD>(index));
        codeFound = codeFound || text::equalIgnoringAsciiCase(name, code);
        parametersFound = parametersFound || text::equalIgnoringAsciiCase(name, parameters);
    }
    return codeFound && parametersFound;
}

ExtractionSchedule scheduleOf(const CZipReader& reader) {
    std::vector<ScheduledEntry> entries(static_cast<std::size_t>(reader.entryCount()));
    for (std::size_t index = 0; index < entries.size(); ++index) {
        const auto entry = static_cast<WORD>(index);
        CZipEntry info;
        reader.getEntryInfo(info, entry);
        entries[index] = {info.fileNameString(), info.uncompressedSize,
                          reader.isEntryFolder(entry)};
    }
    return scheduleExtraction(entries);
}

// Writes every entry below `folder`, on as many cores as the package keeps busy. The reader
// refuses a stored path that would climb out of `folder` ("..\x"). The result is the one
// extracting the entries one after the other in archive order gives: see ExtractionSchedule.
ExtractionOutcome extractAll(CZipReader& reader, const ExtractionSchedule& schedule,
                             const platform::Folder& folder, const InstallProgress& progress) {
    std::uint64_t total = 0;
    for (const ExtractionTask& task : schedule.tasks) {
        total += task.size;
    }
    const unsigned workerCount = usefulWorkerCount(schedule, std::thread::hardware_concurrency());
    const EntryExtractor extractEntry = [&folder](CZipReader& worker, WORD entry) {
        CZipEntry info;
        worker.getEntryInfo(info, entry);
        // Exactly the entry's size when it fits, so that one more call reaches the end of the
        // deflate data; never 0, which extracts nothing. A folder entry whose folder cannot be
        // made, because an earlier entry of its name is a file, refuses the package.
        const std::uint32_t bufferSize = std::clamp(info.uncompressedSize, 1u, largestOutputBuffer);
        const CZipReader::EntryGuard opened(worker);
        return worker.extractEntry(entry, folder, true, bufferSize);
    };
    return extractInParallel(reader, {schedule.tasks, workerCount}, extractEntry,
                             [&](std::uint64_t extracted) {
                                 if (progress) {
                                     progress(extracted, total);
                                 }
                             });
}

std::filesystem::path withoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

InstallResult install(CZipReader& reader, const std::string& packagePath,
                      const std::string& installFolder, const InstallProgress& progress) {
    reader.openArchive(packagePath.c_str(), CZipStore::openReadOnly, 0);
    const ExtractionSchedule schedule = scheduleOf(reader);
    const std::optional<WORD> descriptorIndex = findDescriptor(reader, schedule);
    if (!descriptorIndex) {
        return refused();
    }
    const std::optional<std::string> descriptorText = readDescriptor(reader, *descriptorIndex);
    if (!descriptorText) {
        return refused();
    }
    const text::IniFile descriptor(*descriptorText);
    if (!namesBothFiles(reader, descriptor.getString(descriptorSection, "CODE"),
                        descriptor.getString(descriptorSection, "PAR"))) {
        return refused();
    }

    const std::filesystem::path target =
        withoutTrailingSeparators(platform::nativePath(installFolder));
    if (!packageFitsInFreeSpace(reader, target)) {
        // Found out before writing anything, but a full disk all the same: no fault of the
        // package, which another disk would take.
        platform::raiseFileError(ENOSPC, target.parent_path().string());
    }
    // One installation at a time per install folder.
    const InstallLock lock(target.parent_path());
    const platform::Folder& host = lock.folder();
    recoverInterruptedInstallations(host);
    StagingFolder staging(host);
    const ExtractionOutcome extraction =
        extractAll(reader, schedule, staging.packageFolder(), progress);
    if (extraction != ExtractionOutcome::extracted) {
        return extraction == ExtractionOutcome::interrupted ? interrupted() : refused();
    }
    const std::string installFolderName = target.filename().string();
    const std::optional<platform::Folder> app = openInstallFolder(host, installFolderName);
    const PlacementPlan plan = planPlacement(staging.packageFolder(), app ? &*app : nullptr);
    if (plan.verdict == PlacementPlan::Verdict::linkInTheWay) {
        InstallResult result;
        result.failure = InstallResult::linkInTheWay;
        result.failurePath = plan.linkPath;
        return result;
    }
    if (plan.verdict == PlacementPlan::Verdict::clash) {
        return refused();
    }
    {
        // A signal now waits until the install folder is wholly new, or wholly old again.
        const platform::TerminationDeferral deferral;
        const PlacementSides sides{host, installFolderName, app ? &*app : nullptr, staging};
        InstallTransaction transaction(sides, plan.placements);
        transaction.placeAll();
        transaction.commit();
        staging.remove();
    }
    InstallResult result;
    result.installed = true;
    result.appName = descriptor.getString(descriptorSection, "Name");
    return result;
}

InstallResult notWritten(const platform::CFileException& failure) {
    InstallResult result;
    result.failure = InstallResult::cannotWrite;
    // The reader names its files with `\` separators; the user reads the path the OS knows.
    result.failurePath = platform::nativePath(failure.m_strFileName);
    result.failureReason =
        failure.m_lOsError > 0 ? std::strerror(failure.m_lOsError) : std::string("unknown error");
    return result;
}

}  // namespace

InstallResult installPackage(const std::string& packagePath, const std::string& installFolder,
                             const InstallProgress& progress) {
    CZipReader reader;
    // On the way out of a failure every rename has been undone and the staging folder is gone,
    // unless something outside the installer kept the undo from finishing: then the folder
    // keeps its journal for the next installation to finish the undo.
    try {
        return install(reader, packagePath, installFolder, progress);
    } catch (const platform::CFileException& failure) {
        // The package's own file failing to read is one more kind of damaged package; any other
        // file failure is a place the installation could not write.
        return failure.m_strFileName == packagePath ? refused() : notWritten(failure);
    } catch (const platform::CException&) {
        return refused();
    }
}
