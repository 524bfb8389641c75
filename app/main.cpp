// The program: the wizard, or what the command line asks for instead. The wizard is a module
// loaded only when it opens, so that the other actions never load Qt.
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/CommandLine.h"
#include "app/ProgramModules.h"
#include "platform/SharedLibrary.h"
#include "wizard/WizardMain.h"

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    return runCommandLine(parseCommandLine(arguments), std::cout, std::cerr,
                          [&](const std::string& source) {
                              const platform::SharedLibrary wizard(modulePath(wizardModuleFile));
                              const std::string downloader = modulePath(downloaderModuleFile);
                              return wizard.function<WizardEntry>(wizardEntryName)(
                                  argc, argv, source.c_str(), downloader.c_str());
                          });
}
