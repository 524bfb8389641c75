// The GUI's entry point: the Qt application, the real prompts, the downloader that loads its own
// module on demand, the download cache, the registry the environment names, and the exit status.
#include "app/WizardMain.h"

#include <QApplication>

#include "app/CInstallerApp.h"
#include "app/CommandLine.h"
#include "app/ProgramModules.h"
#include "app/UserPrompts.h"
#include "platform/DownloadCache.h"
#include "platform/OnDemandDownloader.h"
#include "platform/RegistryFile.h"

extern "C" [[gnu::visibility("default")]] int tockit_run_wizard(int argc, char** argv,
                                                                const char* initialSource) {
    QApplication application(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("tockit-installer"));
    QtUserPrompts prompts;
    platform::OnDemandDownloader downloader(modulePath(downloaderModuleFile));
    platform::DownloadCache downloads(platform::downloadFolder());
    const platform::RegistryFile registry = platform::RegistryFile::fromEnvironment();

    CInstallerApp installer(prompts, downloader, downloads, registry, initialSource);
    installer.InitInstance();
    // The wizard reports every outcome on screen; only a host that was not located shows in the
    // status, as it does in the quiet mode.
    return installer.hostLocated() ? exitInstalled : exitHostNotLocated;
}
