// The program: the wizard, or what the command line asks for instead.
#include <iostream>
#include <string_view>
#include <vector>

#include "app/CommandLine.h"
#include "app/WizardMain.h"

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    return runCommandLine(parseCommandLine(arguments), std::cout, std::cerr,
                          [&](const std::string& source) { return runWizard(argc, argv, source); });
}
