// Parsing follows the usual conventions: options may stand before or after the source, and
// "--" ends the options so that a source may begin with "-".
#include "app/CommandLine.h"

#include <utility>
#include <vector>

#include "app/ProgramModules.h"
#include "app/QuietInstall.h"
#include "install/HostLocator.h"
#include "install/SourceIntake.h"
#include "platform/CModuleException.h"
#include "platform/DownloadCache.h"
#include "platform/OnDemandDownloader.h"
#include "platform/TerminationDeferral.h"
#include "text/RegistryFile.h"

namespace {

CommandLine wrong(std::string problem) {
    CommandLine commandLine;
    commandLine.action = CommandLine::wrong;
    commandLine.problem = std::move(problem);
    return commandLine;
}

int carryOut(const CommandLine& commandLine, std::ostream& out, std::ostream& err,
             const WizardRunner& runWizard) {
    switch (commandLine.action) {
        case CommandLine::wizard:
            return runWizard(commandLine.source);
        case CommandLine::help:
            out << helpText();
            return exitInstalled;
        case CommandLine::version:
            out << versionText();
            return exitInstalled;
        case CommandLine::quiet: {
            // Declared first, so that it ends last: SIGINT or SIGTERM then ends the process only
            // once the download cache has removed its file.
            const platform::TerminationDeferral deferral;
            platform::DownloadCache downloads(platform::downloadFolder());
            // A local package needs no module, nor the program's own path to find one.
            platform::OnDemandDownloader downloader(
                isAddress(commandLine.source) ? modulePath(downloaderModuleFile) : std::string());
            return runQuietInstall(commandLine.source,
                                   text::RegistryFile::fromEnvironment(hostRegistryKeys),
                                   downloader, downloads, out, err);
        }
        case CommandLine::wrong:
            break;
    }
    err << "tockit-installer: " << commandLine.problem << "\n" << usageText();
    return exitWrongCommandLine;
}

}  // namespace

CommandLine parseCommandLine(std::span<const std::string_view> arguments) {
    bool quiet = false;
    bool help = false;
    bool version = false;
    bool optionsEnded = false;
    std::vector<std::string_view> sources;
    for (std::string_view argument : arguments) {
        if (optionsEnded || argument == "-" || !argument.starts_with('-')) {
            sources.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--quiet") {
            quiet = true;
        } else if (argument == "--help") {
            help = true;
        } else if (argument == "--version") {
            version = true;
        } else {
            return wrong("unknown option " + std::string(argument));
        }
    }

    if (help || version) {
        if (arguments.size() != 1) {
            return wrong(std::string(help ? "--help" : "--version") + " stands alone");
        }
        CommandLine commandLine;
        commandLine.action = help ? CommandLine::help : CommandLine::version;
        return commandLine;
    }
    if (sources.size() > 1) {
        return wrong("only one source may be given");
    }
    if (quiet && sources.empty()) {
        return wrong("--quiet needs a source");
    }
    CommandLine commandLine;
    commandLine.action = quiet ? CommandLine::quiet : CommandLine::wizard;
    if (!sources.empty()) {
        commandLine.source = sources.front();
    }
    return commandLine;
}

std::string usageText() {
    return "Usage: tockit-installer [--quiet] [--] [SOURCE]\n"
           "       tockit-installer --help | --version\n";
}

std::string helpText() {
    return usageText() +
           "\n"
           "Installs a Tockit package into the App folder of the Syndal software.\n"
           "SOURCE is the path or the web address (http:// or https://) of the package's Zip\n"
           "file. Without --quiet the installer's wizard opens, with SOURCE as its first\n"
           "page's text.\n"
           "\n"
           "Options:\n"
           "  --quiet     install SOURCE without a window; the outcome is printed, one line\n"
           "  --help      print this help and exit\n"
           "  --version   print the version and exit\n"
           "  --          end the options; a SOURCE that begins with - follows it\n"
           "\n"
           "Environment:\n"
           "  TOCKIT_REGISTRY  the registry file naming the Syndal software's folder\n"
           "  WINEPREFIX       the Wine prefix whose system.reg is read when TOCKIT_REGISTRY\n"
           "                   is not set (default ~/.wine), and whose drives map C:\\ paths\n"
           "  XDG_CACHE_HOME   where downloads are held while the program runs\n"
           "                   (default ~/.cache)\n"
           "\n"
           "Exit status:\n"
           "  0  the package was installed\n"
           "  1  the source or the package was refused, or a link inside the App folder is\n"
           "     in the package's way\n"
           "  2  the command line was wrong\n"
           "  3  the Syndal software was not located\n"
           "  4  a part of the program is missing: the wizard or the downloader\n"
           "  5  the package could not be written into the Syndal software's folder\n"
           "  6  there is no display to open the wizard on: use --quiet\n"
           "\n"
           "See tockit-installer(1).\n";
}

std::string versionText() {
    return "Tockit Installer 1.0.0.11\n";
}

int runCommandLine(const CommandLine& commandLine, std::ostream& out, std::ostream& err,
                   const WizardRunner& runWizard) {
    try {
        return carryOut(commandLine, out, err, runWizard);
    } catch (const platform::CModuleException& failure) {
        err << "tockit-installer: " << failure.what() << "\n";
        return exitModuleMissing;
    }
}
