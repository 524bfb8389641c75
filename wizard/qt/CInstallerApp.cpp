// Start-up: the host lookup's refusals as message boxes, or the wizard.
#include "wizard/qt/CInstallerApp.h"

#include <QCoreApplication>

#include "install/HostLocator.h"
#include "wizard/qt/CInstallSheet.h"
#include "wizard/qt/UserPrompts.h"

CInstallerApp::CInstallerApp(UserPrompts& prompts, platform::Downloader& downloader,
                             platform::DownloadCache& downloads, const text::RegistryFile& registry,
                             std::string initialSource)
    : m_prompts(prompts),
      m_downloader(downloader),
      m_downloads(downloads),
      m_registry(registry),
      m_strInitialSource(std::move(initialSource)) {}

bool CInstallerApp::InitInstance() {
    const HostLocation host = locateHost(m_registry);
    if (host.refusal) {
        // No title of its own: the caption is the program file's name.
        m_prompts.showMessage(nullptr, *host.refusal, {}, QCoreApplication::applicationName(),
                              UserPrompts::Icon::warning);
        return false;
    }
    m_strInstallFolder = host.installFolder;

    CInstallSheet sheet(m_prompts, m_downloader, m_downloads);
    sheet.m_strInstallFolder = m_strInstallFolder;
    sheet.m_page1.m_strSource = m_strInitialSource;
    sheet.exec();
    return false;
}
