// The checks of the first page's Next, in the order the user meets them.
#include "install/SourceIntake.h"

#include <algorithm>
#include <utility>

#include "install/PackageInstaller.h"
#include "platform/CFile.h"
#include "platform/CFileException.h"
#include "platform/FileSystem.h"
#include "text/TextScanning.h"

namespace {

IntakeOutcome refuse(StringId message, bool focusSource, std::string source,
                     std::vector<std::string> messageArguments = {}) {
    IntakeOutcome outcome;
    outcome.message = message;
    outcome.messageArguments = std::move(messageArguments);
    outcome.focusSource = focusSource;
    outcome.source = std::move(source);
    return outcome;
}

// The package is blamed only when it is at fault; a place that could not be written, or a link
// in the way, is named instead.
IntakeOutcome notInstalled(const InstallResult& result, std::string source) {
    switch (result.failure) {
        case InstallResult::cannotWrite:
            return refuse(IDS_CANNOT_WRITE, false, std::move(source),
                          {result.failurePath, result.failureReason});
        case InstallResult::linkInTheWay:
            return refuse(IDS_LINK_IN_THE_WAY, false, std::move(source), {result.failurePath});
        case InstallResult::interrupted: {
            // Stopped on request: nothing to blame and nothing to show.
            IntakeOutcome outcome;
            outcome.verdict = IntakeOutcome::cancelled;
            outcome.source = std::move(source);
            return outcome;
        }
        case InstallResult::notValid:
            break;
    }
    return refuse(IDS_NOT_VALID, false, std::move(source));
}

}  // namespace

bool isAddress(std::string_view text) {
    return text::containsIgnoringAsciiCase(text, "http://") ||
           text::containsIgnoringAsciiCase(text, "https://");
}

bool FileExists(const std::string& path) {
    // Opening a folder for reading succeeds on POSIX, so the folder test comes first.
    platform::CFile file;
    return platform::pathType(path) == platform::PathType::file &&
           file.Open(path.c_str(), platform::CFile::modeRead);
}

IntakeOutcome takeSource(const std::string& text, const IntakeContext& context) {
    if (text.empty()) {
        return refuse(IDS_SOURCE_REQUIRED, true, text);
    }
    std::string source = text;
    if (isAddress(text)) {
        std::string target;
        try {
            target = context.downloads.nextTarget();
        } catch (const platform::CFileException&) {
            return refuse(IDS_DOWNLOAD_FAILED, false, text);
        }
        switch (context.downloader.download(text, target, context.progress)) {
            case platform::DownloadResult::failed:
                return refuse(IDS_DOWNLOAD_FAILED, false, text);
            case platform::DownloadResult::cancelled: {
                IntakeOutcome outcome;
                outcome.verdict = IntakeOutcome::cancelled;
                outcome.source = text;
                return outcome;
            }
            case platform::DownloadResult::completed:
                source = target;
                break;
        }
    } else if (!FileExists(text)) {
        return refuse(IDS_FILE_MISSING, true, text);
    }

    const InstallResult result =
        installPackage(source, context.installFolder, context.installProgress);
    if (!result.installed) {
        return notInstalled(result, source);
    }
    IntakeOutcome outcome;
    outcome.verdict = IntakeOutcome::installed;
    outcome.source = source;
    outcome.appName = result.appName;
    return outcome;
}
