// The GUI's entry point: the Qt application, the real prompts, the downloader that loads its own
// module on demand, the download cache, the registry the environment names, and the exit status.
#include "wizard/WizardMain.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "install/ExitStatus.h"
#include "install/HostLocator.h"
#include "platform/DownloadCache.h"
#include "platform/OnDemandDownloader.h"
#include "text/RegistryFile.h"
#include "wizard/qt/CInstallerApp.h"
#include "wizard/qt/UserPrompts.h"

namespace {

// Qt ends the process when it cannot open its platform: no display, or one it cannot reach.
// While the application is made, Qt's messages are held back; a fatal one means there is no
// display, said in one line, and anything else is passed on once the display is open.
QtMessageHandler passOn = nullptr;
std::vector<std::pair<QtMsgType, QString>> heldMessages;

void holdOrGiveUp(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtFatalMsg) {
        std::fputs(
            "tockit-installer: there is no display to open the wizard on; use --quiet to "
            "install without a window\n",
            stderr);
        std::_Exit(exitNoDisplay);
    }
    heldMessages.emplace_back(type, text);
}

class DisplayOpening {
public:
    DisplayOpening() { passOn = qInstallMessageHandler(holdOrGiveUp); }
    ~DisplayOpening() {
        qInstallMessageHandler(passOn);
        for (const auto& [type, text] : heldMessages) {
            qt_message_output(type, QMessageLogContext(), text);
        }
        heldMessages.clear();
    }
    DisplayOpening(const DisplayOpening&) = delete;
    DisplayOpening& operator=(const DisplayOpening&) = delete;
};

std::unique_ptr<QApplication> openApplication(int& argc, char** argv) {
    const DisplayOpening opening;
    return std::make_unique<QApplication>(argc, argv);
}

}  // namespace

extern "C" [[gnu::visibility("default")]] int tockit_run_wizard(int argc, char** argv,
                                                                const char* initialSource,
                                                                const char* downloaderModule) {
    const std::unique_ptr<QApplication> application = openApplication(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("tockit-installer"));
    QtUserPrompts prompts;
    platform::OnDemandDownloader downloader(downloaderModule);
    platform::DownloadCache downloads(platform::downloadFolder());
    const text::RegistryFile registry = text::RegistryFile::fromEnvironment(hostRegistryKeys);

    CInstallerApp installer(prompts, downloader, downloads, registry, initialSource);
    installer.InitInstance();
    // The wizard reports every outcome on screen; only a host that was not located shows in the
    // status, as it does in the quiet mode.
    return installer.hostLocated() ? exitInstalled : exitHostNotLocated;
}
