// The quiet installation reuses the wizard's logic, so that both refuse and accept the same
// packages with the same words.
#include "app/QuietInstall.h"

#include <algorithm>
#include <cstdint>

#include "app/CommandLine.h"
#include "install/HostLocator.h"
#include "install/SourceIntake.h"
#include "platform/TerminationDeferral.h"

namespace {

// One line per message: the texts' own line breaks become spaces.
void printLine(std::ostream& stream, std::string text) {
    std::ranges::replace(text, '\n', ' ');
    stream << text << '\n';
}

}  // namespace

int runQuietInstall(const std::string& source, const text::RegistryFile& registry,
                    platform::Downloader& downloader, platform::DownloadCache& downloads,
                    std::ostream& out, std::ostream& err) {
    const HostLocation host = locateHost(registry);
    if (host.refusal) {
        printLine(err, loadString(*host.refusal));
        return exitHostNotLocated;
    }

    // Without a window, only SIGINT or SIGTERM cancels a download.
    const auto keepGoing = [](std::uint64_t, std::uint64_t) {
        return !platform::terminationRequested();
    };
    const IntakeContext context{downloader, downloads, host.installFolder, keepGoing};
    const IntakeOutcome outcome = takeSource(source, context);
    switch (outcome.verdict) {
        case IntakeOutcome::installed:
            printLine(out, formatInstalledMessage(outcome.appName));
            return exitInstalled;
        case IntakeOutcome::refused:
            printLine(err, formatMessage(*outcome.message, outcome.messageArguments));
            // A place that cannot be written is no fault of the package: another package
            // would fail the same way.
            return *outcome.message == IDS_CANNOT_WRITE ? exitCannotWrite : exitRefused;
        case IntakeOutcome::cancelled:
            break;
    }
    // Only SIGINT or SIGTERM cancels here, and the signal ends the process once the run has
    // cleaned up: this line is the last the user sees.
    err << "tockit-installer: stopped by a signal; nothing was installed\n";
    return exitRefused;
}
