// The GUI's entry point: the Qt application, the real prompts and downloader, the registry the
// environment names, and the exit status.
#include "app/WizardMain.h"

#include <QApplication>

#include "app/CInstallerApp.h"
#include "app/CommandLine.h"
#include "app/UserPrompts.h"
#include "platform/Downloader.h"
#include "platform/RegistryFile.h"

int runWizard(int argc, char** argv, const std::string& initialSource) {
    QApplication application(argc, argv);
    QtUserPrompts prompts;
    platform::CurlDownloader downloader;
    const platform::RegistryFile registry = platform::RegistryFile::fromEnvironment();

    CInstallerApp installer(prompts, downloader, registry, initialSource);
    installer.InitInstance();
    // The wizard reports every outcome on screen; only a host that was not located shows in the
    // status, as it does in the quiet mode.
    return installer.hostLocated() ? 0 : exitHostNotLocated;
}
