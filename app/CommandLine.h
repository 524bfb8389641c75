// What the program's arguments ask for, the texts of --help, --version and the usage line, and
// carrying it out. It knows nothing of windows: the wizard is handed in as a function.
#pragma once

#include <functional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "install/ExitStatus.h"

struct CommandLine {
    enum Action { wizard, quiet, help, version, wrong };
    Action action = wizard;
    // The first page's text for the wizard; the package for a quiet installation.
    std::string source;
    // For a wrong command line: what was wrong with it.
    std::string problem;
};

// `arguments` are those after the program's name.
CommandLine parseCommandLine(std::span<const std::string_view> arguments);

std::string usageText();
std::string helpText();
std::string versionText();

// Runs the wizard with the first page's text; returns the exit status. May throw
// platform::CModuleException when the wizard cannot be loaded.
using WizardRunner = std::function<int(const std::string& initialSource)>;

// Does what the command line asks for; a quiet installation uses the registry and download
// folder that the environment names, and loads the downloading module only for an address.
// Returns the exit status; a module that cannot be loaded is one error line on `err`.
int runCommandLine(const CommandLine& commandLine, std::ostream& out, std::ostream& err,
                   const WizardRunner& runWizard);
