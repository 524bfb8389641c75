// The GUI's entry point: the Qt application, the real prompts and downloader, the registry the
// environment names, and the exit status.
#include "app/WizardMain.h"

#include <QApplication>

#include "app/CInstallerApp.h"
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
    // The same status as the quiet mode's when the host was not located.
    constexpr int hostNotLocated = 3;
    return installer.hostLocated() ? 0 : hostNotLocated;
}
