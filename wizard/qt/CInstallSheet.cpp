// The wizard's frame: caption, buttons, side image and page order.
#include "wizard/qt/CInstallSheet.h"

#include <QIcon>
#include <QPixmap>

#include "install/StringTable.h"

CInstallSheet::CInstallSheet(UserPrompts& prompts, platform::Downloader& downloader,
                             platform::DownloadCache& downloads, QWidget* parent)
    : QWizard(parent),
      m_page1(*this),
      m_page2(*this),
      m_prompts(prompts),
      m_downloader(downloader),
      m_downloads(downloads) {
    // The image lives in a static library, whose resources are not registered on their own.
    Q_INIT_RESOURCE(wizard);

    setWindowTitle(QString::fromStdString(loadString(IDS_SHEET_CAPTION)));
    // The installed icon theme first; the bundled copy when running from the build tree.
    setWindowIcon(QIcon::fromTheme(QStringLiteral("tockit-installer"),
                                   QIcon(QStringLiteral(":/tockit-installer.png"))));
    setWizardStyle(QWizard::ClassicStyle);
    setOption(QWizard::HaveHelpButton, false);
    setPixmap(QWizard::WatermarkPixmap, QPixmap(QStringLiteral(":/side-image.png")));
    setPage(sourcePage, &m_page1);
    setPage(donePage, &m_page2);
    connect(this, &QWizard::currentIdChanged, this, &CInstallSheet::OnPageActivated);
}

void CInstallSheet::OnPageActivated(int id) {
    if (id == sourcePage) {
        m_page1.OnSetActive();
    } else if (id == donePage) {
        m_page2.OnSetActive();
    }
}
